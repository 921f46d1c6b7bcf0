// The request handler as a function: header, path and token rules, verdicts, channels, history.
#include "serve_support.hpp"

#include "platform/host/serve/common/untrusted_json.hpp"
#include "platform/host/serve/page/page_events.hpp"
#include "platform/host/serve/page/page_server.hpp"
#include "platform/host/serve/service/reason.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>

namespace {

using host::serve::ConnectionTokens;
using host::serve::Request;
using host::serve::Response;
using namespace serve_test;

constexpr std::int64_t now = 1765012900;  // seconds; the examples' pushes are a little older
const std::string deviceToken(64, 'a');
const std::string topic = "com.tolvex.app.push-type.liveactivity";

const std::string startBody = R"({"aps":{"timestamp":1765012800,"event":"start",
  "attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"d-1"},
  "content-state":{"progress":0,"statusText":"Starting","fileName":"demo.zip",
  "transferredText":"0 MB","totalText":"48.0 MB","etaText":"--"},
  "alert":{"title":"Download started","body":"demo.zip"},"input-push-token":1}})";

std::string updateBody(double timestamp, std::string_view progress = "0.5",
                       std::string_view extra = "") {
  return R"({"aps":{"timestamp":)" + std::to_string(static_cast<std::int64_t>(timestamp)) +
         R"(,"event":"update","content-state":{"progress":)" + std::string(progress) +
         R"(,"statusText":"Downloading","fileName":"demo.zip","transferredText":"24 MB",
         "totalText":"48.0 MB","etaText":"1 min"})" +
         std::string(extra) + "}}";
}

class PushServiceTest : public ::testing::Test {
 protected:
  PushServiceTest() : store_(host::serve::PushStore::open({})), service_(registry(), *store_, {}) {}

  Request push(const std::string& token, std::string body) {
    Request request;
    request.method = "POST";
    request.path = "/3/device/" + token;
    request.headers = {{"authorization", "bearer " + goodToken(now - 60)},
                       {"apns-push-type", "liveactivity"},
                       {"apns-topic", topic}};
    request.bodyBytes = body.size();
    request.body = std::move(body);
    request.nowMs = now * 1000;
    return request;
  }
  Response send(const Request& request) { return service_.handle(request, tokens_); }

  std::unique_ptr<host::serve::PushStore> store_;
  host::serve::PushService service_;
  ConnectionTokens tokens_;
};

// A folder of its own for a test's store, gone afterwards whatever the test's outcome.
std::string reasonOf(const Response& response) {
  const auto at = response.body.find("\"reason\":\"");
  if (at == std::string::npos) return "";
  const auto start = at + 10;
  return response.body.substr(start, response.body.find('"', start) - start);
}

void setHeader(Request& request, const std::string& name, const std::string& value) {
  std::erase_if(request.headers, [&](const auto& h) { return h.name == name; });
  request.headers.push_back({name, value});
}
void removeHeader(Request& request, const std::string& name) {
  std::erase_if(request.headers, [&](const auto& h) { return h.name == name; });
}

TEST_F(PushServiceTest, AnswersEachRuleWithTheServicesStatusAndReason) {
  struct Case {
    const char* fault;
    std::function<void(Request&)> change;
    int status;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"nothing wrong", [](Request&) {}, 200, ""},
      {"unknown path", [](Request& r) { r.path = "/3/devices/" + deviceToken; }, 404, "BadPath"},
      {"path below a token", [](Request& r) { r.path += "/x"; }, 404, "BadPath"},
      {"GET of a device path", [](Request& r) { r.method = "GET"; }, 405, "MethodNotAllowed"},
      {"no token", [](Request& r) { r.path = "/3/device/"; }, 400, "MissingDeviceToken"},
      {"odd token length", [](Request& r) { r.path = "/3/device/" + std::string(65, 'a'); }, 400,
       "BadDeviceToken"},
      {"short token", [](Request& r) { r.path = "/3/device/" + std::string(62, 'a'); }, 400,
       "BadDeviceToken"},
      {"long token", [](Request& r) { r.path = "/3/device/" + std::string(202, 'a'); }, 400,
       "BadDeviceToken"},
      {"non-hex token", [](Request& r) { r.path = "/3/device/" + std::string(64, 'g'); }, 400,
       "BadDeviceToken"},
      {"header twice",
       [](Request& r) {
         r.headers.push_back({"apns-push-type", "liveactivity"});
       },
       400, "DuplicateHeaders"},
      {"no push type", [](Request& r) { removeHeader(r, "apns-push-type"); }, 400,
       "InvalidPushType"},
      {"unknown push type", [](Request& r) { setHeader(r, "apns-push-type", "banner"); }, 400,
       "InvalidPushType"},
      {"push type in capitals", [](Request& r) { setHeader(r, "apns-push-type", "LiveActivity"); },
       200, ""},
      {"no topic", [](Request& r) { removeHeader(r, "apns-topic"); }, 400, "MissingTopic"},
      {"topic without the suffix", [](Request& r) { setHeader(r, "apns-topic", "com.tolvex.app"); },
       400, "DeviceTokenNotForTopic"},
      {"priority 1", [](Request& r) { setHeader(r, "apns-priority", "1"); }, 400, "BadPriority"},
      {"priority 5", [](Request& r) { setHeader(r, "apns-priority", "5"); }, 200, ""},
      {"expiration not a number", [](Request& r) { setHeader(r, "apns-expiration", "soon"); }, 400,
       "BadExpirationDate"},
      {"malformed apns-id", [](Request& r) { setHeader(r, "apns-id", "1234"); }, 400,
       "BadMessageId"},
      {"collapse id of 65 bytes",
       [](Request& r) { setHeader(r, "apns-collapse-id", std::string(65, 'c')); }, 400,
       "BadCollapseId"},
      {"collapse id of 64 bytes",
       [](Request& r) { setHeader(r, "apns-collapse-id", std::string(64, 'c')); }, 200, ""},
      {"empty body",
       [](Request& r) {
         r.body.clear();
         r.bodyBytes = 0;
       },
       400, "PayloadEmpty"},
      {"4097 bytes",
       [](Request& r) {
         r.body.assign(4097, ' ');
         r.bodyBytes = 10 << 20;
       },
       413, "PayloadTooLarge"},
      {"no authorization", [](Request& r) { removeHeader(r, "authorization"); }, 403,
       "MissingProviderToken"},
      {"basic authorization", [](Request& r) { setHeader(r, "authorization", "basic abc"); }, 403,
       "InvalidProviderToken"},
      {"token an hour and a minute old",
       [](Request& r) { setHeader(r, "authorization", "bearer " + goodToken(now - 3660)); }, 403,
       "ExpiredProviderToken"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    ConnectionTokens fresh;
    Request request = push(deviceToken, startBody);
    c.change(request);
    const Response response = service_.handle(request, fresh);
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(reasonOf(response), c.reason);
    EXPECT_EQ(response.header("apns-id").size(), 36u);
    if (c.status != 200) {
      EXPECT_EQ(host::serve::statusOf(c.reason), c.status);
    }
  }
}

