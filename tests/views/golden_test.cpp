// Every presentation of every content state under tests/golden/<activity>/, dumped and compared
// with the reviewed dump beside it. A mismatch writes <case>.actual.txt next to the golden.
#include "platform/coding/json_decoder.hpp"
#include "widget/download/download_dynamic_island.hpp"
#include "widget/download/download_lock_screen_view.hpp"
#include "widget/sign/sign_dynamic_island.hpp"
#include "widget/sign/sign_lock_screen_view.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

template <class Attributes>
std::string dumpAll(const std::string& json,
                    ui::View (*lockScreen)(const widgets::ActivityViewContext<Attributes>&),
                    widgets::DynamicIsland (*island)(const widgets::ActivityViewContext<Attributes>&)) {
  coding::JSONDecoder decoder;
  auto state = decoder.decode<typename Attributes::ContentState>(json);
  if (!state) return "error: " + state.error().description() + "\n";
  const widgets::ActivityViewContext<Attributes> context{std::move(state).value(), {}};
  return ui::dump(lockScreen(context)) + widgets::dump(island(context));
}

std::string present(const fs::path& input) {
  const std::string json = readFile(input);
  if (input.parent_path().filename() == "sign") {
    return dumpAll<tolvex::SignLiveActivityAttributes>(json, tolvex::SignLockScreenView,
                                                       tolvex::SignDynamicIsland);
  }
  return dumpAll<tolvex::DownloadLiveActivityAttributes>(json, tolvex::DownloadLockScreenView,
                                                         tolvex::DownloadDynamicIsland);
}

std::vector<fs::path> cases() {
  std::vector<fs::path> inputs;
  for (const char* area : {"sign", "download"}) {
    for (const auto& entry : fs::directory_iterator(fs::path(TOLVEX_GOLDEN_DIR) / area)) {
      if (entry.path().extension() == ".json") inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

class Golden : public testing::TestWithParam<fs::path> {};

TEST_P(Golden, PresentationsMatchTheReviewedDump) {
  const fs::path input = GetParam();
  fs::path golden = input;
  golden.replace_extension(".txt");
  fs::path actualPath = input;
  actualPath.replace_extension(".actual.txt");
  const std::string actual = present(input);
  const std::string expected = readFile(golden);
  if (actual != expected) {
    std::ofstream(actualPath, std::ios::binary) << actual;
    FAIL() << "dump differs from " << golden << "; wrote " << actualPath;
  }
  fs::remove(actualPath);
}

INSTANTIATE_TEST_SUITE_P(Views, Golden, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.parent_path().filename().string() + "_" +
                                              info.param.stem().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
