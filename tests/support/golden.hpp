#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// Golden files: the reviewed expectation beside its input. A mismatch writes <case>.actual.txt
// next to the golden, for reading against it; a match removes any stale one.
namespace golden {

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// `golden` is the path of the .txt file.
inline void expectMatches(const std::filesystem::path& golden, const std::string& actual) {
  std::filesystem::path actualPath = golden;
  actualPath.replace_extension(".actual.txt");
  if (actual != readFile(golden)) {
    std::ofstream(actualPath, std::ios::binary) << actual;
    ADD_FAILURE() << "differs from " << golden << "; wrote " << actualPath;
  } else {
    std::filesystem::remove(actualPath);
  }
}

// The content-state inputs of both activities under tests/golden, in a fixed order.
inline std::vector<std::filesystem::path> stateInputs(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> inputs;
  for (const char* area : {"sign", "download"}) {
    for (const auto& entry : std::filesystem::directory_iterator(root / area)) {
      if (entry.path().extension() == ".json") inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

// A test name for a state input: "<activity>_<stem>", with anything but letters and digits as '_'.
inline std::string caseName(const testing::TestParamInfo<std::filesystem::path>& info) {
  std::string name =
      info.param.parent_path().filename().string() + "_" + info.param.stem().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

}  // namespace golden