// The sender's client gets the service's body alone; the history says why in one line.
TEST_F(PushServiceTest, SaysWhyInTheHistoryForEachRefusal) {
  struct Case {
    const char* fault;
    std::function<void(Request&)> change;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"short token", [](Request& r) { r.path = "/3/device/abcd"; },
       "the token has 4 digits; a phone's token is an even number of hex digits, 64 to 200"},
      {"token with a letter beyond f",
       [](Request& r) { r.path = "/3/device/" + std::string(64, 'g'); },
       "the token holds \"g\", which is not a hexadecimal digit"},
      {"alert push type", [](Request& r) { setHeader(r, "apns-push-type", "alert"); },
       "apns-push-type is \"alert\"; a Live Activity push has liveactivity"},
      {"bare bundle as topic", [](Request& r) { setHeader(r, "apns-topic", "com.tolvex.app"); },
       "apns-topic \"com.tolvex.app\" lacks .push-type.liveactivity"},
      {"no topic", [](Request& r) { removeHeader(r, "apns-topic"); }, "no apns-topic header"},
      {"priority 7", [](Request& r) { setHeader(r, "apns-priority", "7"); },
       "apns-priority is \"7\"; it is 10 (at once) or 5 (when the phone chooses)"},
      {"expiration as a date", [](Request& r) { setHeader(r, "apns-expiration", "2026-01-01"); },
       "apns-expiration is \"2026-01-01\""},
      {"long collapse id",
       [](Request& r) { setHeader(r, "apns-collapse-id", std::string(65, 'c')); },
       "apns-collapse-id has 65 bytes; at most 64"},
      {"5000 bytes", [](Request& r) { r.bodyBytes = 5000; },
       "the payload has 5000 bytes; a Live Activity push may have 4096"},
      {"unsigned shape", [](Request& r) { setHeader(r, "authorization", "bearer x.y"); },
       "a JWT has three parts separated by dots"},
      {"unknown path", [](Request& r) { r.path = "/3/devices/abc"; },
       "the path \"/3/devices/abc\" is none of /3/device/<token>"},
      {"priority twice",
       [](Request& r) {
         r.headers.push_back({"apns-priority", "10"});
         r.headers.push_back({"apns-priority", "5"});
       },
       "the header \"apns-priority\" is given more than once"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Request request = push(deviceToken, startBody);
    c.change(request);
    const Response response = send(request);
    ASSERT_NE(response.status, 200);
    EXPECT_EQ(response.body.find(c.why), std::string::npos);
    EXPECT_NE(response.why.find(c.why), std::string::npos) << response.why;
    // A path that names no push leaves no entry in the history.
    if (response.status == 404) continue;
    const auto entry = store_->pushes(1).front();
    EXPECT_NE(entry.error.find(c.why), std::string::npos) << entry.error;
  }
  // A token the device first heard for another bundle.
  ASSERT_EQ(send(push(deviceToken, startBody)).status, 200);
  Request other = push(deviceToken, startBody);
  setHeader(other, "apns-topic", "com.other.app.push-type.liveactivity");
  send(other);
  EXPECT_EQ(store_->pushes(1).front().error,
            "the device's first push was for the bundle com.tolvex.app, not com.other.app");
}

// A sender's test asks for any answer: the rules come before every other, and the history says
// which rule answered.
TEST_F(PushServiceTest, AnswersWithTheFaultARuleAsksForBeforeAnyOtherRule) {
  using host::serve::Ending;
  const auto rule = [&](const char* json) {
    auto parsed = host::serve::parseFaultRule(json);
    ASSERT_TRUE(std::holds_alternative<host::serve::FaultRule>(parsed))
        << std::get<std::string>(parsed);
    service_.faults().add(std::get<host::serve::FaultRule>(parsed));
  };
  rule(R"({"reason":"TooManyRequests","retryAfterSeconds":30,"times":1,
           "match":{"tokenPrefix":"AAAA","environment":"development"}})");
  rule(R"({"reason":"Unregistered","match":{"tokenPrefix":"bbbb"}})");
  rule(R"({"action":"goaway","reason":"IdleTimeout","delaySeconds":0.25,
           "match":{"tokenPrefix":"cccc"}})");
  rule(R"({"action":"reset","match":{"path":"/4/broadcasts/"}})");

  // Taken before the token is looked at: this one has none.
  Request first = push(deviceToken, startBody);
  removeHeader(first, "authorization");
  Response response = send(first);
  EXPECT_EQ(response.status, 429);
  EXPECT_EQ(reasonOf(response), "TooManyRequests");
  EXPECT_EQ(response.header("retry-after"), "30");
  EXPECT_EQ(response.body.find("injected"), std::string::npos);
  auto entry = store_->pushes(1).front();
  EXPECT_EQ(entry.verdict, host::serve::Verdict::rejected);
  EXPECT_EQ(entry.status, 429);
  EXPECT_EQ(entry.error,
            "injected fault: 429 TooManyRequests, Retry-After 30 (rule 1; 0 matches left)");
  // Its one time is used up.
  EXPECT_EQ(send(push(deviceToken, startBody)).status, 200);

  response = send(push(std::string(64, 'b'), startBody));
  EXPECT_EQ(response.status, 410);
  EXPECT_NE(response.body.find("\"timestamp\":" + std::to_string(now * 1000)), std::string::npos);

  response = send(push(std::string(64, 'c'), startBody));
  EXPECT_EQ(response.ending, Ending::goaway);
  EXPECT_EQ(response.reason, "IdleTimeout");
  EXPECT_EQ(response.delay, std::chrono::milliseconds(250));
  entry = store_->pushes(1).front();
  EXPECT_EQ(entry.status, 0);
  EXPECT_EQ(entry.error,
            "injected fault: GOAWAY IdleTimeout, closing the connection, after 0.25 s (rule 3)");

  Request broadcast = push(deviceToken, startBody);
  broadcast.path = "/4/broadcasts/apps/com.tolvex.app";
  EXPECT_EQ(send(broadcast).ending, Ending::reset);

  // The page's own pushes reach the device whatever the rules say.
  const auto activity = store_->activities(1).front();
  rule(R"({"reason":"ServiceUnavailable"})");
  EXPECT_EQ(service_.pushTo(activity, updateBody(1765012850), now * 1000).status, 200);
  EXPECT_EQ(send(push(activity.updateToken, updateBody(1765012851))).status, 503);
}

