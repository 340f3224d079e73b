// Search hints: what a compiled program tells about where a match can start,
// derived once per compile so that a run can skip hopeless positions.
#include <cstring>
#include <vector>

#include "regexpr/Engine.h"

namespace quorvane::regex {

namespace {

// Programs above this size get no per-node sets (each costs a walk).
constexpr std::size_t NodeSetProgramLimit = 64 * 1024;

void AddAllBut(ByteSet& set, const std::uint8_t* except, int n) {
  for (int c = 0; c < 256; ++c) {
    bool excluded = false;
    for (int k = 0; k < n; ++k) excluded |= except[k] == c;
    if (!excluded) AddToSet(set, static_cast<unsigned char>(c));
  }
}

// Adds the characters a one-character node (Width::OneChar) matches. The
// byte 0 may come with a negated set; the node itself never matches the end.
void AddOneCharSet(const std::uint8_t* node, ByteSet& set) {
  static const std::uint8_t digits[] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  switch (node[0]) {
    case OpDigit:
      for (std::uint8_t c : digits) AddToSet(set, c);
      break;
    case OpNonDigit:
      AddAllBut(set, digits, 10);
      break;
    case OpTinySet:
      for (int k = 0; k < TinySetSize; ++k) AddToSet(set, node[OperandAt + k]);
      break;
    case OpNotTinySet:
      AddAllBut(set, node + OperandAt, TinySetSize);
      break;
    case OpFullSet:
      for (int k = 0; k < FullSetSize; ++k) set[std::size_t(k)] |= node[OperandAt + k];
      break;
    default:  // the dot, with or without s
      set.fill(0xFF);
      break;
  }
}

class StartCharWalk {
 public:
  StartCharWalk(const CompiledProgram& program, const HintSettings& settings, const TPattern& owner)
      : prog_(program.Start()),
        settings_(settings),
        owner_(owner),
        visited_(program.size, 0) {}

  // Adds to set every character a match from node can begin with. With
  // loopsMayExit, a loop node may also be left at once (the walk starts
  // inside a loop body, where the counter can already be at its minimum).
  void Collect(const std::uint8_t* node, ByteSet& set, bool loopsMayExit) {
    set_ = &set;
    loopsMayExit_ = loopsMayExit;
    ++generation_;
    // Branches wait on a list instead of the call stack, so a long run of
    // optional pieces cannot exhaust the stack.
    pending_.clear();
    pending_.push_back(node);
    while (!pending_.empty()) {
      const std::uint8_t* next = pending_.back();
      pending_.pop_back();
      Walk(next);
    }
  }

 private:
  void All() { set_->fill(0xFF); }
  void Add(unsigned char c) { AddToSet(*set_, c); }
  void AddLineBreaks() {
    for (char c : *settings_.lineBreakChars) Add(static_cast<unsigned char>(c));
    // A line also ends right before the paired separator.
    if (settings_.hasPair) Add(settings_.pairHead);
  }

