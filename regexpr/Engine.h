// What the parts of the regular-expression engine share: the compiled
// program with what is derived from it, the tables of a run, and the entry
// points of the compiler (Compiler.cpp), the search hints (SearchHints.cpp),
// the matcher (Matcher.cpp) and the vector prefix scan (PrefixScan.cpp).
// Not for use outside regexpr/.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "regexpr/Pattern.h"
#include "regexpr/Program.h"

namespace quorvane::regex {

using ByteSet = std::array<std::uint8_t, FullSetSize>;

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

  // Matcher aids, by node offset (nullptr, or no table at all: none): for a
  // single-node repeat the characters that can follow it, for an
  // alternative of a choice the characters its branch can begin with.
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
    // A single-node repeat that keeps a memo of its failures (see
    // Matcher::Repeat): its slot in the run's memo, -1 = none. What the rest
    // of the program depends on besides the position: the captured texts of
    // the groups in memoText, and the bounds as they stand of the groups in
    // memoBounds (the rest marks those anew before reading them).
    int memoSlot = -1;
    std::uint16_t memoText = 0;
    std::uint16_t memoBounds = 0;
  };
  std::vector<NodeAid> nodeAids;
  std::vector<const NodeAid*> nodeAidIndex;
  // The program holds a backreference, so a repeated group can match empty.
  bool hasBackrefs = false;
  // Repeats with a failure memo.
  int memoSlots = 0;
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

  // The failure memos of the repeats, MemoWays entries per slot. An entry
  // says: in run `run`, the repeat's operand matches at every position of
  // [lo, hi) and not at hi (or hi is the end), and the rest of the program
  // fails at every position from lo + the repeat's minimum to hi, as long
  // as the groups of the key hold what they held (bounds by group number).
  static constexpr int MemoWays = 4;
  struct MemoEntry {
    std::uint32_t run = 0;
    const char* lo = nullptr;
    const char* hi = nullptr;
    const char* starts[GroupSlots] = {};
    const char* ends[GroupSlots] = {};
  };
  std::vector<MemoEntry> memo;
  std::vector<std::uint8_t> memoTurn;  // per slot: the way to replace next
  std::uint32_t run = 0;  // numbers the runs; entries of earlier runs are stale
};

// What the hints depend on besides the program.
struct HintSettings {
  const std::string* lineBreakChars;
  const std::uint8_t* swap;
  bool multiLine;        // the object's m modifier
  bool hasPair;
  unsigned char pairHead;
};

// Raises the error through the owner's RaiseError; should a replaced
// RaiseError return, the error is raised all the same. Every error of the
// engine, a corrupt program included, leaves through here.
[[noreturn]] void Raise(const TPattern& owner, PatternErrorCode code);

// Compiles text under the owner's modifiers: the program, with repeatStart
// set and the hints not yet derived.
std::unique_ptr<CompiledProgram> CompilePattern(TPattern& owner, const char* text);

// Applies modifier letters ("i", "-x", "is-gm") to word; false at the first
// character that is neither a modifier letter nor a hyphen.
bool ApplyModifierLetters(const char* first, const char* last, std::int32_t& word);

// Fills the hints and matcher aids of a freshly compiled program.
void DeriveSearchHints(CompiledProgram& program, const HintSettings& settings, const TPattern& owner);

// When the runs keep failure memos (see Matcher::Counts): once a run has
// proven expensive (the default), from its start, or never. The memos never
// change what a run finds, only how soon; tests compare runs with and
// without them. For the whole process, like the poll.
enum class MemoUse { OnceExpensive, Always, Never };
void SetMemoUse(MemoUse use);

// Searches the owner's subject from `from` on; the leftmost match wins and
// its bounds are left in the owner's groups.
bool SearchSubject(TPattern& owner, const CompiledProgram& program, RunTables& tables, const char* from);

// The vector scan for a match start whose first one or two characters are
// each one of two bytes.
struct PairScan {
  unsigned char a0, b0, a1, b1;
  bool second;  // test the second character too
};
// How far past its stop a pair scanner may read: the caller keeps stop this
// far before the subject's NUL.
constexpr std::ptrdiff_t PairScanOverread = 32;
// The first position in [q, stop) where the pair fits, or stop.
using PairScanner = const char* (*)(const char* q, const char* stop, const PairScan& scan);
// The fastest scanner this processor has, or nullptr when the build has none.
PairScanner BestPairScanner();

}  // namespace quorvane::regex
