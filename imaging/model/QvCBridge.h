// The boundary to C libraries. A C++ exception must never unwind through the frames of a C
// library (libtiff, libpng, libjpeg): their state would be left half-updated and their cleanup
// skipped. Two pieces keep errors on the C++ side of that boundary.
//
// TCallbackGuard: every callback that a C library calls (stream reads, writes, seeks, error
// handlers) runs its body through Run(errorValue, body). An exception raised by the body, a
// failing TStream for instance, is caught and kept, and the library gets its error value and
// returns through its own error path. Once the C call has returned, the caller calls Rethrow(),
// which raises the first kept exception unchanged, so the user sees the stream's own message.
//
// RunWithLandingPad: for libraries whose fatal-error handler must not return (libpng, libjpeg),
// the handler stores its message and long-jumps back to the pad. The pad is armed in the frame
// that calls the library; Body runs inside that frame and must hold no object with a destructor
// (only C calls and plain values), since the jump skips destructors. After a jump the pad returns
// false: the caller destroys the C structures and then throws.
#pragma once

#include <csetjmp>
#include <exception>
#include <utility>

namespace quorvane {

class TCallbackGuard {
 public:
  // Runs Body; on an exception keeps the first one and returns ErrorValue instead.
  template <class Result, class Body>
  Result Run(Result errorValue, Body&& body) noexcept {
    try {
      return std::forward<Body>(body)();
    } catch (...) {
      if (!FError) FError = std::current_exception();
      return errorValue;
    }
  }
  // For callbacks without a result.
  template <class Body>
  void RunVoid(Body&& body) noexcept {
    try {
      std::forward<Body>(body)();
    } catch (...) {
      if (!FError) FError = std::current_exception();
    }
  }

  bool Failed() const { return static_cast<bool>(FError); }
  // Raises the kept exception, if any, and forgets it.
  void Rethrow() {
    if (FError) std::rethrow_exception(std::exchange(FError, nullptr));
  }

 private:
  std::exception_ptr FError;
};

// A jump target for one library call. The library's error handler calls Jump().
struct TLandingPad {
  std::jmp_buf Buffer;
  [[noreturn]] void Jump() { std::longjmp(Buffer, 1); }
};

// Arms Pad and runs Body in this frame. Returns true when Body finished, false when the library
// jumped to the pad. See the rules on Body above.
template <class Body>
[[nodiscard]] bool RunWithLandingPad(TLandingPad& pad, Body&& body) {
  if (setjmp(pad.Buffer) != 0) return false;
  body();
  return true;
}

}  // namespace quorvane
