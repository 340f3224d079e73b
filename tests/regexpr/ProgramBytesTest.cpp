// The compiled program, byte for byte: node layout, links, operands and the
// class builder's choice of node.
#include <gtest/gtest.h>

#include <bitset>
#include <cctype>
#include <string>
#include <string_view>

#include "regexpr/Pattern.h"

using quorvane::EPatternError;
using quorvane::TPattern;

namespace {

// Sets all six modifiers: the letters present are on, the others off.
void SetModifiers(TPattern& re, std::string_view letters) {
  static constexpr std::string_view kLetters = "irsgmx";
  for (int i = 0; i < 6; ++i) {
    re.SetModifierFlag(i + 1, letters.find(kLetters[i]) != std::string_view::npos);
  }
}

std::string Program(const std::string& pattern, std::string_view modifiers) {
  TPattern re;
  SetModifiers(re, modifiers);
  re.SetExpression(pattern);
  re.Exec("");
  return std::string(re.ProgramBytes());
}

// "D8 | 06 0C 00 00 00" -> bytes; blanks and bars are only for reading.
std::string FromHex(std::string_view text) {
  std::string bytes;
  int pending = -1;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                         : std::toupper(c) - 'A' + 10;
    if (pending < 0) {
      pending = v;
    } else {
      bytes.push_back(static_cast<char>(pending * 16 + v));
      pending = -1;
    }
  }
  return bytes;
}

std::string ToHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

struct ProgramCase {
  const char* pattern;
  const char* modifiers;
  const char* bytes;
};

