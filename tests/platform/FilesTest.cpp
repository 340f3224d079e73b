// Masks, directory search, attributes, whole files, names, paths, temporary names.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "common/Helpers.h"
#include "common/ScratchDir.h"
#include "platform/Platform.h"
#include "platform/Wildcard.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace pf = quorvane::platform;
using qvtest::kSep;
using qvtest::Raised;
using qvtest::ScratchDir;
using Kind = pf::FindSearch::Kind;
using NameSet = std::set<std::string>;

// The search below shows the common masks; these are the corners.
TEST(MatchesMask, Corners) {
  const struct { const char *name, *mask; bool matches; } rows[] = {
      {"novel.html", "*.htm", false},
      {".htm", "*.htm", true},
      {"readme", "readme.*", true},
      {"readmes", "readme.*", false},
      {"a.htm", "a?.htm", false},
      {"a12.htm", "a?.htm", false},
      {"mississippi", "*ss*pi", true},
      {"anything", "", false},
      {"\xC4rger.htm", "\xE4*", false},
      {"\xC4rger.htm", "\xC4*", true},
  };
  for (const auto& r : rows) EXPECT_EQ(pf::MatchesMask(r.name, r.mask), r.matches) << r.name << " " << r.mask;
  std::string name(5000, 'a'), mask;  // many stars must not backtrack without end
  for (int i = 0; i < 200; ++i) mask += "*a";
  EXPECT_TRUE(pf::MatchesMask(name, mask) && !pf::MatchesMask(name, mask + "b"));
}

// Name -> attributes of every entry found, in the order found. "." and ".."
// are left out: the Windows search lists them, ours does not.
std::vector<std::pair<std::string, std::uint32_t>> Search(const std::string& pattern,
                                                          Kind kind = Kind::Everything) {
  std::vector<std::pair<std::string, std::uint32_t>> found;
  pf::FindSearch search(pattern, kind);
  for (pf::FindEntry entry; search.Next(entry);)
    if (entry.name != "." && entry.name != "..") found.emplace_back(entry.name, entry.attributes);
  pf::FindEntry entry;
  EXPECT_FALSE(search.Next(entry)) << "a finished search stays finished";
  return found;
}
NameSet Names(const std::string& pattern, Kind kind = Kind::Everything) {
  NameSet names;
  for (const auto& [name, attributes] : Search(pattern, kind))
    EXPECT_TRUE(names.insert(name).second) << "twice: " << name;
  return names;
}

TEST(Search, MasksKindsAndAttributes) {
  ScratchDir dir;
  for (const char* f : {"a.htm", "B.HTM", "c.txt", "noext", ".hidden.htm"}) dir.File(f, "x");
  for (const char* d : {"sub.htm", "plain", ".hiddendir"}) dir.Dir(d);
#ifdef _WIN32  // hidden is a leading dot on POSIX, an attribute on Windows
  for (const char* h : {".hidden.htm", ".hiddendir"})
    SetFileAttributesA((dir / h).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
  const NameSet all = {"a.htm", "B.HTM", "c.txt", "noext", ".hidden.htm", "sub.htm", "plain", ".hiddendir"};
  const struct { std::string mask; Kind kind; NameSet expected; } rows[] = {
      {"*.htm", Kind::Everything, {"a.htm", "B.HTM", ".hidden.htm", "sub.htm"}},
      {"?.HtM", Kind::Everything, {"a.htm", "B.HTM"}},
      {"NOEXT", Kind::Everything, {"noext"}},
      {"*.*", Kind::Everything, all},
      {"*", Kind::Everything, all},
      {"*.xyz", Kind::Everything, {}},
      {"missing/*.*", Kind::Everything, {}},
      // Hidden entries go, plain files stay.
      {"*.*", Kind::DirectoriesOnly, {"a.htm", "B.HTM", "c.txt", "noext", "sub.htm", "plain"}},
  };
  for (const auto& r : rows) EXPECT_EQ(Names(dir / r.mask, r.kind), r.expected) << r.mask;
  for (const auto& [name, attributes] : Search(dir / "*"))  // directories and hidden entries say so
    EXPECT_EQ(attributes & (pf::kAttrDirectory | pf::kAttrHidden),
              (name == "sub.htm" || name == "plain" || name == ".hiddendir" ? pf::kAttrDirectory : 0u) |
                  (name[0] == '.' ? pf::kAttrHidden : 0u)) << name;
#ifndef _WIN32  // a pipe counts as a system entry
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(Search(dir / "pipe").at(0).second & pf::kAttrSystem, pf::kAttrSystem);
  EXPECT_TRUE(Search(dir / "pipe", Kind::DirectoriesOnly).empty());
#endif
}

#ifndef _WIN32  // the Windows search keeps the file system's order
// The POSIX search lists names in the order NTFS uses: by name, letters
// without regard to case; "_" after the letters once they are upper case,
// names equal but for case by their bytes.
TEST(Search, ListsNamesInNtfsOrder) {
  ScratchDir dir;
  for (const char* name : {"c.htm", "a.htm", "_x.htm", "Z.htm", "b.htm.htm", "~.htm", "1.htm",
                           "A-b.htm", "B.htm", "A.htm"})
    dir.File(name);
  std::vector<std::string> listed;
  for (const auto& [name, attributes] : Search(dir / "*.htm")) listed.push_back(name);
  EXPECT_EQ(listed, (std::vector<std::string>{"1.htm", "A-b.htm", "A.htm", "a.htm", "B.htm",
                                              "b.htm.htm", "c.htm", "Z.htm", "_x.htm", "~.htm"}));
}
#endif

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
  const std::string sub = dir.Dir("sub"), missing = dir / "missing.htm", noDir = dir / "no/x";
  std::vector<std::string> unreadable = {sub, missing}, uncreatable = {noDir, sub},
                           unappendable = {missing, sub};
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
    EXPECT_TRUE(error.starts_with("EFCreateError: Cannot create file " + name + ": ") &&
                !error.ends_with(": ")) << error;
  }
  for (const std::string& name : unappendable)
    EXPECT_EQ(Raised([&] { pf::AppendToFile(name, "x"); }), "EFOpenError: Cannot open file " + name);
  EXPECT_FALSE(pf::FileAttributes(missing).has_value()) << "append must not create";
}

