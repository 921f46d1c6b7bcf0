#include "tolvex/presentation/status_classification.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace {

using tolvex::SignLiveActivityAttributes;

struct Case {
  std::optional<std::string> code;
  std::string text;
  ui::Color color;
  std::string badge;
};

TEST(StatusClassification, CodeFirstThenTextKeywords) {
  const Case cases[] = {
      {"SUCCESS", "Failed", ui::Color::green, "OK"},
      {"Error", "Done", ui::Color::red, "ERR"},
      {"Failure", "Signing", ui::Color::red, "ERR"},
      {"FAILED", "Preparing", ui::Color::red, "ERR"},
      {"fail", "Signing", ui::Color::blue, "..."},
      {" success", "Uploading", ui::Color::blue, "..."},
      {"", "Done", ui::Color::green, "OK"},
      {std::nullopt, "Signing done", ui::Color::green, "OK"},
      {std::nullopt, "Unsuccessful", ui::Color::green, "OK"},
      {std::nullopt, "Succeeded", ui::Color::blue, "..."},
      {std::nullopt, "Download FAILED", ui::Color::red, "ERR"},
      {std::nullopt, "Error-free", ui::Color::red, "ERR"},
      {std::nullopt, "Failed, but done", ui::Color::green, "OK"},
      {std::nullopt, "", ui::Color::blue, "..."},
      {std::nullopt, "Preparing", ui::Color::blue, "..."},
      {"done", "Signing", ui::Color::blue, "..."},
      {"SUCC\u0130SS", "", ui::Color::blue, "..."},  // İ lowercases to i + U+0307
      {"\u212a", "Done\u0301", ui::Color::blue, "..."},  // accented e: no "done" in the text
      {std::nullopt, "ERROR\u0301", ui::Color::blue, "..."},
  };
  for (const Case& c : cases) {
    SignLiveActivityAttributes::ContentState state;
    state.statusText = c.text;
    if (c.code) state.statusCode = tolvex::String(*c.code);
    const std::string label = c.code.value_or("(absent)") + " / " + c.text;
    EXPECT_EQ(tolvex::statusColor(state), c.color) << label;
    EXPECT_EQ(tolvex::statusBadge(state), c.badge) << label;
  }
}

}  // namespace
