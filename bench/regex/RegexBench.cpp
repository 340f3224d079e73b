// Throughput of a full scan of generated HTML with the program's two tag
// patterns: TPattern against PCRE2 (interpreter and JIT) and std::regex, all
// in this process. A scan is Exec, then ExecNext until it finds nothing,
// reading every group of every match (or the equivalent with each engine).
// Before timing, every engine scans every page once and the match lists are
// compared.
//
// Also printed, timed once each with a clock (not by Google Benchmark): the
// malformed pages that repeat a meta tag left open, 1 KiB to 1 MiB; and with
// --big, one scan of each pattern over a 200 MB page of ordinary HTML (which
// must end without an error of the step budget).
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regexpr/Pattern.h"

namespace {

const char* const kMetaTag =
    "<meta\\s+name=([\"']?)([^>]*?)\\1\\s+content=([\"']?)([^>]*?)\\3[^>]*>";
const char* const kLink = "<[a-z][^>]*?[\\s:](href|src)=([\"']?)(([a-z]+:)?([^>]*?))\\2";

constexpr std::size_t kMB = 1000000;

// ---------------------------------------------------------------- the pages

// A small deterministic generator (same bytes on every machine).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 11);
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }
  bool Chance(std::uint32_t percent) { return Below(100) < percent; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

const char* const kWords[] = {
    "the",    "harbour", "was",   "quiet",  "when",   "Anna",    "walked", "down",  "to",
    "boats",  "and",     "saw",   "light",  "over",   "water",   "a",      "long",  "winter",
    "letter", "from",    "her",   "sister", "said",   "nothing", "of",     "it",    "morning",
    "bread",  "salt",    "wind",  "north",  "river",  "station", "clock",  "eleven", "rain"};
const char* const kTags[] = {"p", "div", "span", "em", "strong", "li", "td", "blockquote"};
const char* const kClasses[] = {"note", "chapter", "aside", "verse", "small", "right"};
const char* const kSchemes[] = {"", "", "", "", "http://example.com/", "https://www.example.org/",
                                "mailto:", "ftp://files.example.net/", "file:///C:/books/"};
const char* const kExtensions[] = {".htm", ".html", ".png", ".jpg", ".css", ".gif"};
const char* const kMetaNames[] = {"lrf:--title",   "lrf:--author",  "*:--language",
                                  "lrf:--comment", "epub:--cover",  "@include",
                                  "description",   "lrf:--publisher", "keywords"};

std::string Words(Random& r, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    if (i) s += ' ';
    s += r.Pick(kWords);
  }
  return s;
}

std::string Quoted(Random& r, const std::string& value) {
  std::string q = r.Below(10) == 0 ? "'" : "\"";
  // Now and then a value without blanks goes unquoted.
  if (r.Below(9) == 0 && value.find(' ') == std::string::npos) q.clear();
  return q + value + q;
}

