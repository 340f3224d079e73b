// The compiled program, byte for byte (node layout, links, operands), and
// what each class admits.
#include "TestSupport.h"
#include "regexpr/Program.h"

namespace {

using namespace regexpr_test;
using quorvane::regex::DumpProgram;

std::string Program(const std::string& pattern, std::string_view modifiers) {
  TPattern re;
  Compile(re, pattern, modifiers);
  return std::string(re.ProgramBytes());
}

// The expected bytes, in hexadecimal; blanks and bars only help reading.
std::string Bytes(std::string_view hex) {
  std::string digits, out;
  for (char c : hex)
    if (c != ' ' && c != '|') digits += c;
  for (std::size_t k = 0; k + 1 < digits.size(); k += 2) out += char(std::stoi(digits.substr(k, 2), nullptr, 16));
  return out;
}

TEST(ProgramBytes, WholePrograms) {
  const struct { const char* pattern; const char* modifiers; const char* bytes; } cases[] = {
      {"x|", "", "D8 | 06 0C 00 00 00 | 08 11 00 00 00 78 00 | 06 0A 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      {"ab|c", "i", "D8 | 06 0D 00 00 00 | 14 14 00 00 00 61 62 00 | 06 0C 00 00 00 | 14 07 00 00 00 63 00 | 00 00 00 00 00"},
      // Braces on a group: loop entry, group, loop whose body lies 23 bytes back.
      {"(ab){2,3}", "g", "D8 | 06 32 00 00 00 | 17 1C 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 18 11 00 00 00 02 00 00 00 03 00 00 00 E9 FF FF FF | 00 00 00 00 00"},
      // Greedy star on a group: two alternatives and a jump back; without g a lazy loop.
      {"(ab)*", "g", "D8 | 06 30 00 00 00 | 06 21 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 07 E4 FF FF FF | 06 05 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      {"(ab)*", "", "D8 | 06 32 00 00 00 | 17 1C 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 21 11 00 00 00 00 00 00 00 FE FF FF 7F E9 FF FF FF | 00 00 00 00 00"},
      {"(ab)+", "g", "D8 | 06 30 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 06 0A 00 00 00 | 07 E4 FF FF FF | 06 05 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      // Single-node repeats: the operand keeps a next of 0.
      {"a*", "", "D8 | 06 11 00 00 00 | 1E 0C 00 00 00 | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      {"\\d+", "g", "D8 | 06 0F 00 00 00 | 0B 0A 00 00 00 | 0C 00 00 00 00 | 00 00 00 00 00"},
      {"a{2,5}", "g", "D8 | 06 19 00 00 00 | 12 14 00 00 00 02 00 00 00 05 00 00 00 | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      {"a?", "g", "D8 | 06 1B 00 00 00 | 06 0C 00 00 00 | 08 0C 00 00 00 61 00 | 06 05 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      {"a??", "g", "D8 | 06 19 00 00 00 | 20 14 00 00 00 00 00 00 00 01 00 00 00 | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      // A quantifier after a literal run takes only its last character.
      {"abc*", "g", "D8 | 06 19 00 00 00 | 08 08 00 00 00 61 62 00 | 0A 0C 00 00 00 | 08 00 00 00 00 63 00 | 00 00 00 00 00"},
      {"(a)|b", "", "D8 | 06 1B 00 00 00 | 28 05 00 00 00 | 06 0C 00 00 00 | 08 07 00 00 00 61 00 | 37 11 00 00 00 | 06 0C 00 00 00 | 08 07 00 00 00 62 00 | 00 00 00 00 00"},
      // Up to three members make a tiny set, sorted and padded with the largest.
      {"[a]", "i", "D8 | 06 0D 00 00 00 | 19 08 00 00 00 41 61 61 | 00 00 00 00 00"},
      {"[^bca]", "", "D8 | 06 0D 00 00 00 | 1A 08 00 00 00 61 62 63 | 00 00 00 00 00"},
      // Four members make a bitmap; a negated one is stored complemented.
      {"[^abcd]", "", "D8 | 06 2A 00 00 00 | 1B 25 00 00 00 FF FF FF FF FF FF FF FF FF FF FF FF E1 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF | 00 00 00 00 00"},
      {"\\2", "i", "D8 | 06 0B 00 00 00 | 1D 06 00 00 00 02 | 00 00 00 00 00"},
      {"a b # c", "x", "D8 | 06 12 00 00 00 | 08 08 00 00 00 61 62 00 | 13 05 00 00 00 | 00 00 00 00 00"},
      {"^a$", "", "D8 | 06 16 00 00 00 | 01 05 00 00 00 | 08 07 00 00 00 61 00 | 02 05 00 00 00 | 00 00 00 00 00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("pattern ") + c.pattern + " modifiers '" + c.modifiers + "'");
    const std::string program = Program(c.pattern, c.modifiers), expected = Bytes(c.bytes);
    EXPECT_TRUE(program == expected) << "compiled:\n" << DumpProgram(program) << "expected:\n" << DumpProgram(expected);
  }
}

TEST(ProgramBytes, ClassesHoldTheirMembers) {
  const auto bytes = [](int from, int to) {
    std::string s;
    for (int c = from; c <= to; ++c) s += char(c);
    return s;
  };
  const std::string digits = "0123456789", blanks = " \t\n\r\f";
  const std::string word = digits + bytes('a', 'z') + bytes('A', 'Z') + "_";
  const struct { std::string pattern; const char* modifiers; std::string members; bool negated; } cases[] = {
      {"[a-c-e]", "", "abc-e", false},
      {"[]a]", "", "]a", false},
      {"[\\d-z]", "", digits + "-z", false},
      {"[a-\\d]", "", "a-" + digits, false},
      {"[a-\\D]", "", "a-D", false},
      {"[\\S\\W\\b]", "", "SWb", false},
      {"[a-]", "", "a-", false},
      {"[\\t\\x41-\\x43]", "", "\tABC", false},
      {"[\\w]", "", word, false},
      {"[^\\s]", "", blanks, true},
      {"[a-c]", "i", "abcABC", false},
      {"[^a]", "i", "aA", true},
      {"[ a]", "x", " a", false},
      {"\\w", "i", word, false},
      {"\\W", "", word, true},
      {"\\S", "", blanks, true},
      // Cyrillic ranges of the single-byte code page.
      {"[\xE0-\xFF]", "r", bytes(0xE0, 0xFF) + "\xB8", false},
      {"[\xC0-\xDF]", "r", bytes(0xC0, 0xDF) + "\xA8", false},
      {"[\xE0-\xDF]", "r", bytes(0xC0, 0xFF) + "\xA8\xB8", false},
      {"[\xE0-\xFF]", "", bytes(0xE0, 0xFF), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("pattern " + c.pattern + " modifiers '" + c.modifiers + "'");
    TPattern re;
    Compile(re, c.pattern, c.modifiers);
    std::string wrong;
    for (int ch = 1; ch < 256; ++ch)
      if (re.Exec(std::string(1, char(ch))) != ((c.members.find(char(ch)) != std::string::npos) != c.negated))
        wrong.append(" ").append(std::to_string(ch));
    EXPECT_EQ(wrong, "") << "characters the class gets wrong";
  }
}

}  // namespace
