// Directory search, attributes, whole files, names, paths and temporary names.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "Support.h"
#include "platform/Platform.h"
#include "util/Errors.h"

namespace {

namespace pf = quorvane::platform;
using qvtest::kSep;
using qvtest::ScratchDir;
using Kind = pf::FindSearch::Kind;
using NameSet = std::set<std::string>;

// Hidden is a leading dot on POSIX and an attribute on Windows.
void MakeHidden(const std::string& path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), GetFileAttributesA(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
#else
  (void)path;
#endif
}

// Name -> attributes of every entry found. "." and ".." are left out: the
// Windows search lists them, ours does not, and callers skip them anyway.
std::map<std::string, std::uint32_t> Search(const std::string& pattern, Kind kind) {
  std::map<std::string, std::uint32_t> found;
  pf::FindSearch search(pattern, kind);
  pf::FindEntry entry;
  while (search.Next(entry)) {
    if (entry.name == "." || entry.name == "..") continue;
    EXPECT_TRUE(found.emplace(entry.name, entry.attributes).second) << "twice: " << entry.name;
  }
  EXPECT_FALSE(search.Next(entry)) << "a finished search stays finished";
  return found;
}

NameSet Names(const std::map<std::string, std::uint32_t>& found) {
  NameSet names;
  for (const auto& entry : found) names.insert(entry.first);
  return names;
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"a.htm", "B.HTM", "c.txt", "noext"}) dir.File(f, "x");
    MakeHidden(dir.File(".hidden.htm"));
    dir.Dir("sub.htm");
    dir.Dir("plain");
    MakeHidden(dir.Dir(".hiddendir"));
  }
  std::map<std::string, std::uint32_t> Find(const std::string& mask, Kind kind = Kind::Everything) {
    return Search(dir / mask, kind);
  }
  ScratchDir dir;
};

TEST_F(SearchTest, MasksMatchWithoutRegardToCase) {
  EXPECT_EQ(Names(Find("*.htm")), (NameSet{"a.htm", "B.HTM", ".hidden.htm", "sub.htm"}));
  EXPECT_EQ(Names(Find("?.HtM")), (NameSet{"a.htm", "B.HTM"}));
  EXPECT_EQ(Names(Find("NOEXT")), (NameSet{"noext"}));
  EXPECT_EQ(Names(Find("*.*")), (NameSet{"a.htm", "B.HTM", "c.txt", "noext", ".hidden.htm",
                                         "sub.htm", "plain", ".hiddendir"}));
  EXPECT_TRUE(Find("*.xyz").empty());
  EXPECT_TRUE(Find("missing" + std::string(1, kSep) + "*.*").empty());
}

TEST_F(SearchTest, ReportsDirectoriesAndHiddenEntries) {
  auto found = Find("*");
  ASSERT_EQ(found.size(), 8u);
  const std::tuple<const char*, bool, bool> expected[] = {  // name, directory, hidden
      {"sub.htm", true, false}, {"plain", true, false},  {".hiddendir", true, true},
      {"a.htm", false, false},  {"noext", false, false}, {".hidden.htm", false, true}};
  for (const auto& [name, isDirectory, isHidden] : expected) {
    EXPECT_EQ((found[name] & pf::kAttrDirectory) != 0, isDirectory) << name;
    EXPECT_EQ((found[name] & pf::kAttrHidden) != 0, isHidden) << name;
  }
}

TEST_F(SearchTest, DirectoriesOnlyHidesHiddenEntriesButKeepsPlainFiles) {
  EXPECT_EQ(Names(Find("*.*", Kind::DirectoriesOnly)),
            (NameSet{"a.htm", "B.HTM", "c.txt", "noext", "sub.htm", "plain"}));
}

#ifndef _WIN32
// Links and pipes exist on Windows too, but only POSIX lets a test make them.
TEST_F(SearchTest, LinksReportReparsePointAndTargetPipesAreSystem) {
  ASSERT_EQ(symlink((dir / "plain").c_str(), (dir / "dirlink").c_str()), 0);
  ASSERT_EQ(symlink((dir / "a.htm").c_str(), (dir / "filelink").c_str()), 0);
  ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "deadlink").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  auto found = Find("*link");
  EXPECT_EQ(found["dirlink"], pf::kAttrReparsePoint | pf::kAttrDirectory);
  EXPECT_EQ(found["filelink"] & (pf::kAttrReparsePoint | pf::kAttrDirectory), pf::kAttrReparsePoint);
  EXPECT_EQ(found["deadlink"], pf::kAttrReparsePoint);
  EXPECT_EQ(pf::FileAttributes(dir / "dirlink"), pf::kAttrReparsePoint | pf::kAttrDirectory);
  EXPECT_TRUE(Find("pipe")["pipe"] & pf::kAttrSystem);
  EXPECT_TRUE(Find("pipe", Kind::DirectoriesOnly).empty());
}
#endif

