// The POSIX directory search lists names in one stable order, the one NTFS
// uses: by name, letters without regard to case.
#include <gtest/gtest.h>

#include <vector>

#include "Support.h"
#include "platform/Platform.h"

namespace {

namespace pf = quorvane::platform;

TEST(Search, ListsNamesInNtfsOrder) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows search keeps the file system's order";
#else
  qvtest::ScratchDir dir;
  // Created in an order unlike the listing; "_" comes after the letters once
  // they are upper case, names equal but for case by their bytes.
  const std::vector<std::string> sorted = {"1.htm", "A-b.htm", "A.htm", "a.htm", "B.htm",
                                           "b.htm.htm", "c.htm", "Z.htm", "_x.htm", "~.htm"};
  for (const char* name : {"c.htm", "a.htm", "_x.htm", "Z.htm", "b.htm.htm", "~.htm", "1.htm",
                           "A-b.htm", "B.htm", "A.htm"})
    dir.File(name);
  std::vector<std::string> listed;
  pf::FindSearch search(dir / "*.htm", pf::FindSearch::Kind::Everything);
  for (pf::FindEntry entry; search.Next(entry);) listed.push_back(entry.name);
  EXPECT_EQ(listed, sorted);
#endif
}

}  // namespace
