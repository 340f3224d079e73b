// The disassembler: a program as text, one node per line, for tests that
// compare programs and for whoever has to read one.
#include <cstdio>

#include "regexpr/Program.h"

namespace quorvane::regex {

namespace {

std::string Byte(unsigned char c) {
  if (c >= 33 && c < 127 && c != '\\' && c != '"') return std::string(1, char(c));
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", c);
  return text;
}

// Members of a 32-byte set as ranges: a-c x \x00.
std::string SetMembers(const std::uint8_t* set) {
  std::string out;
  for (int c = 0; c < 256;) {
    if (!InByteSet(set, static_cast<unsigned char>(c))) {
      ++c;
      continue;
    }
    int last = c;
    while (last < 255 && InByteSet(set, static_cast<unsigned char>(last + 1))) ++last;
    if (!out.empty()) out += ' ';
    out += Byte(static_cast<unsigned char>(c));
    if (last > c) out += "-" + Byte(static_cast<unsigned char>(last));
    c = last + 1;
  }
  return out;
}

}  // namespace

std::string DumpProgram(std::string_view program) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(program.data());
  const std::size_t size = program.size();
  std::string out;
  char line[96];
  if (size == 0) return "(no program)\n";
  std::snprintf(line, sizeof line, "%5d  signature %02X%s\n", 0, bytes[0],
                bytes[0] == ProgramSignature ? "" : " (wrong)");
  out += line;
  // A repeat's operand node comes right after the repeat's own bytes.
  for (std::size_t at = 1; at < size;) {
    const std::uint8_t* n = bytes + at;
    const OpInfo& info = Info(n[0]);
    if (!info.name || at + NodeHeaderSize > size) {
      std::snprintf(line, sizeof line, "%5zu  %s %d\n", at, info.name ? "cut short:" : "corrupt opcode", n[0]);
      return out + line;
    }
    std::string operand;
    std::size_t length = NodeHeaderSize;
    switch (info.operand) {
      case Operand::None:
        if (IsOpen(n[0])) operand = std::to_string(n[0] - OpOpenBase);
        if (IsClose(n[0])) operand = std::to_string(n[0] - OpCloseBase);
        break;
      case Operand::Text: {
        const void* nul = std::memchr(n + OperandAt, 0, size - at - OperandAt);
        if (!nul) return out + "  cut short in a text\n";
        length = NodeSize(n);
        operand = "\"";
        for (const std::uint8_t* c = n + OperandAt; *c; ++c) operand += Byte(*c);
        operand += "\"";
        break;
      }
      case Operand::TinySet:
      case Operand::FullSet:
      case Operand::Group:
      case Operand::Braces:
      case Operand::Counts:
        length = NodeSize(n);
        if (at + length > size) return out + "  cut short in an operand\n";
        if (info.operand == Operand::TinySet)
          operand = "[" + Byte(n[5]) + " " + Byte(n[6]) + " " + Byte(n[7]) + "]";
        if (info.operand == Operand::FullSet) operand = "[" + SetMembers(n + OperandAt) + "]";
        if (info.operand == Operand::Group) operand = "\\" + std::to_string(n[OperandAt]);
        if (info.operand == Operand::Braces || info.operand == Operand::Counts)
          operand = "{" + std::to_string(ReadInt32(n + RepeatMinAt)) + "," +
                    std::to_string(ReadInt32(n + RepeatMaxAt)) + "}";
        if (info.operand == Operand::Counts)
          operand += " body " + std::to_string(std::int64_t(at) + ReadInt32(n + LoopBodyOffsetAt));
        break;
      case Operand::Repeated:
        break;
    }
    const std::int32_t next = NextOffset(n);
    std::string link = next == 0 ? "" : "-> " + std::to_string(std::int64_t(at) + next);
    std::snprintf(line, sizeof line, "%5zu  %-16s ", at, info.name);
    std::string text = line + operand;
    if (!link.empty()) text += (operand.empty() ? "" : "  ") + link;
    while (text.back() == ' ') text.pop_back();
    out += text + "\n";
    at += length;
  }
  return out;
}

}  // namespace quorvane::regex
