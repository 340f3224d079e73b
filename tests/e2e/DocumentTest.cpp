// What reaches the converter: parameters from meta tags and includes, the
// filled template, and the rewritten copy it reads.
#include "Harness.h"

namespace e2e {
namespace {

class Document : public E2eTest {};

TEST_F(Document, ParametersMergeAcrossIncludesInDocumentOrder) {
  DefaultIni();
  Page("books/novel.htm",
       "<html><head>\n"
       "<META NAME=\"@include\" CONTENT=\"inc/common.htm\">\n"
       "<meta name=\"LRF:--title\" content=\"My &amp; Book\">\n"
       "<meta name='*:--author' content='Smith'>\n"
       "<meta name=\"epub:--skip\" content=\"x\">\n"
       "<meta name=\"lrf:--series\" content=\"%R\">\n"
       "<meta name=\"lrf:--cover\" content=\"%n-cover.jpg\">\n"
       "<meta name=\"lrf:--quote\" content=\"say &quot;hi&quot; 100%%\">\n"
       "</head></html>\n");
  Page("books/inc/common.htm",
       "<meta name=\"lrf:--title\" content=\"Default\">\n"
       "<meta name=\"lrf:--series\" content=\"S\">\n"
       "<meta name=\"lrf:@include\" content=\"more.htm\">\n");
  Page("books/inc/more.htm",
       "<meta name=\"lrf:--dir\" content=\"%p\">\n"
       "<meta name=\"lrf:--ext\" content=\"%x\">\n"
       "<meta name=\"lrf:--flag\" content=\"%e\">\n"
       "<meta name=\"lrf:\" content=\"no name\">\n");
  RunResult r = Run({"books/novel.htm"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  // The include's --title keeps its place and takes the later value; %R
  // removes the included --series; a value with a blank is quoted with inner
  // quotes doubled, which the converter reads back as one quote.
  const std::vector<std::string> expected = {
      "--title=My & Book",
      "--dir=" + S(work_ / "books") + std::string(1, fs::path::preferred_separator),
      "--ext=.htm",
      "--flag",
      "--author=Smith",
      "--cover=novel-cover.jpg",
      "--quote=say \"hi\" 100%",
      "--output=" + S(work_ / "novel.lrf"),
  };
  ASSERT_EQ(calls[0].args.size(), expected.size() + 1);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(calls[0].args[i], expected[i]);
  // The EXEC line shows the parameter text as it was formed.
  EXPECT_NE(r.out.find(" --quote=\"say \"\"hi\"\" 100%\"  --output="),
            std::string::npos)
      << r.out;
}

TEST_F(Document, TemplateIsFilledFromTheTargetSection) {
  DefaultIni(
      "[tpl]\nConverter=" + S(conv_) +
      "\nCommandLine=%input% %%PARAMS%% %Output% 50% %PARAMS%end\nExtension=.out\n");
  Page("a.b.htm", "<meta name=\"tpl:--k\" content=\"v\">");
  RunResult r = Run({"-t", "tpl", "*.htm"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  const std::vector<std::string>& args = calls[0].args;
  ASSERT_GE(args.size(), 5u);
  EXPECT_EQ(fs::path(args[0]).filename(), "a.b.htm");  // the copy keeps the file's name
  EXPECT_EQ(args[1], "%PARAMS%");
  EXPECT_EQ(args[2], S(work_ / "a.b.out"));
  EXPECT_EQ(args[3], "50%");
  EXPECT_EQ(args[4], "--k=v");
}

TEST_F(Document, ConverterReadsARewrittenCopyAndTheInputStaysUntouched) {
  DefaultIni();
  const std::string page =
      "<html><body>\r\n"
      "<img src=\"pic.png\"><a href='../up/x.htm#s2'>x</a>\r\n"
      "<a href=\"#top\">top</a><a href=\"mailto:me@example.org\">m</a><a href=pic.png>u</a>\r\n"
      "<meta name=\"@include\" content=\"parts/part.htm\">\r\n"
      "<meta name=\"epub:@include\" content=\"missing.htm\">\r\n"
      "</body></html>\r\n";
  const std::string part = "<p>part</p><img src=\"img/p.gif\">";
  Page("site/page.htm", page);
  Page("site/parts/part.htm", part);
  RunResult r = Run({"site/*.htm"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  const fs::path site = work_ / "site";
  const std::string expected =
      "<html><body>\r\n"
      "<img src=\"" + Url(site / "pic.png") + "\"><a href='" + Url(site) + "/../up/x.htm#s2'>x</a>\r\n"
      "<a href=\"#top\">top</a><a href=\"mailto:me@example.org\">m</a><a href=pic.png>u</a>\r\n"
      "<p>part</p><img src=\"" + Url(site / "parts") + "/img/p.gif\">\r\n"
      "<meta name=\"epub:@include\" content=\"missing.htm\">\r\n"
      "</body></html>\r\n";
  const std::string input = calls[0].Input();
  EXPECT_EQ(calls[0].FileOf(input), expected);
  // The copy lives in its own kel* directory below the run's temporary
  // directory, and is gone afterwards.
  const fs::path copy(input);
  EXPECT_EQ(copy.filename(), "page.htm");
  EXPECT_EQ(copy.parent_path().filename().string().substr(0, 3), "kel");
  EXPECT_EQ(S(copy.parent_path().parent_path()), S(tmp_));
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(ReadFile(site / "page.htm"), page);
  EXPECT_EQ(ReadFile(site / "parts" / "part.htm"), part);
}

TEST_F(Document, IncludeErrorsFailOnlyTheirFile) {
  DefaultIni();
  Page("a.htm", "<meta name=\"@include\" content=\"b.htm\">");
  Page("b.htm", "<meta name=\"*:@include\" content=\"a.htm\">");
  Page("c.htm", "<meta name=\"lrf:@include\" content=\"\">");
  Page("d.htm", "<meta name=\"lrf:--ok\" content=\"1\">");
  RunResult r = Run({"-e", "log.txt", "*.htm"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  // a and b include each other; c includes an empty path; only d converts.
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args[0], "--ok=1");
  const std::string log = ReadFile(work_ / "log.txt");
  for (const char* name : {"a.htm", "b.htm", "c.htm"})
    EXPECT_NE(log.find(" WHILE CONVERTING " + S(work_ / name) + ":" + kNl), std::string::npos)
        << name << "\n" << log;
  EXPECT_NE(log.find("ERROR EFOpenError WHILE CONVERTING " + S(work_ / "c.htm")),
            std::string::npos);
}

TEST_F(Document, OutputOverTheInputIsRefused) {
  DefaultIni("[html]\nConverter=" + S(conv_) + "\nExtension=.htm\n");
  const std::string page = "<meta name=\"html:--touch-output\" content=\"%e\">";
  Page("a.htm", page);
  RunResult r = Run({"-t", "html", "a.htm"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("WHILE CONVERTING " + S(work_ / "a.htm") + ":"), std::string::npos)
      << r.out;
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(ReadFile(work_ / "a.htm"), page);
}

}  // namespace
}  // namespace e2e
