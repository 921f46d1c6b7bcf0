#include "platform/host/input/timeline_dates.hpp"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

TEST(TimelineDates, MoveEveryDateSoThatTheFirstTimestampIsTheStart) {
  const Case cases[] = {
      {"timeline: intervals kept, other numbers and lines untouched",
       "{\"aps\":{\"timestamp\":100,\"event\":\"start\",\"content-state\":{\"progress\":100}}}\n"
       "{\"attributes-type\":\"T\",\"attributes\":{},\"content-state\":{\"timestamp\":5}}\n"
       "{\"aps\":{\"timestamp\":130, \"stale-date\" :\t160,\"event\":\"update\"}}\n"
       "{\"aps\":{\"dismissal-date\":400,\"event\":\"end\",\"timestamp\":200}}\n",
       "{\"aps\":{\"timestamp\":1000,\"event\":\"start\",\"content-state\":{\"progress\":100}}}\n"
       "{\"attributes-type\":\"T\",\"attributes\":{},\"content-state\":{\"timestamp\":5}}\n"
       "{\"aps\":{\"timestamp\":1030, \"stale-date\" :\t1060,\"event\":\"update\"}}\n"
       "{\"aps\":{\"dismissal-date\":1300,\"event\":\"end\",\"timestamp\":1100}}\n"},
      {"the first timestamp rules even after an earlier stale date",
       "{\"aps\":{\"stale-date\":50}}\n{\"aps\":{\"timestamp\":100}}",
       "{\"aps\":{\"stale-date\":950}}\n{\"aps\":{\"timestamp\":1000}}"},
      {"no timestamp: the first date", "{\"aps\":{\"stale-date\":10,\"dismissal-date\":20}}",
       "{\"aps\":{\"stale-date\":1000,\"dismissal-date\":1010}}"},
      {"one document over several lines",
       "{\n  \"aps\": {\n    \"timestamp\": 1.5e2,\n    \"stale-date\": 250.5\n  }\n}\n",
       "{\n  \"aps\": {\n    \"timestamp\": 1000,\n    \"stale-date\": 1100.5\n  }\n}\n"},
      {"no dates", "{\"aps\":{\"event\":\"update\"}}\n{\"x\":1}",
       "{\"aps\":{\"event\":\"update\"}}\n{\"x\":1}"},
      {"a line that does not read is kept",
       "{\"aps\":{\"timestamp\":100}}\n{\"aps\":{\"timestamp\":\n{\"aps\":{\"timestamp\":110}}",
       "{\"aps\":{\"timestamp\":1000}}\n{\"aps\":{\"timestamp\":\n{\"aps\":{\"timestamp\":1010}}"},
      {"a date that is not a number, or named twice, is kept",
       "{\"aps\":{\"timestamp\":\"100\",\"stale-date\":1,\"stale-date\":2}}\n"
       "{\"aps\":{\"timestamp\":100}}",
       "{\"aps\":{\"timestamp\":\"100\",\"stale-date\":1,\"stale-date\":2}}\n"
       "{\"aps\":{\"timestamp\":1000}}"},
      {"dates outside aps are not the payload's", "{\"timestamp\":100,\"aps\":{}}",
       "{\"timestamp\":100,\"aps\":{}}"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(host::datesMovedTo(c.input, 1000), c.expected) << c.name;
  }
}

}  // namespace
