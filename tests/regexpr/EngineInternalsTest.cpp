// White-box tests of the engine: the search aids (start sets, prefix scan,
// per-node character sets, backreference filter) must never change what a
// run finds, and the matcher must stop with the right error on a corrupt
// program.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "regexpr/Engine.h"
#include "regexpr/Pattern.h"

namespace quorvane {

class PatternTestAccess {
 public:
  // Makes every run try every position with the bare matcher.
  static void DropSearchAids(TPattern& re) {
    regex::CompiledProgram& p = *re.program_;
    p.startSet.fill(0xFF);
    p.startSingle = -1;
    p.firstLiteral = 0;
    p.anchored = false;
    p.mustLiteral = nullptr;
    p.mustLength = 0;
    p.prefixLength = 0;
    p.nodeAidIndex.clear();
    p.nodeAids.clear();
  }
  // Replaces the compiled program by raw bytes (the object must hold one).
  static void Install(TPattern& re, const std::vector<std::uint8_t>& bytes) {
    regex::CompiledProgram& p = *re.program_;
    p.bytes = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), p.bytes.get());
    p.size = bytes.size();
    p.hasBackrefs = false;
    DropSearchAids(re);
  }
};

}  // namespace quorvane

namespace {

using quorvane::EPatternError;
using quorvane::PatternTestAccess;
using quorvane::TPattern;

void UseModifiers(TPattern& re, const std::string& letters) {
  const std::string order = "irsgmx";
  for (int i = 0; i < 6; ++i) re.SetModifierFlag(i + 1, letters.find(order[std::size_t(i)]) != std::string::npos);
}

// Every match of a full scan with the bounds of groups 0 to 5, or the error
// code that stopped it.
std::vector<int> Scan(TPattern& re, const std::string& subject) {
  std::vector<int> out;
  try {
    for (bool ok = re.Exec(subject); ok; ok = re.ExecNext())
      for (int n = 0; n <= 5; ++n) {
        out.push_back(re.GroupStart(n));
        out.push_back(re.GroupLength(n));
      }
  } catch (const EPatternError& e) {
    out.push_back(-1000 - e.Code);
  }
  return out;
}

class Random {
 public:
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 11);
  }

 private:
  std::uint64_t state_ = 0x9e3779b97f4a7c15ull;
};

TEST(EngineInternals, SearchAidsNeverChangeWhatARunFinds) {
  struct Case {
    const char* pattern;
    const char* modifiers;
  };
  const Case cases[] = {
      {"<[a-z][^>]*?(href|src)=([\"']?)(([a-z]+:)?([^>]*?))\\2", "isg"},
      {"<meta\\s+name=([\"']?)([^>]*?)\\1\\s+content=([\"']?)([^>]*?)\\3[^>]*>", "isg"},
      {"ab|c", "sg"},        {"a*b", "sg"},         {"a+?b", "sg"},       {"(a|b)?c", "sg"},
      {"x*", "sg"},          {"[ab]{2,3}c", "sg"},  {"a.*=", "g"},        {"a.*?=", "sg"},
      {"^a", "sg"},          {"^a", "msg"},         {"b$", "msg"},        {"$", "msg"},
      {"\\bh", "sg"},        {"\\Bre", "sg"},       {"(a)\\1", "isg"},    {"(a|b)\\1+", "sg"},
      {"(a*)b\\1", "sg"},    {"(['\"])[^'\"]*\\1", "sg"}, {"(ab)*c", "sg"}, {"(ab)*c", "s"},
      {"(a|ab)(c|bcd)", "sg"}, {"(a|ab){1,2}c", "sg"}, {"((a)|b)+=", "sg"}, {"z|(x)?y", "isg"},
      {"href", "isg"},       {"hr.f", "sg"},        {"[^<>]+>", "sg"},    {"\\d+|\\s", "sg"},
      {"\\w+=\\W", "sg"},    {".", "g"},            {"(?m)^.", "sg"},     {"a{0,2}?=", "sg"},
      {"(a?)??b", "sg"},     {"()\\1*a", "sg"},     {"(a)|\\1b", "sg"},   {"[\\x00a]b", "sg"},
      {"(\"|')?=", "isg"},   {"([as])[^>]*?\\1", "isg"}, {"([as]?)z*\\1=", "isg"},   {"Src|HREF", "isg"},   {"(h)(r)?e\\2?f", "isg"}, {"<[a-z]", "isg"},
      {"(a|xb*){2,3}c", "sg"}, {"(a|x(b|z)){2,3}c", "isg"},
  };
  // Subjects from a small alphabet, of lengths on both sides of the vector
  // scan's blocks.
  const std::string alphabet = "ab<>=\"' \r\nxyzcAhrefSsm:Z0-";
  std::vector<std::string> subjects = {"", "a", "<a href=\"x\">", "<meta name=a content='b'>"};
  Random random;
  for (int n = 0; n < 220; ++n) {
    const std::size_t length = n < 120 ? std::size_t(n) : 120 + random.Next() % 200;
    std::string s;
    for (std::size_t k = 0; k < length; ++k) s += alphabet[random.Next() % alphabet.size()];
    subjects.push_back(s);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    TPattern hinted, bare;
    for (TPattern* re : {&hinted, &bare}) {
      UseModifiers(*re, c.modifiers);
      re->SetExpression(c.pattern);
      re->Exec("");
    }
    PatternTestAccess::DropSearchAids(bare);
    for (const std::string& s : subjects) {
      ASSERT_EQ(Scan(hinted, s), Scan(bare, s)) << "subject \"" << s << "\"";
    }
  }
}

TEST(EngineInternals, CorruptProgramsStopWithTheirCode) {
  // Each program starts matching at byte 1.
  struct Case {
    std::vector<std::uint8_t> bytes;
    int code;
  };
  const Case cases[] = {
      // Wrong signature.
      {{0x00, 0x00, 0, 0, 0, 0}, 1004},
      // Opcode 4 does not exist.
      {{0xD8, 0x04, 0, 0, 0, 0}, 1001},
      // An empty node with no successor: the chain ends before the end node.
      {{0xD8, 0x09, 0, 0, 0, 0}, 1002},
      // A star over a node that is not one character.
      {{0xD8, 0x0A, 10, 0, 0, 0, 0x09, 0, 0, 0, 0, 0x00, 0, 0, 0, 0}, 1000},
      // A loop node without its entry.
      {{0xD8, 0x18, 17, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x00, 0, 0, 0, 0}, 1015},
      // A backreference to a group that cannot exist.
      {{0xD8, 0x1C, 6, 0, 0, 0, 20, 0x00, 0, 0, 0, 0}, 1001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    TPattern re;
    re.SetExpression("a");
    ASSERT_TRUE(re.Exec("a"));
    PatternTestAccess::Install(re, c.bytes);
    try {
      re.Exec("abc");
      ADD_FAILURE() << "ran a corrupt program";
    } catch (const EPatternError& e) {
      EXPECT_EQ(e.Code, c.code);
      EXPECT_EQ(e.Position, 0);
      EXPECT_EQ(std::string(e.what()), re.ErrorText(c.code));
    }
    EXPECT_EQ(re.GroupStart(0), -1);
  }
}

}  // namespace
