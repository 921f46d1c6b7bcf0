// The phone behind the service, rule by rule, on the devices' clock: each rule's verdict, its
// words, and what it does to the next push.
#include "serve_support.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>

namespace {

using host::serve::ConnectionTokens;
using host::serve::Environment;
using host::serve::PhoneOptions;
using host::serve::Request;
using host::serve::Response;
using namespace serve_test;

constexpr std::int64_t now = 1765012900;  // real time, seconds: it never moves here
const std::string phoneToken(64, 'a');
const std::string otherPhone(64, 'b');
const std::string topic = "com.tolvex.app.push-type.liveactivity";

std::string startBody(std::int64_t timestamp, std::string_view extra = "", bool alert = true) {
  return R"({"aps":{"timestamp":)" + std::to_string(timestamp) +
         R"(,"event":"start","attributes-type":"DownloadLiveActivityAttributes",
  "attributes":{"taskId":"d-1"},"content-state":{"progress":0,"statusText":"Starting",
  "fileName":"demo.zip","transferredText":"0 MB","totalText":"48.0 MB","etaText":"--"},)" +
         (alert ? R"("alert":{"title":"Download started","body":"demo.zip"},)" : "") +
         R"("input-push-token":1)" + std::string(extra) + "}}";
}

std::string updateBody(double timestamp, std::string_view extra = "",
                       std::string_view event = "update") {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%.15g", timestamp);
  return R"({"aps":{"timestamp":)" + std::string(stamp) + R"(,"event":")" + std::string(event) +
         R"(","content-state":{"progress":0.5,"statusText":"Downloading","fileName":"demo.zip",
  "transferredText":"24 MB","totalText":"48.0 MB","etaText":"1 min"})" +
         std::string(extra) + "}}";
}

// What the history says of the last push: its answer, its verdict and its words.
struct Outcome {
  int status = 0;
  std::string reason;
  std::string verdict;
  std::string words;
  std::string warnings;
  std::string activityId;
};

// One phone service on a store of its own, with the devices' clock at hand.
class Phone {
 public:
  explicit Phone(PhoneOptions options = {})
      : store_(host::serve::PushStore::open({})), service_(registry(), *store_, with(options)) {}

  // Seconds since 1970 on the devices' clock.
  std::int64_t clock() { return now + service_.devices().clock().offsetMs() / 1000; }
  void advance(std::int64_t seconds) {
    auto& clock = service_.devices().clock();
    clock.setOffsetMs(clock.offsetMs() + seconds * 1000);
  }

  Outcome send(const std::string& path, const std::string& body,
               const std::vector<host::serve::Header>& extra = {},
               Environment environment = Environment::development) {
    Request request;
    request.method = "POST";
    request.path = path;
    request.headers = {{"authorization", "bearer " + goodToken(now - 60)},
                       {"apns-push-type", "liveactivity"}};
    if (path.starts_with("/3/")) request.headers.push_back({"apns-topic", topic});
    for (const auto& header : extra) request.headers.push_back(header);
    request.bodyBytes = body.size();
    request.body = body;
    request.nowMs = now * 1000;
    request.environment = environment;
    const Response response = service_.handle(request, tokens_);
    Outcome out = last();
    out.status = response.status;
    return out;
  }
  Outcome push(const std::string& token, const std::string& body,
               const std::vector<host::serve::Header>& extra = {},
               Environment environment = Environment::development) {
    return send("/3/device/" + token, body, extra, environment);
  }
  // A start on `device`; the new activity's update token.
  std::string start(const std::string& device = phoneToken, std::string_view extra = "") {
    const Outcome started = push(device, startBody(clock(), extra));
    EXPECT_EQ(started.verdict, "applied") << started.words;
    const auto activity = store_->activity(started.activityId);
    return activity ? activity->updateToken : std::string();
  }
  Outcome update(const std::string& token, std::string_view extra = "",
                 const std::vector<host::serve::Header>& headers = {}) {
    return push(token, updateBody(static_cast<double>(clock()) + ++tick_ * 0.001, extra), headers);
  }
  std::string channel(int policy) {
    Request create;
    create.method = "POST";
    create.path = "/1/apps/com.tolvex.app/channels";
    create.headers = {{"authorization", "bearer " + goodToken(now - 60)}};
    create.body = R"({"message-storage-policy":)" + std::to_string(policy) +
                  R"(,"push-type":"LiveActivity"})";
    create.bodyBytes = create.body.size();
    create.nowMs = now * 1000;
    return std::string(service_.handle(create, tokens_).header("apns-channel-id"));
  }
  Outcome broadcast(const std::string& channel, const std::string& body) {
    return send("/4/broadcasts/apps/com.tolvex.app", body, {{"apns-channel-id", channel}});
  }
  void patch(const std::string& device, const std::string& json) {
    const auto patched = service_.patchDevice(device, json, now * 1000);
    ASSERT_TRUE(std::holds_alternative<host::serve::DeviceView>(patched))
        << std::get<std::string>(patched);
  }
  host::serve::DeviceView view(const std::string& device = phoneToken) {
    return service_.devices().view(device, now * 1000).value();
  }

