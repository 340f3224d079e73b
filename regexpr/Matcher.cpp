// The matcher: a recursive backtracker in continuation style. Match(n, p)
// runs the program from node n at subject position p and is true when the
// rest of the program matched; every node that has a choice recurses for the
// remainder and learns whether the whole remainder matched.
//
// Every node that fails leaves the loop level and the loop counters of the
// active levels as it found them. Group bounds are set without recursion and
// logged; a failed remainder puts them back from the log (TryRest).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

#include "regexpr/Engine.h"

namespace quorvane::regex {

namespace {

// The step budget of a run: MinStepBudget, or StepsPerByte for every byte of
// the subject when that is more. The page scans take under one step per byte
// of ordinary HTML, and 7 on the worst page known (a meta tag left open,
// repeated). A runaway run of tries (some 75 million a second here) ends
// after about 13 seconds per MB of subject, at least 0.15 s; one whose steps
// are mostly positions its repeats count, much sooner.
constexpr std::uint64_t StepsPerByte = 1000;
constexpr std::uint64_t MinStepBudget = 10'000'000;
// Steps between two polls.
constexpr std::uint64_t PollInterval = 65536;
// Failure memos cost ordinary scans more than they save, so a run keeps
// none until it has proven expensive: until it has taken more steps than
// its subject has bytes (at most MemoArmSteps), plus MemoArmPerByte for
// every byte its start positions have moved on. The page scans take well
// under one step per byte; a page that makes a run blow up arms the memos
// within a few hundred bytes, and the run is linear from there. While the
// memos are not armed, checkpoints come that often (MemoArmSteps, or the
// subject's length when shorter), so a run arms them soon after it qualifies.
constexpr std::uint64_t MemoArmSteps = 4096;
constexpr std::uint64_t MemoArmPerByte = 8;
// The start search checks in at least this often (in bytes passed over).
constexpr std::ptrdiff_t SearchWindow = std::ptrdiff_t(4) << 20;

std::atomic<TPatternPoll> CurrentPoll{nullptr};
std::atomic<MemoUse> CurrentMemoUse{MemoUse::OnceExpensive};

}  // namespace

// One search over the subject from a start position.
class Matcher {
 public:
  // Stack the matcher may use below the start of an attempt.
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
    return aidAt_ ? aidAt_[n - prog_] : nullptr;
  }
  bool BranchMayStart(const std::uint8_t* alt, unsigned char c) const {
    const CompiledProgram::NodeAid* aid = Aid(alt);
    return !aid || !aid->restricts || InByteSet(aid->set.data(), c);
  }
  bool Match(const std::uint8_t* n, const char* p);
  // Tries the rest of the program from n at p; on failure every group bound
  // set on the way is put back.
  bool TryRest(const std::uint8_t* n, const char* p) {
    if (--left_ < 0) Checkpoint();
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
  // Steps (see TPattern::Exec) are counted down to the next checkpoint,
  // where the poll runs, the budget is checked and the memos may be armed.
  std::uint64_t Steps() const { return base_ - std::uint64_t(left_); }
  void Charge(std::int64_t steps) { left_ -= steps; }
  [[gnu::noinline, gnu::cold]] void Checkpoint();
  void SetCheckpoint(std::uint64_t steps, std::uint64_t at);
  void ArmMemos();
  // The start search passed over the bytes from `from` to `to`.
  void PassedOver(const char* from, const char* to) {
    left_ -= (to - from) >> 6;
    if (left_ < 0) Checkpoint();
  }
  const char* WindowEnd(const char* q, const char* stop) const;
  const char* FindByte(const char* q, unsigned char c);
  // The text the backreference node n refers to; false when its group holds
  // none.
  bool Captured(const std::uint8_t* n, const char*& s, const char*& e) const {
    const unsigned group = n[OperandAt];
    if (group >= unsigned(GroupSlots)) Fail(PatternErrorCode::UnknownOpcode);
    s = starts_[group];
    e = ends_[group];
    return HasText(s, e);
  }
  // A group holds text when both bounds are set and its end does not lie
  // before its start, as it does for a group opened again inside a loop
  // until it closes.
  static bool HasText(const char* s, const char* e) { return s && e && s <= e; }
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
  // A single-node repeat at p: its operand, what follows it, its counts.
  struct RepeatRun {
    const std::uint8_t* operand;
    const std::uint8_t* next;
    const char* p;
    std::int64_t min, max;
    bool lazy;
  };
  bool Repeat(const std::uint8_t* n, const char* p);
  template <typename Allowed>
  bool Counts(const RepeatRun& r, Allowed allowed, const CompiledProgram::NodeAid* aid,
              const RunTables::MemoEntry* known);
  template <typename Allowed>
  bool TryDown(const std::uint8_t* next, const char* top, const char* bottom, std::ptrdiff_t width,
               Allowed allowed);
  template <bool Remembering, typename Allowed>
  bool TryUp(const RepeatRun& r, const char* stopAt, const char* knownEnd, Allowed allowed, const char*& runEnd);
  bool SameKey(const RunTables::MemoEntry& e, const CompiledProgram::NodeAid& aid) const;
  [[gnu::noinline]] const RunTables::MemoEntry* FindRemembered(const CompiledProgram::NodeAid& aid,
                                                                const char* p) const;
  [[gnu::noinline]] void RememberFailure(const CompiledProgram::NodeAid& aid, const char* p, const char* hi);
  bool LoopEntry(const std::uint8_t* n, const char* p);
  bool Loop(const std::uint8_t* n, const char* p);
  bool LoopBodyTry(const std::uint8_t* loop, const char* p);
  bool JumpBackTracked(const std::uint8_t* n, const char* p);
  bool LastIterationEmpty(const std::uint8_t* loop, const char* p) const;
  std::int64_t RegRepeat(const std::uint8_t* operand, const char* p, std::int64_t max) const;
  std::int64_t BackrefRepeat(const std::uint8_t* operand, const char* p, std::int64_t max,
                             std::size_t& len) const;
  bool LineStartAt(const char* p) const;
  bool LineEndAt(const char* p) const;
  [[noreturn]] void TooDeep() const;
  [[noreturn]] void Fail(PatternErrorCode code) const { Raise(owner_, code); }

  TPattern& owner_;
  const CompiledProgram& program_;
  const std::uint8_t* prog_;
  const CompiledProgram::NodeAid* const* aidAt_;
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
  std::int32_t loopCounters_[MaxLoopLevels + 1];  // set by LoopEntry
  // The next checkpoint comes when left_ drops below 0; the step count is
  // then base_ + 1.
  std::int64_t left_ = 0;
  std::uint64_t base_ = 0;
  std::uint64_t pollAt_ = PollInterval;
  std::uint64_t budget_ = 0;
  TPatternPoll poll_;
  const char* from_ = nullptr;     // where the search began
  const char* attempt_ = nullptr;  // the start position being tried
  std::uint64_t armFloor_;   // see MemoArmSteps
  bool arming_;              // the memos are armed once the run proves expensive
  bool memoArmed_ = false;   // failures are remembered in this run
  bool remembered_ = false;  // a failure was remembered in this run
};

bool SearchSubject(TPattern& owner, const CompiledProgram& program, RunTables& tables, const char* from) {
  return Matcher(owner, program, tables).Search(from);
}

}  // namespace quorvane::regex

