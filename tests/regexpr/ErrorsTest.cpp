// Errors of the engine: codes, exact messages and positions, from the
// compiler and from the object's operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "regexpr/Pattern.h"
#include "util/Errors.h"

using quorvane::EPatternError;
using quorvane::TPattern;

namespace {

void SetModifiers(TPattern& re, std::string_view letters) {
  static constexpr std::string_view kLetters = "irsgmx";
  for (int i = 0; i < 6; ++i) {
    re.SetModifierFlag(i + 1, letters.find(kLetters[i]) != std::string_view::npos);
  }
}

const std::map<int, std::string>& Texts() {
  static const std::map<int, std::string> texts = {
      {102, "TPattern(comp): ParseReg Too Many ()"}, {103, "TPattern(comp): ParseReg Unmatched ()"},
      {104, "TPattern(comp): ParseReg Unmatched ()"},
      {106, "TPattern(comp): *+ Operand Could Be Empty"}, {107, "TPattern(comp): Nested *?+"},
      {108, "TPattern(comp): Bad Hex Digit"}, {109, "TPattern(comp): Invalid [] Range"},
      {110, "TPattern(comp): Parse Atom Trailing \\"},
      {111, "TPattern(comp): No Hex Code After \\x"},
      {112, "TPattern(comp): Hex Code After \\x Is Too Big"}, {113, "TPattern(comp): Unmatched []"},
      {115, "TPattern(comp): ?+*{ Follows Nothing"}, {116, "TPattern(comp): Trailing \\"},
      {122, "TPattern(comp): BRACES Argument Too Big"},
      {124, "TPattern(comp): BRACE Min Param Greater then Max"},
      {125, "TPattern(comp): Unclosed (?#Comment)"}, {127, "TPattern(comp): Urecognized Modifier"},
      {128, "TPattern(comp): LinePairedSeparator must countain two different chars or no chars at all"},
      {1003, "TPattern(exec): Not Assigned Expression Property"},
      {1005, "TPattern(exec): No Input String Specified"},
      {1006, "TPattern(exec): Offset Must Be Greater Then 0"},
      {1007, "TPattern(exec): ExecNext Without Exec[Pos]"}, {1013, "Unknown error"},
      {1014, "TPattern(exec): Loop Stack Exceeded"},
  };
  return texts;
}

struct CompileErrorCase {
  std::string pattern;
  const char* modifiers;
  int code;
  int position;  // -1: only the message's own consistency is checked
};

std::string FifteenGroups() {
  std::string p;
  for (int i = 0; i < 15; ++i) p += "(a)";
  return p;
}

TEST(Errors, CompileErrorsCarryCodeTextAndPosition) {
  const CompileErrorCase cases[] = {
      {"*a", "", 115, 1}, {"?", "", 115, 1}, {"a|+b", "", 115, 3}, {"(*)", "", 115, 2},
      {"a**", "g", 107, 2}, {"a{2}{3}", "g", 107, 4}, {"a{1}?*", "g", 107, 5},
      {"a+?+", "g", 107, 3}, {"(a", "", 103, 2}, {"((a)", "", 103, 4}, {"a)", "", 104, 1},
      {"[a", "", 113, 2}, {"[", "", 113, 1}, {"[^", "", 113, 2}, {"[]", "", 113, 2},
      {"[^]", "", 113, 3}, {"ab\\", "", 116, 3}, {"\\", "", 116, 1}, {"[a\\", "", 110, 3},
      {"x{2,1}", "g", 124, -1}, {"a{123456789}", "g", 122, -1}, {"a{2147483647}", "g", 122, -1},
      {"(a{0,2})*", "g", 106, 8}, {"(a?)*", "g", 106, 4}, {"(a*)*", "g", 106, 4},
      {"()+", "g", 106, 2}, {"(a|)*", "", 106, 4}, {"^*", "g", 106, 1}, {"\\b+", "g", 106, 2},
      {"a(?i)*", "g", 106, 5}, {"a *", "gx", 106, 2}, {"[z-a]", "", 109, 3},
      {"[\xE0-\xDF]", "", 109, 3}, {FifteenGroups(), "", 102, 43}, {"(?#abc", "", 125, 6},
      {"(?z)", "", 127, -1}, {"(?i", "", 127, -1}, {"(?i-q)", "", 127, -1},
      {"\\x{100}", "", 112, -1}, {"\\x4", "", 111, -1}, {"\\x{4", "", 111, -1},
      {"\\xG1", "", 108, -1}, {"\\x4G", "", 108, -1}, {"[\\x{4G}]", "", 108, -1},
  };
  for (const CompileErrorCase& c : cases) {
    SCOPED_TRACE("pattern " + c.pattern);
    TPattern re;
    SetModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    try {
      re.Exec("subject");
      ADD_FAILURE() << "compiled without error";
      continue;
    } catch (const EPatternError& e) {
      EXPECT_EQ(e.Code, c.code);
      if (c.position >= 0) {
        EXPECT_EQ(e.Position, c.position);
      }
      std::string text = Texts().at(c.code);
      EXPECT_EQ(std::string(e.what()), text + " (pos " + std::to_string(e.Position) + ")");
      EXPECT_STREQ(e.KindName(), "EPatternError");
    }
    // Outside a compile the position reads 0, and the object stays usable:
    // the next run compiles again and fails the same way.
    EXPECT_EQ(re.CompileErrorPosition(), 0);
    try {
      re.Exec("subject");
      ADD_FAILURE() << "second run compiled without error";
    } catch (const EPatternError& e) {
      EXPECT_EQ(e.Code, c.code);
    }
  }
}

TEST(Errors, AcceptedNearMisses) {
  // Each of these is one step short of an error above.
  const char* const accepted[] = {
      "a{12345678}", "(a{1,2})*", "a?",    "()?",     "(a|)?",  "x{2,2}", "[a-a]",
      "a{,3}",       "a{3",       "a{x}",  "[]a]",    "(?#)",   "(?)",    "(?-imsx)",
      "\\x{41}",     "\\x{0041}", "\\10",  "(\\1)*",  "a|",     "|",      "{",
      "a{1}?",       "}",         "]",     "[\\d-z]", "a{0}",   "(?Ig)",
  };
  for (const char* pattern : accepted) {
    SCOPED_TRACE(pattern);
    TPattern re;
    SetModifiers(re, "g");
    re.SetExpression(pattern);
    EXPECT_NO_THROW(re.Exec("abc"));
  }
  // Fourteen groups are the limit, not over it.
  TPattern re;
  re.SetExpression(FifteenGroups().substr(3));
  EXPECT_TRUE(re.Exec(std::string(14, 'a')));
  EXPECT_EQ(re.GroupStart(14), 14);
}

// The error an operation raised; fails the test when it raised none.
template <typename F>
std::optional<EPatternError> Raised(F f) {
  try {
    f();
  } catch (const EPatternError& e) {
    return e;
  }
  ADD_FAILURE() << "no EPatternError";
  return std::nullopt;
}

void ExpectRunError(const std::optional<EPatternError>& e, int code) {
  if (!e) return;
  EXPECT_EQ(e->Code, code);
  EXPECT_EQ(e->Position, 0);
  EXPECT_EQ(std::string(e->what()), Texts().at(code));
}

TEST(Errors, RunWithoutPatternOrSubject) {
  TPattern re;
  ExpectRunError(Raised([&] { re.Exec("abc"); }), 1003);
  re.SetExpression("a");
  re.SetExpression("");  // an empty text leaves no pattern
  ExpectRunError(Raised([&] { re.Exec("abc"); }), 1003);

  TPattern noSubject;
  noSubject.SetExpression("ab");
  ExpectRunError(Raised([&] { noSubject.ExecPos(1); }), 1005);
  // The pattern was compiled before the subject was missed.
  EXPECT_FALSE(noSubject.ProgramBytes().empty());
  // A bad pattern is reported before the missing subject.
  TPattern badNoSubject;
  badNoSubject.SetExpression("(");
  auto bad = Raised([&] { badNoSubject.ExecPos(1); });
  EXPECT_TRUE(bad && bad->Code == 103);
}

TEST(Errors, OffsetsAndExecNext) {
  TPattern re;
  re.SetExpression("b");
  re.SetInputString("abc");
  ExpectRunError(Raised([&] { re.ExecPos(0); }), 1006);
  ExpectRunError(Raised([&] { re.ExecPos(-3); }), 1006);

  TPattern fresh;
  fresh.SetExpression("b");
  ExpectRunError(Raised([&] { fresh.ExecNext(); }), 1007);

  EXPECT_FALSE(re.Exec("xyz"));
  ExpectRunError(Raised([&] { re.ExecNext(); }), 1007);

  // A new subject forgets the match, so there is nothing to continue from.
  EXPECT_TRUE(re.Exec("abc"));
  re.SetInputString("abcb");
  ExpectRunError(Raised([&] { re.ExecNext(); }), 1007);
}

TEST(Errors, ModifierIndexOutOfRange) {
  TPattern re;
  for (int index : {0, 7, -1}) {
    SCOPED_TRACE(index);
    ExpectRunError(Raised([&] { re.SetModifierFlag(index, true); }), 1013);
    ExpectRunError(Raised([&] { (void)re.ModifierFlag(index); }), 1013);
  }
}

TEST(Errors, BadPairedSeparator) {
  TPattern re;
  for (const char* text : {"\n\n", "\n", "abc", "aa"}) {
    SCOPED_TRACE(text);
    auto e = Raised([&] { re.SetLinePairedSeparator(text); });
    if (!e) continue;
    EXPECT_EQ(e->Code, 128);
    EXPECT_EQ(e->Position, 0);
    EXPECT_EQ(std::string(e->what()), Texts().at(128) + " (pos 0)");
  }
  // The failed assignments left the default pair in force.
  re.SetExpression("(?m)^b");
  EXPECT_TRUE(re.Exec("a\r\nb"));
  EXPECT_EQ(re.GroupStart(0), 4);
}

// n nested loops over complex operands, all active at once while matching.
std::string NestedLoops(int n) {
  std::string p = "a";
  for (int i = 0; i < n; ++i) p = "(" + p + "){1,2}";
  return p;
}

TEST(Errors, LoopStackHoldsTenLevels) {
  TPattern ten;
  ten.SetExpression(NestedLoops(10));
  EXPECT_TRUE(ten.Exec("a"));
  EXPECT_EQ(ten.GroupLength(0), 1);

  TPattern eleven;
  eleven.SetExpression(NestedLoops(11));
  ExpectRunError(Raised([&] { eleven.Exec("a"); }), 1014);
  // The object is still usable afterwards.
  eleven.SetExpression("a");
  EXPECT_TRUE(eleven.Exec("a"));
}

}  // namespace

