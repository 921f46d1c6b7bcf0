// Fault rules as a sender's test writes them: what parses, what is refused and why, which pushes
// a rule takes and for how long.
#include "platform/host/serve/service/fault_rules.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using host::serve::Environment;
using host::serve::FaultAction;
using host::serve::FaultRule;
using host::serve::FaultRules;
using host::serve::FaultTarget;

FaultRule parsed(std::string_view json) {
  auto rule = host::serve::parseFaultRule(json);
  if (const auto* why = std::get_if<std::string>(&rule)) ADD_FAILURE() << json << ": " << *why;
  return std::get_if<FaultRule>(&rule) ? std::get<FaultRule>(rule) : FaultRule{};
}

TEST(FaultRules, ParsesEachActionWithTheServicesStatusForItsReason) {
  struct Case {
    const char* json;
    int status;
    const char* reason;
    FaultAction action;
    const char* shown;  // the API's form, with the id 1
  };
  const std::vector<Case> cases = {
      {R"({"reason":"TooManyRequests","retryAfterSeconds":30,"times":3})", 429, "TooManyRequests",
       FaultAction::answer,
       R"({"id":"1","match":{},"status":429,"reason":"TooManyRequests","delaySeconds":0,)"
       R"("retryAfterSeconds":30,"times":3,"left":3,"action":"answer"})"},
      {R"({"status":503,"reason":"ServiceUnavailable","delaySeconds":1.5,"action":"answer"})", 503,
       "ServiceUnavailable", FaultAction::answer,
       R"({"id":"1","match":{},"status":503,"reason":"ServiceUnavailable","delaySeconds":1.5,)"
       R"("action":"answer"})"},
      {R"({"reason":"BadEnvironmentKeyInToken","match":{"environment":"production"}})", 403,
       "BadEnvironmentKeyInToken", FaultAction::answer,
       R"({"id":"1","match":{"environment":"production"},"status":403,)"
       R"("reason":"BadEnvironmentKeyInToken","delaySeconds":0,"action":"answer"})"},
      {R"({"action":"goaway","reason":"IdleTimeout","match":{"tokenPrefix":"AB"},"times":null})", 0,
       "IdleTimeout", FaultAction::goaway, nullptr},
      {R"({"action":"goaway"})", 0, "Shutdown", FaultAction::goaway,
       R"({"id":"1","match":{},"status":0,"reason":"Shutdown","delaySeconds":0,"action":"goaway"})"},
      {R"({"action":"reset","match":{"path":"/4/broadcasts","pushType":"LiveActivity"}})", 0, "",
       FaultAction::reset,
       R"({"id":"1","match":{"path":"/4/broadcasts","pushType":"LiveActivity"},"status":0,)"
       R"("reason":null,"delaySeconds":0,"action":"reset"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    auto result = host::serve::parseFaultRule(c.json);
    ASSERT_TRUE(std::holds_alternative<FaultRule>(result)) << std::get<std::string>(result);
    const FaultRule& rule = std::get<FaultRule>(result);
    EXPECT_EQ(rule.status, c.status);
    EXPECT_EQ(rule.reason, c.reason);
    EXPECT_EQ(rule.action, c.action);
    if (c.shown) {
      FaultRules rules;
      EXPECT_EQ(host::serve::faultRuleJson(std::get<FaultRule>(rules.add(rule))), c.shown);
    }
  }
}

TEST(FaultRules, RefusesWhatWouldSilentlyDoSomethingElse) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {R"([])", "a rule is a JSON object"},
      {R"({"reason":"TooManyRequests",)", "not JSON"},
      {R"({"reason":"TooManyRequest"})", "reason \"TooManyRequest\" is none of the service's"},
      {R"({"status":429})", "an answer needs a reason"},
      {R"({"status":400,"reason":"TooManyRequests"})",
       "the service answers TooManyRequests with 429, not 400"},
      {R"({"reason":"BadTopic","retryAfterSeconds":5})",
       "retryAfterSeconds goes with a 429 or 503"},
      {R"({"reason":"TooManyRequests","retry_after":5})", "a rule has no member \"retry_after\""},
      {R"({"id":"3","reason":"TooManyRequests"})", "serve keeps it"},
      {R"({"reason":"Shutdown","reason":"Shutdown"})", "reason is given twice"},
      {R"({"match":{"tokenprefix":"ab"},"reason":"Unregistered"})",
       "match has no member \"tokenprefix\""},
      {R"({"match":{"environment":"sandbox"},"reason":"Unregistered"})",
       "match.environment must be development or production"},
      {R"({"match":{"path":"3/device"},"reason":"Unregistered"})", "match.path must start with /"},
      {R"({"match":{"token":""},"reason":"Unregistered"})", "match.token must be a string of 1"},
      {R"({"match":"all","reason":"Unregistered"})", "match must be an object"},
      {R"({"match":{"times":1},"reason":"Unregistered"})", "match has no member \"times\""},
      {R"({"reason":"Unregistered","times":0})", "times must be a whole number from 1"},
      {R"({"reason":"Unregistered","times":1.5})", "times must be a whole number"},
      {R"({"reason":"Unregistered","delaySeconds":61})", "delaySeconds must be a number from 0"},
      {R"({"reason":"Unregistered","delaySeconds":-1})", "delaySeconds must be a number from 0"},
      {R"({"action":"close"})", "action must be answer, goaway or reset"},
      {R"({"action":"goaway","status":503})", "a goaway sends no status"},
      {R"({"action":"reset","reason":"Shutdown"})", "a reset sends no status and no reason"},
  };
  for (const auto& [json, why] : cases) {
    SCOPED_TRACE(json);
    auto result = host::serve::parseFaultRule(json);
    ASSERT_TRUE(std::holds_alternative<std::string>(result));
    EXPECT_NE(std::get<std::string>(result).find(why), std::string::npos)
        << std::get<std::string>(result);
  }
  EXPECT_TRUE(std::holds_alternative<std::string>(host::serve::parseFaultRule(
      R"({"reason":"TooManyRequests","match":{"token":")" + std::string(20000, 'a') + "\"}}")));
}

