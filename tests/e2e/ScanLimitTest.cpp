// A page whose tag scan once never ended: a meta tag left open, repeated
// (no ">" after it), costs time in the fourth power of its length with a
// plain backtracking scan. The scan ends now, the page converts with its
// real tags and all of its bytes, and the batch goes on with the next page.
#include <set>

#include "Harness.h"

namespace e2e {
namespace {

class ScanLimit : public E2eTest {};

TEST_F(ScanLimit, APageOfTagsLeftOpenConvertsAndTheNextPageToo) {
  DefaultIni();
  std::string broken = "<meta name=\"lrf:--title\" content=\"Broken\">";
  while (broken.size() < 256 * 1024) broken += "<meta name=\"a\" content=\"b ";
  Page("a.htm", broken);
  Page("b.htm", "<meta name=\"lrf:--title\" content=\"Next\">");
  RunResult r = Run({"-e", "log.txt", "*.htm"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_FALSE(fs::exists(work_ / "log.txt")) << ReadFile(work_ / "log.txt");
  std::set<std::string> titles;
  for (const Call& call : Calls()) {
    titles.insert(call.args.at(0));
    if (call.args.at(0) == "--title=Broken") {
      EXPECT_TRUE(call.files.at(call.Input()) == broken);
    }
  }
  EXPECT_EQ(titles, (std::set<std::string>{"--title=Broken", "--title=Next"}));
}

}  // namespace
}  // namespace e2e