// Two endpoints: apns-unique-id comes from the development one only, and a key limited to one
// environment is refused on the other.
TEST(PushServiceEnvironments, AnswerAsTheirEndpointDoes) {
  using host::serve::Environment;
  struct Case {
    std::optional<Environment> key;
    Environment reached;
    int status;
    bool uniqueId;
    const char* why;
  };
  const std::vector<Case> cases = {
      {std::nullopt, Environment::development, 200, true, ""},
      {std::nullopt, Environment::production, 200, false, ""},
      {Environment::production, Environment::production, 200, false, ""},
      {Environment::production, Environment::development, 403, false,
       "the key is for the production environment only (--auth-key-environment), and the push "
       "came to the development endpoint"},
      {Environment::development, Environment::production, 403, false,
       "the key is for the development environment only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    auto store = host::serve::PushStore::open({});
    host::serve::ServiceOptions options;
    options.key.environment = c.key;
    host::serve::PushService service(registry(), *store, options);
    ConnectionTokens tokens;
    Request request;
    request.method = "POST";
    request.path = "/3/device/" + deviceToken;
    request.headers = {{"authorization", "bearer " + goodToken(now)},
                       {"apns-push-type", "liveactivity"},
                       {"apns-topic", topic}};
    request.body = startBody;
    request.bodyBytes = startBody.size();
    request.nowMs = now * 1000;
    request.environment = c.reached;
    const Response response = service.handle(request, tokens);
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(!response.header("apns-unique-id").empty(), c.uniqueId);
    if (c.status != 200) {
      EXPECT_EQ(reasonOf(response), "BadEnvironmentKeyInToken");
      EXPECT_NE(store->pushes(1).front().error.find(c.why), std::string::npos);
    }
  }
}

TEST_F(PushServiceTest, SaysOncePerTokenThatItsSignatureWentUnchecked) {
  constexpr std::string_view note = "signature not checked: start serve with --auth-key";
  const auto noted = [&] {
    return store_->pushes(1).front().warnings.find(note) != std::string::npos;
  };
  ASSERT_EQ(send(push(deviceToken, startBody)).status, 200);
  EXPECT_TRUE(noted());
  ASSERT_EQ(send(push(deviceToken, startBody)).status, 200);
  EXPECT_FALSE(noted());
  // A new token, refused for another cause, still says so.
  ConnectionTokens other;
  Request refused = push(deviceToken, startBody);
  setHeader(refused, "authorization", "bearer " + goodToken(now - 30));
  setHeader(refused, "apns-priority", "7");
  EXPECT_EQ(service_.handle(refused, other).status, 400);
  EXPECT_TRUE(noted());
}

// The history keeps a provider token's header and claims, which say whose key signs a copy of the
// push, and never its signature; anything else in `authorization` is cut short.
TEST_F(PushServiceTest, KeepsTheProviderTokenWithoutItsSignature) {
  const std::string token = goodToken(now - 60);
  const std::string signedPart = token.substr(0, token.rfind('.') + 1);
  const struct {
    std::string authorization;
    std::string kept;
  } cases[] = {
      {"bearer " + token, "bearer " + signedPart + "..."},
      {"bearer not-a-token-but-a-long-one", "bearer not-a-token-but-a..."},
      {"bearer a.b.c.d.e.f", "bearer a.b.c.d.e.f"},
      {"bearer short", "bearer short"},
  };
  for (const auto& c : cases) {
    Request request = push(deviceToken, startBody);
    setHeader(request, "authorization", c.authorization);
    send(request);
    const std::string headers = store_->pushes(1).front().headers;
    EXPECT_NE(headers.find("\"authorization\":\"" + c.kept + "\""), std::string::npos)
        << c.authorization << " -> " << headers;
    EXPECT_EQ(headers.find(token.substr(token.rfind('.'))), std::string::npos);
  }
}

TEST_F(PushServiceTest, EchoesTheSendersApnsId) {
  Request request = push(deviceToken, startBody);
  setHeader(request, "apns-id", "123e4567-e89b-12d3-a456-426614174000");
  EXPECT_EQ(send(request).header("apns-id"), "123e4567-e89b-12d3-a456-426614174000");
  request.path = "/3/device/zz";
  EXPECT_EQ(send(request).header("apns-id"), "123e4567-e89b-12d3-a456-426614174000");
}

TEST_F(PushServiceTest, BindsADeviceToTheBundleItFirstHeardFrom) {
  EXPECT_EQ(send(push(deviceToken, startBody)).status, 200);
  Request other = push(deviceToken, startBody);
  setHeader(other, "apns-topic", "com.other.app.push-type.liveactivity");
  EXPECT_EQ(reasonOf(send(other)), "DeviceTokenNotForTopic");
}

TEST(PushServiceBundle, AcceptsOnlyTheConfiguredBundle) {
  auto store = host::serve::PushStore::open({});
  host::serve::ServiceOptions options;
  options.bundleId = "com.tolvex.app";
  host::serve::PushService service(registry(), *store, options);
  ConnectionTokens tokens;
  Request request;
  request.method = "POST";
  request.path = "/3/device/" + deviceToken;
  request.headers = {{"authorization", "bearer " + goodToken(now)},
                     {"apns-push-type", "liveactivity"},
                     {"apns-topic", "com.other.push-type.liveactivity"}};
  request.body = startBody;
  request.bodyBytes = startBody.size();
  request.nowMs = now * 1000;
  EXPECT_EQ(service.handle(request, tokens).status, 400);
  request.headers[2].value = topic;
  EXPECT_EQ(service.handle(request, tokens).status, 200);
}

// The verdicts, in the order a sender meets them over one activity's life.
TEST_F(PushServiceTest, GivesEachPushTheVerdictOfTheDevice) {
  ASSERT_EQ(send(push(deviceToken, startBody)).status, 200);
  const auto activities = store_->activities(10);
  ASSERT_EQ(activities.size(), 1u);
  const std::string updateToken = activities[0].updateToken;
  ASSERT_EQ(updateToken.size(), 160u);

  struct Step {
    const char* what;
    std::string token;
    std::string body;
    const char* verdict;
    const char* error;  // a part of the error, or "" for none
  };
  const std::vector<Step> steps = {
      {"update", updateToken, updateBody(1765012830), "applied", ""},
      {"older update", updateToken, updateBody(1765012810), "ignored",
       "older than the last one applied"},
      {"content state that does not decode", updateToken, updateBody(1765012840, "\"half\""),
       "dropped",
       R"(typeMismatch: "aps.content-state.progress": expected a number, found a string)"},
      {"update to the device token", deviceToken, updateBody(1765012850), "dropped",
       "to a token with no activity"},
      {"start of a type the bundle lacks", deviceToken,
       R"({"aps":{"event":"start","attributes-type":"Nope","attributes":{},"content-state":{}}})",
       "dropped", "Nope"},
      {"not JSON", updateToken, "{\"aps\":", "dropped", "dataCorrupted: invalid JSON"},
      {"two documents, one a line", updateToken,
       R"({"aps":{"event":"end"}})"
       "\n"
       R"({"aps":{"event":"end"}})",
       "dropped", "the body holds more than one JSON document"},
      {"two documents on one line", updateToken,
       R"({"aps":{"event":"end"}} {"aps":{"event":"end"}})", "dropped",
       "unexpected content after the document"},
      {"JSON but not an object", updateToken, "[1]", "dropped",
       "typeMismatch: expected an object, found an array"},
      {"start to an update token", updateToken, startBody, "dropped", "push-to-start token"},
      {"end", updateToken,
       R"({"aps":{"timestamp":1765012860,"event":"end","dismissal-date":1765012870}})", "ended",
       ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    EXPECT_EQ(send(push(step.token, step.body)).status, 200);
    const auto last = store_->pushes(1).front();
    EXPECT_EQ(host::serve::verdictName(last.verdict), step.verdict);
    if (*step.error == '\0') {
      EXPECT_EQ(last.error, "");
    } else {
      EXPECT_NE(last.error.find(step.error), std::string::npos) << last.error;
    }
  }
  EXPECT_TRUE(store_->activities(10)[0].ended);
  // Once the ended activity has left the screen, the service no longer knows its token.
  const Response gone = send(push(updateToken, updateBody(1765012880)));
  EXPECT_EQ(gone.status, 410);
  EXPECT_EQ(reasonOf(gone), "Unregistered");
  EXPECT_NE(gone.body.find("\"timestamp\":" + std::to_string(now * 1000)), std::string::npos);
  EXPECT_EQ(store_->pushes(1).front().verdict, host::serve::Verdict::rejected);
}

// The page starts activities and pushes to them through the endpoint's own rules; the history
// keeps the start first, so an exported timeline begins with its attributes.
TEST_F(PushServiceTest, StartsAndPushesForThePageAsTheEndpointDoes) {
  std::vector<std::string> recorded;
  service_.onRecorded([&](const host::serve::HistoryEntry& push) {
    recorded.emplace_back(host::serve::verdictName(push.verdict));
  });
  const std::string document = R"({"attributes-type":"DownloadLiveActivityAttributes",
    "attributes":{"taskId":"d-2"},"content-state":{"progress":0.1,"statusText":"Starting",
    "fileName":"demo.zip","transferredText":"0 MB","totalText":"48.0 MB","etaText":"--"}})";
  EXPECT_TRUE(std::holds_alternative<std::string>(service_.startLocally(updateBody(now), now)));
  auto started = service_.startLocally(document, now * 1000);
  ASSERT_TRUE(std::holds_alternative<host::serve::ActivityRecord>(started));
  const auto activity = std::get<host::serve::ActivityRecord>(started);

  struct Step {
    std::string body;
    const char* verdict;
    const char* reason;
  };
  const std::vector<Step> steps = {
      {updateBody(1765012830), "applied", ""},
      {updateBody(1765012840, "\"half\""), "dropped", ""},
      {updateBody(1765012820), "ignored", ""},
      {std::string(5000, ' '), "rejected", "PayloadTooLarge"},
      {R"({"aps":{"timestamp":1765012850,"event":"end"}})", "ended", ""},
  };
  for (const Step& step : steps) {
    const auto pushed = service_.pushTo(activity, step.body, now * 1000);
    EXPECT_EQ(host::serve::verdictName(pushed.verdict), step.verdict) << step.body.substr(0, 60);
    EXPECT_EQ(pushed.reason, step.reason);
  }
  const auto shown = store_->appliedPushes(activity.id, 100);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].path, "/api/activities");
  EXPECT_EQ(shown[0].body, document);
  EXPECT_EQ(shown[1].verdict, host::serve::Verdict::applied);
  EXPECT_EQ(shown[2].verdict, host::serve::Verdict::ended);
  EXPECT_EQ(recorded, (std::vector<std::string>{"applied", "applied", "dropped", "ignored",
                                                "rejected", "ended"}));
}

