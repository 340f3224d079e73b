#include "util/StringList.h"

#include "util/Text.h"

namespace quorvane {

int TStringList::IndexOf(const std::string& text) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (SameTextNoCase(items_[i], text)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace quorvane