  Outcome last() {
    const auto entry = store_->pushes(1).front();
    return {entry.status, entry.reason,   std::string(host::serve::verdictName(entry.verdict)),
            entry.error,  entry.warnings, entry.activityId};
  }
  std::vector<host::serve::HistoryEntry> history(std::size_t count) {
    return store_->pushes(count);
  }
  host::serve::PushStore& store() { return *store_; }
  host::serve::PushService& service() { return service_; }

 private:
  static host::serve::ServiceOptions with(PhoneOptions options) {
    host::serve::ServiceOptions service;
    service.phone = options;
    return service;
  }
  std::unique_ptr<host::serve::PushStore> store_;
  host::serve::PushService service_;
  ConnectionTokens tokens_;
  int tick_ = 0;
};

// One rule: what a sender does (the last push is judged), its verdict and words, then the next
// push and what becomes of it.
struct Rule {
  const char* rule;
  std::function<Outcome(Phone&, std::string& token)> act;
  const char* verdict;  // or "410 Unregistered" and such for a refusal
  const char* words;
  std::function<Outcome(Phone&, const std::string& token)> next;
  const char* nextVerdict;
  const char* nextWords;
  PhoneOptions options = {};
};

std::string judged(const Outcome& outcome) {
  return outcome.status == 200 ? outcome.verdict
                               : std::to_string(outcome.status) + " " + outcome.reason;
}

const std::int64_t hour = 3600;

Outcome laterUpdate(Phone& phone, const std::string& token) {
  return phone.update(token);
}

