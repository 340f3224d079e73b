// TPattern: the program's regular-expression object. A pattern is compiled
// lazily, at the first run after it or the modifiers changed, into a compact
// byte program that a backtracking matcher interprets.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/Errors.h"

namespace quorvane {

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

namespace regex {
struct CompiledProgram;
struct RunTables;
class Compiler;
class Matcher;
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

  [[noreturn]] void Fail(std::int32_t code) const;
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