std::string Tag(Random& r, const char* name) {
  std::string n = name;
  if (r.Chance(15)) {
    for (char& c : n) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return n;
}

std::string LinkTarget(Random& r) {
  std::string t = r.Pick(kSchemes);
  if (r.Chance(30)) t += "../";
  t += r.Pick(kWords);
  t += '/';
  t += r.Pick(kWords);
  t += std::to_string(r.Below(100));
  t += r.Pick(kExtensions);
  if (r.Chance(20)) {
    t += '#';
    t += r.Pick(kWords);
  }
  return t;
}

// Appends its pieces to one text (no temporaries joined with +).
class Builder {
 public:
  template <typename... Parts>
  Builder& Add(const Parts&... parts) {
    (text_.append(std::string_view(parts)), ...);
    return *this;
  }
  std::string& Text() { return text_; }

 private:
  std::string text_;
};

std::string Page(Random& r) {
  Builder p;
  p.Add("<!DOCTYPE html>\r\n<", Tag(r, "html"), ">\r\n<", Tag(r, "head"), ">\r\n");
  p.Add("<title>", Words(r, 4), "</title>\r\n");
  const int metas = 3 + static_cast<int>(r.Below(8));
  for (int i = 0; i < metas; ++i) {
    p.Add("<", Tag(r, "meta"));
    if (r.Chance(10)) {
      p.Add(" http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\"");
    } else {
      p.Add(r.Chance(10) ? "\r\n  " : " ", r.Chance(15) ? "NAME=" : "name=",
            Quoted(r, r.Pick(kMetaNames)));
      if (r.Chance(5)) p.Add(" lang=\"en\"");
      p.Add(r.Chance(10) ? "\r\n  " : " ", r.Chance(15) ? "CONTENT=" : "content=",
            Quoted(r, Words(r, 1 + static_cast<int>(r.Below(6)))));
    }
    p.Add(r.Chance(20) ? " />" : ">", "\r\n");
  }
  p.Add("<link rel=\"stylesheet\" href=", Quoted(r, LinkTarget(r)), ">\r\n");
  p.Add("</", Tag(r, "head"), ">\r\n<", Tag(r, "body"), " class=\"book\">\r\n");
  const int blocks = 20 + static_cast<int>(r.Below(40));
  for (int b = 0; b < blocks; ++b) {
    const std::string tag = Tag(r, r.Pick(kTags));
    p.Add("<", tag);
    if (r.Chance(40)) p.Add(" class=", Quoted(r, r.Pick(kClasses)));
    if (r.Chance(10)) p.Add(" id=\"b", std::to_string(b), "\"");
    p.Add(">");
    const int pieces = 2 + static_cast<int>(r.Below(6));
    for (int k = 0; k < pieces; ++k) {
      p.Add(Words(r, 3 + static_cast<int>(r.Below(12))));
      switch (r.Below(7)) {
        case 0:
          p.Add(" <", Tag(r, "a"), " href=", Quoted(r, LinkTarget(r)), ">", Words(r, 2), "</a> ");
          break;
        case 1:
          p.Add(" <", Tag(r, "img"), " src=", Quoted(r, LinkTarget(r)), " alt=\"", Words(r, 2),
                "\"> ");
          break;
        case 2:
          p.Add(" <em>", Words(r, 2), "</em> ");
          break;
        case 3:
          p.Add(r.Chance(50) ? " &amp; " : "\r\n");
          break;
        default:
          p.Add(", ");
      }
    }
    p.Add("</", tag, ">\r\n");
    if (r.Chance(5)) p.Add("<!-- ", Words(r, 5), " -->\r\n");
  }
  p.Add("</body>\r\n</html>\r\n");
  return std::move(p.Text());
}

const std::string& PageText(std::size_t size) {
  static std::map<std::size_t, std::string> pages;
  std::string& text = pages[size];
  if (text.empty()) {
    Random r(0x5eed + size);
    while (text.size() < size) text += Page(r);
    text.resize(size);
  }
  return text;
}

// ---------------------------------------------------------------- the engines

// What a scan found: the number of matches and a digest of every group's bounds.
struct ScanSummary {
  std::uint64_t matches = 0;
  std::uint64_t digest = 0;
  void Add(std::int64_t start, std::int64_t length) {  // 0-based start, -1 = unset
    digest = digest * 1000003u + static_cast<std::uint64_t>(start + 1) * 131u +
             static_cast<std::uint64_t>(length + 1);
  }
  bool operator==(const ScanSummary& o) const {
    return matches == o.matches && digest == o.digest;
  }
};

int GroupCount(const char* pattern) { return pattern == kMetaTag ? 4 : 5; }

class TPatternScanner {
 public:
  explicit TPatternScanner(const char* pattern) : groups_(GroupCount(pattern)) {
    const bool on[] = {true, false, true, true, false, false};  // i r s g m x
    for (int i = 0; i < 6; ++i) re_.SetModifierFlag(i + 1, on[i]);
    re_.SetExpression(pattern);
  }
  ScanSummary Scan(const std::string& text) {
    ScanSummary s;
    for (bool ok = re_.Exec(text); ok; ok = re_.ExecNext()) {
      ++s.matches;
      for (int n = 0; n <= groups_; ++n) {
        std::int32_t start = re_.GroupStart(n);
        s.Add(start < 0 ? -1 : start - 1, start < 0 ? -1 : re_.GroupLength(n));
      }
    }
    return s;
  }

 private:
  quorvane::TPattern re_;
  int groups_;
};

class Pcre2Scanner {
 public:
  Pcre2Scanner(const char* pattern, bool jit) : groups_(GroupCount(pattern)), jit_(jit) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                          PCRE2_CASELESS | PCRE2_DOTALL, &error, &offset, nullptr);
    if (!code_) throw std::runtime_error("pcre2_compile failed");
    if (jit_ && pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) != 0) {
      throw std::runtime_error("pcre2_jit_compile failed");
    }
    data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
  }
  ~Pcre2Scanner() {
    pcre2_match_data_free(data_);
    pcre2_code_free(code_);
  }
  Pcre2Scanner(const Pcre2Scanner&) = delete;
  Pcre2Scanner& operator=(const Pcre2Scanner&) = delete;

  ScanSummary Scan(const std::string& text) {
    ScanSummary s;
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    PCRE2_SIZE from = 0;
    // The interpreter is asked not to use the JIT code even where it exists.
    const std::uint32_t options = jit_ ? 0 : PCRE2_NO_JIT;
    while (from <= text.size()) {
      int rc = pcre2_match(code_, subject, text.size(), from, options, data_, nullptr);
      if (rc < 0) break;
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_);
      ++s.matches;
      for (int n = 0; n <= groups_; ++n) {
        if (n >= rc || ov[2 * n] == PCRE2_UNSET) {
          s.Add(-1, -1);
        } else {
          s.Add(static_cast<std::int64_t>(ov[2 * n]),
                static_cast<std::int64_t>(ov[2 * n + 1] - ov[2 * n]));
        }
      }
      from = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
    }
    return s;
  }

 private:
  int groups_;
  bool jit_;
  pcre2_code* code_ = nullptr;
  pcre2_match_data* data_ = nullptr;
};

