// Every presentation of every content state under tests/golden/<activity>/, dumped and compared
// with the reviewed dump beside it. A mismatch writes <case>.actual.txt next to the golden.
#include "platform/coding/json_decoder.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <gtest/gtest.h>

#include "support/golden.hpp"

#include <filesystem>

namespace {

namespace fs = std::filesystem;

template <class Attributes>
std::string dumpAll(
    const std::string& json,
    ui::View (*lockScreen)(const widgets::ActivityViewContext<Attributes>&),
    widgets::DynamicIsland (*island)(const widgets::ActivityViewContext<Attributes>&)) {
  coding::JSONDecoder decoder;
  auto state = decoder.decode<typename Attributes::ContentState>(json);
  if (!state) return "error: " + state.error().description() + "\n";
  const widgets::ActivityViewContext<Attributes> context{std::move(state).value(), {}};
  return ui::dump(lockScreen(context)) + widgets::dump(island(context));
}

std::string present(const fs::path& input) {
  const std::string json = golden::readFile(input);
  if (input.parent_path().filename() == "sign") {
    return dumpAll<tolvex::SignLiveActivityAttributes>(json, tolvex::SignLockScreenView,
                                                       tolvex::SignDynamicIsland);
  }
  return dumpAll<tolvex::DownloadLiveActivityAttributes>(json, tolvex::DownloadLockScreenView,
                                                         tolvex::DownloadDynamicIsland);
}

class Golden : public testing::TestWithParam<fs::path> {};

TEST_P(Golden, PresentationsMatchTheReviewedDump) {
  fs::path expected = GetParam();
  expected.replace_extension(".txt");
  golden::expectMatches(expected, present(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Views, Golden, testing::ValuesIn(golden::stateInputs(TOLVEX_GOLDEN_DIR)),
                         golden::caseName);

}  // namespace
