#include "Harness.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/Platform.h"

namespace e2e {

namespace {

std::atomic<int> testCounter{0};

std::vector<std::string> KelEntries(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("kel", 0) == 0) names.push_back(name);
  }
  return names;
}

}  // namespace

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFile(const fs::path& path, const std::string& data) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
  ASSERT_TRUE(out.good()) << path;
}

std::string S(const fs::path& path) { return path.string(); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (;;) {
    std::size_t end = text.find(kNl, begin);
    if (end == std::string::npos) {
      if (begin < text.size()) lines.push_back(text.substr(begin));
      return lines;
    }
    lines.push_back(text.substr(begin, end - begin));
    begin = end + kNl.size();
  }
}

std::string Call::FileOf(const std::string& arg) const {
  for (const auto& [name, bytes] : files)
    if (name == arg) return bytes;
  ADD_FAILURE() << "the converter could not read " << arg;
  return {};
}

void E2eTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path base = fs::temp_directory_path();
#ifndef _WIN32
  base = fs::canonical(base);  // the program sees the resolved current directory
#endif
  // A random part keeps two runs of the suite (two builds) apart.
  static const unsigned runId = std::random_device{}() % 1000000;
  root_ = base / ("qv-e2e-" + std::to_string(runId) + "-" + std::to_string(testCounter++) + "-" +
                  info->name());
  fs::remove_all(root_);
  bin_ = root_ / "bin";
  work_ = root_ / "work";
  tmp_ = root_ / "tmp";
  fs::create_directories(bin_);
  fs::create_directories(work_);
  fs::create_directories(tmp_);
  qprepare_ = bin_ / ("qprepare" + kExe);
  conv_ = bin_ / ("fakeconv" + kExe);
  fs::copy_file(QV_QPREPARE, qprepare_);
  fs::copy_file(QV_FAKECONV, conv_);
  record_ = root_ / "record.txt";
  stdout_ = root_ / "stdout.txt";
}

void E2eTest::TearDown() {
  // However a run ended, it leaves no temporary directory behind.
  EXPECT_TRUE(TempLeftovers().empty()) << "left in " << tmp_;
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void E2eTest::Ini(const std::string& text) { WriteFile(bin_ / "qprepare.ini", text); }

void E2eTest::DefaultIni(const std::string& more) {
  Ini("[Config]\nDefaultTarget=lrf\n\n[lrf]\nConverter=" + S(conv_) + "\n" + more);
}

void E2eTest::Page(const std::string& relPath, const std::string& text) {
  WriteFile(work_ / relPath, text);
}

bool E2eTest::Start(quorvane::platform::ChildProcess& child, const std::vector<std::string>& args,
                    const std::vector<std::string>& extraEnvironment) {
  std::vector<std::string> argv{S(qprepare_)};
  argv.insert(argv.end(), args.begin(), args.end());
  // TMPDIR on POSIX; TMP and TEMP on Windows.
  std::vector<std::string> env{"FAKECONV_RECORD=" + S(record_), "TMPDIR=" + S(tmp_),
                               "TMP=" + S(tmp_), "TEMP=" + S(tmp_)};
  env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
  std::uint32_t error = 0;
  if (child.Start(argv, S(stdout_), S(work_), env, error)) return true;
  ADD_FAILURE() << "qprepare did not start, error " << error;
  return false;
}

RunResult E2eTest::Run(const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnvironment) {
  quorvane::platform::ChildProcess child;
  RunResult result;
  if (!Start(child, args, extraEnvironment)) return result;
  result.exitCode = child.Wait();
  result.out = ReadFile(stdout_);
  return result;
}

std::vector<Call> E2eTest::Calls() const {
  std::vector<Call> calls;
  const std::string text = ReadFile(record_);
  std::size_t pos = 0;
  auto nextLine = [&](std::string& line) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
  };
  std::string line;
  while (nextLine(line)) {
    if (line.rfind("CALL ", 0) == 0) {
      calls.emplace_back();
    } else if (line.rfind("ARG ", 0) == 0 && !calls.empty()) {
      calls.back().args.push_back(line.substr(4));
    } else if (line.rfind("FILE ", 0) == 0 && !calls.empty()) {
      std::size_t blank = line.rfind(' ');
      std::size_t size = std::stoul(line.substr(blank + 1));
      calls.back().files.emplace_back(line.substr(5, blank - 5), text.substr(pos, size));
      pos += size + 1;
    }
  }
  return calls;
}

std::vector<std::string> E2eTest::TempLeftovers() const { return KelEntries(tmp_); }

std::string E2eTest::Url(const fs::path& path) const {
  std::string text = S(path);
  for (char& c : text)
    if (c == '\\') c = '/';
  if (!text.empty() && text.front() == '/') text.erase(0, 1);
  return "file:///" + text;
}

}  // namespace e2e
