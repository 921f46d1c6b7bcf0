#include "platform/coding/json_document.hpp"

#include "platform/coding/json_syntax.hpp"
#include "platform/foundation/string.hpp"

#include <simdjson.h>

#include <cstring>
#include <string>
#include <vector>

namespace coding {

struct JsonDocument::Impl {
  // Widening integers beyond 64 bits makes a text at most a tenth longer.
  simdjson::dom::parser parser{maxBytes + maxBytes / 8};
  JsonValue root;
  // Objects and arrays that lookups have handed out, by node handle.
  mutable std::vector<simdjson::dom::element> nodes;
  // The text with the padding the parser reads past its end.
  std::vector<char> padded;

  simdjson::error_code parse(std::string_view json, bool inPlace) {
    const char* text = json.data();
    if (!inPlace) {
      padded.resize(json.size() + simdjson::SIMDJSON_PADDING);
      if (!json.empty()) std::memcpy(padded.data(), json.data(), json.size());
      std::memset(padded.data() + json.size(), 0, simdjson::SIMDJSON_PADDING);
      text = padded.data();
    }
    if (parser.capacity() < json.size() || parser.max_depth() != maxDepth) {
      if (auto error = parser.allocate(std::max<std::size_t>(json.size(), 1024), maxDepth)) {
        return error;
      }
    }
    simdjson::dom::element element;
    if (auto error = parser.parse(text, json.size(), false).get(element)) return error;
    describe(element, root);
    return simdjson::SUCCESS;
  }

  // Writes in place: returning the value and copying it costs more than the lookup itself.
  void describe(simdjson::dom::element element, JsonValue& value) const {
    using simdjson::dom::element_type;
    switch (element.type()) {
      case element_type::NULL_VALUE:
        value.type = JsonValue::Type::null;
        break;
      case element_type::BOOL:
        value.type = JsonValue::Type::boolean;
        break;
      case element_type::INT64:
        value.type = JsonValue::Type::number;
        value.number = static_cast<double>(element.get_int64().value_unsafe());
        break;
      case element_type::UINT64:
        value.type = JsonValue::Type::number;
        value.number = static_cast<double>(element.get_uint64().value_unsafe());
        break;
      case element_type::DOUBLE:
        value.type = JsonValue::Type::number;
        value.number = element.get_double().value_unsafe();
        break;
      case element_type::STRING:
        value.type = JsonValue::Type::string;
        value.text = element.get_string().value_unsafe();
        break;
      case element_type::ARRAY:
      case element_type::OBJECT:
        value.type = element.type() == element_type::ARRAY ? JsonValue::Type::array
                                                           : JsonValue::Type::object;
        value.node = static_cast<std::uint32_t>(nodes.size());
        nodes.push_back(element);
        break;
    }
  }
};

namespace {

DecodingError corrupted(std::string detail, CodingPath path = {}) {
  return DecodingError{DecodingError::Kind::dataCorrupted, std::move(path), std::move(detail)};
}

DecodingError fromProblem(const detail::JsonProblem& problem) {
  if (problem.kind == detail::JsonProblem::Kind::numberOutOfRange) {
    return corrupted(problem.what, problem.path);
  }
  return corrupted("invalid JSON at line " + std::to_string(problem.line) + ", column " +
                   std::to_string(problem.column) + ": " + problem.what);
}

// Integers beyond 64 bits become decimals, which the parser reads as the nearest double.
std::string widenIntegers(std::string_view json, const std::vector<std::size_t>& ends) {
  std::string out;
  out.reserve(json.size() + 2 * ends.size());
  std::size_t from = 0;
  for (std::size_t end : ends) {
    out.append(json.substr(from, end - from));
    out += ".0";
    from = end;
  }
  out.append(json.substr(from));
  return out;
}

// Member names are short: comparing them in words beats a call to memcmp.
bool sameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::size_t i = 0;
  for (; i + 8 <= a.size(); i += 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) return false;
  }
  for (; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

std::string_view describeType(JsonValue::Type type) {
  switch (type) {
    case JsonValue::Type::missing:
      return "nothing";
    case JsonValue::Type::null:
      return "null";
    case JsonValue::Type::boolean:
      return "a boolean";
    case JsonValue::Type::number:
      return "a number";
    case JsonValue::Type::string:
      return "a string";
    case JsonValue::Type::array:
      return "an array";
    case JsonValue::Type::object:
      return "an object";
  }
  return "nothing";
}

JsonDocument::JsonDocument() : impl_(std::make_unique<Impl>()) {}
JsonDocument::~JsonDocument() = default;
JsonDocument::JsonDocument(JsonDocument&&) noexcept = default;
JsonDocument& JsonDocument::operator=(JsonDocument&&) noexcept = default;

static_assert(JsonDocument::readAhead >= simdjson::SIMDJSON_PADDING);

std::optional<DecodingError> JsonDocument::read(std::string_view json,
                                                std::size_t readableAfterEnd) {
  impl_->nodes.clear();
  impl_->root = JsonValue{};
  if (json.size() > maxBytes) {
    return corrupted("the document is " + std::to_string(json.size()) +
                     " bytes long, more than the " + std::to_string(maxBytes) +
                     " a reader accepts");
  }
  const simdjson::error_code error = impl_->parse(json, readableAfterEnd >= readAhead);
  if (!error) return std::nullopt;
  if (error == simdjson::MEMALLOC) return corrupted("out of memory while reading the document");

  const detail::JsonScan scan = detail::scanJson(json, maxDepth);
  if (scan.problem) return fromProblem(*scan.problem);
  if (!scan.wideIntegerEnds.empty()) {
    const std::string widened = widenIntegers(json, scan.wideIntegerEnds);
    if (!impl_->parse(widened, false)) return std::nullopt;
  }
  return corrupted(std::string("invalid JSON: ") + simdjson::error_message(error));
}

JsonValue JsonDocument::root() const {
  return impl_->root;
}

void JsonDocument::lookUp(std::uint32_t objectNode, std::span<const std::string_view> names,
                          std::span<JsonValue> values) const {
  if (objectNode >= impl_->nodes.size()) return;
  simdjson::dom::object object;
  if (impl_->nodes[objectNode].get(object)) return;
  const std::size_t count = std::min(names.size(), values.size());
  std::size_t next = 0;
  for (const auto field : object) {
    const std::string_view member = field.key;
    // Senders mostly write members in declaration order, so the name after the last match is
    // tried first.
    std::size_t match = next < count && sameBytes(member, names[next]) ? next : 0;
    while (match < count && !sameBytes(member, names[match])) ++match;
    // Only a name outside ASCII can be canonically equivalent to different bytes.
    if (match == count && !foundation::isAscii(member)) {
      match = 0;
      while (match < count && !foundation::canonicallyEqual(member, names[match])) ++match;
    }
    if (match == count) continue;
    next = match + 1;
    if (values[match].type != JsonValue::Type::missing) {
      values[match].duplicated = true;
    } else {
      impl_->describe(field.value, values[match]);
    }
  }
}

void JsonDocument::forEachMember(
    std::uint32_t objectNode,
    const std::function<void(std::string_view, const JsonValue&)>& visit) const {
  if (objectNode >= impl_->nodes.size()) return;
  simdjson::dom::object object;
  if (impl_->nodes[objectNode].get(object)) return;
  for (const auto field : object) {
    JsonValue value;
    impl_->describe(field.value, value);
    visit(field.key, value);
  }
}

}  // namespace coding