TEST(FaultRules, TakesPushesByEveryMemberOfItsMatch) {
  const std::string device(64, 'a');
  const std::string path = "/3/device/" + device;
  const FaultTarget development{device, true, path, "liveactivity", Environment::development};
  FaultTarget production = development;
  production.environment = Environment::production;
  const FaultTarget broadcast{"AAAAAAAAAAAAAAAAAAAAAA==", false,
                              "/4/broadcasts/apps/com.tolvex.app", "LiveActivity",
                              Environment::development};
  struct Case {
    const char* match;
    bool development, production, broadcast;
  };
  const std::vector<Case> cases = {
      {"{}", true, true, true},
      {R"({"token":"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"})", true,
       true, false},
      {R"({"tokenPrefix":"aaaa"})", true, true, false},
      {R"({"tokenPrefix":"AAAA"})", true, true, true},
      {R"({"token":"aaaaaaaaaaaaaaaaaaaaaa=="})", false, false, false},
      {R"({"tokenPrefix":"b"})", false, false, false},
      {R"({"path":"/3/device/"})", true, true, false},
      {R"({"path":"/4/broadcasts"})", false, false, true},
      {R"({"pushType":"LIVEACTIVITY"})", true, true, true},
      {R"({"pushType":"alert"})", false, false, false},
      {R"({"environment":"production"})", false, true, false},
      {R"({"environment":"development","path":"/3/"})", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.match);
    FaultRules rules;
    rules.add(parsed(std::string(R"({"reason":"TooManyRequests","match":)") + c.match + "}"));
    EXPECT_EQ(rules.take(development).has_value(), c.development);
    EXPECT_EQ(rules.take(production).has_value(), c.production);
    EXPECT_EQ(rules.take(broadcast).has_value(), c.broadcast);
  }
}

