// The message of the library exception a step raises, for tests that compare error texts.
#pragma once

#include <string>
#include <utility>

#include "model/QvExcept.h"

namespace qvtest {

// Runs F and returns the message of the exception of type E it raises ("" if none).
template <typename E = quorvane::Exception, typename F>
std::string MessageOf(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

}  // namespace qvtest
