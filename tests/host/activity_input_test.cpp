#include "platform/host/input/activity_input.hpp"
#include "platform/host/input/member_warnings.hpp"
#include "support/sample_icons.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

#include <gtest/gtest.h>

namespace {

using host::ActivityEvent;
using host::readActivityInput;

const host::ActivityRegistry& registry() {
  static const host::ActivityRegistry value(
      widgets::registeredActivities(tolvex::TolvexWidgetBundle{}, widgets::defaultSystemVersion),
      widgets::defaultSystemVersion);
  return value;
}

const std::string signState =
    R"({"progress":0.5,"statusText":"Signing","appName":"Demo","detailText":"d"})";
const std::string downloadState =
    R"({"progress":0.5,"statusText":"s","fileName":"f","transferredText":"1","totalText":"2","etaText":"3"})";

std::string start(const std::string& extra = R"(,"alert":{"title":"Signing"})") {
  return R"({"aps":{"event":"start","timestamp":1700000000,"attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":"t"},"content-state":)" +
         signState + extra + "}}";
}

struct Case {
  const char* name;
  std::string input;
  const char* type;
  std::string error;  // the failure's description; empty when accepted
};

TEST(ActivityInput, ReadsPushPayloadsOfEachEvent) {
  const Case cases[] = {
      {"start", start(), "", ""},
      {"update with --type",
       R"({"aps":{"event":"update","timestamp":1,"content-state":)" + signState + "}}",
       "SignLiveActivityAttributes", ""},
      {"update names its activity by content state type",
       R"({"aps":{"event":"update","content-state":)" + signState + "}}",
       "SignLiveActivityAttributes.ContentState", ""},
      {"end without a state", R"({"aps":{"event":"end","dismissal-date":5}})",
       "SignLiveActivityAttributes", ""},
      {"end with a final state", R"({"aps":{"event":"end","content-state":)" + signState + "}}",
       "SignLiveActivityAttributes", ""},
      {"alert as text", start(R"(,"alert":"Signing")"), "", ""},
      {"no aps", R"({"aps":null})", "", R"(valueNotFound: "aps": expected an object, found null)"},
      {"no event", R"({"aps":{"timestamp":1}})", "",
       R"(keyNotFound: "aps.event": no value for this key)"},
      {"unknown event", R"({"aps":{"event":"pause"}})", "",
       R"(dataCorrupted: "aps.event": expected start, update or end, found "pause")"},
      {"start without attributes-type",
       R"({"aps":{"event":"start","attributes":{"taskId":"t"},"content-state":)" + signState + "}}",
       "", R"(keyNotFound: "aps.attributes-type": no value for this key)"},
      {"start without attributes",
       R"({"aps":{"event":"start","attributes-type":"SignLiveActivityAttributes","content-state":)" +
           signState + "}}",
       "", R"(keyNotFound: "aps.attributes": no value for this key)"},
      {"start without content-state",
       R"({"aps":{"event":"start","attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":"t"}}})",
       "", R"(keyNotFound: "aps.content-state": no value for this key)"},
      {"start of an unknown activity",
       R"({"aps":{"event":"start","attributes-type":"Timer","attributes":{},"content-state":{}}})",
       "",
       R"(dataCorrupted: "aps.attributes-type": no activity type 'Timer' is registered; registered: DownloadLiveActivityAttributes, SignLiveActivityAttributes)"},
      {"start with bad attributes",
       R"({"aps":{"event":"start","attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":1},"content-state":)" +
           signState + "}}",
       "", R"(typeMismatch: "aps.attributes.taskId": expected a string, found a number)"},
      {"update without content-state", R"({"aps":{"event":"update"}})",
       "SignLiveActivityAttributes", R"(keyNotFound: "aps.content-state": no value for this key)"},
      {"update of no known activity",
       R"({"aps":{"event":"update","content-state":)" + signState + "}}", "",
       R"(dataCorrupted: "aps.event": an update needs its activity: give --type or start the activity earlier in the timeline)"},
      {"update with the other activity's state",
       R"({"aps":{"event":"update","content-state":)" + signState + "}}",
       "DownloadLiveActivityAttributes",
       R"(keyNotFound: "aps.content-state.fileName": no value for this key)"},
      {"timestamp as text", R"({"aps":{"event":"end","timestamp":"now"}})",
       "SignLiveActivityAttributes",
       R"(typeMismatch: "aps.timestamp": expected a number, found a string)"},
      {"relevance score as text", R"({"aps":{"event":"end","relevance-score":"high"}})",
       "SignLiveActivityAttributes",
       R"(typeMismatch: "aps.relevance-score": expected a number, found a string)"},
      {"stale date as text", R"({"aps":{"event":"end","stale-date":true}})",
       "SignLiveActivityAttributes",
       R"(typeMismatch: "aps.stale-date": expected a number, found a boolean)"},
      {"alert as a number", start(R"(,"alert":3)"), "",
       R"(typeMismatch: "aps.alert": expected a string or an object, found a number)"},
      {"start contradicting --type", start(), "DownloadLiveActivityAttributes",
       R"(dataCorrupted: "aps.attributes-type": the input is a SignLiveActivityAttributes activity, but --type says DownloadLiveActivityAttributes)"},
  };
  for (const Case& c : cases) {
    const auto input = readActivityInput(c.input, registry(), c.type);
    // A payload its caller has already read reads the same.
    coding::JsonDocument document;
    ASSERT_FALSE(document.read(c.input)) << c.name;
    const auto shared = readActivityInput(document, registry(), c.type);
    if (c.error.empty()) {
      EXPECT_FALSE(input.failure) << c.name << ": " << input.failure->description();
      ASSERT_EQ(input.events.size(), 1u) << c.name;
      EXPECT_EQ(input.events[0].form, ActivityEvent::Form::push);
      ASSERT_FALSE(shared.failure) << c.name << ": " << shared.failure->description();
      ASSERT_EQ(shared.events.size(), 1u) << c.name;
      EXPECT_EQ(shared.events[0].encoded, input.events[0].encoded) << c.name;
      EXPECT_EQ(shared.events[0].encodedContentState, input.events[0].encodedContentState);
    } else {
      ASSERT_TRUE(input.failure) << c.name;
      EXPECT_EQ(input.failure->description(), c.error) << c.name;
      ASSERT_TRUE(shared.failure) << c.name;
      EXPECT_EQ(shared.failure->description(), c.error) << c.name;
    }
  }
}

TEST(ActivityInput, ReadsDocumentsAndBareRecords) {
  const std::string document =
      R"({"attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"x"},"content-state":)" +
      downloadState + "}";
  const auto read = readActivityInput(document, registry(), "");
  ASSERT_FALSE(read.failure);
  EXPECT_EQ(read.events[0].encoded, document);
  EXPECT_EQ(read.events[0].encodedAttributes, R"({"taskId":"x"})");
  EXPECT_EQ(read.events[0].encodedContentState, downloadState);
  EXPECT_EQ(read.events[0].type->name, "DownloadLiveActivityAttributes");

  const Case failures[] = {
      {"document without content-state",
       R"({"attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"x"}})", "",
       R"(keyNotFound: "content-state": no value for this key)"},
      {"document with a bad state",
       R"({"attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":"x"},"content-state":{"progress":1}})",
       "", R"(keyNotFound: "content-state.statusText": no value for this key)"},
      {"bare record without --type", signState, "", ""},
  };
  for (const Case& c : failures) {
    const auto input = readActivityInput(c.input, registry(), c.type);
    ASSERT_TRUE(input.failure) << c.name;
    if (!c.error.empty()) {
      EXPECT_EQ(input.failure->description(), c.error) << c.name;
    }
  }
  EXPECT_EQ(readActivityInput(signState, registry(), "").failure->kind,
            host::InputFailure::Kind::usage);
}

