// The matcher: a recursive backtracker in continuation style. Match(n, p)
// runs the program from node n at subject position p and is true when the
// rest of the program matched; every node that has a choice recurses for the
// remainder and learns whether the whole remainder matched.
//
// Every node that fails leaves the loop level and the loop counters of the
// active levels as it found them. Group bounds are set without recursion and
// logged; a failed remainder puts them back from the log (TryRest).
#include <cstring>
#include <limits>

#include "regexpr/Engine.h"

namespace quorvane::regex {

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
    if (program_.nodeAidIndex.empty()) return nullptr;
    const std::int32_t k = program_.nodeAidIndex[std::size_t(n - prog_)];
    return k < 0 ? nullptr : &program_.nodeAids[std::size_t(k)];
  }
  bool BranchMayStart(const std::uint8_t* alt, unsigned char c) const {
    const CompiledProgram::NodeAid* aid = Aid(alt);
    return !aid || !aid->restricts || InByteSet(aid->set.data(), c);
  }
  bool Match(const std::uint8_t* n, const char* p);
  // Tries the rest of the program from n at p; on failure every group bound
  // set on the way is put back.
  bool TryRest(const std::uint8_t* n, const char* p) {
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
    if (group >= unsigned(GroupSlots)) Fail(PatternErrorCode::UnknownOpcode);
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
  [[noreturn]] void Fail(PatternErrorCode code) const { Raise(owner_, code); }

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

bool SearchSubject(TPattern& owner, const CompiledProgram& program, RunTables& tables, const char* from) {
  return Matcher(owner, program, tables).Search(from);
}

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
      tables_(tables),
      textBegin_(owner.input_.data()),
      textEnd_(owner.input_.data() + owner.input_.size()),
      starts_(owner.groupStarts_),
      ends_(owner.groupEnds_),
      trail_(tables.trail.data()),
      trailCapacity_(tables.trail.size()),
      hasPair_(owner.hasPairedSeparator_),
      pairHead_(owner.pairHead_),
      pairTail_(owner.pairTail_) {}

void Matcher::GrowTrail() {
  tables_.trail.resize(trailCapacity_ < 64 ? 64 : trailCapacity_ * 2);
  trail_ = tables_.trail.data();
  trailCapacity_ = tables_.trail.size();
}

void Matcher::TooDeep() const { Fail(PatternErrorCode::RecursionTooDeep); }

bool Matcher::Attempt(const char* at) {
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
  if (HavePairScan() && program.prefixSmall[0] > 0 && textEnd_ - q > PairScanOverread) {
    const PairScan scan{program.prefixMembers[0][0], program.prefixMembers[0][1], program.prefixMembers[1][0],
                        program.prefixMembers[1][1], length > 1 && program.prefixSmall[1] > 0};
    const int checked = scan.second ? 2 : 1;
    const char* const vectorStop = textEnd_ - PairScanOverread;
    while (q < vectorStop) {
      q = FindPair(q, vectorStop, scan);
      if (q >= vectorStop) break;
      if (q > last) return false;
      if (PrefixFits(program, q, checked) && Attempt(q)) return true;
      ++q;
    }
  }
  for (; q <= last; ++q)
    if (PrefixFits(program, q, 0) && Attempt(q)) return true;
  return false;
}

// Tries the start positions from `from` on; the leftmost that matches wins.
bool Matcher::Search(const char* from) {
  if (program_.anchored) return Attempt(from);
  if (program_.prefixLength > 0) return SearchPrefix(from);
  if (program_.firstLiteral != 0) {
    for (const char* q = from; q < textEnd_; ++q) {
      q = static_cast<const char*>(std::memchr(q, program_.firstLiteral, std::size_t(textEnd_ - q)));
      if (!q) return false;
      if (Attempt(q)) return true;
    }
    return false;
  }
  const std::uint8_t* set = program_.startSet.data();
  if (program_.startSingle >= 0) {
    for (const char* q = from; q < textEnd_; ++q) {
      q = static_cast<const char*>(std::memchr(q, program_.startSingle, std::size_t(textEnd_ - q)));
      if (!q) break;
      if (Attempt(q)) return true;
    }
    return InByteSet(set, 0) && Attempt(textEnd_);
  }
  for (const char* q = from; q < textEnd_; ++q)
    if (InByteSet(set, static_cast<unsigned char>(*q)) && Attempt(q)) return true;
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
// times. width is the length of one repetition; 0 for a backreference to
// empty text, which then repeats any number of times without moving.
std::int64_t Matcher::RegRepeat(const std::uint8_t* operand, const char* p, std::int64_t max,
                                std::size_t& width) const {
  width = 1;
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
    case OpBackref:
    case OpBackrefCI: {
      const char *s, *e;
      if (!Captured(operand, s, e)) return 0;
      const std::size_t len = std::size_t(e - s);
      width = len;
      if (len == 0) return max;
      std::int64_t count = 0;
      while (count < max && std::size_t(textEnd_ - q) >= len &&
             SameAsCaptured(operand[0] == OpBackrefCI, q, s, len)) {
        q += len;
        ++count;
      }
      return count;
    }
    default:
      Fail(PatternErrorCode::RepeatOfComplexNode);
  }
  return q - p;
}

// A single-node repeat: count the run once, then try the rest of the program
// after each permitted count, longest first (greedy) or shortest first.
bool Matcher::Repeat(const std::uint8_t* n, const char* p) {
  const std::uint8_t op = n[0];
  std::int64_t min, max;
  const std::uint8_t* operand = n + OperandAt;
  switch (op) {
    case OpRepeatStar:
    case OpRepeatStarLazy:
      min = 0;
      max = std::numeric_limits<std::int32_t>::max();
      break;
    case OpRepeatPlus:
    case OpRepeatPlusLazy:
      min = 1;
      max = std::numeric_limits<std::int32_t>::max();
      break;
    default:
      min = ReadInt32(n + RepeatMinAt);
      max = ReadInt32(n + RepeatMaxAt);
      operand = n + BracesOperandAt;
      break;
  }
  const std::uint8_t* const next = NextNode(n);
  std::size_t width;
  const std::int64_t count = RegRepeat(operand, p, max, width);
  if (count < min) return false;
  // Repetitions of empty text all end where they start: one try is enough.
  if (width == 0) return TryRest(next, p);

  // Counts after which the rest cannot start are skipped without a try.
  const CompiledProgram::NodeAid* aid = Aid(n);
  const bool* follow = aid && aid->restricts ? aid->allows.data() : nullptr;
  bool lead = false;
  char leadA = 0, leadB = 0;
  if (aid && aid->leadBackref) {
    // The rest begins with a backreference: it needs the group's first
    // character next, and fails everywhere while the group is unset.
    const char* s = starts_[aid->leadBackref];
    const char* e = ends_[aid->leadBackref];
    if (!s || !e) return false;
    if (s != e) {
      lead = true;
      leadA = *s;
      leadB = aid->leadBackrefCI ? char(tables_.swap[static_cast<unsigned char>(*s)]) : *s;
    } else if (aid->afterLeadRestricts) {
      // Empty text: what follows the backreference comes next.
      follow = aid->afterLeadAllows.data();
    }
  }
  const bool lazy = op == OpRepeatStarLazy || op == OpRepeatPlusLazy || op == OpRepeatBracesLazy;
  const std::ptrdiff_t step = lazy ? std::ptrdiff_t(width) : -std::ptrdiff_t(width);
  const char* q = p + (lazy ? min : count) * std::int64_t(width);
  const char* const last = p + (lazy ? count : min) * std::int64_t(width);
  if (lead) {
    for (;; q += step) {
      if ((*q == leadA || *q == leadB) && TryRest(next, q)) return true;
      if (q == last) return false;
    }
  }
  if (follow) {
    for (;; q += step) {
      if (follow[static_cast<unsigned char>(*q)] && TryRest(next, q)) return true;
      if (q == last) return false;
    }
  }
  for (;; q += step) {
    if (TryRest(next, q)) return true;
    if (q == last) return false;
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
