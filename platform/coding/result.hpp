#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace coding {

// A value or the error that prevented it.
template <class T, class E>
class Result {
 public:
  Result(T value) : content_(std::in_place_index<0>, std::move(value)) {}
  Result(E error) : content_(std::in_place_index<1>, std::move(error)) {}

  Result& operator=(E error) {
    content_.template emplace<1>(std::move(error));
    return *this;
  }

  bool ok() const noexcept { return content_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  T& value() & { return std::get<0>(content_); }
  const T& value() const& { return std::get<0>(content_); }
  T&& value() && { return std::get<0>(std::move(content_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const E& error() const& { return std::get<1>(content_); }
  E&& error() && { return std::get<1>(std::move(content_)); }

 private:
  std::variant<T, E> content_;
};

}  // namespace coding
