#include "tolvex/presentation/status_classification.hpp"

#include <array>

namespace tolvex {
namespace {

enum class Outcome { success, failure, pending };

Outcome classify(const SignLiveActivityAttributes::ContentState& state) {
  if (state.statusCode) {
    const String code = state.statusCode->lowercased();
    if (code == "success") return Outcome::success;
    if (code == "failed" || code == "failure" || code == "error") return Outcome::failure;
  }
  const String text = state.statusText.lowercased();
  static constexpr std::array<std::pair<std::string_view, Outcome>, 4> keywords{{
      {"done", Outcome::success},
      {"success", Outcome::success},
      {"fail", Outcome::failure},
      {"error", Outcome::failure},
  }};
  for (const auto& [keyword, outcome] : keywords) {
    if (text.contains(keyword)) return outcome;
  }
  return Outcome::pending;
}

}  // namespace

ui::Color statusColor(const SignLiveActivityAttributes::ContentState& state) {
  switch (classify(state)) {
    case Outcome::success:
      return ui::Color::green;
    case Outcome::failure:
      return ui::Color::red;
    case Outcome::pending:
      break;
  }
  return ui::Color::blue;
}

std::string_view statusBadge(const SignLiveActivityAttributes::ContentState& state) {
  switch (classify(state)) {
    case Outcome::success:
      return "OK";
    case Outcome::failure:
      return "ERR";
    case Outcome::pending:
      break;
  }
  return "...";
}

}  // namespace tolvex
