// What the page reads beyond the history's rows: each activity's tally, and previews that infer a
// bare record's type, start it, and leave out the drawings the page holds.
#include "platform/host/serve/page/history_json.hpp"
#include "platform/host/serve/page/page_preview.hpp"
#include "serve_support.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using host::serve::Delivery;
using host::serve::HistoryEntry;
using host::serve::PagePreview;
using host::serve::PreviewOptions;
using host::serve::PushStore;
using host::serve::Verdict;
using nlohmann::json;
using serve_test::registry;
using serve_test::ScratchFolder;

Delivery to(std::string activityId, Verdict verdict) {
  Delivery delivery;
  delivery.activityId = std::move(activityId);
  delivery.verdict = verdict;
  return delivery;
}

HistoryEntry pushTo(std::vector<Delivery> deliveries, std::int64_t timeMs, std::string apnsId) {
  HistoryEntry push;
  push.apnsId = std::move(apnsId);
  push.timeMs = timeMs;
  push.status = 200;
  if (!deliveries.empty()) {
    push.activityId = deliveries.front().activityId;
    push.verdict = deliveries.front().verdict;
  }
  push.deliveries = std::move(deliveries);
  return push;
}

// A broadcast counts for each activity it reached, with that activity's own verdict; the last is
// the newest push, whatever its verdict.
TEST(PageTally, CountsEachVerdictOfThePushesThatReachedAnActivity) {
  const ScratchFolder scratch("serve-tally");
  auto store = PushStore::open(scratch.path);
  store->addPush(pushTo({to("a", Verdict::applied)}, 1000, "p1"));
  store->addPush(pushTo({to("a", Verdict::dropped)}, 2000, "p2"));
  store->addPush(pushTo({to("b", Verdict::applied), to("a", Verdict::ignored)}, 3000, "p3"));
  store->addPush(pushTo({to("b", Verdict::dropped)}, 4000, "p4"));
  store->addPush(pushTo({}, 5000, "refused"));
  store->commit();

  const json a = json::parse(tallyJson(store->tally("a")));
  EXPECT_EQ(a["pushes"], 3);
  EXPECT_EQ(a["verdicts"], json::parse(R"({"applied":1,"dropped":1,"ignored":1})"));
  EXPECT_EQ(a["last"]["apnsId"], "p3");
  EXPECT_EQ(a["last"]["verdict"], "ignored");
  EXPECT_EQ(a["last"]["time"], "1970-01-01T00:00:03.000Z");

  const json b = json::parse(tallyJson(store->tally("b")));
  EXPECT_EQ(b["verdicts"], json::parse(R"({"applied":1,"dropped":1})"));
  EXPECT_EQ(b["last"]["apnsId"], "p4");

  const json none = json::parse(tallyJson(store->tally("c")));
  EXPECT_EQ(none["pushes"], 0);
  EXPECT_TRUE(none["last"].is_null());
}

constexpr const char* signState =
    R"({"progress":0.5,"statusText":"Signing","appName":"Demo","detailText":"Applying"})";
constexpr const char* downloadState =
    R"({"progress":0.1,"statusText":"Downloading","fileName":"demo.zip","transferredText":"4.8 MB",)"
    R"("totalText":"48.0 MB","etaText":"2 min"})";

TEST(PagePreview, ReadsARecordOnItsOwnAsTheOneTypeThatReadsIt) {
  PagePreview preview(registry());
  struct Case {
    const char* input;
    const char* type;  // given
    bool accepted;
    const char* inferred;  // null: none said
    const char* says;      // in the error, when refused
  };
  const Case cases[] = {
      {signState, "", true, "SignLiveActivityAttributes.ContentState", nullptr},
      {downloadState, "", true, "DownloadLiveActivityAttributes.ContentState", nullptr},
      {signState, "SignLiveActivityAttributes.ContentState", true, nullptr, nullptr},
      {R"({"nothing":1})", "", false, nullptr,
       "no type reads it: choose its type in the Type menu"},
      {R"({"progress": })", "", false, nullptr, "invalid JSON"},
  };
  for (const Case& c : cases) {
    const json answer = json::parse(preview.json(c.input, c.type, PreviewOptions{}));
    EXPECT_EQ(answer["accepted"], c.accepted) << c.input;
    if (c.inferred) {
      EXPECT_EQ(answer["type"], c.inferred) << c.input;
    } else {
      EXPECT_TRUE(answer["type"].is_null()) << c.input;
    }
    if (c.says) {
      const std::string description = answer["error"]["description"];
      EXPECT_NE(description.find(c.says), std::string::npos) << description;
      EXPECT_EQ(description.find("--type"), std::string::npos) << description;
    }
  }
}