TEST(ActivityInput, NamesTheLineOfATimelineThatFails) {
  const std::string timeline = start() + "\n\n" + R"({"aps":{"event":"update","content-state":)" +
                               signState + "}}\n" +
                               R"({"aps":{"event":"update","content-state":{"progress":"half"}}})" +
                               "\n" + R"({"aps":{"event":"end"}})" + "\n";
  const auto input = readActivityInput(timeline, registry(), "");
  EXPECT_TRUE(input.timeline);
  ASSERT_TRUE(input.failure);
  EXPECT_EQ(
      input.failure->description(),
      R"(line 4: typeMismatch: "aps.content-state.progress": expected a number, found a string)");
  EXPECT_EQ(input.events.size(), 2u);
}

// The page marks a refused input where the fault lies: the place counts in the whole input, a
// timeline's lines included.
TEST(ActivityInput, PlacesAFailureInTheWholeInput) {
  struct Placed {
    const char* name;
    std::string input;
    const char* type;
    std::string marked;  // empty when the failure has no place
    std::size_t line;
    std::size_t column;
  };
  const std::string update = R"({"aps":{"event":"update","content-state":)" + signState + "}}";
  const Placed cases[] = {
      {"a member of the wrong type", R"({"aps":{"event":"end", "timestamp":"now"}})",
       "SignLiveActivityAttributes", R"("timestamp":"now")", 1, 24},
      {"a key not found: the object without it", R"({"aps":{"timestamp":1}})", "",
       R"("aps":{"timestamp":1})", 1, 2},
      {"a syntax fault on a later line", "{\n  \"aps\": }", "", "}", 2, 10},
      {"a timeline's line",
       start() + "\n\n" + update + "\n" +
           R"({"aps":{"event":"update","content-state":{"progress":"half"}}})",
       "", R"("progress":"half")", 4, 43},
      {"a syntax fault in a timeline", start() + "\n" + update + "\n" + R"({"aps":tru})", "", "tru",
       3, 8},
      {"usage", signState, "", "", 0, 0},
  };
  for (const Placed& c : cases) {
    const auto input = readActivityInput(c.input, registry(), c.type);
    ASSERT_TRUE(input.failure) << c.name;
    const auto& place = input.failure->place;
    if (c.marked.empty()) {
      EXPECT_FALSE(place) << c.name;
      continue;
    }
    ASSERT_TRUE(place) << c.name << ": " << input.failure->description();
    EXPECT_EQ(c.input.substr(place->start, place->end - place->start), c.marked) << c.name;
    EXPECT_EQ(place->line, c.line) << c.name;
    EXPECT_EQ(place->column, c.column) << c.name;
  }
}