namespace {

// Messages come from one replaceable table.
class RenamedErrors : public TPattern {
 public:
  std::string ErrorText(std::int32_t code) const override {
    return "error " + std::to_string(code);
  }
};

TEST(Errors, DerivedClassRenamesEveryMessage) {
  RenamedErrors re;
  re.SetExpression("a**");
  auto compile = Raised([&] { re.Exec("a"); });
  ASSERT_TRUE(compile);
  EXPECT_EQ(std::string(compile->what()), "error 107 (pos 2)");
  auto run = Raised([&] { re.ExecNext(); });
  ASSERT_TRUE(run);
  EXPECT_EQ(std::string(run->what()), "error 1007");
  auto index = Raised([&] { re.SetModifierFlag(9, true); });
  ASSERT_TRUE(index);
  EXPECT_EQ(std::string(index->what()), "error 1013");
}

TEST(Errors, EmptyCharacterTablesStopTheCompile) {
  // \s and \w with an empty table would make an empty class.
  for (const char* pattern : {"\\s", "\\S", "\\w", "x\\W"}) {
    SCOPED_TRACE(pattern);
    TPattern re;
    re.SetBlankChars("");
    re.SetWordCharSet("");
    re.SetExpression(pattern);
    try {
      re.Exec("a b");
      ADD_FAILURE() << "compiled";
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), "TPattern.ParseAtom(subroutine EmitRangeC): empty range");
    }
    // The same object compiles once the table is filled again.
    re.SetBlankChars(" ");
    re.SetWordCharSet("ab");
    re.SetExpression(std::string(pattern) + "|");
    EXPECT_NO_THROW(re.Exec("a b"));
  }
}

}  // namespace
