// The compiled program: one block of bytes, signature first, then nodes of
//   [opcode:1][next:4, signed little-endian][operand...]
// packed without padding. `next` is the distance from the node's first byte
// to the node that follows it in sequence (0 = none; negative in loops). No
// absolute address is stored anywhere. Matching starts at byte 1.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quorvane::regex {

constexpr std::uint8_t ProgramSignature = 216;
constexpr std::int32_t UnboundedCount = 2147483646;  // the maximum of *, + and {n,}
constexpr int NodeHeaderSize = 5;
constexpr int GroupSlots = 15;  // 0 = whole match, 1..14 groups
constexpr int MaxLoopLevels = 10;
constexpr int TinySetSize = 3;
constexpr int FullSetSize = 32;  // bit c%8 of byte c/8

// The opcodes. Operands are listed as they follow the 5-byte header; "next"
// always means the header's link. Codes 4, 5, 14..17, 21, 22, 39, 54 and
// above 68 are never produced.
enum OpCode : std::uint8_t {
  OpEnd = 0,          // Success: the whole match ends here.
  OpInputStart = 1,   // Empty, only at the very start of the subject (^ without m, \A).
  OpInputEnd = 2,     // Empty, only at the very end of the subject ($ without m, \Z).
  OpAnyChar = 3,      // Any one character (the dot under s).
  OpAlternative = 6,  // One branch of a choice; the branch's first node follows at +5.
                      // next leads to the following branch's OpAlternative, or from
                      // the last branch to what follows the whole choice. A lone
                      // branch (next is no OpAlternative) is plain sequence.
  OpJumpBack = 7,     // Empty; next points backwards and closes a * or + loop.
  OpLiteral = 8,      // Text: the bytes at +5 up to a NUL (never part of the text).
  OpEmpty = 9,        // Empty: an empty branch, or the exit of a ? / * / + shape.
  OpRepeatStar = 10,  // Operand node at +5 (its own next is 0), 0 or more times, longest first.
  OpRepeatPlus = 11,  // As OpRepeatStar, 1 or more times.
  OpDigit = 12,       // One character 0..9.
  OpNonDigit = 13,    // One character that is no digit.
  OpRepeatBraces = 18,  // min:4 max:4, operand node at +13; min..max times, longest first.
  OpComment = 19,     // Empty: left by (?#...), blanks under x, and inline modifiers (?i).
  OpLiteralCI = 20,   // As OpLiteral; each byte also matches its CaseSwap.
  OpLoopEntry = 23,   // Empty; opens a loop level. next leads to the loop's OpLoop.
  OpLoop = 24,        // min:4 max:4 body:4 (distance back to the body's first node);
                      // counts the body's passes, longest first. next leads on.
  OpTinySet = 25,     // 3 bytes: one character equal to one of them. A set of fewer
                      // members is padded with its largest member ({a,c} is a c c).
  OpNotTinySet = 26,  // 3 bytes as OpTinySet: one character equal to none of them.
  OpFullSet = 27,     // 32 bytes: one character whose bit is set (never the end).
  OpBackref = 28,     // 1 byte group 1..9: the text that group captured, byte for byte.
  OpBackrefCI = 29,   // As OpBackref; each byte also matches its CaseSwap.
  OpRepeatStarLazy = 30,    // As OpRepeatStar, shortest first.
  OpRepeatPlusLazy = 31,    // As OpRepeatPlus, shortest first.
  OpRepeatBracesLazy = 32,  // As OpRepeatBraces, shortest first.
  OpLoopLazy = 33,    // As OpLoop, shortest first.
  OpLineStart = 34,   // Empty, at the start of the subject or of a line (^ under m).
  OpLineEnd = 35,     // Empty, at the end of the subject or of a line ($ under m).
  OpAnyInLine = 36,   // One character that does not break a line (the dot without s).
  OpWordBoundary = 37,     // Empty, between a word character and a non-word one (\b).
  OpNotWordBoundary = 38,  // Empty, where OpWordBoundary fails (\B).
  OpOpenBase = 39,    // OpOpen n = 39 + n, n = 1..14: empty; group n starts here.
  OpOpenFirst = 40,
  OpOpenLast = 53,
  OpCloseBase = 54,   // OpClose n = 54 + n: empty; group n ends here.
  OpCloseFirst = 55,
  OpCloseLast = 68,
};