TEST(ProgramBytes, WholeProgramsMatchTheLayout) {
  const ProgramCase cases[] = {
      // Empty second alternative.
      {"x|", "", "D8 | 06 0C 00 00 00 | 08 11 00 00 00 78 00 | 06 0A 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      {"ab|c", "", "D8 | 06 0D 00 00 00 | 08 14 00 00 00 61 62 00 | 06 0C 00 00 00 | 08 07 00 00 00 63 00 | 00 00 00 00 00"},
      {"ab|c", "i", "D8 | 06 0D 00 00 00 | 14 14 00 00 00 61 62 00 | 06 0C 00 00 00 | 14 07 00 00 00 63 00 | 00 00 00 00 00"},
      // Braces on a group: loop entry, group, greedy loop with body offset -23.
      {"(ab){2,3}", "g", "D8 | 06 32 00 00 00 | 17 1C 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 18 11 00 00 00 02 00 00 00 03 00 00 00 E9 FF FF FF | 00 00 00 00 00"},
      {"(ab){2,3}", "", "D8 | 06 32 00 00 00 | 17 1C 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 21 11 00 00 00 02 00 00 00 03 00 00 00 E9 FF FF FF | 00 00 00 00 00"},
      // Greedy star on a group: two alternatives and a jump back.
      {"(ab)*", "g", "D8 | 06 30 00 00 00 | 06 21 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 07 E4 FF FF FF | 06 05 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      // Without g every quantifier on a group is a lazy loop {0, unbounded}.
      {"(ab)*", "", "D8 | 06 32 00 00 00 | 17 1C 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 21 11 00 00 00 00 00 00 00 FE FF FF 7F E9 FF FF FF | 00 00 00 00 00"},
      // Greedy plus on a group: the group first, then alternatives and a jump back to it.
      {"(ab)+", "g", "D8 | 06 30 00 00 00 | 28 05 00 00 00 | 06 0D 00 00 00 | 08 08 00 00 00 61 62 00 | 37 05 00 00 00 | 06 0A 00 00 00 | 07 E4 FF FF FF | 06 05 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      // Single-node repeats: the operand keeps a next of 0.
      {"a*", "g", "D8 | 06 11 00 00 00 | 0A 0C 00 00 00 | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      {"a*", "", "D8 | 06 11 00 00 00 | 1E 0C 00 00 00 | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      {"\\d+", "g", "D8 | 06 0F 00 00 00 | 0B 0A 00 00 00 | 0C 00 00 00 00 | 00 00 00 00 00"},
      {"a{2,5}", "g", "D8 | 06 19 00 00 00 | 12 14 00 00 00 02 00 00 00 05 00 00 00 | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      {"a{3,}", "g", "D8 | 06 19 00 00 00 | 12 14 00 00 00 03 00 00 00 FE FF FF 7F | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      // Greedy question mark: two alternatives meeting at one empty node.
      {"a?", "g", "D8 | 06 1B 00 00 00 | 06 0C 00 00 00 | 08 0C 00 00 00 61 00 | 06 05 00 00 00 | 09 05 00 00 00 | 00 00 00 00 00"},
      // Lazy question mark on a simple operand: lazy braces {0, 1}.
      {"a??", "g", "D8 | 06 19 00 00 00 | 20 14 00 00 00 00 00 00 00 01 00 00 00 | 08 00 00 00 00 61 00 | 00 00 00 00 00"},
      // A quantifier after a literal run takes only its last character.
      {"abc*", "g", "D8 | 06 19 00 00 00 | 08 08 00 00 00 61 62 00 | 0A 0C 00 00 00 | 08 00 00 00 00 63 00 | 00 00 00 00 00"},
      // Group in the first of two alternatives; both tails reach the end.
      {"(a)|b", "", "D8 | 06 1B 00 00 00 | 28 05 00 00 00 | 06 0C 00 00 00 | 08 07 00 00 00 61 00 | 37 11 00 00 00 | 06 0C 00 00 00 | 08 07 00 00 00 62 00 | 00 00 00 00 00"},
      {"[abc]", "", "D8 | 06 0D 00 00 00 | 19 08 00 00 00 61 62 63 | 00 00 00 00 00"},
      {"[a]", "i", "D8 | 06 0D 00 00 00 | 19 08 00 00 00 41 61 61 | 00 00 00 00 00"},
      {"[^ca]", "", "D8 | 06 0D 00 00 00 | 1A 08 00 00 00 61 63 63 | 00 00 00 00 00"},
      {"\\2", "", "D8 | 06 0B 00 00 00 | 1C 06 00 00 00 02 | 00 00 00 00 00"},
      {"\\2", "i", "D8 | 06 0B 00 00 00 | 1D 06 00 00 00 02 | 00 00 00 00 00"},
      // Extended syntax: blanks vanish from the literal, the comment is a node.
      {"a b # c", "x", "D8 | 06 12 00 00 00 | 08 08 00 00 00 61 62 00 | 13 05 00 00 00 | 00 00 00 00 00"},
      {"^a$", "", "D8 | 06 16 00 00 00 | 01 05 00 00 00 | 08 07 00 00 00 61 00 | 02 05 00 00 00 | 00 00 00 00 00"},
  };
  for (const ProgramCase& c : cases) {
    SCOPED_TRACE(std::string("pattern ") + c.pattern + " modifiers '" + c.modifiers + "'");
    EXPECT_EQ(ToHex(Program(c.pattern, c.modifiers)), ToHex(FromHex(c.bytes)));
  }
}

struct OpcodeCase {
  const char* pattern;
  const char* modifiers;
  unsigned char opcode;  // of the first node of the only alternative (byte 6)
};

TEST(ProgramBytes, AtomsBecomeTheirNodes) {
  const OpcodeCase cases[] = {
      {"^", "", 1},         {"$", "", 2},          {"^", "m", 34},      {"$", "m", 35},
      {"\\A", "m", 1},      {"\\Z", "m", 2},       {".", "s", 3},       {".", "", 36},
      {"\\d", "", 12},      {"\\D", "", 13},       {"\\b", "", 37},     {"\\B", "", 38},
      {"\\w", "", 27},      {"\\W", "", 27},       {"\\s", "", 27},     {"\\S", "", 27},
      {"(?#note)", "", 19}, {"(?i)", "", 19},      {"\\z", "", 8},      {"\\x41", "i", 20},
      {"[abcd]", "", 27},   {"[^abcd]", "", 27},   {"[ab]", "", 25},    {"[^a]", "", 26},
      {".*", "sg", 10},     {".*", "g", 6},        {".*", "", 23},      {"\\1*", "g", 10},
      {"[ab]+?", "g", 31},
      {"a{0,1}?", "g", 32}, {"(a)", "", 40},       {"(a)??", "g", 23},  {"(a)?", "g", 6},
  };
  for (const OpcodeCase& c : cases) {
    SCOPED_TRACE(std::string("pattern ") + c.pattern + " modifiers '" + c.modifiers + "'");
    std::string program = Program(c.pattern, c.modifiers);
    ASSERT_GT(program.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(program[0]), 0xD8);
    EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(program[6])), c.opcode);
  }
}

TEST(ProgramBytes, EquivalentSpellingsCompileAlike) {
  // Without g every quantifier is lazy, so the question mark changes nothing.
  EXPECT_EQ(ToHex(Program("a*", "")), ToHex(Program("a*?", "")));
  EXPECT_EQ(ToHex(Program("a*", "")), ToHex(Program("a*?", "g")));
  EXPECT_EQ(ToHex(Program("(ab)+", "")), ToHex(Program("(ab)+?", "g")));
  for (const char* hex : {"\\x41", "\\x{41}", "\\x{0041}", "\\x{00000041}"}) {
    SCOPED_TRACE(hex);
    EXPECT_EQ(ToHex(Program(hex, "")), ToHex(Program("A", "")));
  }
  const char* const escapes[][2] = {{"\\t", "\t"}, {"\\n", "\n"}, {"\\r", "\r"},
                                    {"\\f", "\f"}, {"\\a", "\a"}, {"\\e", "\x1B"},
                                    {"\\q", "q"},   {"\\}", "}"}};
  for (const auto& e : escapes) {
    SCOPED_TRACE(e[0]);
    EXPECT_EQ(ToHex(Program(e[0], "")), ToHex(Program(e[1], "")));
  }
  EXPECT_EQ(ToHex(Program("a b", "x")), ToHex(Program("ab", "x")));
}

TEST(ProgramBytes, FourteenGroupsUseTheLastOpcodes) {
  std::string pattern = std::string(14, '(') + "a" + std::string(14, ')');
  std::string program = Program(pattern, "");
  // Each level adds an open node and an alternative (10 bytes) before the literal.
  ASSERT_GT(program.size(), 153u);
  EXPECT_EQ(static_cast<unsigned char>(program[136]), 53);  // open 14
  EXPECT_EQ(static_cast<unsigned char>(program[153]), 68);  // close 14
  EXPECT_EQ(static_cast<unsigned char>(program[6]), 40);    // open 1
}

// The characters a one-class program admits, read back from its class node.
std::bitset<256> ClassMembers(const std::string& program) {
  std::bitset<256> set;
  if (program.size() < 14) return set;
  unsigned char op = program[6];
  if (op == 25 || op == 26) {
    for (int i = 11; i < 14; ++i) set.set(static_cast<unsigned char>(program[i]));
    if (op == 26) set.flip();
  } else if (op == 27 && program.size() >= 43) {
    for (int c = 0; c < 256; ++c) {
      if (static_cast<unsigned char>(program[11 + c / 8]) & (1 << (c % 8))) set.set(c);
    }
  } else {
    ADD_FAILURE() << "not a class node: opcode " << static_cast<int>(op);
  }
  set.reset(0);  // the end of the input never matches a class
  return set;
}

std::bitset<256> Chars(std::string_view members, bool negated = false) {
  std::bitset<256> set;
  for (unsigned char c : members) set.set(c);
  if (negated) set.flip();
  set.reset(0);
  return set;
}

std::string Digits() { return "0123456789"; }
std::string WordChars() {
  return "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
}

std::string ByteRange(int from, int to) {
  std::string s;
  for (int c = from; c <= to; ++c) s.push_back(static_cast<char>(c));
  return s;
}

struct ClassCase {
  std::string pattern;
  const char* modifiers;
  std::string members;
  bool negated;
};

TEST(ProgramBytes, ClassesHoldTheirMembers) {
  const ClassCase cases[] = {
      {"[a-c-e]", "", "abc-e", false}, {"[]a]", "", "]a", false}, {"[^]a]", "", "]a", true},
      {"[\\d-z]", "", Digits() + "-z", false}, {"[a-\\d]", "", "a-" + Digits(), false},
      {"[\\D]", "", "D", false}, {"[\\S\\W\\b]", "", "SWb", false}, {"[a-]", "", "a-", false},
      {"[-a]", "", "-a", false}, {"[a-a]", "", "a", false}, {"[\\]x]", "", "]x", false},
      {"[\\t\\n\\x41-\\x43]", "", "\t\nABC", false}, {"[\\w]", "", WordChars(), false},
      {"[\\s]", "", " \t\n\r\f", false}, {"[^\\s]", "", " \t\n\r\f", true},
      {"[a-c]", "i", "abcABC", false}, {"[^a]", "i", "aA", true}, {"[ a]", "x", " a", false},
      {"[abcd]", "", "abcd", false}, {"[^abcd]", "", "abcd", true},
      // \w \W \s \S outside a class: full sets, never case-folded.
      {"\\w", "i", WordChars(), false}, {"\\W", "", WordChars(), true},
      {"\\s", "", " \t\n\r\f", false}, {"\\S", "", " \t\n\r\f", true},
      // Cyrillic ranges of the single-byte code page.
      {"[\xE0-\xFF]", "r", ByteRange(0xE0, 0xFF) + "\xB8", false},
      {"[\xC0-\xDF]", "r", ByteRange(0xC0, 0xDF) + "\xA8", false},
      {"[\xE0-\xDF]", "r", ByteRange(0xC0, 0xFF) + "\xA8\xB8", false},
      {"[\xE0-\xFF]", "", ByteRange(0xE0, 0xFF), false},
  };
  for (const ClassCase& c : cases) {
    SCOPED_TRACE("pattern " + c.pattern + " modifiers '" + c.modifiers + "'");
    std::bitset<256> got = ClassMembers(Program(c.pattern, c.modifiers));
    std::bitset<256> want = Chars(c.members, c.negated);
    EXPECT_EQ(got, want) << "got " << got.count() << " members, want " << want.count();
  }
}

TEST(ProgramBytes, ClassSizeChoosesTheNode) {
  // Up to three members a tiny set, padded with the largest; four a bitmap.
  EXPECT_EQ(ToHex(Program("[ca]", "").substr(6, 8)), "19 08 00 00 00 61 63 63");
  EXPECT_EQ(ToHex(Program("[x]", "").substr(6, 8)), "19 08 00 00 00 78 78 78");
  EXPECT_EQ(Program("[abc]", "").size(), 19u);
  EXPECT_EQ(Program("[abcd]", "").size(), 48u);
  // The stored complement of a negated bitmap has the byte 0 bit set.
  std::string negated = Program("[^abcd]", "");
  ASSERT_EQ(negated.size(), 48u);
  EXPECT_EQ(static_cast<unsigned char>(negated[11]) & 1, 1);
}

}  // namespace

namespace {

TEST(ProgramBytes, PairedSeparatorChangeRecompiles) {
  // With no single line breaks, only a paired separator makes ^ a line start.
  TPattern re;
  SetModifiers(re, "m");
  re.SetLineBreakChars("");
  re.SetExpression("^");
  re.Exec("");
  ASSERT_GT(re.ProgramBytes().size(), 6u);
  EXPECT_EQ(static_cast<unsigned char>(re.ProgramBytes()[6]), 34);
  re.SetLinePairedSeparator("");
  re.Exec("");
  ASSERT_GT(re.ProgramBytes().size(), 6u);
  EXPECT_EQ(static_cast<unsigned char>(re.ProgramBytes()[6]), 1);
  re.SetLinePairedSeparator("\r\n");
  re.Exec("");
  EXPECT_EQ(static_cast<unsigned char>(re.ProgramBytes()[6]), 34);
  // A modifier change recompiles too.
  re.SetModifierFlag(5, false);
  re.Exec("");
  EXPECT_EQ(static_cast<unsigned char>(re.ProgramBytes()[6]), 1);
}

}  // namespace