TEST(SimulatedPhone, FollowsEachRuleOfThePhone) {
  PhoneOptions offReport;
  offReport.futureTimestampRule = false;
  offReport.staleStartRule = false;
  const std::vector<Rule> rules = {
      {"the system ends an activity 8 hours after its start",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.advance(8 * hour + 1);
         return p.update(t);
       },
       "ended", "8 hours after it started",
       [](Phone& p, const std::string& t) {
         p.advance(4 * hour);
         return p.update(t);
       },
       "410 Unregistered", "left the screen at"},
      {"an activity is live for just under 8 hours",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.advance(8 * hour - 5);
         return p.update(t);
       },
       "applied", "", laterUpdate, "applied", ""},
      {"a push after the end is not applied",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.update(t, "", {});
         p.push(t, updateBody(static_cast<double>(p.clock()) + 1, "", "end"));
         return p.update(t);
       },
       "ended", "the phone takes no more pushes",
       [](Phone& p, const std::string& t) {
         p.advance(4 * hour);
         return p.update(t);
       },
       "410 Unregistered", "ended at"},
      {"a dismissal date beyond 4 hours is capped at 4 hours",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.push(t,
                updateBody(static_cast<double>(p.clock()) + 1,
                           ",\"dismissal-date\":" + std::to_string(p.clock() + 10 * hour), "end"));
         p.advance(4 * hour - 10);
         return p.update(t);
       },
       "ended", "ended at",
       [](Phone& p, const std::string& t) {
         p.advance(20);
         return p.update(t);
       },
       "410 Unregistered", ""},
      {"a dismissal date in the past removes the activity at once",
       [](Phone& p, std::string& t) {
         t = p.start();
         return p.push(
             t, updateBody(static_cast<double>(p.clock()) + 1, ",\"dismissal-date\":1", "end"));
       },
       "ended", "", laterUpdate, "410 Unregistered", ""},
      {"an alert on an update lights the screen and expands the island",
       [](Phone& p, std::string& t) {
         t = p.start();
         return p.push(t, updateBody(static_cast<double>(p.clock()) + 1,
                                     R"(,"alert":{"title":"Almost done","body":"demo.zip"})"));
       },
       "applied", "its alert lights the screen", nullptr, "", ""},
      {"a start without an alert is not started",
       [](Phone& p, std::string&) { return p.push(phoneToken, startBody(p.clock(), "", false)); },
       "not-started", "without an \"alert\"",
       [](Phone& p, const std::string&) { return p.push(phoneToken, startBody(p.clock())); },
       "applied", ""},
      {"a start on a channel the app never created is not started",
       [](Phone& p, std::string&) {
         return p.push(
             phoneToken,
             startBody(p.clock(), ",\"input-push-channel\":\"AAAAAAAAAAAAAAAAAAAAAA==\""));
       },
       "not-started", "the app has no channel AAAAAAAAAAAAAAAAAAAAAA==", nullptr, "", ""},
      {"a channel needs iOS 18",
       [](Phone& p, std::string&) {
         p.patch(phoneToken, R"({"systemVersion":"17.4"})");
         const std::string channel = p.channel(0);
         return p.push(phoneToken,
                       startBody(p.clock(), ",\"input-push-channel\":\"" + channel + "\""));
       },
       "not-started", "iOS 17.4, and broadcast channels came with iOS 18",
       [](Phone& p, const std::string&) { return p.push(phoneToken, startBody(p.clock())); },
       "applied", ""},
      {"no activities below iOS 16.1",
       [](Phone& p, std::string&) {
         p.patch(phoneToken, R"({"systemVersion":"16.0"})");
         return p.push(phoneToken, startBody(p.clock()));
       },
       "not-started", "Live Activities came with iOS 16.1", nullptr, "", ""},
      {"a start whose stale date has passed is never presented (one report)",
       [](Phone& p, std::string&) {
         return p.push(phoneToken,
                       startBody(p.clock(), ",\"stale-date\":" + std::to_string(p.clock() - 60)));
       },
       "not-started", "observed rule, from one report; --no-stale-start-rule", nullptr, "", ""},
      {"with that rule off, it starts stale",
       [](Phone& p, std::string&) {
         return p.push(phoneToken,
                       startBody(p.clock(), ",\"stale-date\":" + std::to_string(p.clock() - 60)));
       },
       "applied", "", nullptr, "", "", offReport},
      {"a timestamp 9 hours ahead is dropped, so later updates still apply (one report)",
       [](Phone& p, std::string& t) {
         t = p.start();
         return p.push(t, updateBody(static_cast<double>(p.clock() + 9 * hour)));
       },
       "dropped", "lies 9 hours ahead of the device's clock", laterUpdate, "applied", ""},
      {"a timestamp in milliseconds is dropped too",
       [](Phone& p, std::string& t) {
         t = p.start();
         return p.push(t, updateBody(static_cast<double>(p.clock()) * 1000));
       },
       "dropped", "reads as milliseconds", laterUpdate, "applied", ""},
      {"with that rule off, one far timestamp makes every later update look older",
       [](Phone& p, std::string& t) {
         t = p.start();
         return p.push(t, updateBody(static_cast<double>(p.clock() + 9 * hour)),
                       {{"apns-id", "123e4567-e89b-12d3-a456-426614174000"}});
       },
       "applied", "", laterUpdate, "ignored",
       "which push 123e4567-e89b-12d3-a456-426614174000 set at", offReport},
      {"a priority-10 push over the budget is throttled; priority 5 is free",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.patch(phoneToken, R"({"priority10Budget":2})");
         p.update(t);
         p.update(t);
         return p.update(t);
       },
       "throttled", "priority-10 budget is spent (2 an hour",
       [](Phone& p, const std::string& t) {
         return p.update(t, "", {{"apns-priority", "5"}});
       },
       "applied", ""},
      {"the budget refills over the hour",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.patch(phoneToken, R"({"priority10Budget":1})");
         p.update(t);
         return p.update(t);
       },
       "throttled", "this model drops it",
       [](Phone& p, const std::string& t) {
         p.advance(hour);
         return p.update(t);
       },
       "applied", ""},
      {"push-to-start has a budget of its own",
       [](Phone& p, std::string&) {
         p.patch(phoneToken, R"({"pushToStartBudget":1})");
         p.push(phoneToken, startBody(p.clock()));
         return p.push(phoneToken, startBody(p.clock()));
       },
       "not-started", "push-to-start budget is spent",
       [](Phone& p, const std::string&) {
         p.advance(hour);
         return p.push(phoneToken, startBody(p.clock()));
       },
       "applied", ""},
      {"a token of one environment at the other's endpoint",
       [](Phone& p, std::string& t) {
         t = p.start();
         return p.push(t, updateBody(static_cast<double>(p.clock()) + 1), {},
                       Environment::production);
       },
       "400 BadDeviceToken", "belongs to the development environment",
       [](Phone& p, const std::string&) {
         return p.push(phoneToken, startBody(p.clock()), {}, Environment::production);
       },
       "400 BadDeviceToken", "reached the production endpoint"},
      {"an offline device's push is stored, the newest only",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.patch(phoneToken, R"({"online":false})");
         p.update(t, ",\"relevance-score\":1");
         return p.update(t);
       },
       "stored", "which the device will never get",
       [](Phone& p, const std::string&) {
         p.patch(phoneToken, R"({"online":true})");
         return p.last();
       },
       "delivered-late", "while device aaaaaaaa was offline"},
      {"apns-expiration 0 to an offline device is discarded",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.patch(phoneToken, R"({"online":false})");
         return p.update(t, "", {{"apns-expiration", "0"}});
       },
       "expired", "tried once and discarded", nullptr, "", ""},
      {"a stored push expires before the device is back",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.patch(phoneToken, R"({"online":false})");
         return p.update(t, "", {{"apns-expiration", std::to_string(p.clock() + 60)}});
       },
       "stored", "until its apns-expiration",
       [](Phone& p, const std::string&) {
         p.advance(120);
         p.patch(phoneToken, R"({"online":true})");
         return p.last();
       },
       "expired", "passed before the device came back"},
      {"a small apns-expiration lies in 1970",
       [](Phone& p, std::string& t) {
         t = p.start();
         p.patch(phoneToken, R"({"online":false})");
         return p.update(t, "", {{"apns-expiration", "300"}});
       },
       "expired", "1970-01-01T00:05:00Z", nullptr, "", ""},
      {"a rotated token is answered 410 ExpiredToken",
       [](Phone& p, std::string& t) {
         t = p.start();
         const auto activity = p.store().activityByUpdateToken(t).value();
         const auto rotated = p.service().devices().rotateToken(activity.id);
         EXPECT_NE(std::get<host::serve::ActivityRecord>(rotated).updateToken, t);
         return p.update(t);
       },
       "410 ExpiredToken", "a new update token",
       [](Phone& p, const std::string&) {
         return p.update(p.store().activities(1).front().updateToken);
       },
       "applied", ""},
  };
  for (const Rule& rule : rules) {
    SCOPED_TRACE(rule.rule);
    Phone phone(rule.options);
    std::string token;
    const Outcome first = rule.act(phone, token);
    EXPECT_EQ(judged(first), rule.verdict);
    EXPECT_NE(first.words.find(rule.words), std::string::npos) << first.words;
    if (!rule.next) continue;
    const Outcome next = rule.next(phone, token);
    EXPECT_EQ(judged(next), rule.nextVerdict);
    EXPECT_NE(next.words.find(rule.nextWords), std::string::npos) << next.words;
  }
}

