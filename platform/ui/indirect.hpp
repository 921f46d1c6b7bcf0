#pragma once

#include <memory>
#include <utility>

namespace ui {

// A value held on the heap, so that a type can hold itself; copies are deep, equality compares
// the values.
template <class T>
class Indirect {
 public:
  Indirect(T value) : value_(std::make_unique<T>(std::move(value))) {}
  Indirect(const Indirect& other) : value_(std::make_unique<T>(*other.value_)) {}
  Indirect(Indirect&&) noexcept = default;
  Indirect& operator=(const Indirect& other) {
    if (this != &other) value_ = std::make_unique<T>(*other.value_);
    return *this;
  }
  Indirect& operator=(Indirect&&) noexcept = default;
  ~Indirect() = default;

  const T& operator*() const noexcept { return *value_; }
  const T* operator->() const noexcept { return value_.get(); }

  friend bool operator==(const Indirect& a, const Indirect& b) { return *a.value_ == *b.value_; }

 private:
  std::unique_ptr<T> value_;
};

}  // namespace ui