  // Walks along next links from node; branches go on the pending list.
  // Every node is walked at most once per collection: a second visit adds
  // nothing new, and loops whose body can be empty would otherwise never end.
  void Branch(const std::uint8_t* node) {
    if (node) pending_.push_back(node);
  }
  void Walk(const std::uint8_t* node) {
    while (node) {
      std::size_t at = std::size_t(node - prog_);
      if (visited_[at] == generation_) return;
      visited_[at] = generation_;
      const std::uint8_t op = node[0];
      const OpInfo& info = Info(op);
      if (!info.name) Raise(owner_, PatternErrorCode::UnknownOpcode);
      if (info.width == Width::OneChar) {
        AddOneCharSet(node, *set_);
        return;
      }
      switch (op) {
        case OpEnd:
        case OpBackref:
        case OpBackrefCI:
          All();
          return;
        case OpInputEnd:
          Add(0);
          if (settings_.multiLine) AddLineBreaks();
          return;
        case OpLineEnd:
          Add(0);
          AddLineBreaks();
          return;
        case OpLiteral:
          Add(node[OperandAt]);
          return;
        case OpLiteralCI:
          Add(node[OperandAt]);
          Add(settings_.swap[node[OperandAt]]);
          return;
        case OpAlternative: {
          const std::uint8_t* next = NextNode(node);
          if (next && next[0] == OpAlternative) {
            for (const std::uint8_t* alt = node; alt && alt[0] == OpAlternative; alt = NextNode(alt))
              Branch(alt + NodeHeaderSize);
            return;
          }
          node += NodeHeaderSize;
          continue;
        }
        case OpLoopEntry:
          Branch(NextNode(node));
          return;
        case OpLoop:
        case OpLoopLazy:
          Branch(LoopBody(node));
          if (loopsMayExit_ || ReadInt32(node + RepeatMinAt) == 0) Branch(NextNode(node));
          return;
        case OpRepeatStar:
        case OpRepeatStarLazy:
          Branch(node + OperandAt);
          break;
        case OpRepeatPlus:
        case OpRepeatPlusLazy:
          Branch(node + OperandAt);
          return;
        case OpRepeatBraces:
        case OpRepeatBracesLazy:
          Branch(node + BracesOperandAt);
          if (ReadInt32(node + RepeatMinAt) > 0) return;
          break;
        default:
          // What remains matches the empty string: anchors, boundaries,
          // group marks, jumps, empty and comment nodes.
          break;
      }
      node = NextNode(node);
    }
  }

  const std::uint8_t* prog_;
  const HintSettings& settings_;
  const TPattern& owner_;
  std::vector<std::uint32_t> visited_;  // generation of the last visit
  std::vector<const std::uint8_t*> pending_;
  std::uint32_t generation_ = 0;
  ByteSet* set_ = nullptr;
  bool loopsMayExit_ = false;
};

bool IsFull(const ByteSet& set) {
  for (std::uint8_t b : set)
    if (b != 0xFF) return false;
  return true;
}

// The characters at the first offsets of every match, read off the start of
// a single top-level alternative: literals and one-character nodes in a row
// (group marks between them are passed over).
void DeriveEntryPrefix(CompiledProgram& program, const HintSettings& settings) {
  program.prefixLength = 0;
  const std::uint8_t* prog = program.Start();
  const std::uint8_t* second = NextNode(prog + 1);
  if (!second || second[0] != OpEnd) return;
  int length = 0;
  auto open = [&]() -> ByteSet* {
    if (length == CompiledProgram::MaxPrefix) return nullptr;
    ByteSet& set = program.prefix[length++];
    set.fill(0);
    return &set;
  };
  for (const std::uint8_t* n = prog + 1 + NodeHeaderSize; n && length < CompiledProgram::MaxPrefix;
       n = NextNode(n)) {
    const std::uint8_t op = n[0];
    if (IsOpen(op) || IsClose(op) || op == OpComment || op == OpEmpty) continue;
    if (op == OpLiteral || op == OpLiteralCI) {
      for (const std::uint8_t* c = n + OperandAt; *c; ++c) {
        ByteSet* set = open();
        if (!set) break;
        AddToSet(*set, *c);
        if (op == OpLiteralCI) AddToSet(*set, settings.swap[*c]);
      }
      continue;
    }
    // One-character nodes; the dot without s ends the prefix, like any
    // other node.
    if (Info(op).width != Width::OneChar || op == OpAnyInLine) break;
    ByteSet* set = open();
    if (!set) break;
    AddOneCharSet(n, *set);
  }
  // Every node of the prefix fails at the end of the subject.
  for (int k = 0; k < length; ++k) program.prefix[k][0] &= 0xFE;
  program.prefixLength = length;
  for (int k = 0; k < 2; ++k) {
    program.prefixSmall[k] = 0;
    if (k >= length) continue;
    int count = 0;
    unsigned char* members = program.prefixMembers[k];
    for (int c = 1; c < 256 && count <= 2; ++c) {
      if (!InByteSet(program.prefix[k].data(), static_cast<unsigned char>(c))) continue;
      if (count < 2) members[count] = static_cast<unsigned char>(c);
      ++count;
    }
    if (count == 1) members[1] = members[0];
    program.prefixSmall[k] = count <= 2 ? count : 0;
  }
}

// The characters that can follow each single-node repeat, and those that
// each branch of a choice can begin with; the matcher skips tries that
// cannot succeed.
// What the rest of a program depends on: the groups whose text it reads
// through backreferences and those it marks anew. The rest of a single-node
// repeat qualifies for a failure memo when it holds no loop: loop counters,
// and with backreferences the jumps' records of where an iteration began,
// are state a memo key would have to hold too.
class RestWalk {
 public:
  explicit RestWalk(const CompiledProgram& program) : prog_(program.Start()), visited_(program.size, 0) {}

