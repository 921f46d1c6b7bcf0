#include "platform/coding/json_dom_reader.hpp"

#include "platform/coding/json_syntax.hpp"

#include <simdjson.h>

#include <algorithm>
#include <string>
#include <vector>

namespace coding::detail {
namespace {

DecodingError corrupted(std::string detail, CodingPath path = {}) {
  return DecodingError{DecodingError::Kind::dataCorrupted, std::move(path), std::move(detail)};
}

DecodingError fromProblem(const JsonProblem& problem) {
  DecodingError error =
      problem.kind == JsonProblem::Kind::numberOutOfRange
          ? corrupted(problem.what, problem.path)
          : corrupted("invalid JSON at line " + std::to_string(problem.place.line) + ", column " +
                      std::to_string(problem.place.column) + ": " + problem.what);
  error.place = problem.place;
  return error;
}

// Integers beyond 64 bits become decimals, which the parser reads as the nearest double. The
// capacity leaves room for the parser to read past the end.
std::string widenIntegers(std::string_view json, const std::vector<std::size_t>& ends) {
  std::string out;
  out.reserve(json.size() + 2 * ends.size() + simdjson::SIMDJSON_PADDING);
  std::size_t from = 0;
  for (std::size_t end : ends) {
    out.append(json.substr(from, end - from));
    out += ".0";
    from = end;
  }
  out.append(json.substr(from));
  return out;
}

}  // namespace

struct JsonDomReader::Impl {
  std::size_t maxDepth;
  simdjson::dom::parser parser;
  // A text with its integers widened; its capacity lets the parser read past its end.
  std::string widened;

  // Widening makes a text at most a tenth longer.
  Impl(std::size_t depth, std::size_t maxBytes)
      : maxDepth(depth), parser(maxBytes + maxBytes / 8) {}

  simdjson::error_code parse(std::string_view text, JsonTape& tape, std::size_t depth) {
    if (parser.capacity() < text.size() || parser.max_depth() != depth) {
      if (auto error = parser.allocate(std::max<std::size_t>(text.size(), 1024), depth)) {
        return error;
      }
    }
    simdjson::dom::element element;
    tape.clear();
    if (auto error = parser.parse(text.data(), text.size(), false).get(element)) return error;
    tape.root = record(element, tape);
    return simdjson::SUCCESS;
  }

  JsonValue record(simdjson::dom::element element, JsonTape& tape) {
    using simdjson::dom::element_type;
    JsonValue value;
    switch (element.type()) {
      case element_type::NULL_VALUE:
        value.type = JsonValue::Type::null;
        break;
      case element_type::BOOL:
        value.type = JsonValue::Type::boolean;
        // A boolean's value rides in `number`, 1 or 0, for readers that look members up.
        value.number = element.get_bool().value_unsafe() ? 1 : 0;
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
        tape.array(value);
        break;
      case element_type::OBJECT: {
        const std::size_t mark = tape.openObject();
        const simdjson::dom::object object = element.get_object().value_unsafe();
        for (const auto field : object) {
          tape.addMember(field.key, record(field.value, tape));
        }
        tape.closeObject(mark, value);
        break;
      }
    }
    return value;
  }
};

JsonDomReader::JsonDomReader(std::size_t maxDepth, std::size_t maxBytes)
    : impl_(std::make_unique<Impl>(maxDepth, maxBytes)) {}
JsonDomReader::~JsonDomReader() = default;
JsonDomReader::JsonDomReader(JsonDomReader&&) noexcept = default;
JsonDomReader& JsonDomReader::operator=(JsonDomReader&&) noexcept = default;

std::optional<DecodingError> JsonDomReader::read(std::string_view json, std::string_view padded,
                                                 JsonTape& tape) {
  const simdjson::error_code error = impl_->parse(padded, tape, impl_->maxDepth);
  if (!error) return std::nullopt;
  if (error == simdjson::MEMALLOC) return corrupted("out of memory while reading the document");

  const JsonScan scan = scanJson(json, impl_->maxDepth);
  if (scan.problem) return fromProblem(*scan.problem);
  // Nothing is wrong with the text; the DOM refused a form it does not take as it is. Integers
  // beyond 64 bits are widened. And simdjson counts a scalar as a level below its container, so
  // containers nested to the limit around a scalar are a level too deep for it: the scan, which
  // counts containers, has checked the nesting.
  std::string_view again = padded;
  if (!scan.wideIntegerEnds.empty()) {
    impl_->widened = widenIntegers(json, scan.wideIntegerEnds);
    again = impl_->widened;
  }
  if (!impl_->parse(again, tape, impl_->maxDepth + 1)) return std::nullopt;
  return corrupted(std::string("invalid JSON: ") + simdjson::error_message(error));
}

}  // namespace coding::detail
