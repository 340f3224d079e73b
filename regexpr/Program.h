// The compiled program: one block of bytes, signature first, then nodes of
// [opcode:1][next:4, signed little-endian, relative][operand...]. Links are
// relative to the first byte of the node that holds them; next 0 = none.
#pragma once

#include <cstdint>
#include <cstring>

namespace quorvane::regex {

constexpr std::uint8_t ProgramSignature = 216;
constexpr std::int32_t UnboundedCount = 2147483646;
constexpr int NodeHeaderSize = 5;
constexpr int GroupSlots = 15;       // 0 = whole match, 1..14 groups
constexpr int MaxLoopLevels = 10;
constexpr int TinySetSize = 3;

enum OpCode : std::uint8_t {
  OpEnd = 0,
  OpInputStart = 1,
  OpInputEnd = 2,
  OpAnyChar = 3,
  OpAlternative = 6,
  OpJumpBack = 7,
  OpLiteral = 8,
  OpEmpty = 9,
  OpRepeatStar = 10,
  OpRepeatPlus = 11,
  OpDigit = 12,
  OpNonDigit = 13,
  OpRepeatBraces = 18,
  OpComment = 19,
  OpLiteralCI = 20,
  OpLoopEntry = 23,
  OpLoop = 24,
  OpTinySet = 25,
  OpNotTinySet = 26,
  OpFullSet = 27,
  OpBackref = 28,
  OpBackrefCI = 29,
  OpRepeatStarLazy = 30,
  OpRepeatPlusLazy = 31,
  OpRepeatBracesLazy = 32,
  OpLoopLazy = 33,
  OpLineStart = 34,
  OpLineEnd = 35,
  OpAnyInLine = 36,
  OpWordBoundary = 37,
  OpNotWordBoundary = 38,
  OpOpenBase = 39,   // OpOpen n = 39 + n, n = 1..14
  OpOpenFirst = 40,
  OpOpenLast = 53,
  OpCloseBase = 54,  // OpClose n = 54 + n
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

inline bool IsOpen(std::uint8_t op) { return op >= OpOpenFirst && op <= OpOpenLast; }
inline bool IsClose(std::uint8_t op) { return op >= OpCloseFirst && op <= OpCloseLast; }

// Opcodes the compiler never produces; a program holding one is corrupt.
inline bool IsKnownOpcode(std::uint8_t op) {
  if (op > OpCloseLast) return false;
  switch (op) {
    case 4: case 5: case 14: case 15: case 16: case 17: case 21: case 22: case 39: case 54:
      return false;
    default:
      return true;
  }
}

// Test of bit c in a 32-byte set.
inline bool InByteSet(const std::uint8_t* set, unsigned char c) {
  return (set[c >> 3] >> (c & 7)) & 1;
}

}  // namespace quorvane::regex
