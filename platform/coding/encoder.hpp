#pragma once

#include "platform/coding/coding_key.hpp"
#include "platform/coding/encoding_error.hpp"
#include "platform/coding/json_writer.hpp"
#include "platform/foundation/string.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace coding {

template <CodingKey K>
class KeyedEncodingContainer;

// What one member of the outermost object took: its name, colon, value and a separating comma.
struct MemberSize {
  std::string_view name;
  std::size_t bytes;
};

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

  // Asks for the size of each member of the outermost object, in write order, so that a caller
  // can say which member makes a record too large without reading the text back.
  void measureMembers(std::vector<MemberSize>& sizes) { memberSizes_ = &sizes; }

 private:
  template <CodingKey K>
  friend class KeyedEncodingContainer;

  JsonWriter writer_;
  CodingPath codingPath_;
  std::optional<EncodingError> error_;
  std::vector<MemberSize>* memberSizes_ = nullptr;
  int depth_ = 0;
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
  explicit KeyedEncodingContainer(Encoder& encoder)
      : encoder_(&encoder), outermost_(encoder.depth_++ == 0) {
    if (!encoder_->error_) encoder_->writer_.beginObject();
  }
  ~KeyedEncodingContainer() {
    --encoder_->depth_;
    if (encoder_->error_) return;
    closeMember();
    encoder_->writer_.endObject();
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

  // A member whose value is JSON text an encoder wrote before, such as a nested record.
  bool encodeEncoded(K key, std::string_view json) {
    if (!admit(key, std::nullopt)) return false;
    encoder_->writer_.raw(json);
    return true;
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
    closeMember();
    if (!first_) encoder_->writer_.comma();
    first_ = false;
    memberName_ = name;
    memberStart_ = encoder_->writer_.size();
    encoder_->writer_.string(name);
    encoder_->writer_.colon();
    return true;
  }

  void closeMember() {
    if (!outermost_ || encoder_->memberSizes_ == nullptr || first_) return;
    encoder_->memberSizes_->push_back({memberName_, encoder_->writer_.size() - memberStart_ + 1});
  }

  Encoder* encoder_;
  bool outermost_;
  bool first_ = true;
  std::string_view memberName_;
  std::size_t memberStart_ = 0;
};

}  // namespace coding
