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

  simdjson::error_code parse(std::string_view json) {
    padded.resize(json.size() + simdjson::SIMDJSON_PADDING);
    if (!json.empty()) std::memcpy(padded.data(), json.data(), json.size());
    std::memset(padded.data() + json.size(), 0, simdjson::SIMDJSON_PADDING);
    if (parser.capacity() < json.size() || parser.max_depth() != maxDepth) {
      if (auto error = parser.allocate(std::max<std::size_t>(json.size(), 1024), maxDepth)) {
        return error;
      }
    }
    simdjson::dom::element element;
    if (auto error = parser.parse(padded.data(), json.size(), false).get(element)) return error;
    root = describe(element);
    return simdjson::SUCCESS;
  }

  JsonValue describe(simdjson::dom::element element) const {
    using simdjson::dom::element_type;
    JsonValue value;
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
    return value;
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

bool sameName(std::string_view member, std::string_view name) {
  if (member == name) return true;
  // Only a name outside ASCII can be canonically equivalent to different bytes.
  return !foundation::isAscii(member) && foundation::canonicallyEqual(member, name);
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

std::optional<DecodingError> JsonDocument::read(std::string_view json) {
  impl_->nodes.clear();
  impl_->root = JsonValue{};
  if (json.size() > maxBytes) {
    return corrupted("the document is " + std::to_string(json.size()) +
                     " bytes long, more than the " + std::to_string(maxBytes) + " a reader accepts");
  }
  const simdjson::error_code error = impl_->parse(json);
  if (!error) return std::nullopt;
  if (error == simdjson::MEMALLOC) return corrupted("out of memory while reading the document");

  const detail::JsonScan scan = detail::scanJson(json, maxDepth);
  if (scan.problem) return fromProblem(*scan.problem);
  if (!scan.wideIntegerEnds.empty()) {
    const std::string widened = widenIntegers(json, scan.wideIntegerEnds);
    if (!impl_->parse(widened)) return std::nullopt;
  }
  return corrupted(std::string("invalid JSON: ") + simdjson::error_message(error));
}

JsonValue JsonDocument::root() const { return impl_->root; }

void JsonDocument::lookUp(std::uint32_t objectNode, std::span<const std::string_view> names,
                          std::span<JsonValue> values) const {
  for (JsonValue& value : values) value = JsonValue{};
  if (objectNode >= impl_->nodes.size()) return;
  simdjson::dom::object object;
  if (impl_->nodes[objectNode].get(object)) return;
  for (const auto field : object) {
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
      if (!sameName(field.key, names[i])) continue;
      if (values[i].type != JsonValue::Type::missing) {
        values[i].duplicated = true;
      } else {
        values[i] = impl_->describe(field.value);
      }
      break;
    }
  }
}

}  // namespace coding