std::vector<std::string> warningsOf(const std::string& input, const char* type = "") {
  const auto read = readActivityInput(input, registry(), type);
  EXPECT_FALSE(read.failure) << read.failure->description();
  std::vector<std::string> texts;
  for (const auto& warning : read.warnings) texts.push_back(warning.description());
  return texts;
}

TEST(ActivityInput, WarnsACarefulSender) {
  EXPECT_TRUE(warningsOf(start()).empty());
  EXPECT_EQ(warningsOf(start("")),
            std::vector<std::string>{"\"aps.alert\": a start without an alert: the platform "
                                     "needs one to start an activity by push"});
  EXPECT_EQ(warningsOf(start(R"(,"alert":"a","stale-date":1700000000)")),
            std::vector<std::string>{"\"aps.stale-date\": the stale date is not after the "
                                     "timestamp, so the activity is stale as soon as it arrives"});
  // Dates in milliseconds, or far ahead of the clock, leave an activity stale or shown for ever.
  EXPECT_EQ(
      warningsOf(start(R"(,"alert":"a","stale-date":10000000000,"dismissal-date":1700000000000)")),
      (std::vector<std::string>{
          "\"aps.stale-date\": 10000000000 lies more than a day ahead of the clock",
          "\"aps.dismissal-date\": 1700000000000 reads as milliseconds since 1970; the "
          "platform expects seconds"}));

  // The same state twice: the second is no change, and is not rebuilt.
  const std::string update = R"({"aps":{"event":"update","content-state":)" + signState + "}}";
  const auto repeated = readActivityInput(start() + "\n" + update + "\n" + update, registry(), "");
  ASSERT_FALSE(repeated.failure);
  ASSERT_EQ(repeated.events.size(), 3u);
  EXPECT_FALSE(repeated.events[1].rebuild);
  EXPECT_FALSE(repeated.events[2].rebuild);
  ASSERT_EQ(repeated.warnings.size(), 2u);
  EXPECT_EQ(repeated.warnings[0].description(),
            "line 2: \"aps.content-state\": the content state equals the previous one; the "
            "platform treats it as no change and nothing is rebuilt");

  // Over the platform's size for one activity: the icon costs the most.
  const std::string big =
      R"({"attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":"t"},"content-state":{"progress":0.5,"statusText":"s","appName":"a","detailText":"d","appIconBase64":")" +
      std::string(4100, 'A') + R"("}})";
  const auto warnings = warningsOf(big);
  // And its bytes are no image.
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[1].rfind("\"content-state.appIconBase64\": its 3075 bytes are no image", 0),
            0u)
      << warnings[1];
  EXPECT_EQ(warnings[0].rfind("\"content-state.appIconBase64\": the attributes and content state "
                              "take 4197 bytes encoded, more than the 4096",
                              0),
            0u)
      << warnings[0];
}