  struct Dependence {
    bool memoable = false;
    std::uint16_t reads = 0;
    std::uint16_t marks = 0;
  };
  Dependence Of(const std::uint8_t* from, bool hasBackrefs) {
    Dependence d;
    // Walks of all repeats together stay below this many nodes.
    constexpr std::size_t MaxWork = std::size_t(1) << 20;
    ++generation_;
    pending_.assign(1, from);
    while (!pending_.empty()) {
      const std::uint8_t* n = pending_.back();
      pending_.pop_back();
      for (; n; n = NextNode(n)) {
        const std::size_t at = std::size_t(n - prog_);
        if (visited_[at] == generation_) break;
        visited_[at] = generation_;
        if (++work_ > MaxWork) return {};
        const std::uint8_t op = n[0];
        if (op == OpLoopEntry || op == OpLoop || op == OpLoopLazy || (op == OpJumpBack && hasBackrefs)) return {};
        const std::uint8_t* operand = IsSingleRepeat(op) ? RepeatOperand(n) : n;
        if ((operand[0] == OpBackref || operand[0] == OpBackrefCI) && operand[OperandAt] < GroupSlots)
          d.reads = std::uint16_t(d.reads | 1u << operand[OperandAt]);
        if (IsOpen(op)) d.marks = std::uint16_t(d.marks | 1u << (op - OpOpenBase));
        if (IsClose(op)) d.marks = std::uint16_t(d.marks | 1u << (op - OpCloseBase));
        if (op == OpAlternative) pending_.push_back(n + NodeHeaderSize);
      }
    }
    d.memoable = true;
    return d;
  }

