// Sets the run's module state for one test and restores it afterwards: the
// prefixes, and the list of temporary copies, whose entries made in the scope
// are deleted with their directories.
#pragma once

#include <string>

#include "meta/ModuleState.h"
#include "meta/TempCopy.h"

namespace qvtest {

class ModuleScope {
 public:
  explicit ModuleScope(const std::string& prefix = "lrf:", const std::string& urlPrefix = "file:///")
      : prefix_(quorvane::CurrentPrefix), urlPrefix_(quorvane::CurrentUrlPrefix),
        copies_(quorvane::TempCopyList) {
    quorvane::CurrentPrefix = prefix;
    quorvane::CurrentUrlPrefix = urlPrefix;
    quorvane::TempCopyList.Clear();
  }
  ~ModuleScope() {
    quorvane::DeleteTempCopies();
    quorvane::CurrentPrefix = prefix_;
    quorvane::CurrentUrlPrefix = urlPrefix_;
    quorvane::TempCopyList = copies_;
  }
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;

 private:
  std::string prefix_, urlPrefix_;
  quorvane::TStringList copies_;
};

}  // namespace qvtest
