// A transform made by a factory, seen as the class a test expects it to be.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "transforms/QvTransf.h"

namespace qvtest {

// T's view of the transform; throws (failing the test that asked) when it is of another class.
template <typename T>
const T& As(const std::unique_ptr<quorvane::TImageTransform>& t) {
  const T* typed = dynamic_cast<const T*>(t.get());
  if (!typed) throw std::runtime_error(std::string("not a ") + typeid(T).name() + ": " + t->ClassName());
  return *typed;
}

}  // namespace qvtest
