// An ordered list of texts.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

class TStringList {
 public:
  void Add(const std::string& text) { items_.push_back(text); }
  // Index of the first entry equal to text under SameTextNoCase, or -1.
  int IndexOf(const std::string& text) const;
  void Put(int index, const std::string& text) { items_.at(index) = text; }
  void Delete(int index) { items_.erase(items_.begin() + index); }
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Get(int index) const { return items_.at(index); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::string> items_;
};

}  // namespace quorvane
