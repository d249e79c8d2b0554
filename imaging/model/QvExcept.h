// Exceptions of the imaging library. Every failure is an exception that carries a message;
// every class derives directly from `Exception`, so a caller can catch one type and show
// `Message()`.
#pragma once

#include <exception>
#include <string>

namespace quorvane {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

#define QV_DECLARE_EXCEPTION(Name) \
  class Name : public Exception {  \
   public:                         \
    using Exception::Exception;    \
  }

// The library's own failures.
QV_DECLARE_EXCEPTION(EQuorvaneError);
// Stand-ins for the platform's own error classes.
QV_DECLARE_EXCEPTION(EInvalidGraphic);
QV_DECLARE_EXCEPTION(EConvertError);
QV_DECLARE_EXCEPTION(EReadError);
QV_DECLARE_EXCEPTION(EWriteError);
QV_DECLARE_EXCEPTION(EFOpenError);
QV_DECLARE_EXCEPTION(EFCreateError);
QV_DECLARE_EXCEPTION(EOutOfResources);

// printf-style message building for the library's message templates (%s, %d).
std::string FormatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quorvane