// Only the newest push per activity waits for an offline device; the phone takes it once back, as
// an entry of its own with the original push's id and body.
TEST(SimulatedPhone, DeliversTheNewestStoredPushLate) {
  Phone phone;
  const std::string token = phone.start();
  phone.patch(phoneToken, R"({"online":false})");
  phone.update(token);
  phone.update(token, "", {{"apns-id", "123e4567-e89b-12d3-a456-426614174001"}});
  EXPECT_EQ(phone.store().activityByUpdateToken(token)->state.find("Downloading"),
            std::string::npos);
  phone.patch(phoneToken, R"({"online":true})");
  const auto entries = phone.history(2);
  EXPECT_EQ(entries[0].apnsId, "123e4567-e89b-12d3-a456-426614174001");
  EXPECT_EQ(entries[0].verdict, host::serve::Verdict::deliveredLate);
  EXPECT_TRUE(entries[0].shown);
  EXPECT_EQ(entries[1].verdict, host::serve::Verdict::stored);
  EXPECT_NE(phone.store().activityByUpdateToken(token)->state.find("Downloading"),
            std::string::npos);
  // Nothing more was kept.
  phone.patch(phoneToken, R"({"online":false})");
  phone.patch(phoneToken, R"({"online":true})");
  EXPECT_EQ(phone.history(1)[0].apnsId, "123e4567-e89b-12d3-a456-426614174001");
}

