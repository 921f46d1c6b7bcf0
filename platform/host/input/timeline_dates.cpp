#include "platform/host/input/timeline_dates.hpp"

#include "platform/coding/json_document.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace host {
namespace {

using coding::JsonValue;

constexpr std::array<std::string_view, 3> dateNames{"timestamp", "stale-date", "dismissal-date"};

// One date's value as it lies in its line: bytes [start, end).
struct DateAt {
  std::size_t start = 0;
  std::size_t end = 0;
  double value = 0;
  bool timestamp = false;
};

// The dates of one JSON text's `aps`, in the order of `dateNames`.
std::vector<DateAt> datesOf(std::string_view text, coding::JsonDocument& document) {
  std::vector<DateAt> dates;
  if (document.read(text) || document.root().type != JsonValue::Type::object) return dates;
  std::array<JsonValue, 1> aps;
  constexpr std::array<std::string_view, 1> apsName{"aps"};
  document.lookUp(document.root().node, apsName, aps);
  if (aps[0].type != JsonValue::Type::object || aps[0].duplicated) return dates;
  std::array<JsonValue, dateNames.size()> values;
  document.lookUp(aps[0].node, dateNames, values);
  for (std::size_t i = 0; i < dateNames.size(); ++i) {
    // A member named twice is refused by the reader anyway: leave the text as the sender wrote it.
    if (values[i].type != JsonValue::Type::number || values[i].duplicated) continue;
    const auto place = coding::placeOfMember(text, {"aps", std::string(dateNames[i])});
    if (!place || place->end > text.size() || place->start >= place->end) continue;
    // The place runs from the member's name to the end of its value; the names hold no colon.
    const std::string_view member = text.substr(place->start, place->end - place->start);
    std::size_t colon = member.find(':');
    if (colon == std::string_view::npos) continue;
    std::size_t start = place->start + colon + 1;
    while (start < place->end && (text[start] == ' ' || text[start] == '\t' ||
                                  text[start] == '\n' || text[start] == '\r')) {
      ++start;
    }
    // Only a number is replaced, never more than the member (were the place a parent's).
    const std::string number(text.substr(start, place->end - start));
    char* parsed = nullptr;
    const double read = std::strtod(number.c_str(), &parsed);
    if (number.empty() || parsed != number.c_str() + number.size() || read != values[i].number) {
      continue;
    }
    dates.push_back({start, place->end, values[i].number, i == 0});
  }
  std::sort(dates.begin(), dates.end(),
            [](const DateAt& a, const DateAt& b) { return a.start < b.start; });
  return dates;
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

struct Piece {
  std::string_view text;
  std::vector<DateAt> dates;
};

}  // namespace

std::string datesMovedTo(std::string_view input, double start) {
  coding::JsonDocument document;
  // One document however it is laid out, else JSON Lines.
  std::vector<Piece> pieces;
  if (!document.read(input)) {
    pieces.push_back({input, {}});
  } else {
    std::string_view rest = input;
    while (true) {
      const std::size_t end = rest.find('\n');
      pieces.push_back({rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1), {}});
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  }
  std::optional<double> firstTimestamp;
  std::optional<double> firstDate;
  for (Piece& piece : pieces) {
    piece.dates = datesOf(piece.text, document);
    for (const DateAt& date : piece.dates) {
      if (!firstDate) firstDate = date.value;
      if (date.timestamp && !firstTimestamp) firstTimestamp = date.value;
    }
  }
  const std::optional<double> first = firstTimestamp ? firstTimestamp : firstDate;
  if (!first || !std::isfinite(start)) return std::string(input);
  const double offset = start - *first;
  std::string out;
  out.reserve(input.size() + 16);
  for (const Piece& piece : pieces) {
    std::size_t done = 0;
    for (const DateAt& date : piece.dates) {
      out.append(piece.text.substr(done, date.start - done));
      const double moved = date.value + offset;
      out += std::isfinite(moved) ? seconds(moved) : seconds(date.value);
      done = date.end;
    }
    out.append(piece.text.substr(done));
  }
  return out;
}

}  // namespace host