// Operand offsets within a node.
constexpr int OperandAt = 5;        // literal text, set bytes, group number, repeat operand
constexpr int RepeatMinAt = 5;      // braces and loops
constexpr int RepeatMaxAt = 9;
constexpr int BracesOperandAt = 13;
constexpr int LoopBodyOffsetAt = 13;
constexpr int LoopNodeSize = 17;
constexpr int BracesHeaderSize = 13;

// What follows a node's header.
enum class Operand : std::uint8_t {
  None,
  Text,      // bytes up to and with a NUL
  TinySet,   // 3 bytes
  FullSet,   // 32 bytes
  Group,     // 1 byte
  Repeated,  // the operand node follows (it is a node of its own)
  Braces,    // min, max; then the operand node
  Counts,    // min, max, body offset
};

// What a node consumes when it matches.
enum class Width : std::uint8_t {
  None,     // the empty string (assertions, group marks, structure)
  OneChar,  // exactly one character
  Varies,   // a text, a captured text, or a repetition
};

// The properties every reader of a program shares: the matcher, the search
// hints, the validity check and the disassembler.
struct OpInfo {
  const char* name;  // nullptr: not an opcode; a program holding it is corrupt
  Operand operand;
  Width width;
  bool simple;  // may stand alone as the operand of a single-node repeat
  bool lazy;    // repeats and loops: shortest first
};

constexpr OpInfo OpInfoOf(std::uint8_t op) {
  using O = Operand;
  using W = Width;
  switch (op) {
    case OpEnd: return {"End", O::None, W::None, false, false};
    case OpInputStart: return {"InputStart", O::None, W::None, false, false};
    case OpInputEnd: return {"InputEnd", O::None, W::None, false, false};
    case OpAnyChar: return {"AnyChar", O::None, W::OneChar, true, false};
    case OpAlternative: return {"Alternative", O::None, W::None, false, false};
    case OpJumpBack: return {"JumpBack", O::None, W::None, false, false};
    case OpLiteral: return {"Literal", O::Text, W::Varies, true, false};
    case OpEmpty: return {"Empty", O::None, W::None, false, false};
    case OpRepeatStar: return {"RepeatStar", O::Repeated, W::Varies, false, false};
    case OpRepeatPlus: return {"RepeatPlus", O::Repeated, W::Varies, false, false};
    case OpDigit: return {"Digit", O::None, W::OneChar, true, false};
    case OpNonDigit: return {"NonDigit", O::None, W::OneChar, true, false};
    case OpRepeatBraces: return {"RepeatBraces", O::Braces, W::Varies, false, false};
    case OpComment: return {"Comment", O::None, W::None, false, false};
    case OpLiteralCI: return {"LiteralCI", O::Text, W::Varies, true, false};
    case OpLoopEntry: return {"LoopEntry", O::None, W::None, false, false};
    case OpLoop: return {"Loop", O::Counts, W::Varies, false, false};
    case OpTinySet: return {"TinySet", O::TinySet, W::OneChar, true, false};
    case OpNotTinySet: return {"NotTinySet", O::TinySet, W::OneChar, true, false};
    case OpFullSet: return {"FullSet", O::FullSet, W::OneChar, true, false};
    case OpBackref: return {"Backref", O::Group, W::Varies, true, false};
    case OpBackrefCI: return {"BackrefCI", O::Group, W::Varies, true, false};
    case OpRepeatStarLazy: return {"RepeatStarLazy", O::Repeated, W::Varies, false, true};
    case OpRepeatPlusLazy: return {"RepeatPlusLazy", O::Repeated, W::Varies, false, true};
    case OpRepeatBracesLazy: return {"RepeatBracesLazy", O::Braces, W::Varies, false, true};
    case OpLoopLazy: return {"LoopLazy", O::Counts, W::Varies, false, true};
    case OpLineStart: return {"LineStart", O::None, W::None, false, false};
    case OpLineEnd: return {"LineEnd", O::None, W::None, false, false};
    case OpAnyInLine: return {"AnyInLine", O::None, W::OneChar, false, false};
    case OpWordBoundary: return {"WordBoundary", O::None, W::None, false, false};
    case OpNotWordBoundary: return {"NotWordBoundary", O::None, W::None, false, false};
    default:
      if (op >= OpOpenFirst && op <= OpOpenLast) return {"Open", O::None, W::None, false, false};
      if (op >= OpCloseFirst && op <= OpCloseLast) return {"Close", O::None, W::None, false, false};
      return {nullptr, O::None, W::None, false, false};
  }
}

