// Internal pieces of the regular-expression engine shared by the object,
// the compiler, the search hints and the matcher. Not for use outside regexpr/.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "regexpr/Pattern.h"
#include "regexpr/Program.h"

namespace quorvane::regex {

using ByteSet = std::array<std::uint8_t, 32>;

inline void AddToSet(ByteSet& set, unsigned char c) { set[c >> 3] |= std::uint8_t(1u << (c & 7)); }

// A compiled program with everything derived from it.
struct CompiledProgram {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
  // The top-level parse began with a * or + kind repeat (decides whether a
  // must-contain literal is looked for).
  bool repeatStart = false;

  // Search hints.
  ByteSet startSet{};
  unsigned char firstLiteral = 0;
  bool anchored = false;
  const std::uint8_t* mustLiteral = nullptr;
  std::int32_t mustLength = 0;
  // The one byte other than NUL in startSet, or -1 when there are more.
  int startSingle = -1;

  // The characters every match begins with, one set per offset, as far as
  // the program fixes them (literals and one-character nodes at the start of
  // a single top-level alternative). NUL is in none of them.
  static constexpr int MaxPrefix = 8;
  int prefixLength = 0;
  ByteSet prefix[MaxPrefix]{};
  // The members of the first two prefix sets when a set has one or two
  // (a case pair, say), for the vector scan; count 0 = more.
  int prefixSmall[2] = {0, 0};
  unsigned char prefixMembers[2][2] = {};

  // Matcher aids, indexed by node offset (-1 = none): for a single-node
  // repeat the characters that can follow it, for an alternative of a
  // choice the characters its branch can begin with.
  struct NodeAid {
    bool restricts = false;  // set holds fewer than all characters
    ByteSet set{};
    std::array<bool, 256> allows{};  // the same set as a table
    // For a repeat whose rest begins with a backreference (only group
    // marks of other groups in between): that group, 0 = none.
    std::uint8_t leadBackref = 0;
    bool leadBackrefCI = false;
    // What can follow that backreference, for when its text is empty.
    bool afterLeadRestricts = false;
    ByteSet afterLead{};
    std::array<bool, 256> afterLeadAllows{};
  };
  std::vector<std::int32_t> nodeAidIndex;
  std::vector<NodeAid> nodeAids;
  // The program holds a backreference, so a repeated group can match empty.
  bool hasBackrefs = false;
  // The settings the hints were derived from changed since.
  bool hintsStale = false;

  const std::uint8_t* Start() const { return bytes.get(); }
};

// Tables a run reads, built from the object's character settings, and the
// matcher's undo log of group bounds (kept here so runs reuse its storage).
struct RunTables {
  bool stale = true;
  bool lineBreak[256] = {};
  bool word[256] = {};
  // CaseSwap as a table; a case swap that would give NUL for another
  // character keeps that character, so no comparison can match the end.
  std::uint8_t swap[256] = {};

  struct TrailEntry {
    const char** slot;
    const char* old;
  };
  std::vector<TrailEntry> trail;
};

// What the hints depend on besides the program.
struct HintSettings {
  const std::string* lineBreakChars;
  const std::uint8_t* swap;
  bool multiLine;        // the object's m modifier
  bool hasPair;
  unsigned char pairHead;
};

// Fills the hints and matcher aids of a freshly compiled program. Raises
// through raiser for a corrupt program.
void DeriveSearchHints(CompiledProgram& program, const HintSettings& settings,
                       const TPattern& raiser);

// The compiler: turns a pattern into a program for its owner.
class Compiler {
 public:
  explicit Compiler(TPattern& owner) : owner_(owner) {}
  // Compiles text under the owner's modifiers; on success the program (with
  // repeatStart set, hints not yet derived).
  std::unique_ptr<CompiledProgram> Compile(const char* text);

 private:
  static constexpr std::int32_t Placeholder = -1;  // node position while sizing
  static constexpr std::int32_t None = 0;          // no node

  struct ClassBuilder {
    bool negated = false;
    bool folded = false;
    ByteSet members{};
    int count = 0;
    int rangeMin = 255;
    int rangeMax = 0;
    unsigned char rangeStart = 0;
    bool rangeReady = false;
    std::int32_t node = None;
  };

  char Cur() const { return *owner_.parsePos_; }
  char At(int k) const { return owner_.parsePos_[k]; }
  void Step(int k = 1) { owner_.parsePos_ += k; }
  [[noreturn]] void Fail(std::int32_t code) const { owner_.Fail(code); }

  std::int32_t EmitOp(std::uint8_t code);
  void EmitByte(std::uint8_t b);
  void EmitInt(std::int32_t v);
  void InsertOpBefore(std::uint8_t code, std::int32_t operand, int n);
  std::int32_t Next(std::int32_t p) const;
  void LinkTail(std::int32_t p, std::int32_t target);
  void LinkAlternativeTail(std::int32_t p, std::int32_t target);

  std::int32_t ParseReg(bool group, int& flags);
  std::int32_t ParseSequence(int& flags);
  std::int32_t ParseQuantified(int& flags);
  std::int32_t ParseAtom(int& flags);
  std::int32_t ParseEscape(int& flags);
  std::int32_t ParseLiteralRun(int& flags);
  std::int32_t ParseClass();
  bool IsBraceQuantifier(const char* brace) const;
  std::int32_t ParseBraceNumber(const char* first, const char* last);
  void EmitBraces(std::int32_t atom, std::int32_t min, std::int32_t max, bool lazy);
  void EmitLoop(std::int32_t atom, std::int32_t min, std::int32_t max, bool lazy);
  unsigned char DecodeEscape();
  int HexDigitValue(char c) const;