TEST(PagePreview, StartsAContentStateWithItsTypesDefaultAttributes) {
  PagePreview preview(registry());
  const auto document = preview.startDocument(signState, "");
  ASSERT_TRUE(document);
  const json started = json::parse(*document);
  EXPECT_EQ(started["attributes-type"], "SignLiveActivityAttributes");
  EXPECT_TRUE(started["attributes"].is_object());
  EXPECT_EQ(started["content-state"]["appName"], "Demo");
  // A document or a push names its own attributes; a text that reads as nothing starts nothing.
  EXPECT_FALSE(preview.startDocument(
      R"({"attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":"t"},)"
      R"("content-state":{"progress":0.5,"statusText":"S","appName":"A"}})",
      ""));
  EXPECT_FALSE(preview.startDocument(R"({"nothing":1})", ""));
}

TEST(PagePreview, SendsOnlyTheDrawingsThePageLacks) {
  PagePreview preview(registry());
  const std::string type = "DownloadLiveActivityAttributes.ContentState";
  const json whole = json::parse(preview.json(downloadState, type, PreviewOptions{}));
  ASSERT_EQ(whole["presentations"].size(), 5u);
  PreviewOptions holding;
  for (const json& p : whole["presentations"]) {
    EXPECT_TRUE(p["light"].is_string());
    EXPECT_EQ(p["lightKey"].get<std::string>().size(), 16u);
    EXPECT_NE(p["lightKey"], p["darkKey"]);
  }
  holding.known = {whole["presentations"][0]["lightKey"], whole["presentations"][4]["darkKey"]};
  const json again = json::parse(preview.json(downloadState, type, holding));
  for (std::size_t i = 0; i < 5; ++i) {
    const json& p = again["presentations"][i];
    EXPECT_EQ(p["lightKey"], whole["presentations"][i]["lightKey"]);
    EXPECT_EQ(p["light"].is_null(), i == 0) << i;
    EXPECT_EQ(p["dark"].is_null(), i == 4) << i;
  }
}

TEST(PagePreview, DrawsTheSurfacesAndTextSizeAskedFor) {
  PagePreview preview(registry());
  const std::string type = "SignLiveActivityAttributes.ContentState";
  PreviewOptions options;
  options.presentations = {host::Presentation::standBy, host::Presentation::smartStack};
  const json surfaces = json::parse(preview.json(signState, type, options));
  ASSERT_EQ(surfaces["presentations"].size(), 2u);
  EXPECT_EQ(surfaces["presentations"][0]["presentation"], "standby");
  // The Smart Stack is a watch's: drawn on the watch the surface defaults to.
  EXPECT_EQ(surfaces["presentations"][1]["device"].get<std::string>().rfind("watch-", 0), 0u);

  // A phone without the Dynamic Island shows the Lock Screen alone.
  PreviewOptions mini;
  mini.device = host::findDeviceProfile("iphone-13-mini");
  const json notch = json::parse(preview.json(signState, type, mini));
  ASSERT_EQ(notch["presentations"].size(), 1u);
  EXPECT_EQ(notch["presentations"][0]["presentation"], "lockscreen");

  PreviewOptions larger;
  larger.textSize = ui::DynamicTypeSize::accessibility3;
  const json large = json::parse(preview.json(signState, type, larger));
  const json normal = json::parse(preview.json(signState, type, PreviewOptions{}));
  EXPECT_NE(large["presentations"][0]["lightKey"], normal["presentations"][0]["lightKey"]);
  // The island keeps the default text size.
  EXPECT_EQ(large["presentations"][4]["lightKey"], normal["presentations"][4]["lightKey"]);
}

}  // namespace
