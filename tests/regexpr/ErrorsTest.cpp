// Errors of the engine: codes, exact messages and positions, from the
// compiler and from the object's operations.
#include <functional>

#include "TestSupport.h"
#include "common/Helpers.h"

namespace {

using namespace regexpr_test;

TEST(Errors, CompileErrorsCarryCodeTextAndPosition) {
  // One row per place the compiler raises an error; messages are
  // "TPattern(comp): " + text + " (pos N)", N the characters parsed.
  const struct { std::string pattern; int code; std::string message; const char* modifiers = "sg"; } cases[] = {
      {Times("(a)", 15), 102, "ParseReg Too Many () (pos 43)"},
      {"((a)", 103, "ParseReg Unmatched () (pos 4)"},
      {"a)", 104, "ParseReg Unmatched () (pos 1)"},
      {"(a?)*", 106, "*+ Operand Could Be Empty (pos 4)"},
      {"\\b+", 106, "*+ Operand Could Be Empty (pos 2)"},
      {"^{2}", 106, "*+ Operand Could Be Empty (pos 1)"},
      {"a *", 106, "*+ Operand Could Be Empty (pos 2)", "gx"},
      {"a**", 107, "Nested *?+ (pos 2)"},
      {"a{2}{3}", 107, "Nested *?+ (pos 4)"},
      {"\\xG1", 108, "Bad Hex Digit (pos 2)"},      // first of two digits
      {"\\x4G", 108, "Bad Hex Digit (pos 3)"},      // second of two digits
      {"[\\x{4G}]", 108, "Bad Hex Digit (pos 5)"},  // in braces
      {"[z-a]", 109, "Invalid [] Range (pos 3)"},
      {"[a\\", 110, "Parse Atom Trailing \\ (pos 3)"},   // after an escape
      {"[a-\\", 110, "Parse Atom Trailing \\ (pos 4)"},  // at a range end
      {"\\x", 111, "No Hex Code After \\x (pos 2)"},     // after x
      {"\\x4", 111, "No Hex Code After \\x (pos 3)"},    // before the second digit
      {"\\x{4", 111, "No Hex Code After \\x (pos 4)"},   // before the closing brace
      {"\\x{100}", 112, "Hex Code After \\x Is Too Big (pos 5)"},
      {"[a", 113, "Unmatched [] (pos 2)"},
      {"*a", 115, "?+*{ Follows Nothing (pos 1)"},
      {"ab\\", 116, "Trailing \\ (pos 3)"},
      {"a{123456789}", 122, "BRACES Argument Too Big (pos 11)"},
      {"a{1,123456789}", 122, "BRACES Argument Too Big (pos 13)"},
      {"x{2,1}", 124, "BRACE Min Param Greater then Max (pos 5)"},
      {"(?#abc", 125, "Unclosed (?#Comment) (pos 6)"},
      {"(?z)", 127, "Urecognized Modifier (pos 3)"},  // not a modifier letter
      {"(?i", 127, "Urecognized Modifier (pos 3)"},   // no closing parenthesis
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("pattern " + c.pattern);
    TPattern re;
    UseModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    for (int run = 0; run < 2; ++run) {  // the object stays usable: the next run fails alike
      const auto e = Raised([&] { re.Exec("subject"); });
      if (!e) break;
      EXPECT_EQ(e->Code, c.code);
      EXPECT_EQ(e->what(), "TPattern(comp): " + c.message);
      EXPECT_EQ(" (pos " + std::to_string(e->Position) + ")", c.message.substr(c.message.rfind(" (")));
      EXPECT_STREQ(e->KindName(), "EPatternError");
      EXPECT_EQ(re.CompileErrorPosition(), 0);  // outside a compile
    }
  }
}

TEST(Errors, AcceptedNearMisses) {
  for (const char* pattern : {"a{12345678}", "(a{1,2})*", "()?", "(?)", "(?-imsx)", "(?Ig)",
                              "(\\1)*", "|", "}", "]", "a{0}", "\\b{"}) {
    TPattern re;
    re.SetExpression(pattern);
    EXPECT_NO_THROW(re.Exec("abc")) << pattern;
  }
  // Fourteen groups are the limit, not over it.
  TPattern re;
  re.SetExpression(Times("(a)", 14));
  ASSERT_TRUE(re.Exec(std::string(14, 'a')));
  EXPECT_EQ(re.GroupStart(14), 14);
}

// n nested loops over complex operands, all active at once while matching.
std::string NestedLoops(int n) { return Times("(", n) + "a" + Times("){1,2}", n); }

TEST(Errors, RunErrorsCarryCodeAndText) {
  TPattern re, pair;
  const std::string exec = "TPattern(exec): ", none = exec + "Not Assigned Expression Property",
                    next = exec + "ExecNext Without Exec[Pos]", pairText = "TPattern(comp): LinePairedSeparator "
                    "must countain two different chars or no chars at all (pos 0)";
  const struct { const char* what; int code, position; std::string message; std::function<void()> op; } cases[] = {
      {"no pattern", 1003, 0, none, [&] { re.Exec("abc"); }},
      {"empty pattern", 1003, 0, none, [&] { re.SetExpression("a"), re.SetExpression(""), re.Exec("abc"); }},
      {"no subject", 1005, 0, exec + "No Input String Specified", [] { TPattern p; p.SetExpression("ab"), p.ExecPos(1); }},
      {"bad pattern, no subject", 103, 1, "TPattern(comp): ParseReg Unmatched () (pos 1)",
       [] { TPattern p; p.SetExpression("("), p.ExecPos(1); }},
      {"offset 0", 1006, 0, exec + "Offset Must Be Greater Then 0",
       [&] { re.SetExpression("b"), re.SetInputString("abc"), re.ExecPos(0); }},
      {"ExecNext first", 1007, 0, next, [] { TPattern p; p.SetExpression("b"), p.ExecNext(); }},
      {"ExecNext after a miss", 1007, 0, next, [&] { EXPECT_FALSE(re.Exec("xyz")); re.ExecNext(); }},
      {"ExecNext, new subject", 1007, 0, next, [&] { EXPECT_TRUE(re.Exec("abc")); re.SetInputString("abcb"); re.ExecNext(); }},
      {"set modifier 7", 1013, 0, "Unknown error", [&] { re.SetModifierFlag(7, true); }},
      {"get modifier 0", 1013, 0, "Unknown error", [&] { (void)re.ModifierFlag(0); }},
      {"eleven loop levels", 1014, 0, exec + "Loop Stack Exceeded", [] { TPattern p; p.SetExpression(NestedLoops(11)), p.Exec("a"); }},
      {"pair of equal bytes", 128, 0, pairText, [&] { pair.SetLinePairedSeparator("\n\n"); }},
      {"pair of one byte", 128, 0, pairText, [&] { pair.SetLinePairedSeparator("\n"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (const auto e = Raised(c.op)) {
      EXPECT_EQ(e->Code, c.code);
      EXPECT_EQ(e->Position, c.position);
      EXPECT_EQ(e->what(), c.message);
    }
  }
  pair.SetExpression("(?m)^b");  // the refused separators left the default in force
  ASSERT_TRUE(pair.Exec("a\r\nb"));
  EXPECT_EQ(pair.GroupStart(0), 4);
  re.SetExpression(NestedLoops(10));  // ten levels are allowed
  ASSERT_TRUE(re.Exec("a"));
  EXPECT_EQ(re.GroupLength(0), 1);
}

TEST(Errors, MessagesComeFromOneReplaceableTable) {
  struct Renamed : TPattern {
    std::string ErrorText(std::int32_t code) const override { return "error " + std::to_string(code); }
  } re;
  re.SetExpression("a**");
  const auto compile = Raised([&] { re.Exec("a"); });
  const auto run = Raised([&] { re.ExecNext(); });
  const auto index = Raised([&] { re.SetModifierFlag(9, true); });
  ASSERT_TRUE(compile && run && index);
  EXPECT_EQ(std::string(compile->what()) + "; " + run->what() + "; " + index->what(),
            "error 107 (pos 2); error 1007; error 1013");
}

TEST(Errors, EmptyCharacterTablesStopTheCompile) {
  for (const char* pattern : {"\\s", "\\S", "\\w", "x\\W"}) {
    TPattern re;
    re.SetBlankChars("");
    re.SetWordCharSet("");
    re.SetExpression(pattern);
    EXPECT_EQ(qvtest::Raised([&] { re.Exec("a b"); }),
              "Exception: TPattern.ParseAtom(subroutine EmitRangeC): empty range")
        << pattern;
    re.SetBlankChars(" ");  // filled again, the same object compiles
    re.SetWordCharSet("ab");
    EXPECT_NO_THROW(re.Exec("a b")) << pattern;
  }
}

}  // namespace
