// One fuzz input run through TPattern the way the program scans a page, with
// checks on every result. Shared by the libFuzzer target and the test that
// replays saved inputs.
//
// Input layout:   header '\n' pattern '\0' subject
//   header   letters i r s g m x switch those modifiers on (all others off);
//            "P" + two bytes sets the paired line separator, "N" removes it;
//            "L" + one byte makes that byte the only line break;
//            a digit d starts the scan with ExecPos(d) instead of Exec.
//   pattern  up to the first NUL (a pattern cannot hold a NUL anyway).
//   subject  the rest, NUL bytes included (the engine stops at the first).
// Without a '\n' before the first NUL the header is empty; without a NUL the
// subject is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regexpr/Pattern.h"

namespace quorvane::fuzz {

struct FuzzInput {
  std::string header;
  std::string pattern;
  std::string subject;
};

inline FuzzInput SplitInput(std::string_view data) {
  FuzzInput in;
  std::size_t nul = data.find('\0');
  std::string_view head = data.substr(0, nul);
  std::size_t newline = head.find('\n');
  if (newline != std::string_view::npos) {
    in.header = std::string(head.substr(0, newline));
    in.pattern = std::string(head.substr(newline + 1));
  } else {
    in.pattern = std::string(head);
  }
  if (nul != std::string_view::npos) in.subject = std::string(data.substr(nul + 1));
  return in;
}

struct Span {
  std::int32_t start;
  std::int32_t length;
  bool operator==(const Span&) const = default;
};

// All groups of every match of one scan, or a description of what went wrong.
struct ScanResult {
  std::vector<std::vector<Span>> matches;
  std::string fault;
  bool raised = false;
};

inline ScanResult Scan(TPattern& re, const FuzzInput& in, std::int32_t offset) {
  ScanResult result;
  // What the engine sees: the subject up to its first NUL.
  const std::string visible = in.subject.substr(0, in.subject.find('\0'));
  const auto length = static_cast<std::int32_t>(visible.size());
  try {
    bool ok;
    if (offset == 1) {
      ok = re.Exec(in.subject);
    } else {
      re.SetInputString(in.subject);
      ok = re.ExecPos(offset);
    }
    std::int32_t nextFrom = offset;
    while (ok) {
      std::vector<Span> groups;
      for (int n = 0; n <= 15; ++n) {
        Span s{re.GroupStart(n), re.GroupLength(n)};
        std::string text = re.GroupText(n);
        groups.push_back(s);
        std::string where = "group " + std::to_string(n) + " at " + std::to_string(s.start) +
                            " length " + std::to_string(s.length);
        if (s.start == -1) {
          if (s.length != -1 || !text.empty()) result.fault = where + ": unset but has text";
          if (n == 0) result.fault = "a match without bounds";
          continue;
        }
        if (n == 15) {
          result.fault = "group 15 exists";
        } else if (s.start < 1 || s.length < 0 || s.start + s.length > length + 1) {
          result.fault = where + ": outside the subject of length " + std::to_string(length);
        } else if (text != visible.substr(s.start - 1, s.length)) {
          result.fault = where + ": text differs from the subject";
        }
      }
      if (!result.fault.empty()) return result;
      const Span whole = groups[0];
      if (whole.start < nextFrom) {
        result.fault = "match at " + std::to_string(whole.start) + " before the search offset " +
                       std::to_string(nextFrom);
        return result;
      }
      result.matches.push_back(std::move(groups));
      if (result.matches.size() > static_cast<std::size_t>(length) + 2) {
        result.fault = "ExecNext does not progress";
        return result;
      }
      nextFrom = whole.start + whole.length + (whole.length == 0 ? 1 : 0);
      ok = re.ExecNext();
    }
    // After the last run every group is unset.
    if (re.GroupStart(0) != -1) result.fault = "failed run left a match";
  } catch (const EPatternError& e) {
    result.raised = true;
    if (std::string(e.what()).empty()) result.fault = "error without a message";
  }
  return result;
}

// Applies the header's settings; false when the engine refused one of them.
inline bool Configure(TPattern& re, const FuzzInput& in, std::int32_t& offset) {
  try {
    const std::string_view letters = "irsgmx";
    for (std::size_t k = 0; k < letters.size(); ++k) {
      re.SetModifierFlag(static_cast<int>(k) + 1,
                         in.header.find(letters[k]) != std::string::npos);
    }
    for (std::size_t k = 0; k < in.header.size(); ++k) {
      char c = in.header[k];
      if (c == 'N') {
        re.SetLinePairedSeparator("");
      } else if (c == 'P' && k + 2 < in.header.size()) {
        re.SetLinePairedSeparator(std::string_view(in.header).substr(k + 1, 2));
        k += 2;
      } else if (c == 'L' && k + 1 < in.header.size()) {
        re.SetLineBreakChars(std::string_view(in.header).substr(k + 1, 1));
        k += 1;
      } else if (c >= '1' && c <= '9') {
        offset = c - '0';
      }
    }
  } catch (const EPatternError&) {
    return false;  // a separator of two equal bytes is refused, as it should be
  }
  return true;
}

// The same pattern inside a group, followed by an alternative that never
// matches (a boundary that is no boundary). Its search hints are as weak as
// they get, so every start position is tried: a scan must find the same
// matches, with the groups one number higher. Patterns whose meaning the
// wrapping would change (back-references, comments to the end under x, too
// many groups) are left out.
inline bool CanWrap(const std::string& pattern) {
  int groups = 0;
  for (std::size_t k = 0; k < pattern.size(); ++k) {
    if (pattern[k] == '(') ++groups;
    if (pattern[k] == '#') return false;
    if (pattern[k] == '\\' && k + 1 < pattern.size() &&
        pattern[k + 1] >= '0' && pattern[k + 1] <= '9') {
      return false;
    }
  }
  return groups < 14;
}

inline std::string CompareWithoutHints(const FuzzInput& in, const ScanResult& direct) {
  if (direct.raised || !CanWrap(in.pattern)) return "";
  TPattern re;
  std::int32_t offset = 1;
  if (!Configure(re, in, offset)) return "";
  re.SetExpression("(" + in.pattern + ")|\\b\\B");
  ScanResult wrapped = Scan(re, in, offset);
  if (!wrapped.fault.empty()) return "wrapped pattern: " + wrapped.fault;
  if (wrapped.raised) return "";  // e.g. too deep once wrapped
  if (wrapped.matches.size() != direct.matches.size()) {
    return "the search hints lose or add matches: " + std::to_string(direct.matches.size()) +
           " found, " + std::to_string(wrapped.matches.size()) + " when every position is tried";
  }
  for (std::size_t m = 0; m < direct.matches.size(); ++m) {
    const auto& a = direct.matches[m];
    const auto& b = wrapped.matches[m];
    bool same = a[0] == b[0];
    for (int n = 1; n < 14 && same; ++n) same = a[n] == b[n + 1];
    if (!same) {
      return "match " + std::to_string(m + 1) + " differs when every position is tried: " +
             std::to_string(a[0].start) + "+" + std::to_string(a[0].length) + " against " +
             std::to_string(b[0].start) + "+" + std::to_string(b[0].length);
    }
  }
  return "";
}

// Runs one input; returns an empty text when every check held, else what failed.
inline std::string RunFuzzInput(const std::uint8_t* data, std::size_t size) {
  const FuzzInput in = SplitInput(std::string_view(reinterpret_cast<const char*>(data), size));
  TPattern re;
  std::int32_t offset = 1;
  if (!Configure(re, in, offset)) return "";
  re.SetExpression(in.pattern);

  ScanResult first = Scan(re, in, offset);
  if (!first.fault.empty()) return first.fault;
  // The hints are readable after a successful compile.
  if (!first.raised) {
    if (re.ProgramBytes().empty() || static_cast<unsigned char>(re.ProgramBytes()[0]) != 216) {
      return "compiled program without its signature";
    }
    (void)re.StartCharSet();
    (void)re.FirstLiteralChar();
    (void)re.AnchoredAtStart();
    if (re.MustLiteral().size() > re.ProgramBytes().size()) return "must-literal too long";
  }
  // A second scan on the same object finds exactly the same.
  ScanResult second = Scan(re, in, offset);
  if (!second.fault.empty()) return second.fault;
  if (first.raised != second.raised || first.matches != second.matches) {
    return "a second scan differs from the first";
  }
  return CompareWithoutHints(in, first);
}

}  // namespace quorvane::fuzz