TEST(SimulatedPhone, GivesTheIslandToTheHighestRelevanceScoreElseTheFirstStarted) {
  Phone phone;
  const std::string first = phone.start();
  const std::string firstId = phone.last().activityId;
  phone.advance(1);
  const std::string second = phone.start(phoneToken, ",\"relevance-score\":50");
  const Outcome taken = phone.last();
  EXPECT_NE(taken.words.find("passes from activity " + firstId.substr(0, 8)), std::string::npos)
      << taken.words;
  EXPECT_EQ(phone.view().islandHolder, taken.activityId);

  const Outcome back = phone.update(first, ",\"relevance-score\":80");
  EXPECT_EQ(back.verdict, "applied");
  EXPECT_NE(back.words.find("to activity " + firstId.substr(0, 8)), std::string::npos)
      << back.words;
  EXPECT_EQ(phone.view().islandHolder, firstId);
  // An update that leaves the scores as they were says nothing of the island.
  EXPECT_EQ(phone.update(second).words, "");
  // The holder's end hands the island on.
  const Outcome ended =
      phone.push(first, updateBody(static_cast<double>(phone.clock()) + 5, "", "end"));
  EXPECT_EQ(ended.verdict, "ended");
  EXPECT_NE(ended.words.find("passes from activity " + firstId.substr(0, 8)), std::string::npos);
  EXPECT_EQ(phone.view().islandHolder, taken.activityId);
  // With equal scores, the first started holds it.
  std::vector<host::serve::ActivityRecord> tied(2);
  tied[0].id = "late";
  tied[0].createdAtMs = 2000;
  tied[1].id = "early";
  tied[1].createdAtMs = 1000;
  EXPECT_EQ(host::serve::islandHolder(tied, 3000), "early");
}