  void BeginClass(bool negated, bool folded);
  void AddClassMember(unsigned char c);
  void EmitRangeC(unsigned char c);
  void AddClassChar(unsigned char c);
  void AddClassChars(const std::string& text);
  void AddClassChars(const unsigned char* text, int n);
  void CloseClass();

  bool Sizing() const { return prog_ == nullptr; }
  bool Multi(std::int32_t bit) const { return (scope_ & bit) != 0; }

  TPattern& owner_;
  std::uint8_t* prog_ = nullptr;  // null while sizing
  std::int32_t size_ = 0;         // bytes counted while sizing
  std::int32_t emit_ = 0;         // next byte written while emitting
  int nextGroup_ = 1;
  std::int32_t scope_ = 0;        // modifiers in force here
  ClassBuilder cls_;
};

// Applies modifier letters ("i", "-x", "is-gm") to word; false at the first
// character that is neither a modifier letter nor a hyphen.
bool ApplyModifierLetters(const char* first, const char* last, std::int32_t& word);

// One search over the subject from a start position.
class Matcher {
 public:
  // Stack the matcher may use below the start of an attempt (see Matcher.cpp).
  static const std::uintptr_t StackBudget;

  Matcher(TPattern& owner, const CompiledProgram& program, RunTables& tables);
  bool Search(const char* from);

 private:
  using TrailEntry = RunTables::TrailEntry;
  struct IterRecord {
    const std::uint8_t* node;
    const char* pos;
    const IterRecord* prev;
  };

  bool Attempt(const char* at);
  bool SearchPrefix(const char* from);
  const CompiledProgram::NodeAid* Aid(const std::uint8_t* n) const {
    if (program_.nodeAidIndex.empty()) return nullptr;
    const std::int32_t k = program_.nodeAidIndex[std::size_t(n - prog_)];
    return k < 0 ? nullptr : &program_.nodeAids[std::size_t(k)];
  }
  bool BranchMayStart(const std::uint8_t* alt, unsigned char c) const {
    const CompiledProgram::NodeAid* aid = Aid(alt);
    return !aid || !aid->restricts || InByteSet(aid->set.data(), c);
  }
  bool Match(const std::uint8_t* n, const char* p);
  // Runs the rest of the program from n; on failure every group bound set on
  // the way is put back.
  bool Sub(const std::uint8_t* n, const char* p) {
    if (stackBase_ - reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) > StackBudget) TooDeep();
    const std::size_t mark = trailSize_;
    if (Match(n, p)) return true;
    Undo(mark);
    return false;
  }
  void SetBound(const char** slot, const char* p) {
    if (*slot == p) return;
    if (trailSize_ == trailCapacity_) GrowTrail();
    trail_[trailSize_++] = TrailEntry{slot, *slot};
    *slot = p;
  }
  void Undo(std::size_t mark) {
    while (trailSize_ > mark) {
      --trailSize_;
      *trail_[trailSize_].slot = trail_[trailSize_].old;
    }
  }
  void GrowTrail();
  // The text the backreference node n refers to; false when its group has
  // not captured.
  bool Captured(const std::uint8_t* n, const char*& s, const char*& e) const {
    const unsigned group = n[OperandAt];
    if (group >= unsigned(GroupSlots)) Fail(1001);
    s = starts_[group];
    e = ends_[group];
    return s && e;
  }
  // Whether the len bytes at p equal the captured bytes at s, exactly or
  // (caseless) through the case swap.
  bool SameAsCaptured(bool caseless, const char* p, const char* s, std::size_t len) const {
    if (!caseless) return std::memcmp(p, s, len) == 0;
    for (std::size_t k = 0; k < len; ++k) {
      const std::uint8_t c = static_cast<std::uint8_t>(p[k]);
      const std::uint8_t t = static_cast<std::uint8_t>(s[k]);
      if (c != t && c != tables_.swap[t]) return false;
    }
    return true;
  }
  bool Repeat(const std::uint8_t* n, const char* p);
  bool LoopEntry(const std::uint8_t* n, const char* p);
  bool Loop(const std::uint8_t* n, const char* p);
  bool LoopBodyTry(const std::uint8_t* loop, const char* p);
  bool JumpBackTracked(const std::uint8_t* n, const char* p);
  bool LastIterationEmpty(const std::uint8_t* loop, const char* p) const;
  std::int64_t RegRepeat(const std::uint8_t* operand, const char* p, std::int64_t max,
                         std::size_t& width) const;
  bool LineStartAt(const char* p) const;
  bool LineEndAt(const char* p) const;
  [[noreturn]] void TooDeep() const;
  [[noreturn]] void Fail(std::int32_t code) const { owner_.Fail(code); }

  TPattern& owner_;
  const CompiledProgram& program_;
  const std::uint8_t* prog_;
  RunTables& tables_;
  const char* textBegin_;
  const char* textEnd_;
  const char** starts_;
  const char** ends_;
  const char* matchEnd_ = nullptr;
  const IterRecord* iterTop_ = nullptr;
  std::uintptr_t stackBase_ = 0;
  TrailEntry* trail_;
  std::size_t trailSize_ = 0;
  std::size_t trailCapacity_;
  int loopLevel_ = 0;
  bool hasPair_;
  char pairHead_;
  char pairTail_;
  std::int32_t loopCounters_[MaxLoopLevels + 1] = {};
};

}  // namespace quorvane::regex