namespace quorvane {

void SetPatternPoll(TPatternPoll poll) { regex::CurrentPoll.store(poll, std::memory_order_relaxed); }

}  // namespace quorvane

namespace quorvane::regex {

void SetMemoUse(MemoUse use) { CurrentMemoUse.store(use, std::memory_order_relaxed); }

// How much stack an attempt may use. Windows gives the main thread 1 MiB
// (mingw links 2 MiB, but the tool must not rely on that). Measured: the
// test executables still pass with a 544 KiB stack, so everything above the
// engine uses well under 32 KiB; one iteration of a greedy group loop such
// as (ab)* costs 96 bytes on Linux and 128 on Windows, an alternation inside
// the loop or a counted loop up to 300. 512 KiB thus allows about 4000
// iterations of (ab)* on Windows (5400 on Linux) and leaves half the stack
// to everything else. A deeper run raises code 1016 instead of overflowing.
const std::uintptr_t Matcher::StackBudget = 512 * 1024;

Matcher::Matcher(TPattern& owner, const CompiledProgram& program, RunTables& tables)
    : owner_(owner),
      program_(program),
      prog_(program.Start()),
      aidAt_(program.nodeAidIndex.empty() ? nullptr : program.nodeAidIndex.data()),
      tables_(tables),
      textBegin_(owner.input_.data()),
      textEnd_(owner.input_.data() + owner.input_.size()),
      starts_(owner.groupStarts_),
      ends_(owner.groupEnds_),
      trail_(tables.trail.data()),
      trailCapacity_(tables.trail.size()),
      hasPair_(owner.hasPairedSeparator_),
      pairHead_(owner.pairHead_),
      pairTail_(owner.pairTail_),
      budget_(std::max(MinStepBudget, StepsPerByte * std::uint64_t(textEnd_ - textBegin_))),
      poll_(CurrentPoll.load(std::memory_order_relaxed)) {
  const std::uint64_t length = std::uint64_t(textEnd_ - textBegin_);
  armFloor_ = std::max<std::uint64_t>(std::min(MemoArmSteps, length), 1);
  const MemoUse use = program.memoSlots > 0 ? CurrentMemoUse.load(std::memory_order_relaxed) : MemoUse::Never;
  if (use == MemoUse::Always) ArmMemos();
  arming_ = use == MemoUse::OnceExpensive;
  SetCheckpoint(0, std::min(arming_ ? armFloor_ : PollInterval, budget_));
}

void Matcher::Checkpoint() {
  const std::uint64_t steps = Steps();
  if (steps >= budget_) Fail(PatternErrorCode::MatchTooComplex);
  if (steps >= pollAt_) {
    if (poll_) poll_();
    pollAt_ = steps + PollInterval;
  }
  if (arming_ && steps >= armFloor_ + MemoArmPerByte * std::uint64_t(attempt_ - from_)) ArmMemos();
  std::uint64_t next = std::min(pollAt_, budget_);
  if (arming_) next = std::min(next, steps + armFloor_);
  SetCheckpoint(steps, next);
}

void Matcher::ArmMemos() {
  memoArmed_ = true;
  arming_ = false;
  const std::size_t memoSize = std::size_t(program_.memoSlots) * RunTables::MemoWays;
  if (tables_.memo.size() < memoSize) {
    tables_.memo.resize(memoSize);
    tables_.memoTurn.resize(std::size_t(program_.memoSlots));
  }
  // Entries of earlier runs go stale; should the number wrap, they go.
  if (++tables_.run == 0) {
    for (RunTables::MemoEntry& e : tables_.memo) e.run = 0;
    tables_.run = 1;
  }
}

void Matcher::SetCheckpoint(std::uint64_t steps, std::uint64_t at) {
  base_ = at - 1;
  left_ = std::int64_t(base_ - steps);
}

const char* Matcher::WindowEnd(const char* q, const char* stop) const {
  return stop - q > SearchWindow ? q + SearchWindow : stop;
}

// The first c at or after q, or nullptr; memchr a window at a time.
const char* Matcher::FindByte(const char* q, unsigned char c) {
  while (q < textEnd_) {
    const char* const end = WindowEnd(q, textEnd_);
    const void* hit = std::memchr(q, c, std::size_t(end - q));
    PassedOver(q, hit ? static_cast<const char*>(hit) : end);
    if (hit) return static_cast<const char*>(hit);
    q = end;
  }
  return nullptr;
}

void Matcher::GrowTrail() {
  tables_.trail.resize(trailCapacity_ < 64 ? 64 : trailCapacity_ * 2);
  trail_ = tables_.trail.data();
  trailCapacity_ = tables_.trail.size();
}

void Matcher::TooDeep() const { Fail(PatternErrorCode::RecursionTooDeep); }

bool Matcher::Attempt(const char* at) {
  attempt_ = at;
  stackBase_ = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  trailSize_ = 0;
  loopLevel_ = 0;
  iterTop_ = nullptr;
  if (!TryRest(prog_ + 1, at)) return false;
  starts_[0] = at;
  ends_[0] = matchEnd_;
  return true;
}

// Whether the prefix sets from offset `from` on accept the characters at q.
static bool PrefixFits(const CompiledProgram& program, const char* q, int from) {
  for (int k = from; k < program.prefixLength; ++k)
    if (!InByteSet(program.prefix[k].data(), static_cast<unsigned char>(q[k]))) return false;
  return true;
}

// Candidates for a match start are positions whose first characters fit the
// prefix sets. Where the first one or two sets are small, the vector scan
// finds the positions where those fit; the rest is checked per candidate.
bool Matcher::SearchPrefix(const char* from) {
  const CompiledProgram& program = program_;
  const int length = program.prefixLength;
  if (textEnd_ - from < length) return false;
  // The last position where a whole prefix still fits.
  const char* const last = textEnd_ - length;
  const char* q = from;
  const PairScanner findPair = BestPairScanner();
  if (findPair && program.prefixSmall[0] > 0 && textEnd_ - q > PairScanOverread) {
    const PairScan scan{program.prefixMembers[0][0], program.prefixMembers[0][1], program.prefixMembers[1][0],
                        program.prefixMembers[1][1], length > 1 && program.prefixSmall[1] > 0};
    const int checked = scan.second ? 2 : 1;
    const char* const vectorStop = textEnd_ - PairScanOverread;
    while (q < vectorStop) {
      const char* const window = q;
      const char* const stop = WindowEnd(q, vectorStop);
      while ((q = findPair(q, stop, scan)) < stop) {
        if (q > last) return false;
        if (PrefixFits(program, q, checked) && Attempt(q)) return true;
        ++q;
      }
      PassedOver(window, stop);
    }
  }
  while (q <= last) {
    const char* const stop = WindowEnd(q, last + 1);
    PassedOver(q, stop);
    for (; q < stop; ++q)
      if (PrefixFits(program, q, 0) && Attempt(q)) return true;
  }
  return false;
}

// Tries the start positions from `from` on; the leftmost that matches wins.
bool Matcher::Search(const char* from) {
  from_ = attempt_ = from;
  if (program_.anchored) return Attempt(from);
  if (program_.prefixLength > 0) return SearchPrefix(from);
  if (program_.firstLiteral != 0) {
    for (const char* q = from; (q = FindByte(q, program_.firstLiteral)); ++q)
      if (Attempt(q)) return true;
    return false;
  }
  const std::uint8_t* set = program_.startSet.data();
  if (program_.startSingle >= 0) {
    for (const char* q = from; (q = FindByte(q, static_cast<unsigned char>(program_.startSingle))); ++q)
      if (Attempt(q)) return true;
    return InByteSet(set, 0) && Attempt(textEnd_);
  }
  for (const char* q = from; q < textEnd_;) {
    const char* const stop = WindowEnd(q, textEnd_);
    PassedOver(q, stop);
    for (; q < stop; ++q)
      if (InByteSet(set, static_cast<unsigned char>(*q)) && Attempt(q)) return true;
  }
  return InByteSet(set, 0) && Attempt(textEnd_);
}

bool Matcher::LineStartAt(const char* p) const {
  if (p == textBegin_) return true;
  const char before = p[-1];
  if (hasPair_) {
    if (before == pairTail_ && p - 1 != textBegin_ && p[-2] == pairHead_) return true;
    if (before == pairHead_ && *p == pairTail_) return false;
  }
  return tables_.lineBreak[static_cast<unsigned char>(before)];
}

bool Matcher::LineEndAt(const char* p) const {
  if (p == textEnd_) return true;
  const char here = *p;
  if (hasPair_) {
    if (here == pairHead_ && p[1] == pairTail_) return true;
    if (here == pairTail_ && p != textBegin_ && p[-1] == pairHead_) return false;
  }
  return tables_.lineBreak[static_cast<unsigned char>(here)];
}

bool Matcher::Match(const std::uint8_t* n, const char* p) {
  const std::uint8_t* const swap = tables_.swap;
  for (;;) {
    if (!n) Fail(PatternErrorCode::MissingNode);
    const std::uint8_t op = n[0];
    const std::uint8_t* const next = NextNode(n);
    switch (op) {
      case OpEnd:
        matchEnd_ = p;
        return true;
      case OpInputStart:
        if (p != textBegin_) return false;
        break;
      case OpInputEnd:
        if (p != textEnd_) return false;
        break;
      case OpAnyChar:
        if (p == textEnd_) return false;
        ++p;
        break;
      case OpAlternative: {
        // All alternatives but the last are tried by recursion; the last one
        // simply continues here.
        const std::uint8_t* alt = n;
        const std::uint8_t* following = next;
        if (!following || following[0] != OpAlternative) {
          n = alt + NodeHeaderSize;
          continue;
        }
        const unsigned char c = static_cast<unsigned char>(*p);
        while (following && following[0] == OpAlternative) {
          if (BranchMayStart(alt, c) && TryRest(alt + NodeHeaderSize, p)) return true;
          alt = following;
          following = NextNode(alt);
        }
        if (!BranchMayStart(alt, c)) return false;
        n = alt + NodeHeaderSize;
        continue;
      }
      case OpJumpBack:
        if (program_.hasBackrefs) return JumpBackTracked(n, p);
        break;
      case OpEmpty:
      case OpComment:
        break;
      case OpLiteral: {
        // The subject's final NUL equals no text character, so the end of
        // the subject needs no test of its own.
        for (const std::uint8_t* s = n + OperandAt; *s; ++s, ++p)
          if (static_cast<std::uint8_t>(*p) != *s) return false;
        break;
      }
      case OpLiteralCI: {
        for (const std::uint8_t* s = n + OperandAt; *s; ++s, ++p) {
          const std::uint8_t c = static_cast<std::uint8_t>(*p);
          if (c != *s && c != swap[*s]) return false;
        }
        break;
      }
      case OpDigit:
        if (*p < '0' || *p > '9') return false;
        ++p;
        break;
      case OpNonDigit:
        if (p == textEnd_ || (*p >= '0' && *p <= '9')) return false;
        ++p;
        break;
      case OpTinySet: {
        const char c = *p;
        if (p == textEnd_ || (c != char(n[5]) && c != char(n[6]) && c != char(n[7]))) return false;
        ++p;
        break;
      }
      case OpNotTinySet: {
        const char c = *p;
        if (p == textEnd_ || c == char(n[5]) || c == char(n[6]) || c == char(n[7])) return false;
        ++p;
        break;
      }
      case OpFullSet:
        if (p == textEnd_ || !InByteSet(n + OperandAt, static_cast<unsigned char>(*p))) return false;
        ++p;
        break;
      case OpBackref:
      case OpBackrefCI: {
        const char *s, *e;
        if (!Captured(n, s, e) || textEnd_ - p < e - s) return false;
        if (!SameAsCaptured(op == OpBackrefCI, p, s, std::size_t(e - s))) return false;
        p += e - s;
        break;
      }
      case OpRepeatStar:
      case OpRepeatPlus:
      case OpRepeatBraces:
      case OpRepeatStarLazy:
      case OpRepeatPlusLazy:
      case OpRepeatBracesLazy:
        return Repeat(n, p);
      case OpLoopEntry:
        return LoopEntry(n, p);
      case OpLoop:
      case OpLoopLazy:
        return Loop(n, p);
      case OpLineStart:
        if (!LineStartAt(p)) return false;
        break;
      case OpLineEnd:
        if (!LineEndAt(p)) return false;
        break;
      case OpAnyInLine:
        if (p == textEnd_ || (hasPair_ && *p == pairHead_ && p[1] == pairTail_) ||
            tables_.lineBreak[static_cast<unsigned char>(*p)])
          return false;
        ++p;
        break;
      case OpWordBoundary:
      case OpNotWordBoundary: {
        const bool before = p != textBegin_ && tables_.word[static_cast<unsigned char>(p[-1])];
        const bool after = p != textEnd_ && tables_.word[static_cast<unsigned char>(*p)];
        if ((before != after) != (op == OpWordBoundary)) return false;
        break;
      }
      default:
        if (IsOpen(op)) {
          SetBound(&starts_[op - OpOpenBase], p);
          break;
        }
        if (IsClose(op)) {
          SetBound(&ends_[op - OpCloseBase], p);
          break;
        }
        Fail(PatternErrorCode::UnknownOpcode);
    }
    n = next;
  }
}

// How often the one-character operand matches in a row from p, at most max
// times.
std::int64_t Matcher::RegRepeat(const std::uint8_t* operand, const char* p, std::int64_t max) const {
  const std::int64_t remaining = textEnd_ - p;
  const std::int64_t limit = max < remaining ? max : remaining;
  const char* q = p;
  const char* const stop = p + limit;
  switch (operand[0]) {
    case OpAnyChar:
      return limit;
    case OpLiteral: {
      const char c = char(operand[OperandAt]);
      while (q < stop && *q == c) ++q;
      break;
    }
    case OpLiteralCI: {
      const char c = char(operand[OperandAt]);
      const char o = char(tables_.swap[operand[OperandAt]]);
      while (q < stop && (*q == c || *q == o)) ++q;
      break;
    }
    case OpDigit:
      while (q < stop && *q >= '0' && *q <= '9') ++q;
      break;
    case OpNonDigit:
      while (q < stop && (*q < '0' || *q > '9')) ++q;
      break;
    case OpTinySet: {
      const char a = char(operand[5]), b = char(operand[6]), c = char(operand[7]);
      while (q < stop && (*q == a || *q == b || *q == c)) ++q;
      break;
    }
    case OpNotTinySet: {
      const char a = char(operand[5]), b = char(operand[6]), c = char(operand[7]);
      if (a == b && b == c) {
        const void* hit = std::memchr(q, a, std::size_t(limit));
        return hit ? static_cast<const char*>(hit) - p : limit;
      }
      while (q < stop && *q != a && *q != b && *q != c) ++q;
      break;
    }
    case OpFullSet: {
      const std::uint8_t* set = operand + OperandAt;
      while (q < stop && InByteSet(set, static_cast<unsigned char>(*q))) ++q;
      break;
    }
    default:
      Fail(PatternErrorCode::RepeatOfComplexNode);
  }
  return q - p;
}

// How often the backreference operand's text follows in a row from p, at
// most max times; len is the text's length. Empty text repeats any number
// of times without moving.
std::int64_t Matcher::BackrefRepeat(const std::uint8_t* operand, const char* p, std::int64_t max,
                                    std::size_t& len) const {
  const char *s, *e;
  len = 0;
  if (!Captured(operand, s, e)) return 0;
  len = std::size_t(e - s);
  if (len == 0) return max;
  std::int64_t count = 0;
  for (const char* q = p; count < max && std::size_t(textEnd_ - q) >= len &&
                          SameAsCaptured(operand[0] == OpBackrefCI, q, s, len);
       q += len)
    ++count;
  return count;
}

namespace {

// Where the rest of the program after a repeat can start, as far as the
// search hints tell: At(q) for one position, Next(q, end) for the first one
// in [q, end), or end.
struct AnyPosition {
  static bool At(const char*) { return true; }
  static const char* Next(const char* q, const char*) { return q; }
};
struct LeadPosition {  // the first character of a backreference's text
  char a, b;
  bool At(const char* q) const { return *q == a || *q == b; }
  const char* Next(const char* q, const char* end) const {
    if (a == b) {
      const void* hit = std::memchr(q, a, std::size_t(end - q));
      return hit ? static_cast<const char*>(hit) : end;
    }
    while (q < end && *q != a && *q != b) ++q;
    return q;
  }
};
struct FollowPosition {
  const bool* allows;
  bool At(const char* q) const { return allows[static_cast<unsigned char>(*q)]; }
  const char* Next(const char* q, const char* end) const {
    for (; end - q >= 4; q += 4) {
      if (At(q)) return q;
      if (At(q + 1)) return q + 1;
      if (At(q + 2)) return q + 2;
      if (At(q + 3)) return q + 3;
    }
    while (q < end && !At(q)) ++q;
    return q;
  }
};

// A lazy repeat counts its run this far ahead at first, then twice as far
// each time, so that a short match in a long run costs a short count.
constexpr std::int64_t LazyCountAhead = 64;

// Failures that took fewer steps than this are not remembered.
constexpr std::uint64_t MemoMinSteps = 32;

}  // namespace

// Greedy: the rest after every count from the end at `top` down to `bottom`.
template <typename Allowed>
bool Matcher::TryDown(const std::uint8_t* next, const char* top, const char* bottom, std::ptrdiff_t width,
                      Allowed allowed) {
  for (const char* q = top;; q -= width) {
    if (allowed.At(q) && TryRest(next, q)) return true;
    if (q == bottom) return false;
  }
}

// Lazy: the rest after every count from min up, the run counted as the
// tries go. Tries from stopAt on are known to fail (see Repeat): reaching it
// ends the repeat, and the run is then known to end at knownEnd. runEnd is
// set when the end of the run becomes known.
template <bool Remembering, typename Allowed>
bool Matcher::TryUp(const RepeatRun& r, const char* stopAt, const char* knownEnd, Allowed allowed,
                    const char*& runEnd) {
  const char* const p = r.p;
  std::int64_t ahead = LazyCountAhead;
  std::int64_t want = r.max - r.min < ahead ? r.max : r.min + ahead;
  std::int64_t counted = RegRepeat(r.operand, p, want);
  Charge(counted);
  bool ended = counted < want;
  if (counted < r.min) {
    if (ended) runEnd = p + counted;
    return false;
  }
  for (const char* q = p + r.min;;) {
    const char* const last = p + counted;
    const bool stops = Remembering && stopAt && stopAt <= last;
    for (const char* const end = stops ? stopAt : last + 1; (q = allowed.Next(q, end)) < end; ++q)
      if (TryRest(r.next, q)) return true;
    if (stops) {
      runEnd = knownEnd;
      return false;
    }
    if (ended || counted >= r.max) break;
    ahead *= 2;
    want = r.max - counted < ahead ? r.max - counted : ahead;
    const std::int64_t more = RegRepeat(r.operand, p + counted, want);
    Charge(more);
    counted += more;
    ended = more < want;
  }
  if (ended) runEnd = p + counted;
  return false;
}

// A single-node repeat: the rest of the program after each permitted count
// of the operand, longest first (greedy) or shortest first.
bool Matcher::Repeat(const std::uint8_t* n, const char* p) {
  RepeatRun r;
  r.p = p;
  switch (n[0]) {
    case OpRepeatStar:
    case OpRepeatStarLazy:
      r.min = 0;
      r.max = std::numeric_limits<std::int32_t>::max();
      break;
    case OpRepeatPlus:
    case OpRepeatPlusLazy:
      r.min = 1;
      r.max = std::numeric_limits<std::int32_t>::max();
      break;
    default:
      r.min = ReadInt32(n + RepeatMinAt);
      r.max = ReadInt32(n + RepeatMaxAt);
      break;
  }
  r.operand = RepeatOperand(n);
  r.next = NextNode(n);
  r.lazy = Info(n[0]).lazy;
  const CompiledProgram::NodeAid* aid = Aid(n);
  if (!aid) return Counts(r, AnyPosition{}, nullptr, nullptr);

  // Once a failure was remembered in this run, a start inside one fails.
  const RunTables::MemoEntry* known = nullptr;
  if (remembered_ && aid->memoSlot >= 0) {
    known = FindRemembered(*aid, p);
    if (known && p >= known->lo) return false;
  }

  // Counts after which the rest cannot start are skipped without a try.
  const bool* follow = aid->restricts ? aid->allows.data() : nullptr;
  if (aid->leadBackref) {
    // The rest begins with a backreference: it needs the group's first
    // character next, and fails everywhere while the group is unset.
    const char* s = starts_[aid->leadBackref];
    const char* e = ends_[aid->leadBackref];
    if (!HasText(s, e)) return false;
    if (s != e) {
      const LeadPosition lead{*s, aid->leadBackrefCI ? char(tables_.swap[static_cast<unsigned char>(*s)]) : *s};
      return Counts(r, lead, aid, known);
    }
    // Empty text: what follows the backreference comes next.
    if (aid->afterLeadRestricts) follow = aid->afterLeadAllows.data();
  }
  if (follow) return Counts(r, FollowPosition{follow}, aid, known);
  return Counts(r, AnyPosition{}, aid, known);
}

// The counts of a repeat, where the rest can start at the positions
// `allowed` accepts.
//
// Where the rest depends only on the position and on the texts the groups
// of its key hold (no loops, see DeriveSearchHints), a repeat that failed
// from p over a run of its operand ending at hi fails from every later
// start in that run too, as its tries are a subset: the memo keeps such
// failures, and a start before a remembered one tries only the counts that
// end before the remembered tries begin (`known`). This keeps the page
// scans linear where lazy groups and backreferences would otherwise try
// every split again from every start. Failures are kept once the run has
// proven expensive (see Checkpoint).
template <typename Allowed>
bool Matcher::Counts(const RepeatRun& r, Allowed allowed, const CompiledProgram::NodeAid* aid,
                     const RunTables::MemoEntry* known) {
  const char* const p = r.p;
  if (r.operand[0] == OpBackref || r.operand[0] == OpBackrefCI) {
    std::size_t width;
    const std::int64_t count = BackrefRepeat(r.operand, p, r.max, width);
    if (count < r.min) return false;
    // Repetitions of empty text all end where they start: one try is enough.
    if (width == 0) return TryRest(r.next, p);
    const std::ptrdiff_t step = std::ptrdiff_t(width);
    const char* const shortest = p + r.min * step;
    const char* const longest = p + count * step;
    if (!r.lazy) return TryDown(r.next, longest, shortest, step, allowed);
    for (const char* q = shortest;; q += step) {
      if (allowed.At(q) && TryRest(r.next, q)) return true;
      if (q == longest) return false;
    }
  }

  const bool remembers = memoArmed_ && aid && aid->memoSlot >= 0;
  if (!remembers) {
    const char* runEnd = nullptr;
    bool matched;
    if (r.lazy) {
      matched = TryUp<false>(r, nullptr, nullptr, allowed, runEnd);
    } else {
      const std::int64_t count = RegRepeat(r.operand, p, r.max);
      Charge(count);
      if (count < r.max) runEnd = p + count;
      matched = count >= r.min && TryDown(r.next, p + count, p + r.min, 1, allowed);
    }
    // Should the memos have been armed during these tries (or be due now),
    // the failure is kept: the start that proved the run expensive is not
    // tried again.
    if (!matched && (memoArmed_ || left_ < 0) && runEnd && aid && aid->memoSlot >= 0) {
      if (left_ < 0) Checkpoint();
      if (memoArmed_) RememberFailure(*aid, p, runEnd);
    }
    return matched;
  }

  const std::uint64_t stepsBefore = Steps();
  const char* runEnd = nullptr;
  bool matched = false;
  if (r.lazy) {
    matched = TryUp<true>(r, known ? known->lo + r.min : nullptr, known ? known->hi : nullptr, allowed, runEnd);
  } else {
    std::int64_t count;
    const char* top;
    if (known && known->hi - p <= r.max) {
      // Only the counts that end before the remembered tries are new, if
      // the run from p reaches the remembered one.
      const std::int64_t toKnown = known->lo - p;
      count = RegRepeat(r.operand, p, toKnown);
      Charge(count);
      if (count == toKnown) {
        runEnd = known->hi;
        count = known->hi - p;
        top = p + count < known->lo + r.min ? p + count : known->lo + r.min - 1;
      } else {
        if (count < r.max) runEnd = p + count;
        top = p + count;
      }
    } else {
      count = RegRepeat(r.operand, p, r.max);
      Charge(count);
      if (count < r.max) runEnd = p + count;
      top = p + count;
    }
    if (count >= r.min && top >= p + r.min) matched = TryDown(r.next, top, p + r.min, 1, allowed);
  }
  if (!matched && runEnd && (known || Steps() - stepsBefore >= MemoMinSteps)) RememberFailure(*aid, p, runEnd);
  return matched;
}

// Whether the groups of the key hold what they held when e was recorded.
bool Matcher::SameKey(const RunTables::MemoEntry& e, const CompiledProgram::NodeAid& aid) const {
  for (unsigned m = aid.memoBounds; m; m &= m - 1) {
    const int g = __builtin_ctz(m);
    if (e.starts[g] != starts_[g] || e.ends[g] != ends_[g]) return false;
  }
  for (unsigned m = aid.memoText; m; m &= m - 1) {
    const int g = __builtin_ctz(m);
    const char *s = starts_[g], *t = ends_[g];
    const char *es = e.starts[g], *et = e.ends[g];
    const bool set = s && t;
    if (set != (es && et)) return false;
    if (!set || (s == es && t == et)) continue;
    // Texts longer than this count as different: comparing them could cost
    // more than the memo saves.
    constexpr std::ptrdiff_t MaxKeyText = 64;
    if (t - s != et - es || t < s || t - s > MaxKeyText || std::memcmp(s, es, std::size_t(t - s)) != 0)
      return false;
  }
  return true;
}

// The entry for a start at p with the current key: one that p lies in (the
// repeat fails), else the nearest one after p in the same kind of run, or
// nullptr.
const RunTables::MemoEntry* Matcher::FindRemembered(const CompiledProgram::NodeAid& aid, const char* p) const {
  const RunTables::MemoEntry* ways = &tables_.memo[std::size_t(aid.memoSlot) * RunTables::MemoWays];
  const RunTables::MemoEntry* after = nullptr;
  for (int w = 0; w < RunTables::MemoWays; ++w) {
    const RunTables::MemoEntry& e = ways[w];
    if (e.run != tables_.run || p > e.hi || !SameKey(e, aid)) continue;
    if (p >= e.lo) return &e;
    if (!after || e.lo < after->lo) after = &e;
  }
  return after;
}

void Matcher::RememberFailure(const CompiledProgram::NodeAid& aid, const char* p, const char* hi) {
  RunTables::MemoEntry* ways = &tables_.memo[std::size_t(aid.memoSlot) * RunTables::MemoWays];
  RunTables::MemoEntry* victim = nullptr;
  for (int w = 0; w < RunTables::MemoWays; ++w) {
    RunTables::MemoEntry& e = ways[w];
    if (e.run != tables_.run) {
      if (!victim) victim = &e;
      continue;
    }
    if (e.hi == hi && SameKey(e, aid)) {
      if (p < e.lo) e.lo = p;
      return;
    }
  }
  remembered_ = true;
  // All ways in use: take turns.
  if (!victim) victim = &ways[tables_.memoTurn[std::size_t(aid.memoSlot)]++ % RunTables::MemoWays];
  victim->run = tables_.run;
  victim->lo = p;
  victim->hi = hi;
  for (unsigned m = unsigned(aid.memoText | aid.memoBounds); m; m &= m - 1) {
    const int g = __builtin_ctz(m);
    victim->starts[g] = starts_[g];
    victim->ends[g] = ends_[g];
  }
}

bool Matcher::LoopEntry(const std::uint8_t* n, const char* p) {
  const int level = loopLevel_ + 1;
  if (level > MaxLoopLevels) Fail(PatternErrorCode::LoopStackExceeded);
  loopLevel_ = level;
  loopCounters_[level] = 0;
  bool matched;
  if (program_.hasBackrefs) {
    // Marks where this activation of the loop began (see LastIterationEmpty).
    const IterRecord mark{n, p, iterTop_};
    iterTop_ = &mark;
    matched = TryRest(NextNode(n), p);
    iterTop_ = mark.prev;
  } else {
    matched = TryRest(NextNode(n), p);
  }
  loopLevel_ = level - 1;
  return matched;
}

// Enters the loop body once more.
bool Matcher::LoopBodyTry(const std::uint8_t* loop, const char* p) {
  if (!program_.hasBackrefs) return TryRest(LoopBody(loop), p);
  const IterRecord record{loop, p, iterTop_};
  iterTop_ = &record;
  const bool matched = TryRest(LoopBody(loop), p);
  iterTop_ = record.prev;
  return matched;
}

// Only a backreference to empty text lets a loop body match empty. The
// records on the current path are in position order, so only those at p are
// looked at: an iteration of this loop that began at p consumed nothing.
bool Matcher::LastIterationEmpty(const std::uint8_t* loop, const char* p) const {
  for (const IterRecord* r = iterTop_; r && r->pos == p; r = r->prev) {
    if (r->node == loop) return true;
    if (r->node[0] == OpLoopEntry && NextNode(r->node) == loop) return false;
  }
  return false;
}

bool Matcher::Loop(const std::uint8_t* n, const char* p) {
  const int level = loopLevel_;
  if (level <= 0) Fail(PatternErrorCode::LoopWithoutEntry);
  const std::int32_t count = loopCounters_[level];
  const std::int32_t min = ReadInt32(n + RepeatMinAt);
  const std::int32_t max = ReadInt32(n + RepeatMaxAt);
  const std::uint8_t* const next = NextNode(n);

  if (count < min) {
    loopCounters_[level] = count + 1;
    if (LoopBodyTry(n, p)) return true;
    loopCounters_[level] = count;
    loopLevel_ = level;
    return false;
  }
  const bool mayIterate = count < max && !(program_.hasBackrefs && LastIterationEmpty(n, p));
  const bool lazy = n[0] == OpLoopLazy;
  if (!lazy && mayIterate) {
    loopCounters_[level] = count + 1;
    if (LoopBodyTry(n, p)) return true;
    loopCounters_[level] = count;
    loopLevel_ = level;
  }
  // Leave the loop. A loop entered while trying the rest may have reused
  // this level, so its counter is put back too when that fails.
  loopLevel_ = level - 1;
  if (TryRest(next, p)) return true;
  loopLevel_ = level;
  loopCounters_[level] = count;
  if (lazy && mayIterate) {
    loopCounters_[level] = count + 1;
    if (LoopBodyTry(n, p)) return true;
    loopCounters_[level] = count;
    loopLevel_ = level;
  }
  return false;
}

// A jump back that closes a * or + loop, in a program where the loop body
// may match empty text through a backreference: when this jump was already
// taken at this position on the current path, the last iteration consumed
// nothing, and looping again would never end. The jump then fails, so the
// loop is left through its other alternative.
bool Matcher::JumpBackTracked(const std::uint8_t* n, const char* p) {
  for (const IterRecord* r = iterTop_; r && r->pos == p; r = r->prev)
    if (r->node == n) return false;
  const IterRecord record{n, p, iterTop_};
  iterTop_ = &record;
  const bool matched = TryRest(NextNode(n), p);
  iterTop_ = record.prev;
  return matched;
}

}  // namespace quorvane::regex
