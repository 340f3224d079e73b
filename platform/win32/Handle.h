// The one owner of a Win32 handle: closed when it goes out of scope.
#pragma once

#include <windows.h>

namespace quorvane::platform {

class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return h_; }
  // Both empty values the API gives back count as "no handle".
  bool ok() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  // Closes the handle held and takes h.
  void reset(HANDLE h = nullptr) {
    if (ok()) ::CloseHandle(h_);
    h_ = h;
  }
  // Closes the handle now and tells whether that worked (a write's last
  // data may fail only here).
  bool Close() {
    const HANDLE h = h_;
    h_ = nullptr;
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

}  // namespace quorvane::platform