TEST_F(PushServiceTest, WarnsAboutWhatTheDeviceAcceptsButTheSenderDidNotMean) {
  ASSERT_EQ(send(push(deviceToken, startBody)).status, 200);
  const std::string updateToken = store_->activities(1)[0].updateToken;
  struct Case {
    std::string body;
    const char* warning;
  };
  const std::vector<Case> cases = {
      {updateBody(1765012830), ""},
      {updateBody(1765012831), "equals the activity's current one"},
      {updateBody(1765012832, "0.6", R"(,"stale-date":1765012000)"), "has already passed"},
      {updateBody(1765012833, "0.7", R"(,"stale-date":1765012833)"), "not after the timestamp"},
      {updateBody(1765012834, "0.8", R"(,"stale-date":1765099999000)"), "milliseconds"},
      {updateBody(1765012835, "0.9", R"(,"stale-date":1765212800)"), "more than a day ahead"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    ASSERT_EQ(send(push(updateToken, c.body)).status, 200);
    const auto last = store_->pushes(1).front();
    EXPECT_EQ(last.verdict, host::serve::Verdict::applied);
    if (*c.warning == '\0') {
      EXPECT_EQ(last.warnings, "[]");
    } else {
      EXPECT_NE(last.warnings.find(c.warning), std::string::npos) << last.warnings;
    }
  }
  Request noAlert = push(std::string(64, 'b'), startBody);
  const std::string alert = R"("alert":{"title":"Download started","body":"demo.zip"})";
  noAlert.body.replace(noAlert.body.find(alert), alert.size(), "\"x\":1");
  noAlert.bodyBytes = noAlert.body.size();
  ASSERT_EQ(send(noAlert).status, 200);
  EXPECT_NE(store_->pushes(1).front().warnings.find("without an alert"), std::string::npos)
      << store_->pushes(1).front().warnings;
}

// What the phone takes as sent while the sender surely meant otherwise: each says so in that
// push's warnings, and the push is answered and applied (or ignored) as before.
TEST_F(PushServiceTest, WarnsAboutHeadersAndMembersTheSenderDidNotMean) {
  ASSERT_EQ(send(push(deviceToken, startBody)).status, 200);
  const std::string updateToken = store_->activities(1)[0].updateToken;
  struct Case {
    const char* name;
    std::string body;
    std::string expiration;  // the header, when given
    host::serve::Verdict verdict;
    std::string warning;  // a part of the push's warnings; empty: none at all
  };
  using host::serve::Verdict;
  const std::vector<Case> cases = {
      {"a duration for a time", updateBody(1765012830), "300", Verdict::applied,
       "apns-expiration 300 is a time in seconds since 1970, 1970-01-01T00:05:00Z, already past: "
       "the push expires at once and is not kept for a phone that is offline"},
      {"0 keeps nothing, plainly", updateBody(1765012831, "0.51"), "0", Verdict::applied, ""},
      {"a time ahead", updateBody(1765012832, "0.52"), std::to_string(now + 3600), Verdict::applied,
       ""},
      {"a sound beside the alert", updateBody(1765012833, "0.53", R"(,"sound":"default")"), "",
       Verdict::applied,
       R"(\"aps.sound\": a Live Activity push takes its sound inside the alert (aps.alert.sound); )"
       "here the phone plays none"},
      {"a sound inside it",
       updateBody(1765012834, "0.54", R"(,"alert":{"title":"t","sound":"default"})"), "",
       Verdict::applied, ""},
      {"a percent", updateBody(1765012835, "54"), "", Verdict::applied,
       R"(\"aps.content-state.progress\": 54 reads as a percent)"},
      {"an older timestamp", updateBody(1765012820, "0.55"), "", Verdict::ignored,
       R"(\"aps.timestamp\": 1765012820 is older than 1765012835, the newest the activity has )"
       "taken: the phone ignores this push"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Request request = push(updateToken, c.body);
    if (!c.expiration.empty()) request.headers.push_back({"apns-expiration", c.expiration});
    ASSERT_EQ(send(request).status, 200);
    const auto last = store_->pushes(1).front();
    EXPECT_EQ(last.verdict, c.verdict);
    if (c.warning.empty()) {
      EXPECT_EQ(last.warnings, "[]");
    } else {
      EXPECT_NE(last.warnings.find(c.warning), std::string::npos) << last.warnings;
    }
  }
}

// node-apn's README creates a channel with the policy as a string: what the service answers to
// that is not known, so the channel is made and the history says why it may fail for real.
TEST_F(PushServiceTest, TakesAStoragePolicyGivenAsAStringWithAWarning) {
  Request create;
  create.method = "POST";
  create.path = "/1/apps/com.tolvex.app/channels";
  create.headers = {{"authorization", "bearer " + goodToken(now - 60)}};
  create.nowMs = now * 1000;
  const auto body = [&](const std::string& policy) {
    create.body = R"({"message-storage-policy":)" + policy + R"(,"push-type":"LiveActivity"})";
    create.bodyBytes = create.body.size();
    return create;
  };
  const Response created = send(body(R"("1")"));
  ASSERT_EQ(created.status, 201);
  const std::string channel(created.header("apns-channel-id"));
  const auto entry = store_->pushes(1).front();
  EXPECT_EQ(entry.token, channel);
  EXPECT_EQ(entry.status, 201);
  EXPECT_NE(entry.warnings.find(R"(\"message-storage-policy\": the string \"1\" where the )"
                                R"(service documents a number; taken as 1 here)"),
            std::string::npos)
      << entry.warnings;
  Request read = create;
  read.method = "GET";
  read.body.clear();
  read.bodyBytes = 0;
  read.headers.push_back({"apns-channel-id", channel});
  EXPECT_EQ(send(read).body, R"({"message-storage-policy":1,"push-type":"LiveActivity"})");

  // A number is what the service documents: no warning, and no entry.
  ASSERT_EQ(send(body("1")).status, 201);
  EXPECT_EQ(store_->pushes(10).size(), 1u);
  for (const char* refused : {R"("2")", R"("yes")", R"(" 1")", "true", "0.5"}) {
    EXPECT_EQ(reasonOf(send(body(refused))), "CannotCreateChannelConfig") << refused;
  }
}

TEST_F(PushServiceTest, ManagesChannelsAndBroadcastsToTheirSubscribers) {
  Request create;
  create.method = "POST";
  create.path = "/1/apps/com.tolvex.app/channels";
  create.headers = {{"authorization", "bearer " + goodToken(now - 60)}};
  create.body = R"({"message-storage-policy":0,"push-type":"LiveActivity"})";
  create.bodyBytes = create.body.size();
  create.nowMs = now * 1000;
  const Response created = send(create);
  ASSERT_EQ(created.status, 201);
  const std::string channel(created.header("apns-channel-id"));
  EXPECT_FALSE(channel.empty());
  EXPECT_EQ(created.header("apns-request-id").size(), 36u);

  create.body = R"({"message-storage-policy":0})";
  EXPECT_EQ(reasonOf(send(create)), "MissingPushType");
  create.body = R"({"message-storage-policy":3,"push-type":"LiveActivity"})";
  EXPECT_EQ(reasonOf(send(create)), "CannotCreateChannelConfig");

  std::string subscribe = startBody;
  subscribe.replace(subscribe.find("\"input-push-token\":1"), 20,
                    "\"input-push-channel\":\"" + channel + "\"");
  ASSERT_EQ(send(push(deviceToken, subscribe)).status, 200);
  EXPECT_EQ(store_->activities(1)[0].channel, channel);
  EXPECT_EQ(store_->activities(1)[0].updateToken, "");
  // A second phone follows the same channel.
  ASSERT_EQ(send(push(std::string(64, 'c'), subscribe)).status, 200);

  Request broadcast;
  broadcast.method = "POST";
  broadcast.path = "/4/broadcasts/apps/com.tolvex.app";
  broadcast.headers = {{"authorization", "bearer " + goodToken(now - 60)},
                       {"apns-push-type", "LiveActivity"},
                       {"apns-channel-id", channel},
                       {"apns-request-id", "123e4567-e89b-12d3-a456-426614174000"}};
  broadcast.body = updateBody(1765012830);
  broadcast.bodyBytes = broadcast.body.size();
  broadcast.nowMs = now * 1000;
  const Response sent = send(broadcast);
  EXPECT_EQ(sent.status, 200);
  EXPECT_EQ(sent.header("apns-request-id"), "123e4567-e89b-12d3-a456-426614174000");
  EXPECT_EQ(store_->pushes(1).front().verdict, host::serve::Verdict::applied);
  // Each subscriber took the broadcast: its state, and its own history and timeline hold it.
  ASSERT_EQ(store_->pushes(1).front().deliveries.size(), 2u);
  for (const auto& activity : store_->activities(2)) {
    SCOPED_TRACE(activity.deviceToken);
    EXPECT_NE(activity.state.find("Downloading"), std::string::npos);
    const auto shown = store_->appliedPushes(activity.id, 10);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.back().path, "/4/broadcasts/apps/com.tolvex.app");
  }

  struct Case {
    const char* fault;
    std::function<void(Request&)> change;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"no channel", [](Request& r) { removeHeader(r, "apns-channel-id"); }, "MissingChannelId"},
      {"channel not base64", [](Request& r) { setHeader(r, "apns-channel-id", "a*b"); },
       "BadChannelId"},
      {"unknown channel",
       [](Request& r) { setHeader(r, "apns-channel-id", "AAAAAAAAAAAAAAAAAAAAAA=="); },
       "ChannelNotRegistered"},
      {"expiration on a channel that stores nothing",
       [](Request& r) { setHeader(r, "apns-expiration", "1765099999"); }, "BadExpirationDate"},
      {"5121 bytes", [](Request& r) { r.bodyBytes = 5121; }, "PayloadTooLarge"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Request request = broadcast;
    c.change(request);
    EXPECT_EQ(reasonOf(send(request)), c.reason);
  }
  Request start = broadcast;
  start.body = startBody;
  start.bodyBytes = start.body.size();
  EXPECT_EQ(send(start).status, 200);
  EXPECT_EQ(store_->pushes(1).front().error, "a broadcast cannot start an activity");

  Request list = create;
  list.method = "GET";
  list.path = "/1/apps/com.tolvex.app/all-channels";
  list.body.clear();
  const Response listed = send(list);
  EXPECT_EQ(listed.status, 200);
  EXPECT_EQ(listed.body, "{\"channels\":[\"" + channel + "\"]}");
  Request remove = list;
  remove.method = "DELETE";
  remove.path = "/1/apps/com.tolvex.app/channels";
  remove.headers.push_back({"apns-channel-id", channel});
  EXPECT_EQ(send(remove).status, 204);
  EXPECT_EQ(reasonOf(send(remove)), "ChannelNotRegistered");
}

TEST_F(PushServiceTest, AnswersShutdownOnceStopping) {
  service_.shutDown();
  const Response response = send(push(deviceToken, startBody));
  EXPECT_EQ(response.status, 503);
  EXPECT_EQ(reasonOf(response), "Shutdown");
}

// A push the activity did not show still reached it: its delivery names the activity, so its
// history lists it, and its timeline does not.
TEST_F(PushServiceTest, NamesTheActivityOfAPushItDidNotShow) {
  ASSERT_EQ(send(push(deviceToken, startBody)).status, 200);
  const auto activity = store_->activities(1).front();
  ASSERT_EQ(send(push(activity.updateToken, updateBody(1765012850))).status, 200);
  struct Case {
    std::string body;
    host::serve::Verdict verdict;
  };
  const Case cases[] = {
      {updateBody(1765012850, "\"half\""), host::serve::Verdict::dropped},
      {updateBody(1765012801), host::serve::Verdict::ignored},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(send(push(activity.updateToken, c.body)).status, 200);
    const auto last = store_->pushes(1).front();
    EXPECT_EQ(last.verdict, c.verdict);
    EXPECT_EQ(last.activityId, activity.id);
    ASSERT_EQ(last.deliveries.size(), 1u);
    EXPECT_EQ(last.deliveries[0].activityId, activity.id);
  }
  EXPECT_EQ(store_->activityPushes(activity.id, 10).size(), 4u);
  EXPECT_EQ(store_->appliedPushes(activity.id, 10).size(), 2u);
}

// Anyone who reaches the port can send requests with no token: the history keeps the start of
// each refused body, says how long it was, and drops the oldest pushes beyond its bound.
TEST(PushStore, BoundsWhatRefusedRequestsAndOldPushesKeep) {
  const ScratchFolder scratch("serve-bounded");
  auto store = host::serve::PushStore::open(scratch.path, {0, 100});
  host::serve::PushService service(registry(), *store, {});
  ConnectionTokens tokens;
  Request request;
  request.method = "POST";
  request.path = "/3/device/" + std::string(64, 'a');
  request.body = std::string(5000, 'x');
  request.bodyBytes = request.body.size();
  for (int i = 0; i < 1200; ++i) {
    ASSERT_EQ(service.handle(request, tokens).status, 403);
    if (i % 100 == 99) store->commit();
  }
  store->commit();
  const auto last = store->pushes(1).front();
  EXPECT_EQ(last.body.size(), 1024u);
  EXPECT_EQ(last.bodyBytes, 5000);
  EXPECT_LE(store->pushCount(), 1100u);
  EXPECT_GE(store->pushCount(), 100u);
  EXPECT_EQ(store->droppedPushes() + static_cast<std::int64_t>(store->pushCount()), 1200);
}

// The page reads through a connection of its own, which sees committed rows only: never a push
// whose sender has no answer yet, even once the owner has written it into the open transaction.
TEST(PushStore, AReaderSeesOnlyWhatWasCommitted) {
  const ScratchFolder scratch("serve-reader");
  auto store = host::serve::PushStore::open(scratch.path);
  auto reader = host::serve::PushStore::openReader(scratch.path);
  host::serve::HistoryEntry push;
  push.apnsId = "committed";
  store->addPush(push);
  store->commit();
  push.apnsId = "unanswered";
  store->addPush(push);
  store->pushCount();  // a query of the owner writes what it holds into the transaction
  auto sealed = store->seal();
  EXPECT_EQ(reader->pushCount(), 1u);
  EXPECT_EQ(reader->pushes(10).front().apnsId, "committed");
  store->commitSealed(sealed);
  EXPECT_EQ(reader->pushes(10).front().apnsId, "unanswered");
}

// A store made before pushes had deliveries opens, and each push to an activity becomes its
// delivery, so the activity's history and timeline are what they were.
TEST(PushStore, OpensAStoreOfTheFormerSchema) {
  const ScratchFolder scratch("serve-former");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((scratch.path / "serve.sqlite3").c_str(), &db), SQLITE_OK);
    const char* former = R"sql(
      CREATE TABLE pushes(
        seq INTEGER PRIMARY KEY AUTOINCREMENT, apns_id TEXT NOT NULL, time INTEGER NOT NULL,
        path TEXT NOT NULL, token TEXT NOT NULL, headers TEXT NOT NULL, body BLOB NOT NULL,
        status INTEGER NOT NULL, reason TEXT NOT NULL, verdict TEXT NOT NULL, error TEXT NOT NULL,
        warnings TEXT NOT NULL, activity_id TEXT NOT NULL);
      CREATE INDEX pushes_applied ON pushes(activity_id, seq) WHERE verdict IN ('applied', 'ended');
      INSERT INTO pushes VALUES (1, 's', 1, '/api/activities', 't', '{}', '{}', 201, '', 'applied',
                                 '', '[]', 'a-1');
      INSERT INTO pushes VALUES (2, 'u', 2, '/3/device/t', 't', '{}', '{}', 200, '', 'dropped',
                                 'bad', '[]', 'a-1');
      INSERT INTO pushes VALUES (3, 'r', 3, '/3/device/x', 'x', '{}', '{}', 403, 'Forbidden',
                                 'rejected', '403 Forbidden', '[]', '');
    )sql";
    ASSERT_EQ(sqlite3_exec(db, former, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  auto store = host::serve::PushStore::open(scratch.path);
  EXPECT_EQ(store->activityPushes("a-1", 10).size(), 2u);
  const auto shown = store->appliedPushes("a-1", 10);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].apnsId, "s");
  const auto all = store->pushes(10);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_TRUE(all[0].deliveries.empty());
  EXPECT_EQ(all[1].deliveries.at(0).verdict, host::serve::Verdict::dropped);
  EXPECT_EQ(all[2].deliveries.at(0).activityId, "a-1");
}

