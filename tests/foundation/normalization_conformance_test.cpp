// Checks canonical equality and string hashing against Unicode's own NormalizationTest.txt.
#include "platform/foundation/hasher.hpp"
#include "platform/foundation/string.hpp"

#include <bzlib.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kPath = "/usr/share/unicode/NormalizationTest.txt.bz2";

std::string readBzip2(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return {};
  int error = BZ_OK;
  BZFILE* bz = BZ2_bzReadOpen(&error, file, 0, 0, nullptr, 0);
  std::string text;
  char buffer[1 << 16];
  while (error == BZ_OK) {
    const int n = BZ2_bzRead(&error, bz, buffer, sizeof buffer);
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  }
  BZ2_bzReadClose(&error, bz);
  std::fclose(file);
  return text;
}

// Columns: source; NFC; NFD; NFKC; NFKD.
using Line = std::array<std::string, 5>;

std::vector<Line> parse(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream stream(text);
  std::string row;
  while (std::getline(stream, row)) {
    if (row.empty() || row[0] == '#' || row[0] == '@') continue;
    Line line;
    std::istringstream fields(row);
    for (auto& column : line) {
      std::string field;
      std::getline(fields, field, ';');
      std::istringstream codes(field);
      std::string code;
      while (codes >> code) {
        foundation::appendUtf8(column, static_cast<char32_t>(std::stoul(code, nullptr, 16)));
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::size_t hashOf(const std::string& s) {
  foundation::Hasher hasher(7);
  hasher.combine(std::string_view(s));
  return hasher.finalize();
}

TEST(NormalizationConformance, EquivalenceClassesCompareEqualAndHashAlike) {
  const std::string text = readBzip2(kPath);
  ASSERT_FALSE(text.empty()) << "cannot read " << kPath << " (Debian package unicode-data)";
  const std::vector<Line> lines = parse(text);
  ASSERT_GT(lines.size(), 15000u);

  std::size_t failures = 0;
  for (const Line& c : lines) {
    // c1 == c2 == c3 and c4 == c5 are canonical classes; c1 and c4 meet only when NFC agrees.
    const std::pair<int, int> equalPairs[] = {{0, 1}, {0, 2}, {1, 2}, {3, 4}};
    for (auto [i, j] : equalPairs) {
      if (!foundation::canonicallyEqual(c[i], c[j]) || hashOf(c[i]) != hashOf(c[j])) ++failures;
    }
    if (foundation::canonicallyEqual(c[0], c[3]) != (c[1] == c[3])) ++failures;
    if (foundation::nfc(c[2]) != c[1]) ++failures;
  }
  EXPECT_EQ(failures, 0u);
}

TEST(NormalizationConformance, AcrossLinesEqualExactlyWhenNfcColumnsAre) {
  const std::vector<Line> lines = parse(readBzip2(kPath));
  ASSERT_FALSE(lines.empty());
  std::size_t failures = 0;
  // Neighbours, and lines grouped by NFC column so that equal pairs are drawn too.
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const bool expected = lines[i][1] == lines[i + 1][1];
    if (foundation::canonicallyEqual(lines[i][0], lines[i + 1][2]) != expected) ++failures;
  }
  std::map<std::string, std::vector<std::size_t>> byNfc;
  for (std::size_t i = 0; i < lines.size(); ++i) byNfc[lines[i][1]].push_back(i);
  std::size_t equalPairs = 0;
  for (const auto& [nfc, group] : byNfc) {
    for (std::size_t k = 1; k < group.size(); ++k) {
      ++equalPairs;
      const Line& a = lines[group[0]];
      const Line& b = lines[group[k]];
      if (!foundation::canonicallyEqual(a[0], b[2]) || hashOf(a[0]) != hashOf(b[2])) ++failures;
    }
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_GT(equalPairs, 0u);
}

}  // namespace