TEST(Attributes, OfNames) {
  ScratchDir dir;
  std::string file = dir.File("f.txt", "x");
  EXPECT_FALSE(pf::FileAttributes(dir / "missing").has_value());
  EXPECT_FALSE(pf::FileAttributes("").has_value());
  EXPECT_FALSE(pf::FileAttributes(file).value() & (pf::kAttrDirectory | pf::kAttrReadOnly));
  EXPECT_TRUE(pf::FileAttributes(dir.path()).value() & pf::kAttrDirectory);
#ifdef _WIN32
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(pf::FileAttributes(file).value() & pf::kAttrReadOnly);
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
  chmod(file.c_str(), 0444);  // no one may write: read-only
  EXPECT_TRUE(pf::FileAttributes(file).value() & pf::kAttrReadOnly);
#endif
}

// ---- whole files ----

template <typename Error, typename F>
void ExpectError(F f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(WholeFile, BytesGoInAndOutUnchanged) {
  ScratchDir dir;
  std::string name = dir / "data.bin";
  std::string big(3 << 20, 'q');
  big.replace(12345, 9, std::string("\r\n\0\x1a\xff\n\r x", 9));
  pf::WriteWholeFile(name, big);
  EXPECT_EQ(pf::ReadWholeFile(name), big);
  pf::WriteWholeFile(name, "short");  // replaces, no tail of the old content
  pf::AppendToFile(name, "\r\nmore");
  EXPECT_EQ(pf::ReadWholeFile(name), "short\r\nmore");
  pf::WriteWholeFile(name, "");
  EXPECT_EQ(pf::ReadWholeFile(name), "");
}

TEST(WholeFile, OnlyRegularFilesAreRead) {
  ScratchDir dir;
  for (std::string name : {dir.Dir("sub"), dir / "missing.htm"})
    ExpectError<quorvane::EFOpenError>([&] { pf::ReadWholeFile(name); }, "Cannot open file " + name);
#ifdef _WIN32
  ExpectError<quorvane::EFOpenError>([] { pf::ReadWholeFile("NUL"); }, "Cannot open file NUL");
#else
  // Neither endless data nor waiting for a writer.
  std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (std::string name : {std::string("/dev/zero"), fifo})
    ExpectError<quorvane::EFOpenError>([&] { pf::ReadWholeFile(name); }, "Cannot open file " + name);
#endif
}

TEST(WholeFile, WriteFailures) {
  ScratchDir dir;
  std::vector<std::string> uncreatable = {dir / "no" + kSep + "x.htm", dir.Dir("sub")};
  std::vector<std::string> unopenable = {dir / "log.txt"};
#ifndef _WIN32
  std::string fifo = dir / "fifo";  // a pipe without reader must not block
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  uncreatable.push_back(fifo);
  unopenable.push_back(fifo);
#endif
  for (const std::string& name : uncreatable)
    ExpectError<quorvane::EFCreateError>([&] { pf::WriteWholeFile(name, "x"); },
                                         "Cannot create file " + name);
  for (const std::string& name : unopenable)
    ExpectError<quorvane::EFOpenError>([&] { pf::AppendToFile(name, "x"); }, "Cannot open file " + name);
  EXPECT_FALSE(pf::FileAttributes(dir / "log.txt").has_value()) << "append must not create";
}

// ---- names and directories ----

TEST(Names, CreateDeleteRemove) {
  ScratchDir dir;
  std::string sub = dir / "sub";
  EXPECT_TRUE(pf::CreateDirectoryNamed(sub));
  EXPECT_FALSE(pf::CreateDirectoryNamed(sub)) << "exists already";
  EXPECT_FALSE(pf::CreateDirectoryNamed(dir / "a" + kSep + "b")) << "parent missing";
  std::string file = dir.File("sub" + std::string(1, kSep) + "f.txt", "x");
  EXPECT_FALSE(pf::RemoveDirectoryNamed(sub)) << "not empty";
  EXPECT_FALSE(pf::DeleteFileNamed(sub)) << "a directory is no file";
  EXPECT_FALSE(pf::RemoveDirectoryNamed(file)) << "a file is no directory";
  EXPECT_TRUE(pf::DeleteFileNamed(file));
  EXPECT_FALSE(pf::DeleteFileNamed(file));
  EXPECT_TRUE(pf::RemoveDirectoryNamed(sub));
  EXPECT_FALSE(pf::FileAttributes(sub).has_value());
}

#ifndef _WIN32
// Removing a link never touches what it points at.
TEST(Names, LinksAreRemovedNotFollowed) {
  ScratchDir dir;
  std::string target = dir.Dir("target"), inside = dir.File("target/keep.txt", "k");
  std::string dirLink = dir / "dirlink", fileLink = dir / "filelink";
  ASSERT_EQ(symlink(target.c_str(), dirLink.c_str()), 0);
  ASSERT_EQ(symlink(inside.c_str(), fileLink.c_str()), 0);
  EXPECT_FALSE(pf::RemoveDirectoryNamed(fileLink)) << "a link to a file is no directory";
  EXPECT_TRUE(pf::RemoveDirectoryNamed(dirLink));
  EXPECT_TRUE(pf::DeleteFileNamed(fileLink));
  EXPECT_FALSE(pf::FileAttributes(dirLink).has_value());
  EXPECT_EQ(pf::ReadWholeFile(inside), "k");
}
#endif

// ---- paths ----

TEST(Paths, CurrentAndOwnExecutable) {
  EXPECT_EQ(pf::CurrentDirectory(), std::filesystem::current_path().string());
  std::string exe = pf::ExecutablePath();
  EXPECT_NE(exe.find("test_platform"), std::string::npos) << exe;
  EXPECT_TRUE(std::filesystem::is_regular_file(exe)) << exe;
}

TEST(Paths, FullPathName) {
  // "@" stands for the current directory.
  const std::pair<const char*, const char*> cases[] = {
#ifdef _WIN32
      {"C:\\a\\b\\..\\c", "C:\\a\\c"}, {"C:\\a\\.\\b\\", "C:\\a\\b\\"}, {"C:\\a\\..\\..", "C:\\"},
      {"C:/a/b", "C:\\a\\b"},          {"x.htm", "@\\x.htm"},          {"sub\\..\\y", "@\\y"},
#else
      // Textual: no link is resolved, a trailing slash stays.
      {"/", "/"},        {"/a/b/../c", "/a/c"},   {"//a///b", "/a/b"},   {"/a/./b/", "/a/b/"},
      {"/..", "/"},      {"/a/../", "/"},         {"/a/b/../", "/a/"},   {"/a/b/..", "/a"},
      {"/a\\b:c", "/a\\b:c"}, {"x.htm", "@/x.htm"}, {"sub/../y", "@/y"}, {"a//b/./", "@/a/b/"},
      {".", "@"},
#endif
      {"", ""},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_EQ(pf::FullPathName(path),
              expected[0] == '@' ? pf::CurrentDirectory() + (expected + 1) : expected)
        << path;
}

// ---- temporary names ----

TEST(Temp, TempPath) {
  std::string temp = pf::TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), kSep);
  EXPECT_TRUE(pf::FileAttributes(temp).value_or(0) & pf::kAttrDirectory);
#ifndef _WIN32
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/some/where", 1);
  EXPECT_EQ(pf::TempPath(), "/some/where/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(pf::TempPath(), "/tmp/");
  old ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
#endif
}

TEST(Temp, UniqueNamesAreFreshAndCreated) {
  ScratchDir dir;
  std::string base = dir.path() + kSep;
  std::set<std::string> names;
  for (int i = 0; i < 40; ++i) {
    std::string name = pf::UniqueTempName(i % 2 ? base : dir.path(), "kelvo");
    ASSERT_EQ(name.substr(0, base.size()), base);
    EXPECT_TRUE(names.insert(name).second) << "repeated: " << name;
    std::string file = name.substr(base.size());
    ASSERT_GT(file.size(), 7u) << file;
    EXPECT_EQ(file.substr(0, 3), "kel") << file;
    EXPECT_EQ(file.substr(file.size() - 4), ".tmp") << file;
    EXPECT_EQ(file.substr(3, file.size() - 7).find_first_not_of("0123456789abcdefABCDEF"),
              std::string::npos) << file;
    std::uint32_t attributes = pf::FileAttributes(name).value_or(0xFFFFFFFF);
#ifdef _WIN32
    EXPECT_EQ(attributes & pf::kAttrDirectory, 0u) << "the system makes an empty file: " << name;
#else
    // Ours makes a private directory at once.
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0) << name;
    EXPECT_TRUE(S_ISDIR(st.st_mode) && (st.st_mode & 07777) == 0700) << name;
    (void)attributes;
#endif
  }
  EXPECT_EQ(pf::UniqueTempName(dir / "missing", "kelvo"), "");
}

}  // namespace