class StdRegexScanner {
 public:
  explicit StdRegexScanner(const char* pattern)
      : groups_(GroupCount(pattern)),
        re_(pattern, std::regex::ECMAScript | std::regex::icase | std::regex::optimize) {}
  ScanSummary Scan(const std::string& text) {
    ScanSummary s;
    const char* begin = text.data();
    for (std::cregex_iterator it(begin, begin + text.size(), re_), end; it != end; ++it) {
      const std::cmatch& m = *it;
      ++s.matches;
      for (int n = 0; n <= groups_; ++n) {
        if (m[n].matched) {
          s.Add(m.position(n), m.length(n));
        } else {
          s.Add(-1, -1);
        }
      }
    }
    return s;
  }

 private:
  int groups_;
  std::regex re_;
};

// ---------------------------------------------------------------- the runs

struct Case {
  std::string patternName;
  const char* pattern;
  std::size_t size;
  std::string engine;
  std::string Name() const {
    return patternName + "/" + std::to_string(size / kMB) + "MB/" + engine;
  }
};

const char* const kEngines[] = {"TPattern", "PCRE2", "PCRE2-JIT", "std::regex"};
// std::regex backtracks recursively and slowly; it runs on the 1 MB page only.
bool Runs(const std::string& engine, std::size_t size) {
  return engine != "std::regex" || size <= kMB;
}