TEST(Names, AttributesCreateDeleteRemove) {
  ScratchDir dir;
  std::string sub = dir / "sub";
  EXPECT_TRUE(pf::CreateDirectoryNamed(sub) && !pf::CreateDirectoryNamed(sub));
  std::string file = dir.File("sub/f.txt", "x");
  EXPECT_FALSE(pf::FileAttributes(file).value() & (pf::kAttrDirectory | pf::kAttrReadOnly));
  EXPECT_FALSE(pf::RemoveDirectoryNamed(sub)) << "not empty";
  EXPECT_FALSE(pf::DeleteFileNamed(sub) || pf::RemoveDirectoryNamed(file)) << "a directory is no file";
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

TEST(Temp, TempPathAndUniqueNames) {
  const std::string temp = pf::TempPath();
  EXPECT_TRUE(temp.ends_with(kSep) && (pf::FileAttributes(temp).value_or(0) & pf::kAttrDirectory)) << temp;
  ScratchDir dir;
  const std::string base = dir.path() + kSep;
  std::set<std::string> names;
  for (int i = 0; i < 40; ++i) {
    const std::string name = pf::CreateTempDirectory(i % 2 ? base : dir.path(), "kelvo");
    SCOPED_TRACE(name);
    ASSERT_TRUE(name.starts_with(base) && name.size() > base.size() + 7);
    EXPECT_TRUE(names.insert(name).second) << "repeated";
    const std::string file = name.substr(base.size());
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
  // The converter may run anywhere: a relative temporary folder is made full.
  dir.Dir("rel");
  dir.MakeCurrent();
#ifdef _WIN32
  const qvtest::ScopedEnv tmp("TMP", ".\\rel");
#else
  const qvtest::ScopedEnv tmp("TMPDIR", "./rel");
#endif
  EXPECT_EQ(pf::TempPath(), pf::CurrentDirectory() + kSep + "rel" + kSep);
}

#ifndef _WIN32
// Without /proc the program finds itself from argument 0 as the shell passed it.
TEST(Paths, ProgramFromArgumentZero) {
  ScratchDir dir;
  const std::string program = dir.Dir("bin") + "/qvprog";
  std::filesystem::copy_file(QV_FAKECONV, program);
  std::filesystem::create_symlink(program, dir / "bin/linked");
  dir.File("qvlocal", "");
  std::filesystem::permissions(dir / "qvlocal", std::filesystem::perms::owner_all);
  dir.MakeCurrent();
  const qvtest::ScopedEnv path("PATH", "/nonexistent:" + dir / "bin");
  const std::pair<std::string, std::string> rows[] = {
      {"./bin/../bin/qvprog", program},
      {"linked", program},  // PATH; links resolved
      {"bin", ""},
      {"nosuch", ""},
      {"qvlocal", ""},  // a bare name is never taken from the current directory
  };
  for (const auto& [argument, expected] : rows)
    EXPECT_EQ(pf::ProgramFromArgument(argument), expected) << argument;
}
#endif

}  // namespace