TEST(PushStore, KeepsWhatWasCommittedAcrossAReopen) {
  const ScratchFolder scratch("serve-store");
  const auto& folder = scratch.path;
  {
    auto store = host::serve::PushStore::open(folder);
    host::serve::HistoryEntry record;
    record.apnsId = "id-1";
    record.body = std::string("\xff\x00 bytes", 8);
    store->addPush(record);
    store->commit();
  }
  auto store = host::serve::PushStore::open(folder);
  ASSERT_EQ(store->pushCount(), 1u);
  EXPECT_EQ(store->pushes(1)[0].body, std::string("\xff\x00 bytes", 8));
}

TEST(PageEvents, TellsListenersOnlyWhatWasCommittedAndResetsTheFarBehind) {
  using host::serve::PageEvents;
  using namespace std::chrono_literals;
  PageEvents events;
  events.stage("push", "a");
  EXPECT_TRUE(events.after(0, 1ms).empty());
  events.discard();
  events.publish();
  EXPECT_TRUE(events.after(0, 1ms).empty());
  events.stage("push", "b");
  events.publish();
  const auto first = events.after(0, 1ms);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].data, "b");
  for (int i = 0; i < 600; ++i) events.send("push", std::to_string(i));
  const auto behind = events.after(first[0].id, 1ms);
  ASSERT_EQ(behind.size(), 1u);
  EXPECT_EQ(behind[0].name, "reset");
  EXPECT_EQ(events.after(events.lastId() - 2, 1ms).size(), 2u);
  EXPECT_EQ(events.after(events.lastId() + 5, 1s).front().name, "reset");
  events.close();
  EXPECT_TRUE(events.after(0, 1s).empty());
}