// A Sign content state with `extra` members after the required ones.
std::string signStateWith(const std::string& extra, const std::string& progress = "0.5") {
  return R"({"progress":)" + progress +
         R"(,"statusText":"Signing","appName":"Demo","detailText":"d")" + extra + "}";
}

TEST(ActivityInput, WarnsAboutMembersThatDecodeButMislead) {
  constexpr const char* state = "SignLiveActivityAttributes.ContentState";
  constexpr const char* sign = "SignLiveActivityAttributes";
  const std::string slip =
      ": no member of the record is named so, and it is ignored; did you mean ";
  const std::string fallback =
      "? That optional member is then absent, and the views show their "
      "fallback for it";
  const std::string noImage = ": the views show no image from it, and their fallback";
  const std::string icon = samples::squareIcon;
  struct Case {
    const char* name;
    std::string input;
    const char* type;
    std::vector<std::string> warnings;
  };
  const std::vector<Case> cases = {
      // Fractions: the bar takes 0 to 1.
      {"a percent",
       signStateWith("", "50"),
       state,
       {"\"progress\": 50 reads as a percent, but the views take a fraction from 0 to 1: the bar "
        "is drawn full (50% is 0.5)"}},
      {"just over 1 overshoots",
       signStateWith("", "1.5"),
       state,
       {"\"progress\": 1.5 lies outside 0 to 1: the bar is drawn clamped, full"}},
      {"2 reads as a percent",
       signStateWith("", "2"),
       state,
       {"\"progress\": 2 reads as a percent, but the views take a fraction from 0 to 1: the bar "
        "is drawn full (2% is 0.02)"}},
      {"100 too",
       signStateWith("", "100"),
       state,
       {"\"progress\": 100 reads as a percent, but the views take a fraction from 0 to 1: the "
        "bar is drawn full (100% is 1)"}},
      {"below 0",
       signStateWith("", "-0.25"),
       state,
       {"\"progress\": -0.25 lies outside 0 to 1: the bar is drawn clamped, empty"}},
      {"far above",
       R"({"aps":{"event":"update","content-state":)" + signStateWith("", "250") + "}}",
       sign,
       {"\"aps.content-state.progress\": 250 lies outside 0 to 1: the bar is drawn clamped, full"}},
      {"0 and 1 are the ends", signStateWith("", "1"), state, {}},
      {"nothing done", signStateWith("", "0"), state, {}},
      {"minus zero", signStateWith("", "-0"), state, {}},

      // Slips for an optional member that is then absent.
      {"snake case",
       signStateWith(R"(,"status_code":"success")"),
       state,
       {"\"status_code\"" + slip + "\"statusCode\"" + fallback}},
      {"lower case",
       signStateWith(R"(,"statuscode":"success")"),
       state,
       {"\"statuscode\"" + slip + "\"statusCode\"" + fallback}},
      {"kebab case in a payload",
       R"({"aps":{"event":"update","content-state":)" + signStateWith(R"(,"Status-Code":"x")") +
           "}}",
       sign,
       {"\"aps.content-state.Status-Code\"" + slip + "\"statusCode\"" + fallback}},
      {"a prefix",
       signStateWith(R"(,"appIcon":")" + icon + "\""),
       state,
       {"\"appIcon\"" + slip + "\"appIconBase64\"" + fallback}},
      {"letters swapped",
       signStateWith(R"(,"statusCdoe":"x")"),
       state,
       {"\"statusCdoe\"" + slip + "\"statusCode\"" + fallback}},
      {"two letters off in a long name",
       signStateWith(R"(,"appIconBase46":"x")"),
       state,
       {"\"appIconBase46\"" + slip + "\"appIconBase64\"" + fallback}},
      {"in a document",
       R"({"attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"x"},"content-state":{"progress":0.5,"statusText":"s","fileName":"f","transferredText":"1","totalText":"2","etaText":"3","app_icon_base64":"x"}})",
       "",
       {"\"content-state.app_icon_base64\"" + slip + "\"appIconBase64\"" + fallback}},
      {"held as null is absent too",
       signStateWith(R"(,"statusCode":null,"status_code":"x")"),
       state,
       {"\"status_code\"" + slip + "\"statusCode\"" + fallback}},
      {"a slip repeated is said once",
       signStateWith(R"(,"status_code":"x","statuscode":"y","status_code":"z")"),
       state,
       {"\"status_code\"" + slip + "\"statusCode\"" + fallback}},
      // Near misses: the member is there, or known, or the name is far from any optional one.
      {"the member is there as well",
       signStateWith(R"(,"statusCode":"ok","status_code":"x")"),
       state,
       {}},
      {"a known member", signStateWith(R"(,"statusCode":"success")"), state, {}},
      {"a far name",
       signStateWith(R"(,"color":"red","icon":"x","app":"y","status_text":"z")"),
       state,
       {}},
      {"a required member's look-alike", signStateWith(R"(,"app_name":"x")"), state, {}},
      {"no such optional member in this record",
       R"({"progress":0.5,"statusText":"s","fileName":"f","transferredText":"1","totalText":"2","etaText":"3","statusCode":"x"})",
       "DownloadLiveActivityAttributes.ContentState",
       {}},
      {"a very long name", signStateWith(",\"" + std::string(200, 's') + "\":1"), state, {}},

      // Icons the views cannot show.
      {"an icon that decodes", signStateWith(R"(,"appIconBase64":")" + icon + "\""), state, {}},
      {"not base64",
       signStateWith(R"(,"appIconBase64":"not*base64")"),
       state,
       {"\"appIconBase64\": not base64 (standard alphabet, padded to a multiple of four)" +
        noImage}},
      {"wrapped base64",
       signStateWith(R"(,"appIconBase64":"iVBORw0K\nGgo=")"),
       state,
       {"\"appIconBase64\": not base64 as the views read it: it holds spaces or line breaks" +
        noImage}},
      {"a data URL",
       signStateWith(R"(,"appIconBase64":"data:image/png;base64,)" + icon + "\""),
       state,
       {"\"appIconBase64\": a data: URL; the views decode bare base64, without the "
        "\"data:...;base64,\" prefix" +
        noImage}},
      {"no image",
       signStateWith(R"(,"appIconBase64":"AAAA")"),
       state,
       {"\"appIconBase64\": its 3 bytes are no image the views can show (PNG, JPEG, GIF or WebP "
        "within their size limits)" +
        noImage}},
      {"empty",
       signStateWith(R"(,"appIconBase64":"")"),
       state,
       {"\"appIconBase64\": an empty text" + noImage}},
      {"null is no icon, as meant", signStateWith(R"(,"appIconBase64":null)"), state, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(warningsOf(c.input, c.type), c.warnings) << c.name;
  }
}

