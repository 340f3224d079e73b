// TPattern: the program's regular-expression object. A pattern is compiled
// lazily, at the first run after it or the modifiers changed, into a compact
// byte program that a backtracking matcher interprets.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Errors.h"

namespace quorvane {

// The codes of EPatternError. Compile errors (below 1000) carry the pattern
// position where parsing stopped; the others carry position 0. ErrorText
// gives each its message.
enum class PatternErrorCode : std::int32_t {
  None = 0,
  // Compiler.
  NullArgument = 100,            // compiling without a pattern text
  TooBig = 101,                  // never raised: programs have no size limit
  TooManyGroups = 102,           // a 15th group is opened
  UnclosedGroup = 103,           // "(" without ")"
  UnopenedGroup = 104,           // ")" without "("
  JunkOnEnd = 105,               // the pattern stops early (guard: cannot happen)
  EmptyOperand = 106,            // *, + or braces after something that can match empty
  NestedQuantifier = 107,        // a quantifier right after a quantifier
  BadHexDigit = 108,             // \x followed by no hexadecimal digit
  InvalidRange = 109,            // a class range that ends below its start
  ClassTrailingBackslash = 110,  // the pattern ends after a backslash inside [...]
  NoHexCode = 111,               // the pattern ends where \x needs a digit or "}"
  HexCodeTooBig = 112,           // \x{...} above FF
  UnclosedClass = 113,           // "[" without "]"
  AtomExpected = 114,            // guard: an atom at "|", ")" or the end
  NothingToRepeat = 115,         // *, + or ? with nothing before it
  TrailingBackslash = 116,       // the pattern ends after a backslash
  EmptyLiteralRun = 119,         // guard: a literal run of no characters
  BraceNumberTooBig = 122,       // a count of more than 8 digits
  BraceMinAboveMax = 124,        // {n,m} with m < n
  UnclosedComment = 125,         // "(?#" without ")"
  ComplexOperand = 126,          // never raised: braces and lazy forms work on groups
  BadModifier = 127,             // (?...) with a non-modifier letter or without ")"
  BadPairedSeparator = 128,      // LinePairedSeparator neither two different bytes nor empty
  // Runs. 1000..1002 and 1015 mean a corrupt program.
  RepeatOfComplexNode = 1000,    // a single-node repeat over a node that is not simple
  UnknownOpcode = 1001,          // a byte that is no opcode where a node should be
  MissingNode = 1002,            // a chain that ends without reaching End
  NoExpression = 1003,           // a run without a pattern
  BadSignature = 1004,           // the program does not start with its signature
  NoInputString = 1005,          // a run without a subject
  OffsetBelowOne = 1006,         // ExecPos(0) or less
  ExecNextWithoutMatch = 1007,   // ExecNext after a run that found nothing
  InputStringUnset = 1008,       // InputString read before it was assigned
  DumpCorruptOpcode = 1011,      // text kept for a dump operation this program lacks
  BadModifierIndex = 1013,       // modifier index outside 1..6 (text: "Unknown error")
  LoopStackExceeded = 1014,      // an 11th complex loop active at once
  LoopWithoutEntry = 1015,       // a loop node reached outside its loop
  RecursionTooDeep = 1016,       // the backtracking would exhaust the stack
  MatchTooComplex = 1017,        // a run took more steps than its budget (see TPattern)
  BadImport = 2000,              // text kept for an import operation this program lacks
};

// Every error of the engine: compile errors carry codes 100 to 128 and the
// pattern position where parsing stopped; run errors carry codes from 1000.
class EPatternError : public Exception {
 public:
  EPatternError(const std::string& message, std::int32_t code, std::int32_t position)
      : Exception(message), Code(code), Position(position) {}
  const char* KindName() const override { return "EPatternError"; }

  std::int32_t Code;
  std::int32_t Position;
};

// The other-case form of a character (used by every case-insensitive test).
using TCaseSwap = unsigned char (*)(unsigned char);

// Upper case of c; when that is c itself, its lower case. Uses the platform's
// single-byte case mapping.
unsigned char DefaultCaseSwap(unsigned char c);

// Modifier bits, as held in Modifiers(); the by-index accessors take 1..6.
enum : std::int32_t {
  ModifierI = 1,   // case-insensitive
  ModifierR = 2,   // Cyrillic ranges in classes
  ModifierS = 4,   // the dot matches line separators too
  ModifierG = 8,   // quantifiers greedy
  ModifierM = 16,  // ^ and $ at line starts and ends
  ModifierX = 32,  // blanks and # comments in the pattern ignored
};

// Values every new object starts with.
extern const std::int32_t DefaultModifiers;  // r, s and g on
extern const char* const DefaultBlankChars;         // " \t\n\r\f"
extern const char* const DefaultWordCharSet;        // digits, letters, underscore
extern const char* const DefaultLineBreakChars;     // "\r\n"
extern const char* const DefaultLinePairedSeparator;  // "\r\n"

// A function every run calls now and then (about every 65,536 steps of the
// matcher, and every 4 MiB the search for a start passes over), so a long
// run can be abandoned: it may throw any exception, which leaves the run; the
// object stays usable. nullptr (the default) calls nothing. One for the
// whole process; set it before runs start.
using TPatternPoll = void (*)();
void SetPatternPoll(TPatternPoll poll);

class TPattern;
namespace regex {
struct CompiledProgram;
struct RunTables;
class Compiler;
class Matcher;
[[noreturn]] void Raise(const TPattern& owner, PatternErrorCode code);
}  // namespace regex

class TPattern {
 public:
  TPattern();
  virtual ~TPattern();
  TPattern(const TPattern&) = delete;
  TPattern& operator=(const TPattern&) = delete;