// The pushes to one activity change its row in memory until the commit; what the table's queries
// and a reopened store see must still be the last push's.
TEST(PushStore, KeepsTheLastStateOfABusyActivity) {
  const ScratchFolder scratch("serve-busy");
  const auto& folder = scratch.path;
  {
    auto store = host::serve::PushStore::open(folder);
    host::serve::ActivityRecord activity;
    activity.id = "a-1";
    activity.updateToken = "t-1";
    activity.channel = "c-1";
    activity.state = "started";
    store->saveActivity(activity);
    store->commit();

    auto seen = store->activityByUpdateToken("t-1");
    ASSERT_TRUE(seen);
    seen->state = "first";
    store->updateActivity(*seen);
    EXPECT_EQ(store->activityByUpdateToken("t-1")->state, "first");
    EXPECT_EQ(store->activities(10).at(0).state, "first");
    // A broadcast reads the channel's activities from the table and updates them from there.
    auto onChannel = store->activitiesOnChannel("c-1");
    ASSERT_EQ(onChannel.size(), 1u);
    EXPECT_EQ(onChannel[0].state, "first");
    onChannel[0].state = "broadcast";
    store->updateActivity(onChannel[0]);
    EXPECT_EQ(store->activityByUpdateToken("t-1")->state, "broadcast");

    seen = store->activityByUpdateToken("t-1");
    seen->state = "last";
    seen->ended = true;
    seen->endedAtMs = 42;
    store->updateActivity(*seen);
    store->commit();
  }
  auto store = host::serve::PushStore::open(folder);
  const auto kept = store->activityByUpdateToken("t-1");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->state, "last");
  EXPECT_TRUE(kept->ended);
  EXPECT_EQ(kept->endedAtMs, 42);
}