// The table itself, so that a lookup costs one load.
struct OpTable {
  OpInfo info[256];
  constexpr OpTable() : info{} {
    for (int op = 0; op < 256; ++op) info[op] = OpInfoOf(static_cast<std::uint8_t>(op));
  }
};
inline constexpr OpTable OpInfoTable{};

constexpr const OpInfo& Info(std::uint8_t op) { return OpInfoTable.info[op]; }

// Opcodes the compiler never produces; a program holding one is corrupt.
constexpr bool IsKnownOpcode(std::uint8_t op) { return Info(op).name != nullptr; }
constexpr bool IsOpen(std::uint8_t op) { return op >= OpOpenFirst && op <= OpOpenLast; }
constexpr bool IsClose(std::uint8_t op) { return op >= OpCloseFirst && op <= OpCloseLast; }
constexpr bool IsSingleRepeat(std::uint8_t op) { return Info(op).operand == Operand::Repeated || Info(op).operand == Operand::Braces; }

inline std::int32_t ReadInt32(const std::uint8_t* p) {
  std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                    std::uint32_t(p[3]) << 24;
  return static_cast<std::int32_t>(v);
}

inline void WriteInt32(std::uint8_t* p, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::int32_t NextOffset(const std::uint8_t* node) { return ReadInt32(node + 1); }

// The node that follows in sequence, or nullptr.
inline const std::uint8_t* NextNode(const std::uint8_t* node) {
  std::int32_t off = NextOffset(node);
  return off == 0 ? nullptr : node + off;
}

inline const std::uint8_t* LoopBody(const std::uint8_t* loop) {
  return loop + ReadInt32(loop + LoopBodyOffsetAt);
}

// The operand node of a single-node repeat.
inline const std::uint8_t* RepeatOperand(const std::uint8_t* repeat) {
  return repeat + (Info(repeat[0]).operand == Operand::Braces ? BracesOperandAt : OperandAt);
}

// Bytes of the node itself; a repeat's operand node is a node of its own and
// is not counted. The node must be known (IsKnownOpcode).
inline std::size_t NodeSize(const std::uint8_t* node) {
  switch (Info(node[0]).operand) {
    case Operand::Text: return NodeHeaderSize + std::strlen(reinterpret_cast<const char*>(node + OperandAt)) + 1;
    case Operand::TinySet: return NodeHeaderSize + TinySetSize;
    case Operand::FullSet: return NodeHeaderSize + FullSetSize;
    case Operand::Group: return NodeHeaderSize + 1;
    case Operand::Braces: return BracesHeaderSize;
    case Operand::Counts: return LoopNodeSize;
    case Operand::None:
    case Operand::Repeated: break;
  }
  return NodeHeaderSize;
}

// Test of bit c in a 32-byte set.
inline bool InByteSet(const std::uint8_t* set, unsigned char c) {
  return (set[c >> 3] >> (c & 7)) & 1;
}

// One line per node: offset, name, operands, and where next leads. A program
// that is cut short or holds an unknown opcode ends with a line saying so.
std::string DumpProgram(std::string_view program);

}  // namespace quorvane::regex
