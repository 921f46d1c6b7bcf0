#pragma once

#include "platform/coding/coding_key.hpp"
#include "platform/coding/encoding_error.hpp"
#include "platform/coding/json_writer.hpp"
#include "platform/foundation/string.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace coding {

template <CodingKey K>
class KeyedEncodingContainer;

// Writes values as JSON into a string. The first refused value is kept as the error; after it
// nothing more is written and the text is not to be used.
class Encoder {
 public:
  explicit Encoder(std::string& out, CodingPath codingPath = {})
      : writer_(out), codingPath_(std::move(codingPath)) {}

  template <CodingKey K>
  KeyedEncodingContainer<K> container() {
    return KeyedEncodingContainer<K>(*this);
  }

  const std::optional<EncodingError>& error() const noexcept { return error_; }
  const CodingPath& codingPath() const noexcept { return codingPath_; }

 private:
  template <CodingKey K>
  friend class KeyedEncodingContainer;

  JsonWriter writer_;
  CodingPath codingPath_;
  std::optional<EncodingError> error_;
};

namespace detail {
// Why a value cannot be written, if it cannot.
std::optional<std::string> refuseNumber(double value);
std::optional<std::string> refuseString(std::string_view text);
}  // namespace detail

// One JSON object. Members appear in the order written; each write returns false once anything
// has failed, so a record's writes chain with && and stop at the first failure. The object is
// closed when the container goes out of scope.
template <CodingKey K>
class KeyedEncodingContainer {
 public:
  explicit KeyedEncodingContainer(Encoder& encoder) : encoder_(&encoder) {
    if (!encoder_->error_) encoder_->writer_.beginObject();
  }
  ~KeyedEncodingContainer() {
    if (!encoder_->error_) encoder_->writer_.endObject();
  }
  KeyedEncodingContainer(const KeyedEncodingContainer&) = delete;
  KeyedEncodingContainer& operator=(const KeyedEncodingContainer&) = delete;

  bool encode(K key, double value) {
    if (!admit(key, detail::refuseNumber(value))) return false;
    encoder_->writer_.number(value);
    return true;
  }

  bool encode(K key, const foundation::String& value) {
    if (!admit(key, detail::refuseString(value.view()))) return false;
    encoder_->writer_.string(value.view());
    return true;
  }

  // Nothing at all is written for an absent value: no member, not null.
  bool encodeIfPresent(K key, const std::optional<foundation::String>& value) {
    return !value || encode(key, *value);
  }

 private:
  bool admit(K key, std::optional<std::string> refusal) {
    if (encoder_->error_) return false;
    const std::string_view name = stringValue(key);
    if (refusal) {
      CodingPath path = encoder_->codingPath_;
      path.emplace_back(name);
      encoder_->error_ = EncodingError{std::move(path), std::move(*refusal)};
      return false;
    }
    if (!first_) encoder_->writer_.comma();
    first_ = false;
    encoder_->writer_.string(name);
    encoder_->writer_.colon();
    return true;
  }

  Encoder* encoder_;
  bool first_ = true;
};

}  // namespace coding