  // The pattern. Texts end at their first NUL byte; an empty text leaves the
  // object without a pattern.
  std::string Expression() const;
  void SetExpression(std::string_view text);

  // Modifiers as a bit word, or one by index 1..6 = i r s g m x (any other
  // index raises code 1013). A change takes effect at the next run.
  std::int32_t Modifiers() const;
  void SetModifiers(std::int32_t modifiers);
  bool ModifierFlag(int index) const;
  void SetModifierFlag(int index, bool on);

  // Two different characters, or empty for none (anything else raises 128).
  std::string LinePairedSeparator() const;
  void SetLinePairedSeparator(std::string_view text);

  // Character tables. BlankChars and WordCharSet are read when the pattern is
  // compiled (\s, \w); WordCharSet and LineBreakChars also by every run.
  std::string BlankChars() const;
  void SetBlankChars(std::string_view text);
  std::string WordCharSet() const;
  void SetWordCharSet(std::string_view text);
  std::string LineBreakChars() const;
  void SetLineBreakChars(std::string_view text);
  TCaseSwap CaseSwap() const;
  void SetCaseSwap(TCaseSwap swap);

  // The subject (raises 1008 when none was assigned).
  std::string InputString() const;
  void SetInputString(std::string_view text);

  // Runs. Positions are 1-based; ExecPos(length + 1) searches the empty end.
  // A run that takes more than max(10,000,000, 1,000 x subject length) steps
  // gives up with code 1017 (MatchTooComplex). A step is one try of the rest
  // of the program, one position a repeat passes over, or 64 bytes the search
  // for a start passes over. The page scans take under 7 steps per byte.
  bool Exec(std::string_view text);
  bool ExecPos(std::int32_t offset = 1);
  bool ExecNext();

  // Results of the last successful run: -1 / empty for a group that did not
  // take part, after a failed run, or for n outside 0..14.
  std::int32_t GroupStart(int n) const;
  std::int32_t GroupLength(int n) const;
  std::string GroupText(int n) const;

  // Characters before the compiler's parse position while a compile runs;
  // 0 at any other time.
  std::int32_t CompileErrorPosition() const;

  // Inspection, valid after a run that compiled the pattern (empty before).
  std::string_view ProgramBytes() const;
  std::bitset<256> StartCharSet() const;
  unsigned char FirstLiteralChar() const;
  bool AnchoredAtStart() const;
  std::string_view MustLiteral() const;

  // Raises the EPatternError for code; compile codes (below 1000) get
  // " (pos N)" appended. Messages come from ErrorText.
  virtual void RaiseError(std::int32_t code) const;
  virtual std::string ErrorText(std::int32_t code) const;

 private:
  friend class regex::Compiler;
  friend class regex::Matcher;
  friend class PatternTestAccess;  // white-box tests only

  [[noreturn]] void Fail(PatternErrorCode code) const { regex::Raise(*this, code); }
  void DiscardProgram();
  bool EnsureProgram();
  void CompileExpression();
  void CompileProgram(const char* text);
  void RefreshRunTables();

  // Pattern and modifiers.
  std::string expression_;
  bool hasExpression_ = false;
  bool compiled_ = false;
  std::int32_t modifiers_;
  std::int32_t builtWithModifiers_ = 0;
  bool hasPairedSeparator_ = false;
  char pairHead_ = 0;
  char pairTail_ = 0;
  std::string blankChars_;
  std::string wordCharSet_;
  std::string lineBreakChars_;
  TCaseSwap caseSwap_;

  // Compile position: both set only while a compile runs.
  const char* patternBegin_ = nullptr;
  const char* parsePos_ = nullptr;

  // The compiled program with its search hints.
  std::unique_ptr<regex::CompiledProgram> program_;
  // Per-run tables built from the character settings; rebuilt when stale.
  std::unique_ptr<regex::RunTables> tables_;

  // Subject and results.
  std::string input_;
  bool hasInput_ = false;
  const char* groupStarts_[15] = {};
  const char* groupEnds_[15] = {};
  // Where the must-contain literal was last found in this subject.
  const char* mustFoundAt_ = nullptr;
};

}  // namespace quorvane