 private:
  const std::uint8_t* prog_;
  std::vector<std::uint32_t> visited_;
  std::vector<const std::uint8_t*> pending_;
  std::uint32_t generation_ = 0;
  std::size_t work_ = 0;
};

// Repeats with a failure memo, at most.
constexpr int MaxMemoSlots = 64;

void DeriveNodeSets(CompiledProgram& program, StartCharWalk& walk, const TPattern& owner) {
  const std::uint8_t* prog = program.Start();
  program.hasBackrefs = false;
  program.memoSlots = 0;
  program.nodeAidIndex.clear();
  program.nodeAids.clear();
  // The program is a packed sequence of nodes, so walking it in address
  // order meets every node (a repeat's operand right after its header).
  for (std::size_t at = 1; at < program.size; at += NodeSize(prog + at)) {
    const std::uint8_t op = prog[at];
    if (!IsKnownOpcode(op)) Raise(owner, PatternErrorCode::UnknownOpcode);
    if (op == OpBackref || op == OpBackrefCI) program.hasBackrefs = true;
  }
  if (program.size > NodeSetProgramLimit) return;
  std::vector<std::int32_t> index(program.size, -1);
  RestWalk rest(program);
  auto record = [&](std::size_t at, const std::uint8_t* from, bool isRepeat) {
    if (!from) return;
    CompiledProgram::NodeAid aid;
    walk.Collect(from, aid.set, true);
    aid.restricts = !IsFull(aid.set);
    if (isRepeat) {
      // Group marks are passed over unless they belong to the group the
      // backreference names (its text would change on the way).
      std::uint32_t marked = 0;
      for (const std::uint8_t* n = from; n; n = NextNode(n)) {
        const std::uint8_t op = n[0];
        if (IsOpen(op)) marked |= 1u << (op - OpOpenBase);
        else if (IsClose(op)) marked |= 1u << (op - OpCloseBase);
        else if (op != OpEmpty && op != OpComment) {
          if ((op == OpBackref || op == OpBackrefCI) && n[OperandAt] < GroupSlots &&
              !(marked & (1u << n[OperandAt]))) {
            aid.leadBackref = n[OperandAt];
            aid.leadBackrefCI = op == OpBackrefCI;
            if (NextNode(n)) {
              walk.Collect(NextNode(n), aid.afterLead, true);
              aid.afterLeadRestricts = !IsFull(aid.afterLead);
            }
          }
          break;
        }
      }
      // A memo for repeats of one character without an upper bound.
      const std::uint8_t* repeat = prog + at;
      const std::uint8_t operand = RepeatOperand(repeat)[0];
      const bool unbounded = Info(repeat[0]).operand == Operand::Repeated ||
                             ReadInt32(repeat + RepeatMaxAt) >= UnboundedCount;
      if (operand != OpBackref && operand != OpBackrefCI && unbounded && program.memoSlots < MaxMemoSlots) {
        const RestWalk::Dependence d = rest.Of(from, program.hasBackrefs);
        if (d.memoable) {
          aid.memoSlot = program.memoSlots++;
          aid.memoText = std::uint16_t(d.reads & ~d.marks);
          aid.memoBounds = std::uint16_t(d.reads & d.marks);
        }
      }
    }
    if (!aid.restricts && !aid.leadBackref && aid.memoSlot < 0) return;
    for (int c = 0; c < 256; ++c) {
      aid.allows[std::size_t(c)] = InByteSet(aid.set.data(), static_cast<unsigned char>(c));
      aid.afterLeadAllows[std::size_t(c)] = InByteSet(aid.afterLead.data(), static_cast<unsigned char>(c));
    }
    index[at] = std::int32_t(program.nodeAids.size());
    program.nodeAids.push_back(aid);
  };
  for (std::size_t at = 1; at < program.size; at += NodeSize(prog + at)) {
    const std::uint8_t* n = prog + at;
    // An alternative is consulted only where it is a branch of a choice.
    if (n[0] == OpAlternative) record(at, n + NodeHeaderSize, false);
    if (IsSingleRepeat(n[0])) record(at, NextNode(n), true);
  }
  if (program.nodeAids.empty()) return;
  program.nodeAidIndex.assign(program.size, nullptr);
  for (std::size_t at = 0; at < program.size; ++at)
    if (index[at] >= 0) program.nodeAidIndex[at] = &program.nodeAids[std::size_t(index[at])];
}

}  // namespace

void DeriveSearchHints(CompiledProgram& program, const HintSettings& settings, const TPattern& owner) {
  const std::uint8_t* prog = program.Start();
  StartCharWalk walk(program, settings, owner);

  program.startSet.fill(0);
  walk.Collect(prog + 1, program.startSet, false);

  program.firstLiteral = 0;
  program.anchored = false;
  program.mustLiteral = nullptr;
  program.mustLength = 0;
  const std::uint8_t* second = NextNode(prog + 1);
  if (second && second[0] == OpEnd) {
    const std::uint8_t* first = prog + 1 + NodeHeaderSize;
    if (first[0] == OpLiteral) program.firstLiteral = first[OperandAt];
    else if (first[0] == OpInputStart) program.anchored = true;
    if (program.repeatStart) {
      std::size_t longest = 0;
      // The top-level chain only runs forward; stop at anything else.
      for (const std::uint8_t* n = first; n; n = NextNode(n)) {
        if (n[0] == OpLiteral) {
          std::size_t len = std::strlen(reinterpret_cast<const char*>(n + OperandAt));
          if (len >= longest) {
            longest = len;
            program.mustLiteral = n + OperandAt;
            program.mustLength = std::int32_t(len);
          }
        }
        if (NextOffset(n) < 0) break;
      }
    }
  }

  // A single start byte lets the search use memchr.
  program.startSingle = -1;
  int members = 0;
  for (int c = 1; c < 256; ++c) {
    if (InByteSet(program.startSet.data(), static_cast<unsigned char>(c))) {
      ++members;
      program.startSingle = c;
    }
  }
  if (members != 1) program.startSingle = -1;

  DeriveEntryPrefix(program, settings);
  DeriveNodeSets(program, walk, owner);
  program.hintsStale = false;
}

}  // namespace quorvane::regex