std::function<ScanSummary(const std::string&)> MakeScanner(const Case& c) {
  if (c.engine == "TPattern") {
    auto s = std::make_shared<TPatternScanner>(c.pattern);
    return [s](const std::string& t) { return s->Scan(t); };
  }
  if (c.engine == "PCRE2" || c.engine == "PCRE2-JIT") {
    auto s = std::make_shared<Pcre2Scanner>(c.pattern, c.engine == "PCRE2-JIT");
    return [s](const std::string& t) { return s->Scan(t); };
  }
  auto s = std::make_shared<StdRegexScanner>(c.pattern);
  return [s](const std::string& t) { return s->Scan(t); };
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (std::size_t size : {kMB, 20 * kMB}) {
    for (auto [name, pattern] : {std::pair{"MetaTagPattern", kMetaTag}, std::pair{"LinkPattern", kLink}}) {
      for (const char* engine : kEngines) {
        if (Runs(engine, size)) cases.push_back({name, pattern, size, engine});
      }
    }
  }
  return cases;
}

// Scans every page once with every engine and compares the results.
bool CheckAgreement(const std::vector<Case>& cases) {
  std::map<std::string, ScanSummary> reference;  // by pattern and size
  bool agree = true;
  for (const Case& c : cases) {
    ScanSummary s = MakeScanner(c)(PageText(c.size));
    std::string key = c.patternName + "/" + std::to_string(c.size / kMB) + "MB";
    auto [it, first] = reference.emplace(key, s);
    bool same = first || it->second == s;
    agree = agree && same;
    std::printf("  %-36s %8llu matches  %s\n", c.Name().c_str(),
                static_cast<unsigned long long>(s.matches),
                first ? "(reference)" : same ? "same matches and groups" : "DIFFERENT");
  }
  return agree;
}

// Collects the throughput of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.cpu_accumulated_time <= 0) continue;
      const std::string& name = run.run_name.function_name;
      auto size = sizes.find(name);
      if (size == sizes.end()) continue;
      double mb = static_cast<double>(size->second) / kMB;
      throughput[name] = mb * static_cast<double>(run.iterations) / run.cpu_accumulated_time;
    }
  }
  std::map<std::string, std::size_t> sizes;
  std::map<std::string, double> throughput;  // MB/s
};

void PrintRatios(const RatioReporter& reporter) {
  std::printf("\nThroughput in MB/s of CPU time (1 MB = 10^6 bytes) and TPattern's speed\n"
              "relative to each engine:\n");
  std::printf("%-24s %10s %10s %10s %10s   %8s %8s %8s\n", "scan", "TPattern", "PCRE2",
              "PCRE2-JIT", "std::regex", "/PCRE2", "/JIT", "/std");
  for (std::size_t size : {kMB, 20 * kMB}) {
    for (const char* name : {"MetaTagPattern", "LinkPattern"}) {
      std::string prefix = std::string(name) + "/" + std::to_string(size / kMB) + "MB/";
      auto get = [&](const char* engine) {
        auto it = reporter.throughput.find(prefix + engine);
        return it == reporter.throughput.end() ? 0.0 : it->second;
      };
      double ours = get("TPattern");
      auto cell = [](double v) {
        char b[32];
        if (v > 0) {
          std::snprintf(b, sizeof b, "%10.1f", v);
        } else {
          std::snprintf(b, sizeof b, "%10s", "-");
        }
        return std::string(b);
      };
      auto ratio = [&](double other) {
        char b[32];
        if (ours > 0 && other > 0) {
          std::snprintf(b, sizeof b, "%7.2fx", ours / other);
        } else {
          std::snprintf(b, sizeof b, "%8s", "-");
        }
        return std::string(b);
      };
      std::string label = std::string(name) + " " + std::to_string(size / kMB) + "MB";
      std::printf("%-24s %s %s %s %s   %s %s %s\n", label.c_str(), cell(ours).c_str(),
                  cell(get("PCRE2")).c_str(), cell(get("PCRE2-JIT")).c_str(),
                  cell(get("std::regex")).c_str(), ratio(get("PCRE2")).c_str(),
                  ratio(get("PCRE2-JIT")).c_str(), ratio(get("std::regex")).c_str());
    }
  }
  std::printf("(x > 1: TPattern is faster. std::regex runs on the 1 MB page only.)\n");
}

