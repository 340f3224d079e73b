#include "base/Ascii.h"
#include "platform/Wildcard.h"

namespace quorvane::platform {

namespace {

unsigned char Fold(char c) { return AsciiUpper(static_cast<unsigned char>(c)); }

// Iterative matcher with a single backtrack point for the last `*`; linear
// in practice and never recursive, so long names and masks are harmless.
bool Match(std::string_view name, std::string_view mask) {
  std::size_t n = 0, m = 0;
  std::size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || Fold(mask[m]) == Fold(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask.empty()) return false;
  if (Match(name, mask)) return true;
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*")
    return Match(name, mask.substr(0, mask.size() - 2));
  return false;
}

}  // namespace quorvane::platform