// A channel of storage policy 1 keeps its latest broadcast for an activity that subscribes later;
// one of policy 0 keeps nothing.
TEST(SimulatedPhone, ReplaysAKeptBroadcastToALateSubscriber) {
  for (const int policy : {1, 0}) {
    SCOPED_TRACE(policy);
    Phone phone;
    const std::string channel = phone.channel(policy);
    ASSERT_FALSE(channel.empty());
    const Outcome heard = phone.broadcast(channel, updateBody(static_cast<double>(phone.clock())));
    EXPECT_EQ(heard.verdict, "dropped");
    EXPECT_EQ(heard.words.find("keeps it") != std::string::npos, policy == 1) << heard.words;
    phone.advance(10);
    const Outcome started = phone.push(
        otherPhone, startBody(phone.clock() - 20, ",\"input-push-channel\":\"" + channel + "\""));
    const auto entries = phone.history(2);
    if (policy == 0) {
      EXPECT_EQ(entries[0].path, "/3/device/" + otherPhone);
      continue;
    }
    EXPECT_EQ(entries[1].verdict, host::serve::Verdict::applied);
    EXPECT_EQ(entries[0].path, "/4/broadcasts/apps/com.tolvex.app");
    EXPECT_EQ(entries[0].verdict, host::serve::Verdict::applied);
    EXPECT_EQ(entries[0].activityId, started.activityId);
    EXPECT_NE(entries[0].error.find("kept by storage policy 1"), std::string::npos);
    EXPECT_NE(phone.store().activity(started.activityId)->state.find("Downloading"),
              std::string::npos);
  }
  // The channel keeps it 8 hours.
  Phone phone;
  const std::string channel = phone.channel(1);
  phone.broadcast(channel, updateBody(static_cast<double>(phone.clock())));
  phone.advance(8 * hour + 1);
  phone.push(otherPhone, startBody(phone.clock(), ",\"input-push-channel\":\"" + channel + "\""));
  EXPECT_EQ(phone.history(1)[0].path, "/3/device/" + otherPhone);
}

TEST(SimulatedPhone, ShowsAndSetsADevice) {
  PhoneOptions options;
  options.appAsksFrequentUpdates = true;
  Phone phone(options);
  phone.start();
  auto device = phone.view();
  EXPECT_EQ(device.priority10Limit, 240);
  EXPECT_EQ(device.pushToStartLeft, 9);
  EXPECT_EQ(device.activities.size(), 1u);
  phone.patch(phoneToken, R"({"frequentUpdates":false,"environment":"production"})");
  device = phone.view();
  EXPECT_EQ(device.priority10Limit, 40);
  EXPECT_EQ(device.record.environment, Environment::production);
  // The page pushes through the endpoint of the device's environment.
  const auto activity =
      phone.store().activityByUpdateToken(phone.store().activities(1)[0].updateToken);
  EXPECT_EQ(phone.service()
                .pushTo(*activity, updateBody(static_cast<double>(phone.clock()) + 1), now * 1000)
                .verdict,
            host::serve::Verdict::applied);

  struct Bad {
    const char* json;
    const char* why;
  };
  const Bad bad[] = {
      {R"({"environment":"staging"})", "environment is"},
      {R"({"systemVersion":"seventeen"})", "systemVersion is"},
      {R"({"online":"no"})", "online is true or false"},
      {R"({"priority10Budget":-1})", "priority10Budget is a whole number"},
      {"[1]", "expected a JSON object"},
  };
  for (const Bad& b : bad) {
    const auto patched = phone.service().patchDevice(phoneToken, b.json, now * 1000);
    ASSERT_TRUE(std::holds_alternative<std::string>(patched)) << b.json;
    EXPECT_NE(std::get<std::string>(patched).find(b.why), std::string::npos);
  }
  // A device the tests set up before its first push.
  phone.patch(otherPhone, R"({"systemVersion":"17.1"})");
  EXPECT_EQ(phone.push(otherPhone, startBody(phone.clock())).verdict, "not-started");
  EXPECT_NE(phone.last().words.find("push-to-start came with iOS 17.2"), std::string::npos);
}

