// Error kinds of the program. Every error carries a message and a kind name.
#pragma once

#include <stdexcept>
#include <string>

namespace quorvane {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const std::string Message() const { return what(); }
  virtual const char* KindName() const { return "Exception"; }
};

#define QV_ERROR_KIND(Name)                                                  \
  class Name : public Exception {                                            \
   public:                                                                   \
    using Exception::Exception;                                              \
    const char* KindName() const override { return #Name; }                  \
  };

// A converter that could not start or did not end with exit code 0.
QV_ERROR_KIND(EkelvoError)
QV_ERROR_KIND(EFOpenError)
QV_ERROR_KIND(EReadError)
QV_ERROR_KIND(EFCreateError)
QV_ERROR_KIND(EWriteError)

#undef QV_ERROR_KIND

inline EFOpenError CannotOpenFile(const std::string& path) {
  return EFOpenError("Cannot open file " + path);
}
inline EReadError StreamReadError() { return EReadError("Stream read error"); }
inline EFCreateError CannotCreateFile(const std::string& path) {
  return EFCreateError("Cannot create file " + path);
}
inline EWriteError StreamWriteError() { return EWriteError("Stream write error"); }
// The same with what failed and the system's reason, for failures the user
// must act on: "Stream write error /tmp/kel1A.tmp/x.htm: No space left on device".
inline EFCreateError CannotCreateFile(const std::string& path, const std::string& reason) {
  return EFCreateError("Cannot create file " + path + ": " + reason);
}
inline EWriteError StreamWriteError(const std::string& path, const std::string& reason) {
  return EWriteError("Stream write error " + path + ": " + reason);
}

}  // namespace quorvane