// The transport seals a batch and commits it while the handler goes on writing the next: what was
// written before the seal is durable once its commit returns, and what came after is not lost.
TEST(PushStore, CommitsWhatWasSealedWhileTheNextBatchIsWritten) {
  const ScratchFolder scratch("serve-sealed");
  const auto& folder = scratch.path;
  {
    auto store = host::serve::PushStore::open(folder);
    host::serve::ActivityRecord activity;
    activity.id = "a-1";
    activity.updateToken = "t-1";
    activity.state = "started";
    store->saveActivity(activity);
    store->commit();

    host::serve::HistoryEntry push;
    push.apnsId = "before";
    store->addPush(push);
    activity.state = "before";
    store->activityByUpdateToken("t-1");
    store->updateActivity(activity);
    auto sealed = store->seal();
    push.apnsId = "after";
    store->addPush(push);
    activity.state = "after";
    store->updateActivity(activity);
    store->commitSealed(sealed);
    {
      // Another reader sees only what was committed.
      auto reader = host::serve::PushStore::open(folder);
      const auto pushes = reader->pushes(10);
      ASSERT_FALSE(pushes.empty());
      EXPECT_EQ(pushes.back().apnsId, "before");
      EXPECT_NE(reader->activityByUpdateToken("t-1")->state, "started");
    }
    EXPECT_EQ(store->activityByUpdateToken("t-1")->state, "after");
    store->commit();
  }
  auto store = host::serve::PushStore::open(folder);
  const auto pushes = store->pushes(10);
  ASSERT_EQ(pushes.size(), 2u);
  EXPECT_EQ(pushes[0].apnsId, "after");
  EXPECT_EQ(store->activityByUpdateToken("t-1")->state, "after");
}

