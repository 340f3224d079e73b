// Masks, directory search, attributes, whole files, names, paths, temporary names.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "Support.h"
#include "platform/Platform.h"
#include "platform/Wildcard.h"
#include "base/Errors.h"

namespace {

namespace pf = quorvane::platform;
using qvtest::kSep;
using qvtest::ScratchDir;
using Kind = pf::FindSearch::Kind;
using NameSet = std::set<std::string>;

// The search below shows the common masks; these are the corners.
TEST(MatchesMask, Corners) {
  const struct { const char *name, *mask; bool matches; } cases[] = {
      {"novel.html", "*.htm", false}, {"novel.htm.bak", "*.htm", false}, {".htm", "*.htm", true},
      {"readme", "readme.*", true}, {"readmes", "readme.*", false}, {"a.htm", "a?.htm", false},
      {"a12.htm", "a?.htm", false}, {"aXbXd", "a*b*c", false}, {"mississippi", "*ss*pi", true},
      {"anything", "", false}, {"\xC4rger.htm", "\xE4*", false}, {"\xC4rger.htm", "\xC4*", true},
  };
  for (const auto& c : cases) EXPECT_EQ(pf::MatchesMask(c.name, c.mask), c.matches) << c.name << " vs " << c.mask;
  std::string name(5000, 'a'), mask;  // many stars must not backtrack without end
  for (int i = 0; i < 200; ++i) mask += "*a";
  EXPECT_TRUE(pf::MatchesMask(name, mask) && !pf::MatchesMask(name, mask + "b"));
}

// Name -> attributes of every entry found, in no particular order. "." and
// ".." are left out: the Windows search lists them, ours does not.
std::map<std::string, std::uint32_t> Search(const std::string& pattern, Kind kind = Kind::Everything) {
  std::map<std::string, std::uint32_t> found;
  pf::FindSearch search(pattern, kind);
  pf::FindEntry entry;
  while (search.Next(entry))
    if (entry.name != "." && entry.name != "..") {
      EXPECT_TRUE(found.emplace(entry.name, entry.attributes).second) << "twice: " << entry.name;
    }
  EXPECT_FALSE(search.Next(entry)) << "a finished search stays finished";
  return found;
}

NameSet Names(const std::map<std::string, std::uint32_t>& found) {
  NameSet names;
  for (const auto& [name, attributes] : found) names.insert(name);
  return names;
}

TEST(Search, MasksKindsAndAttributes) {
  ScratchDir dir;
  for (const char* f : {"a.htm", "B.HTM", "c.txt", "noext", ".hidden.htm"}) dir.File(f, "x");
  for (const char* d : {"sub.htm", "plain", ".hiddendir"}) dir.Dir(d);
#ifdef _WIN32  // hidden is a leading dot on POSIX, an attribute on Windows
  for (const char* h : {".hidden.htm", ".hiddendir"}) SetFileAttributesA((dir / h).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
  const NameSet all = {"a.htm", "B.HTM", "c.txt", "noext", ".hidden.htm", "sub.htm", "plain", ".hiddendir"};
  const struct { std::string mask; Kind kind; NameSet expected; } cases[] = {
      {"*.htm", Kind::Everything, {"a.htm", "B.HTM", ".hidden.htm", "sub.htm"}},
      {"?.HtM", Kind::Everything, {"a.htm", "B.HTM"}}, {"NOEXT", Kind::Everything, {"noext"}},
      {"*.*", Kind::Everything, all}, {"*.xyz", Kind::Everything, {}},
      {"missing" + std::string(1, kSep) + "*.*", Kind::Everything, {}},
      // Hidden entries go, plain files stay.
      {"*.*", Kind::DirectoriesOnly, {"a.htm", "B.HTM", "c.txt", "noext", "sub.htm", "plain"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Names(Search(dir / c.mask, c.kind)), c.expected) << c.mask;
  auto found = Search(dir / "*");
  ASSERT_EQ(Names(found), all);
  for (const auto& [name, attributes] : found)  // directories and hidden entries say so
    EXPECT_EQ(attributes & (pf::kAttrDirectory | pf::kAttrHidden),
              (name == "sub.htm" || name == "plain" || name == ".hiddendir" ? pf::kAttrDirectory : 0u) |
                  (name[0] == '.' ? pf::kAttrHidden : 0u)) << name;
#ifndef _WIN32  // a pipe counts as a system entry
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_TRUE(Search(dir / "pipe")["pipe"] & pf::kAttrSystem);
  EXPECT_TRUE(Search(dir / "pipe", Kind::DirectoriesOnly).empty());
#endif
}

// "Kind: message" of what f raises, or "none".
std::string Raised(const std::function<void()>& f) {
  try { f(); } catch (const quorvane::Exception& e) { return std::string(e.KindName()) + ": " + e.Message(); }
  return "none";
}

TEST(WholeFile, BytesUnchangedAndOnlyRegularFiles) {
  ScratchDir dir;
  std::string data = dir / "data.bin", big(3 << 20, 'q');
  big.replace(12345, 9, std::string("\r\n\0\x1a\xff\n\r x", 9));
  pf::WriteWholeFile(data, big);
  EXPECT_EQ(pf::ReadWholeFile(data), big);
  pf::WriteWholeFile(data, "short");  // replaces, no tail of the old content
  pf::AppendToFile(data, "\r\nmore");
  EXPECT_EQ(pf::ReadWholeFile(data), "short\r\nmore");
  // Only regular files are read or written; a pipe or device must neither
  // block nor deliver endless data, and appending never creates a file.
  const std::string sub = dir.Dir("sub"), missing = dir / "missing.htm", noDir = dir / "no" + kSep + "x";
  std::vector<std::string> unreadable = {sub, missing}, uncreatable = {noDir, sub}, unappendable = {missing, sub};
#ifdef _WIN32
  unreadable.push_back("NUL");
#else
  std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (auto* list : {&unreadable, &uncreatable, &unappendable}) list->push_back(fifo);
  unreadable.push_back("/dev/zero");
#endif
  for (const std::string& name : unreadable)
    EXPECT_EQ(Raised([&] { pf::ReadWholeFile(name); }), "EFOpenError: Cannot open file " + name);
  for (const std::string& name : uncreatable) {  // the system's reason follows the name
    const std::string error = Raised([&] { pf::WriteWholeFile(name, "x"); });
    EXPECT_TRUE(error.starts_with("EFCreateError: Cannot create file " + name + ": ") && !error.ends_with(": ")) << error;
  }
  for (const std::string& name : unappendable)
    EXPECT_EQ(Raised([&] { pf::AppendToFile(name, "x"); }), "EFOpenError: Cannot open file " + name);
  EXPECT_FALSE(pf::FileAttributes(missing).has_value()) << "append must not create";
}

TEST(Names, AttributesCreateDeleteRemove) {
  ScratchDir dir;
  std::string sub = dir / "sub";
  EXPECT_TRUE(pf::CreateDirectoryNamed(sub) && !pf::CreateDirectoryNamed(sub));
  std::string file = dir.File("sub" + std::string(1, kSep) + "f.txt", "x");
  EXPECT_FALSE(pf::FileAttributes(file).value() & (pf::kAttrDirectory | pf::kAttrReadOnly));
  EXPECT_FALSE(pf::RemoveDirectoryNamed(sub)) << "not empty";
  EXPECT_FALSE(pf::DeleteFileNamed(sub) || pf::RemoveDirectoryNamed(file)) << "a directory is no file and back";
  EXPECT_TRUE(pf::DeleteFileNamed(file) && pf::RemoveDirectoryNamed(sub));
  EXPECT_FALSE(pf::FileAttributes(sub).has_value());
#ifndef _WIN32
  std::string keep = dir.File("keep.txt", "k"), dirLink = dir / "dirlink", fileLink = dir / "filelink";
  chmod(keep.c_str(), 0444);  // no one may write: read-only
  EXPECT_EQ(pf::FileAttributes(keep), pf::kAttrReadOnly | pf::kAttrArchive);
  ASSERT_EQ(symlink(dir.Dir("target").c_str(), dirLink.c_str()), 0);
  ASSERT_EQ(symlink(keep.c_str(), fileLink.c_str()), 0);
  ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "deadlink").c_str()), 0);
  EXPECT_EQ(pf::FileAttributes(dirLink), pf::kAttrReparsePoint | pf::kAttrDirectory);
  EXPECT_EQ(pf::FileAttributes(dir / "deadlink"), pf::kAttrReparsePoint);
  // A link is removed itself, never what it points at.
  EXPECT_FALSE(pf::RemoveDirectoryNamed(fileLink)) << "a link to a file is no directory";
  EXPECT_TRUE(pf::RemoveDirectoryNamed(dirLink) && pf::DeleteFileNamed(fileLink));
  EXPECT_TRUE(pf::ReadWholeFile(keep) == "k" && pf::FileAttributes(dir / "target").has_value());
#endif
}

TEST(Paths, CurrentExecutableAndFullPathName) {
  EXPECT_NE(pf::ExecutablePath().find("test_platform"), std::string::npos) << pf::ExecutablePath();
  const std::pair<const char*, const char*> cases[] = {  // "@" is the current directory
#ifdef _WIN32
      {"C:\\a\\b\\..\\c", "C:\\a\\c"}, {"C:/a/./b\\", "C:\\a\\b\\"}, {"sub\\..\\y", "@\\y"},
#else  // textual: no link is resolved, a trailing slash stays
      {"/", "/"}, {"/a/b/../c", "/a/c"}, {"//a///b", "/a/b"}, {"/a/./b/", "/a/b/"}, {"/..", "/"}, {"/a/../", "/"},
      {"/a/b/..", "/a"}, {"/a\\b:c", "/a\\b:c"}, {"sub/../y", "@/y"}, {"a//b/./", "@/a/b/"}, {".", "@"},
#endif
      {"", ""},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(pf::FullPathName(path), expected[0] == '@' ? pf::CurrentDirectory() + (expected + 1) : expected) << path;
}

TEST(Temp, TempPathAndUniqueNames) {
  std::string temp = pf::TempPath();
  EXPECT_TRUE(!temp.empty() && temp.back() == kSep && (pf::FileAttributes(temp).value_or(0) & pf::kAttrDirectory)) << temp;
  ScratchDir dir;
  std::string base = dir.path() + kSep;
  std::set<std::string> names;
  for (int i = 0; i < 40; ++i) {
    std::string name = pf::CreateTempDirectory(i % 2 ? base : dir.path(), "kelvo");
    SCOPED_TRACE(name);
    ASSERT_EQ(name.substr(0, base.size()), base);
    EXPECT_TRUE(names.insert(name).second) << "repeated";
    std::string file = name.substr(base.size());
    ASSERT_GT(file.size(), 7u);
    EXPECT_EQ(file.substr(0, 3) + file.substr(file.size() - 4), "kel.tmp");
    EXPECT_EQ(file.substr(3, file.size() - 7).find_first_not_of("0123456789abcdefABCDEF"), std::string::npos);
    EXPECT_TRUE(pf::FileAttributes(name).value_or(0) & pf::kAttrDirectory);
#ifndef _WIN32
    struct stat st;  // a private directory
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
#endif
  }
  EXPECT_EQ(pf::CreateTempDirectory(dir / "missing", "kelvo"), "");
}

}  // namespace