TEST(ActivityInput, TellsASlipFromAnotherName) {
  const std::pair<const char*, const char*> near[] = {
      {"status_code", "statusCode"},
      {"StatusCode", "statusCode"},
      {"status.code", "statusCode"},
      {"status code", "statusCode"},
      {"statusCodes", "statusCode"},
      {"statusCdoe", "statusCode"},
      {"status", "statusCode"},
      {"appIcon", "appIconBase64"},
      {"appIconBase64Png", "appIconBase64"},
      {"APP_ICON_BASE_64", "appIconBase64"},
      {"appIconBse64", "appIconBase64"},
      {"tsakId", "taskId"},
  };
  for (const auto& [name, known] : near) EXPECT_TRUE(host::isNearName(name, known)) << name;
  const std::pair<std::string, const char*> far[] = {
      {"statusText", "statusCode"},
      {"stat", "statusCode"},
      {"app", "appIconBase64"},
      {"icon", "appIconBase64"},
      {"appName", "appIconBase64"},
      {"appIconURL", "appIconBase64"},
      {"", "statusCode"},
      {"__", "statusCode"},
      {"id", "ix"},
      {std::string(65, 'a'), "statusCode"},
      {"statusCode" + std::string(60, '_'), "statusCode"},
  };
  for (const auto& [name, known] : far) EXPECT_FALSE(host::isNearName(name, known)) << name;
}

