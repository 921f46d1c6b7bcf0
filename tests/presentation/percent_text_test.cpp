#include "tolvex/presentation/percent_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(PercentText, ClampsAndRoundsHalvesAwayFromZero) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, const char*> cases[] = {
      {-0.5, "0%"},    {-0.0, "0%"},    {0.0, "0%"},     {0.004, "0%"},   {0.005, "1%"},
      {0.125, "13%"},  {0.42, "42%"},   {0.625, "63%"},  {0.994, "99%"},  {0.995, "100%"},
      {1.0, "100%"},   {1.7, "100%"},   {inf, "100%"},   {-inf, "0%"},    {std::nan(""), "100%"},
      {5e-324, "0%"},  {0.9999999999999999, "100%"}, {1e300, "100%"},
  };
  for (const auto& [progress, text] : cases) EXPECT_EQ(tolvex::percentText(progress), text) << progress;
}

}  // namespace