// A commit that fails is rolled back, and `discard` forgets what was written since its seal, the
// activities held in memory included: the tables are the truth again, and a later commit holds
// nothing of either. A second writer holding the database makes the commit fail, after SQLite's
// 5 s busy timeout.
TEST(PushStore, ForgetsAFailedBatchAndWhatWasWrittenAfterIt) {
  const ScratchFolder scratch("serve-failed");
  const auto& folder = scratch.path;
  auto store = host::serve::PushStore::open(folder);
  const auto add = [&](const char* id) {
    host::serve::HistoryEntry push;
    push.apnsId = id;
    store->addPush(push);
  };
  host::serve::ActivityRecord activity;
  activity.id = "a-1";
  activity.updateToken = "t-1";
  activity.state = "started";
  store->saveActivity(activity);
  store->commit();
  {
    auto other = host::serve::PushStore::open(folder);
    host::serve::DeviceRecord device;
    device.token = "d";
    other->saveDevice(device);  // holds the write lock until its commit

    store->activityByUpdateToken("t-1");
    activity.state = "lost";
    store->updateActivity(activity);
    add("lost with its commit");
    auto sealed = store->seal();
    EXPECT_THROW(store->commitSealed(sealed), host::serve::StoreError);
    add("written meanwhile");
    store->discard();
    other->commit();
  }
  EXPECT_EQ(store->activityByUpdateToken("t-1")->state, "started");
  add("later");
  store->commit();
  std::vector<std::string> ids;
  for (const auto& push : store->pushes(10)) ids.push_back(push.apnsId);
  EXPECT_EQ(ids, (std::vector<std::string>{"later"}));
}

// What clients send ends up in the history's JSON: valid text as it stands, each bad byte as U+FFFD
// wherever it sits, and what JSON must escape escaped.
TEST(JsonText, KeepsValidTextAndReplacesEachBadByte) {
  EXPECT_EQ(host::serve::jsonString("caf\xC3\xA9 \"q\"\n"), "\"caf\xC3\xA9 \\\"q\\\"\\n\"");
  EXPECT_EQ(host::serve::jsonString("ok\xFF\xFEz\"\xE2\x82"),
            "\"ok\xEF\xBF\xBD\xEF\xBF\xBDz\\\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  std::string out = "[1,";
  host::serve::appendJsonString(out, "\xC0x");
  EXPECT_EQ(out, "[1,\"\xEF\xBF\xBDx\"");
}

TEST(PageServer, AcceptsOnlyThisMachinesNames) {
  const std::vector<std::string> hosts{"192.168.1.7"};
  for (const char* ok : {"localhost", "localhost:8080", "127.0.0.1:1", "[::1]:8080",
                         "http://localhost:8080", "http://192.168.1.7:80"}) {
    EXPECT_TRUE(host::serve::isLocalHost(ok, hosts)) << ok;
  }
  for (const char* bad : {"evil.example", "http://evil.example", "localhost.evil.example",
                          "http://127.0.0.1.evil.example:80", "[::1", "null"}) {
    EXPECT_FALSE(host::serve::isLocalHost(bad, hosts)) << bad;
  }
}

}  // namespace