TEST(SimulatedPhone, ShowsNothingOfABroadcastOverTheActivityDataLimit) {
  Phone phone;
  const std::string channel = phone.channel(0);
  phone.push(phoneToken, startBody(phone.clock(), ",\"input-push-channel\":\"" + channel + "\""));
  const std::string big = updateBody(static_cast<double>(phone.clock()) + 1);
  std::string body = big;
  body.replace(body.find("\"demo.zip\""), 10, "\"" + std::string(4200, 'x') + "\"");
  const Outcome over = phone.broadcast(channel, body);
  EXPECT_EQ(over.verdict, "not-started");
  EXPECT_NE(over.words.find("shows nothing"), std::string::npos) << over.words;
}

// A store of the schema before devices had settings opens with each row whole: a device of the
// development environment on the current release, online, with serve's budgets; a delivery shown
// when its verdict was one the activity showed.
TEST(PushStore, OpensAStoreMadeBeforeDevicesHadSettings) {
  const ScratchFolder scratch("serve-version-2");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((scratch.path / "serve.sqlite3").c_str(), &db), SQLITE_OK);
    const char* former = R"sql(
      CREATE TABLE devices(token TEXT PRIMARY KEY, bundle TEXT NOT NULL, first_seen INTEGER NOT NULL);
      CREATE TABLE activities(
        id TEXT PRIMARY KEY, type TEXT NOT NULL, device_token TEXT NOT NULL,
        update_token TEXT NOT NULL, bundle TEXT NOT NULL, channel TEXT NOT NULL,
        attributes TEXT NOT NULL, state TEXT NOT NULL, ended INTEGER NOT NULL, stale_date REAL,
        dismissal_date REAL, last_timestamp REAL, ended_at INTEGER NOT NULL,
        created_at INTEGER NOT NULL);
      CREATE TABLE deliveries(
        push_seq INTEGER NOT NULL, ordinal INTEGER NOT NULL, activity_id TEXT NOT NULL,
        verdict TEXT NOT NULL, error TEXT NOT NULL, warnings TEXT NOT NULL,
        PRIMARY KEY(push_seq, ordinal)) WITHOUT ROWID;
      INSERT INTO devices VALUES ('d-1', 'com.tolvex.app', 5);
      INSERT INTO activities VALUES ('a-1', 'T', 'd-1', 't-1', 'com.tolvex.app', '', '{}', '{}',
                                     0, NULL, NULL, 12, 0, 7);
      INSERT INTO deliveries VALUES (1, 1, 'a-1', 'ended', '', '[]');
      INSERT INTO deliveries VALUES (1, 2, 'a-1', 'dropped', 'bad', '[]');
      PRAGMA user_version = 2;
    )sql";
    ASSERT_EQ(sqlite3_exec(db, former, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  auto store = host::serve::PushStore::open(scratch.path);
  const auto device = store->device("d-1");
  ASSERT_TRUE(device);
  EXPECT_EQ(device->bundle, "com.tolvex.app");
  EXPECT_EQ(device->environment, Environment::development);
  EXPECT_TRUE(device->online);
  EXPECT_TRUE(device->frequentUpdates);
  EXPECT_FALSE(device->priority10Limit);
  const auto activity = store->activityByUpdateToken("t-1");
  ASSERT_TRUE(activity);
  EXPECT_EQ(activity->lastTimestamp, 12);
  EXPECT_FALSE(activity->relevanceScore);
  EXPECT_EQ(store->activitiesOfDevice("d-1").size(), 1u);
  host::serve::HistoryEntry push;
  push.apnsId = "p";
  store->addPush(push);
  store->commit();
  const auto shown = store->appliedPushes("a-1", 10);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].verdict, host::serve::Verdict::ended);
}

}  // namespace
