// The matcher: a recursive backtracker in continuation style. Match(n, p)
// runs the program from node n at subject position p and is true when the
// rest of the program matched; every node that has a choice recurses for the
// remainder and learns whether the whole remainder matched.
//
// Every node that fails leaves the group bounds, the loop level and the loop
// counters of the active levels as it found them.
#include <cstring>
#include <limits>

#include "regexpr/Engine.h"

namespace quorvane::regex {

// Deepest recursion allowed. Measured frames (x86-64, -O2): Match 64 bytes
// on both builds, the repeat and loop helpers up to 96 bytes; a nested level
// of recursion is at most two frames. Windows gives the main thread 1 MiB of
// stack, so 4000 levels (under 400 KiB) leave well over half of it to the
// callers. Deeper runs raise code 1016 instead of overflowing the stack.
const unsigned Matcher::MaxDepth = 4000;

Matcher::Matcher(TPattern& owner, const CompiledProgram& program, const RunTables& tables)
    : owner_(owner),
      program_(program),
      prog_(program.Start()),
      tables_(tables),
      textBegin_(owner.input_.data()),
      textEnd_(owner.input_.data() + owner.input_.size()),
      starts_(owner.groupStarts_),
      ends_(owner.groupEnds_),
      hasPair_(owner.hasPairedSeparator_),
      pairHead_(owner.pairHead_),
      pairTail_(owner.pairTail_) {}

void Matcher::TooDeep() const { Fail(1016); }

bool Matcher::Attempt(const char* at) {
  depth_ = 0;
  loopLevel_ = 0;
  iterTop_ = nullptr;
  if (!Match(prog_ + 1, at)) return false;
  starts_[0] = at;
  ends_[0] = matchEnd_;
  return true;
}

// Tries the start positions from `from` on; the leftmost that matches wins.
bool Matcher::Search(const char* from) {
  if (program_.anchored) return Attempt(from);
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
    if (!n) Fail(1002);
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
        while (following && following[0] == OpAlternative) {
          if (Sub(alt + NodeHeaderSize, p)) return true;
          alt = following;
          following = NextNode(alt);
        }
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
        const std::uint8_t* s = n + OperandAt;
        do {
          if (static_cast<std::uint8_t>(*p) != *s) return false;
          ++p;
          ++s;
        } while (*s);
        break;
      }
      case OpLiteralCI: {
        const std::uint8_t* s = n + OperandAt;
        do {
          const std::uint8_t c = static_cast<std::uint8_t>(*p);
          if (c != *s && c != swap[*s]) return false;
          ++p;
          ++s;
        } while (*s);
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
        const unsigned group = n[OperandAt];
        if (group >= unsigned(GroupSlots)) Fail(1001);
        const char* s = starts_[group];
        const char* e = ends_[group];
        if (!s || !e) return false;
        if (textEnd_ - p < e - s) return false;
        if (op == OpBackref) {
          if (std::memcmp(p, s, std::size_t(e - s)) != 0) return false;
          p += e - s;
        } else {
          for (; s < e; ++s, ++p) {
            const std::uint8_t c = static_cast<std::uint8_t>(*p);
            const std::uint8_t t = static_cast<std::uint8_t>(*s);
            if (c != t && c != swap[t]) return false;
          }
        }
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
          const char** slot = &starts_[op - OpOpenBase];
          const char* old = *slot;
          *slot = p;
          if (Sub(next, p)) return true;
          *slot = old;
          return false;
        }
        if (IsClose(op)) {
          const char** slot = &ends_[op - OpCloseBase];
          const char* old = *slot;
          *slot = p;
          if (Sub(next, p)) return true;
          *slot = old;
          return false;
        }
        Fail(1001);
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
      const unsigned group = operand[OperandAt];
      if (group >= unsigned(GroupSlots)) Fail(1001);
      const char* s = starts_[group];
      const char* e = ends_[group];
      if (!s || !e) return 0;
      const std::size_t len = std::size_t(e - s);
      width = len;
      if (len == 0) return max;
      std::int64_t count = 0;
      while (count < max && std::size_t(textEnd_ - q) >= len) {
        if (operand[0] == OpBackref) {
          if (std::memcmp(q, s, len) != 0) break;
        } else {
          std::size_t k = 0;
          for (; k < len; ++k) {
            const std::uint8_t c = static_cast<std::uint8_t>(q[k]);
            const std::uint8_t t = static_cast<std::uint8_t>(s[k]);
            if (c != t && c != tables_.swap[t]) break;
          }
          if (k < len) break;
        }
        q += len;
        ++count;
      }
      return count;
    }
    default:
      Fail(1000);
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
  if (width == 0) return Sub(next, p);

  const std::int32_t followAt = program_.followIndex.empty() ? -1 : program_.followIndex[std::size_t(n - prog_)];
  const std::uint8_t* follow = followAt < 0 ? nullptr : program_.followSets[std::size_t(followAt)].data();
  const bool lazy = op == OpRepeatStarLazy || op == OpRepeatPlusLazy || op == OpRepeatBracesLazy;
  if (!lazy) {
    for (std::int64_t k = count; k >= min; --k) {
      const char* q = p + k * std::int64_t(width);
      if (follow && !InByteSet(follow, static_cast<unsigned char>(*q))) continue;
      if (Sub(next, q)) return true;
    }
  } else {
    for (std::int64_t k = min; k <= count; ++k) {
      const char* q = p + k * std::int64_t(width);
      if (follow && !InByteSet(follow, static_cast<unsigned char>(*q))) continue;
      if (Sub(next, q)) return true;
    }
  }
  return false;
}

bool Matcher::LoopEntry(const std::uint8_t* n, const char* p) {
  const int level = loopLevel_ + 1;
  if (level > MaxLoopLevels) Fail(1014);
  loopLevel_ = level;
  loopCounters_[level] = 0;
  bool matched;
  if (program_.hasBackrefs) {
    // Marks where this activation of the loop began (see LastIterationEmpty).
    const IterRecord mark{n, p, iterTop_};
    iterTop_ = &mark;
    matched = Sub(NextNode(n), p);
    iterTop_ = mark.prev;
  } else {
    matched = Sub(NextNode(n), p);
  }
  loopLevel_ = level - 1;
  return matched;
}

// Enters the loop body once more.
bool Matcher::LoopBodyTry(const std::uint8_t* loop, const char* p) {
  if (!program_.hasBackrefs) return Sub(LoopBody(loop), p);
  const IterRecord record{loop, p, iterTop_};
  iterTop_ = &record;
  const bool matched = Sub(LoopBody(loop), p);
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
  if (level <= 0) Fail(1015);
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
  if (Sub(next, p)) return true;
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
  const bool matched = Sub(NextNode(n), p);
  iterTop_ = record.prev;
  return matched;
}

}  // namespace quorvane::regex