TEST(ActivityInput, WarnsAboutAPayloadOverTheServicesLimit) {
  const std::string payload = start();
  // Whitespace counts: the service measures the body as sent.
  const std::string full = payload + std::string(4096 - payload.size(), ' ');
  EXPECT_TRUE(warningsOf(full).empty());
  EXPECT_EQ(warningsOf(full + " "),
            std::vector<std::string>{"the payload takes 4097 bytes, more than the 4096 the push "
                                     "service takes for a Live Activity push: it answers 413 "
                                     "PayloadTooLarge and no phone gets it"});
  // Only a push payload goes to the service: a document of that size is no payload.
  const std::string document =
      R"({"attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":"t"},"content-state":)" +
      signState + "}";
  EXPECT_TRUE(warningsOf(document + std::string(5000, ' ')).empty());
  // In a timeline, each line is a payload of its own.
  const auto timeline = readActivityInput(start() + "\n" + full + " \n" + start(), registry(), "");
  ASSERT_EQ(timeline.warnings.size(), 1u);
  EXPECT_EQ(timeline.warnings[0].line, 2u);
}

TEST(ActivityInput, WarnsAboutATimestampOlderThanTheActivitysNewest) {
  const auto update = [](int timestamp) {
    return R"({"aps":{"event":"update","timestamp":)" + std::to_string(timestamp) +
           R"(,"content-state":)" + signStateWith("", std::to_string(timestamp % 1000) + "e-3") +
           "}}";
  };
  const std::string end = R"({"aps":{"event":"end","timestamp":1700000300}})";
  // start at 1700000000, then 1700000100, then an older one, then one between the two.
  const auto read = readActivityInput(
      start() + "\n" + update(1700000100) + "\n" + update(1700000050) + "\n" + update(1700000150) +
          "\n" + update(1700000120) + "\n" + end + "\n" + start() + "\n" + update(1700000001),
      registry(), "");
  ASSERT_FALSE(read.failure) << read.failure->description();
  std::vector<std::string> texts;
  for (const auto& warning : read.warnings) texts.push_back(warning.description());
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "line 3: \"aps.timestamp\": 1700000050 is older than 1700000100, the newest "
                       "the activity has taken: the phone ignores this push",
                       "line 5: \"aps.timestamp\": 1700000120 is older than 1700000150, the newest "
                       "the activity has taken: the phone ignores this push"}));
}

TEST(ActivityInput, RejectsEveryActivityBelowTheSystemThatRegistersThem) {
  const host::ActivityRegistry empty({}, {16, 0, 9});
  for (const auto& [input, type] : std::vector<std::pair<std::string, const char*>>{
           {signState, "SignLiveActivityAttributes.ContentState"},
           {start(), ""},
           {R"({"aps":{"event":"end"}})", "SignLiveActivityAttributes"}}) {
    const auto read = readActivityInput(input, empty, type);
    ASSERT_TRUE(read.failure) << input;
    EXPECT_EQ(host::kindName(read.failure->kind), "unavailable") << input;
    EXPECT_NE(read.failure->detail.find("no activity types are registered on iOS 16.0.9"),
              std::string::npos);
  }
}

}  // namespace
