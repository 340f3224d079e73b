// Drives the built qprepare end to end: each test gets a fresh directory with copies of
// qprepare and the fake converter, its own INI file, pages and temporary directory. The
// two builds differ in line breaks (kNl) and path syntax (S) only.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "common/Helpers.h"
#include "platform/ChildProcess.h"
#include "platform/Platform.h"

namespace e2e {

namespace fs = std::filesystem;

#ifdef _WIN32
inline const std::string kNl = "\r\n", kExe = ".exe";
#else
inline const std::string kNl = "\n", kExe = "";
#endif

inline std::string ReadFile(const fs::path& path) { return qvtest::ReadFile(path.string()); }
inline void WriteFile(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}
// A path as the program writes it.
inline std::string S(const fs::path& path) { return path.string(); }
inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// What the fake converter recorded for one run of it.
struct Call {
  std::vector<std::string> args;
  std::map<std::string, std::string> files;  // argument -> bytes of the file it names
  const std::string& Input() const { return args.back(); }  // with the default template
};
struct RunResult { int exitCode = -1; std::string out, err; };  // standard output and error

// A meta tag of the target lrf (the tests' default target).
inline std::string Meta(const std::string& name, const std::string& content) {
  return qvtest::Meta("lrf:" + name, content);
}
// A page whose converter run exits with code.
inline std::string ExitPage(const std::string& code) { return Meta("--exit", code); }
// Output with every temporary directory's name made the same.
inline std::string SameTempNames(const std::string& out) {
  return std::regex_replace(out, std::regex("kel[0-9A-Fa-f]+\\.tmp"), "kel.tmp");
}

// The command line shown for a call made with the default template.
inline std::string Shown(const std::string& converter, const Call& call) {
  std::string line = converter + " ";
  for (std::size_t i = 0; i + 2 < call.args.size(); ++i) line += call.args[i] + " ";
  return line + " --output=\"" + call.args[call.args.size() - 2].substr(9) + "\" \"" +
         call.Input() + "\"";
}

// An error block as the console and the error log show it.
inline std::string Block(const std::string& kind, const fs::path& file, const std::string& message) {
  return kNl + "ERROR " + kind + " WHILE CONVERTING " + S(file) + ":" + kNl + message + kNl + kNl;
}

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const unsigned runId = std::random_device{}() % 1000000;  // keeps two builds apart
    static int testCounter = 0;
    fs::path base = fs::temp_directory_path();
#ifndef _WIN32
    base = fs::canonical(base);  // the program sees the resolved current directory
#endif
    root_ = base / ("qv-e2e-" + std::to_string(runId) + "-" + std::to_string(testCounter++));
    fs::remove_all(root_);
    for (const fs::path& dir : {bin_ = root_ / "bin", work_ = root_ / "work", tmp_ = root_ / "tmp"})
      fs::create_directories(dir);
    fs::copy_file(QV_QPREPARE, qprepare_ = bin_ / ("qprepare" + kExe));
    fs::copy_file(QV_FAKECONV, conv_ = bin_ / ("fakeconv" + kExe));
    record_ = root_ / "record.txt";
    stdout_ = root_ / "stdout.txt";
    stderr_ = root_ / "stderr.txt";
  }
  // However a run ended, it leaves no temporary directory and every page as it was.
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(tmp_)) ADD_FAILURE() << entry.path();
    for (const auto& [path, text] : pages_) EXPECT_EQ(ReadFile(work_ / path), text) << path;
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Without a call the copied qprepare has no INI file.
  void Ini(const std::string& text) { WriteFile(bin_ / "qprepare.ini", text); }
  void DefaultIni(const std::string& more = "") {
    Ini("[Config]\nDefaultTarget=lrf\n\n[lrf]\nConverter=" + S(conv_) + "\n" + more);
  }
  void Page(const std::string& relPath, const std::string& text) {
    WriteFile(work_ / relPath, pages_[relPath] = text);
  }

  // Starts qprepare in work/ without waiting; its output goes to stdout_ and
  // stderr_.
  bool Start(quorvane::platform::ChildProcess& child, std::vector<std::string> args) {
    args.insert(args.begin(), S(qprepare_));
    std::vector<std::string> env{"FAKECONV_RECORD=" + S(record_), "TMPDIR=" + S(tmp_),
                                 "TMP=" + S(tmp_), "TEMP=" + S(tmp_)};
    for (const std::string& entry : env_) {  // replaces an entry of the same name
      const std::string name = entry.substr(0, entry.find('=') + 1);
      std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
      env.push_back(entry);
    }
    std::uint32_t error = 0;
    if (child.Start(args, S(stdout_), S(work_), env, error, S(stderr_))) return true;
    ADD_FAILURE() << "qprepare did not start, error " << error;
    return false;
  }
  RunResult Run(const std::vector<std::string>& args) {
    quorvane::platform::ChildProcess child;
    if (!Start(child, args)) return {};
    const int code = child.Wait();
    return {code, ReadFile(stdout_), ReadFile(stderr_)};
  }
  // Run, with only this run's converter calls recorded.
  RunResult RunAgain(const std::vector<std::string>& args) {
    fs::remove(record_);
    return Run(args);
  }

  // The recorded converter runs, in order.
  std::vector<Call> Calls() const {
    std::vector<Call> calls;
    const std::string text = ReadFile(record_);
    for (std::size_t pos = 0, end; (end = text.find('\n', pos)) != std::string::npos;) {
      const std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      if (line.starts_with("CALL ")) calls.emplace_back();
      if (calls.empty()) continue;
      if (line.starts_with("ARG ")) calls.back().args.push_back(line.substr(4));
      if (line.starts_with("FILE ")) {
        const std::size_t blank = line.rfind(' '), size = std::stoul(line.substr(blank + 1));
        calls.back().files[line.substr(5, blank - 5)] = text.substr(pos, size);
        pos += size + 1;
      }
    }
    return calls;
  }

  // The URL of a path in the copy the converter reads.
  static std::string Url(const fs::path& path) {
    std::string text = S(path);
    std::replace(text.begin(), text.end(), '\\', '/');
    return "file:///" + text.substr(text.starts_with("/") ? 1 : 0);
  }

  fs::path root_, bin_, work_, tmp_, qprepare_, conv_, record_, stdout_, stderr_;
  std::vector<std::string> env_;  // more "NAME=value" entries for qprepare's environment
  std::map<std::string, std::string> pages_;  // as written, relative to work_
};

}  // namespace e2e
