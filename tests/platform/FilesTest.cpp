// Directory search, attributes, whole-file reading and writing, names, paths
// and temporary names.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "Support.h"
#include "platform/Platform.h"
#include "util/Errors.h"

namespace {

namespace pf = quorvane::platform;
using qvtest::kSep;
using qvtest::ScratchDir;

// Marks a name hidden: a leading dot on POSIX, the hidden attribute on
// Windows (where a dot is an ordinary character of a name).
void MakeHidden(const std::string& path) {
#ifdef _WIN32
  DWORD a = GetFileAttributesA(path.c_str());
  SetFileAttributesA(path.c_str(), a | FILE_ATTRIBUTE_HIDDEN);
#else
  (void)path;
#endif
}

// Name -> attributes of every entry found, "." and ".." left out (the
// Windows search lists them, ours does not; callers skip them anyway).
std::map<std::string, std::uint32_t> Search(const std::string& pattern, pf::FindSearch::Kind kind) {
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

std::set<std::string> Names(const std::map<std::string, std::uint32_t>& found) {
  std::set<std::string> names;
  for (const auto& [name, attributes] : found) names.insert(name);
  return names;
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.File("a.htm", "a");
    dir.File("B.HTM", "b");
    dir.File("c.txt");
    dir.File("noext");
    MakeHidden(dir.File(".hidden.htm"));
    dir.Dir("sub.htm");
    dir.Dir("plain");
    MakeHidden(dir.Dir(".hiddendir"));
  }
  std::string Pattern(const std::string& mask) const { return dir / mask; }
  ScratchDir dir;
};

using Kind = pf::FindSearch::Kind;
using NameSet = std::set<std::string>;

TEST_F(SearchTest, MasksMatchWithoutRegardToCase) {
  EXPECT_EQ(Names(Search(Pattern("*.htm"), Kind::Everything)),
            (NameSet{"a.htm", "B.HTM", ".hidden.htm", "sub.htm"}));
  EXPECT_EQ(Names(Search(Pattern("?.HtM"), Kind::Everything)), (NameSet{"a.htm", "B.HTM"}));
  EXPECT_EQ(Names(Search(Pattern("NOEXT"), Kind::Everything)), (NameSet{"noext"}));
  EXPECT_EQ(Names(Search(Pattern("*.*"), Kind::Everything)),
            (NameSet{"a.htm", "B.HTM", "c.txt", "noext", ".hidden.htm", "sub.htm", "plain",
                     ".hiddendir"}));
}

TEST_F(SearchTest, ReportsDirectoriesAndHiddenEntries) {
  auto found = Search(Pattern("*"), Kind::Everything);
  ASSERT_EQ(found.size(), 8u);
  for (const char* d : {"sub.htm", "plain", ".hiddendir"})
    EXPECT_TRUE(found[d] & pf::kAttrDirectory) << d;
  for (const char* f : {"a.htm", "noext", ".hidden.htm"})
    EXPECT_FALSE(found[f] & pf::kAttrDirectory) << f;
  for (const char* h : {".hidden.htm", ".hiddendir"}) EXPECT_TRUE(found[h] & pf::kAttrHidden) << h;
  for (const char* v : {"a.htm", "sub.htm"}) EXPECT_FALSE(found[v] & pf::kAttrHidden) << v;
}

TEST_F(SearchTest, DirectoriesOnlyHidesHiddenEntriesButKeepsPlainFiles) {
  EXPECT_EQ(Names(Search(Pattern("*.*"), Kind::DirectoriesOnly)),
            (NameSet{"a.htm", "B.HTM", "c.txt", "noext", "sub.htm", "plain"}));
}

TEST_F(SearchTest, NothingFoundIsNoError) {
  EXPECT_TRUE(Search(Pattern("*.xyz"), Kind::Everything).empty());
  EXPECT_TRUE(Search(dir / "missing" + kSep + "*.*", Kind::Everything).empty());
  pf::FindSearch unused(Pattern("*"), Kind::Everything);  // closed without being read
}

#ifndef _WIN32
// Links exist on both systems, but only POSIX lets a test make them freely.
TEST_F(SearchTest, LinksReportReparsePointAndTarget) {
  ASSERT_EQ(symlink((dir / "plain").c_str(), (dir / "dirlink").c_str()), 0);
  ASSERT_EQ(symlink((dir / "a.htm").c_str(), (dir / "filelink").c_str()), 0);
  ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
  auto found = Search(Pattern("*link*"), Kind::Everything);
  EXPECT_EQ(found["dirlink"], pf::kAttrReparsePoint | pf::kAttrDirectory);
  EXPECT_EQ(found["filelink"] & (pf::kAttrReparsePoint | pf::kAttrDirectory), pf::kAttrReparsePoint);
  EXPECT_EQ(Search(Pattern("dangling"), Kind::Everything)["dangling"], pf::kAttrReparsePoint);
  EXPECT_EQ(pf::FileAttributes(dir / "dirlink"), pf::kAttrReparsePoint | pf::kAttrDirectory);
}

TEST_F(SearchTest, DeviceAndPipeEntriesAreSystemEntries) {
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_TRUE(Search(Pattern("pipe"), Kind::Everything)["pipe"] & pf::kAttrSystem);
  EXPECT_TRUE(Search(Pattern("pipe"), Kind::DirectoriesOnly).empty());
}
#endif

TEST(Attributes, OfNames) {
  ScratchDir dir;
  std::string file = dir.File("f.txt", "x");
  EXPECT_FALSE(pf::FileAttributes(dir / "missing").has_value());
  EXPECT_FALSE(pf::FileAttributes("").has_value());
  ASSERT_TRUE(pf::FileAttributes(file).has_value());
  EXPECT_FALSE(*pf::FileAttributes(file) & (pf::kAttrDirectory | pf::kAttrReadOnly));
  EXPECT_TRUE(*pf::FileAttributes(dir.path()) & pf::kAttrDirectory);
#ifdef _WIN32
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
#else
  chmod(file.c_str(), 0444);
#endif
  EXPECT_TRUE(*pf::FileAttributes(file) & pf::kAttrReadOnly);
#ifdef _WIN32
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
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
  std::string bytes("line\r\nnext\n\0mid\x1a\xff end", 21);
  std::string name = dir / "data.bin";
  pf::WriteWholeFile(name, bytes);
  EXPECT_EQ(pf::ReadWholeFile(name), bytes);
  pf::WriteWholeFile(name, "short");  // replaces, no tail of the old content
  EXPECT_EQ(pf::ReadWholeFile(name), "short");
  pf::AppendToFile(name, "\r\nmore");
  EXPECT_EQ(pf::ReadWholeFile(name), "short\r\nmore");
  pf::WriteWholeFile(name, "");
  EXPECT_EQ(pf::ReadWholeFile(name), "");
  std::string big(3 << 20, 'q');
  big[12345] = '\0';
  pf::WriteWholeFile(name, big);
  EXPECT_EQ(pf::ReadWholeFile(name), big);
}

TEST(WholeFile, OnlyRegularFilesAreRead) {
  ScratchDir dir;
  std::string sub = dir.Dir("sub");
  ExpectError<quorvane::EFOpenError>([&] { pf::ReadWholeFile(sub); }, "Cannot open file " + sub);
  std::string missing = dir / "missing.htm";
  ExpectError<quorvane::EFOpenError>([&] { pf::ReadWholeFile(missing); },
                                     "Cannot open file " + missing);
#ifdef _WIN32
  ExpectError<quorvane::EFOpenError>([] { pf::ReadWholeFile("NUL"); }, "Cannot open file NUL");
#else
  ExpectError<quorvane::EFOpenError>([] { pf::ReadWholeFile("/dev/zero"); },
                                     "Cannot open file /dev/zero");
  std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Must neither wait for a writer nor read endlessly.
  ExpectError<quorvane::EFOpenError>([&] { pf::ReadWholeFile(fifo); }, "Cannot open file " + fifo);
#endif
}

TEST(WholeFile, WriteFailures) {
  ScratchDir dir;
  std::string inMissingDir = dir / "no" + kSep + "x.htm";
  ExpectError<quorvane::EFCreateError>([&] { pf::WriteWholeFile(inMissingDir, "x"); },
                                       "Cannot create file " + inMissingDir);
  std::string sub = dir.Dir("sub");
  ExpectError<quorvane::EFCreateError>([&] { pf::WriteWholeFile(sub, "x"); },
                                       "Cannot create file " + sub);
  std::string missing = dir / "log.txt";
  ExpectError<quorvane::EFOpenError>([&] { pf::AppendToFile(missing, "x"); },
                                     "Cannot open file " + missing);
  EXPECT_FALSE(pf::FileAttributes(missing).has_value()) << "append must not create";
#ifndef _WIN32
  std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ExpectError<quorvane::EFCreateError>([&] { pf::WriteWholeFile(fifo, "x"); },
                                       "Cannot create file " + fifo);
  ExpectError<quorvane::EFOpenError>([&] { pf::AppendToFile(fifo, "x"); }, "Cannot open file " + fifo);
#endif
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
  std::string target = dir.Dir("target");
  std::string inside = dir.File("target/keep.txt", "k");
  std::string dirLink = dir / "dirlink", fileLink = dir / "filelink";
  ASSERT_EQ(symlink(target.c_str(), dirLink.c_str()), 0);
  ASSERT_EQ(symlink(inside.c_str(), fileLink.c_str()), 0);
  EXPECT_TRUE(pf::RemoveDirectoryNamed(dirLink));
  EXPECT_FALSE(pf::RemoveDirectoryNamed(fileLink)) << "a link to a file is no directory";
  EXPECT_TRUE(pf::DeleteFileNamed(fileLink));
  EXPECT_FALSE(pf::FileAttributes(dirLink).has_value());
  EXPECT_FALSE(pf::FileAttributes(fileLink).has_value());
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

struct FullPathCase {
  const char* path;
  const char* expected;  // "@" stands for the current directory
};

TEST(Paths, FullPathName) {
  std::string cwd = pf::CurrentDirectory();
#ifdef _WIN32
  const FullPathCase cases[] = {
      {"C:\\a\\b\\..\\c", "C:\\a\\c"}, {"C:\\a\\.\\b\\", "C:\\a\\b\\"},
      {"C:\\a\\..\\..", "C:\\"},       {"C:/a/b", "C:\\a\\b"},
      {"x.htm", "@\\x.htm"},           {"sub\\..\\y", "@\\y"},
  };
#else
  // Textual: no link is resolved, a trailing slash stays.
  const FullPathCase cases[] = {
      {"/", "/"},           {"/a/b/../c", "/a/c"}, {"//a///b", "/a/b"},  {"/a/./b/", "/a/b/"},
      {"/..", "/"},         {"/a/..", "/"},        {"/a/../", "/"},      {"/a/b/../", "/a/"},
      {"/a/b/..", "/a"},    {"/a\\b:c", "/a\\b:c"}, {"x.htm", "@/x.htm"}, {"sub/../y", "@/y"},
      {"./", "@/"},         {"a//b/./", "@/a/b/"},
  };
  EXPECT_EQ(pf::FullPathName("."), cwd);
#endif
  EXPECT_EQ(pf::FullPathName(""), "");
  for (const FullPathCase& c : cases) {
    std::string expected = c.expected;
    if (expected[0] == '@') expected = cwd + expected.substr(1);
    EXPECT_EQ(pf::FullPathName(c.path), expected) << c.path;
  }
}

// ---- temporary names ----

TEST(Temp, TempPathEndsWithSeparatorAndExists) {
  std::string temp = pf::TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), kSep);
  ASSERT_TRUE(pf::FileAttributes(temp).has_value());
  EXPECT_TRUE(*pf::FileAttributes(temp) & pf::kAttrDirectory);
}