TEST(FaultRules, CountsDownTheirTimesAndTheFirstThatMatchesTakesThePush) {
  const std::string device(64, 'b');
  const std::string path = "/3/device/" + device;
  const FaultTarget push{device, true, path, "liveactivity", Environment::development};
  FaultRules rules;
  rules.add(parsed(R"({"reason":"TooManyRequests","times":2})"));
  rules.add(parsed(R"({"reason":"ServiceUnavailable"})"));
  std::vector<std::string> taken;
  for (int i = 0; i < 4; ++i) taken.push_back(rules.take(push)->reason);
  EXPECT_EQ(taken, (std::vector<std::string>{"TooManyRequests", "TooManyRequests",
                                             "ServiceUnavailable", "ServiceUnavailable"}));
  EXPECT_EQ(rules.rules().front().left, 0);
  EXPECT_NE(host::serve::faultRuleJson(rules.rules().front()).find("\"times\":2,\"left\":0"),
            std::string::npos);
  EXPECT_TRUE(rules.remove("2"));
  EXPECT_FALSE(rules.remove("2"));
  EXPECT_FALSE(rules.take(push));

  FaultRules last;
  last.add(parsed(R"({"reason":"TooManyRequests","times":1,"retryAfterSeconds":30})"));
  EXPECT_EQ(host::serve::describeFault(*last.take(push)),
            "429 TooManyRequests, Retry-After 30 (rule 1; 0 matches left)");
}

TEST(FaultRules, BoundsHowManyThereAreAndReadsThemFromAFile) {
  FaultRules rules;
  const FaultRule rule = parsed(R"({"reason":"TooManyRequests"})");
  for (std::size_t i = 0; i < host::serve::maxFaultRules; ++i) {
    ASSERT_TRUE(std::holds_alternative<FaultRule>(rules.add(rule)));
  }
  EXPECT_TRUE(std::holds_alternative<std::string>(rules.add(rule)));

  auto file = host::serve::parseFaultRules(
      R"([{"reason":"TooManyRequests","match":{"path":"/3/device/"}},
          {"action":"goaway","reason":"IdleTimeout","match":{"tokenPrefix":"[,{\"]"}},
          {"action":"reset"}])");
  ASSERT_TRUE(std::holds_alternative<std::vector<FaultRule>>(file)) << std::get<std::string>(file);
  const auto& read = std::get<std::vector<FaultRule>>(file);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[1].match.tokenPrefix, "[,{\"]");
  EXPECT_EQ(read[2].action, FaultAction::reset);
  EXPECT_TRUE(std::get<std::vector<FaultRule>>(host::serve::parseFaultRules("[]")).empty());

  const std::vector<std::pair<std::string, const char*>> bad = {
      {R"({"reason":"TooManyRequests"})", "the rules are a JSON array of objects"},
      {R"([{"reason":"TooManyRequests"},{"reason":"Nope"}])", "rule 2: reason \"Nope\""},
      {R"([{"reason":"TooManyRequests"},])", "not JSON"},
      {"[" + std::string(2 * 1024 * 1024, ' ') + "]", "at most 1 MB"},
  };
  for (const auto& [json, why] : bad) {
    auto result = host::serve::parseFaultRules(json);
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << json.substr(0, 60);
    EXPECT_NE(std::get<std::string>(result).find(why), std::string::npos)
        << std::get<std::string>(result);
  }
  std::string many = "[";
  for (std::size_t i = 0; i <= host::serve::maxFaultRules; ++i) {
    many += std::string(i ? "," : "") + R"({"action":"reset"})";
  }
  auto tooMany = host::serve::parseFaultRules(many + "]");
  ASSERT_TRUE(std::holds_alternative<std::string>(tooMany));
  EXPECT_EQ(std::get<std::string>(tooMany), "more than 1000 rules");
}

}  // namespace