// ---------------------------------------------------------------- one-off scans

struct Timed {
  double seconds;
  ScanSummary summary;
  std::string error;  // empty: the scan ended normally
};

Timed TimeScan(const char* pattern, const std::string& text) {
  TPatternScanner scanner(pattern);
  const auto start = std::chrono::steady_clock::now();
  Timed t{0, {}, {}};
  try {
    t.summary = scanner.Scan(text);
  } catch (const quorvane::EPatternError& e) {
    t.error = e.what();
  }
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return t;
}

std::string Outcome(const Timed& t) {
  if (!t.error.empty()) return "error: " + t.error;
  return t.summary.matches ? std::to_string(t.summary.matches) + " found" : "failed (none found)";
}

// A meta tag left open, repeated: every start once tried every split of the
// rest of the page.
void MalformedFamily() {
  const std::string unit = "<meta name=\"a\" content=\"b ";
  std::printf("Malformed pages: \"%s\" repeated, no \">\"; one full scan each.\n", unit.c_str());
  std::printf("%10s  %10s  %-22s  %10s  %s\n", "bytes", "MetaTag s", "MetaTagPattern", "Link s", "LinkPattern");
  for (std::size_t size = 1024; size <= 1024 * 1024; size *= 2) {
    std::string page;
    while (page.size() < size) page += unit;
    page.resize(size);
    const Timed meta = TimeScan(kMetaTag, page), link = TimeScan(kLink, page);
    std::printf("%10zu  %10.4f  %-22s  %10.4f  %s\n", size, meta.seconds, Outcome(meta).c_str(), link.seconds,
                Outcome(link).c_str());
  }
  std::printf("\n");
}

// A 200 MB page of ordinary HTML scans to its end within the step budget.
void BigPage() {
  const std::size_t size = 200 * kMB;
  std::string page;
  page.reserve(size + kMB);
  Random r(0xb16);
  while (page.size() < size) page += Page(r);
  std::printf("A %zu-byte page of ordinary HTML, one full scan each:\n", page.size());
  for (auto [name, pattern] : {std::pair{"MetaTagPattern", kMetaTag}, std::pair{"LinkPattern", kLink}}) {
    const Timed t = TimeScan(pattern, page);
    std::printf("  %-16s %8.2f s  %s\n", name, t.seconds, Outcome(t).c_str());
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool big = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--big") != 0) continue;
    big = true;
    for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
    --argc;
    break;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  MalformedFamily();
  if (big) BigPage();
  const std::vector<Case> cases = AllCases();
  std::printf("Generated HTML: %zu and %zu bytes (deterministic seed).\n", PageText(kMB).size(),
              PageText(20 * kMB).size());
  std::printf(
      "Flags: TPattern i s g on (r m x off); PCRE2 CASELESS|DOTALL; std::regex ECMAScript|icase\n"
      "(it has no dot-all flag, and neither pattern has a dot).\n");
  std::printf("Agreement check (one scan per engine, every group compared):\n");
  const bool agree = CheckAgreement(cases);
  std::printf("%s\n\n", agree ? "All engines find the same matches with the same groups."
                              : "ENGINES DISAGREE: see DIFFERENT above.");

  RatioReporter reporter;
  for (const Case& c : cases) {
    auto scan = MakeScanner(c);
    const std::string* text = &PageText(c.size);
    reporter.sizes[c.Name()] = c.size;
    benchmark::RegisterBenchmark(c.Name().c_str(), [scan, text](benchmark::State& state) {
      std::uint64_t matches = 0;
      for (auto _ : state) {
        ScanSummary s = scan(*text);
        matches = s.matches;
        benchmark::DoNotOptimize(matches);
      }
      state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
      state.counters["matches"] = static_cast<double>(matches);
    })->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  PrintRatios(reporter);
  return agree ? 0 : 1;
}