#ifndef _WIN32
TEST(Temp, TempPathFollowsTmpdir) {
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", "/some/where", 1);
  EXPECT_EQ(pf::TempPath(), "/some/where/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(pf::TempPath(), "/tmp/");
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
}
#endif

TEST(Temp, UniqueNamesAreFreshAndCreated) {
  ScratchDir dir;
  std::string base = dir.path() + kSep;
  std::set<std::string> names;
  for (int i = 0; i < 40; ++i) {
    std::string name = pf::UniqueTempName(i % 2 ? base : dir.path(), "kelvo");
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(names.insert(name).second) << "repeated: " << name;
    std::string file = name.substr(base.size());
    EXPECT_EQ(name.substr(0, base.size()), base);
    EXPECT_EQ(file.substr(0, 3), "kel") << file;
    EXPECT_EQ(file.substr(file.size() - 4), ".tmp") << file;
    std::string number = file.substr(3, file.size() - 7);
    EXPECT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789abcdefABCDEF"), std::string::npos) << file;
    auto attributes = pf::FileAttributes(name);
    ASSERT_TRUE(attributes.has_value()) << "not created: " << name;
#ifdef _WIN32
    // The system creates an empty file.
    EXPECT_FALSE(*attributes & pf::kAttrDirectory);
#else
    // Ours creates a private directory at once.
    EXPECT_TRUE(*attributes & pf::kAttrDirectory);
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << name;
#endif
  }
  EXPECT_EQ(pf::UniqueTempName(dir / "missing", "kelvo"), "");
}

}  // namespace
