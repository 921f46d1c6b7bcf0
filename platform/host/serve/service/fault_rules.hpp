#pragma once

#include "platform/host/serve/common/exchange.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace host::serve {

// What a fault does to a push it matches: answers with a status and reason, closes the connection
// with a GOAWAY, or resets the stream.
enum class FaultAction : std::uint8_t { answer, goaway, reset };

// Which pushes a rule takes; a member left out takes any, so a rule without any takes every push.
struct FaultMatch {
  std::optional<std::string> token;        // the device token, or a broadcast's channel id
  std::optional<std::string> tokenPrefix;  // the same, by its start
  std::optional<std::string> path;         // the request's path, by its start
  std::optional<std::string> pushType;     // apns-push-type, ignoring case
  std::optional<Environment> environment;  // the endpoint the push reached
};

// An answer a sender's test asked for: for its next `times` matches (every one when absent), the
// service's answer with this status and reason, after the delay.
struct FaultRule {
  std::string id;
  FaultMatch match;
  int status = 0;                        // 0 for goaway and reset, which send none
  std::string reason;                    // for goaway, the reason its debug data carries
  std::int64_t delayMs = 0;              // delaySeconds, which may have a fraction
  std::optional<int> retryAfterSeconds;  // sent as Retry-After, on 429 and 503 only
  std::optional<std::int64_t> times;
  std::optional<std::int64_t> left;  // matches left; absent with `times`
  FaultAction action = FaultAction::answer;
};

// What a push carries that a rule may match on.
struct FaultTarget {
  std::string_view token;
  bool device = false;  // a token of /3/device (compared ignoring case), else a channel id
  std::string_view path;
  std::string_view pushType;
  Environment environment = Environment::development;
};

// A rule's bounds: what a sender's test needs, with room to spare.
constexpr std::size_t maxFaultRules = 1000;
constexpr std::size_t maxFaultRuleBytes = 16 * 1024;
constexpr std::size_t maxFaultFileBytes = 1024 * 1024;
constexpr int maxFaultDelaySeconds = 60;

// One rule from its JSON form (without `id` and `left`), or why it is not one: an unknown member,
// a value of the wrong type or range, a reason not in the service's table, a status that does
// not go with its reason. Reasons and statuses are the service's own table's.
std::variant<FaultRule, std::string> parseFaultRule(std::string_view json);
// A JSON array of rules, as `--faults FILE` gives them; the error names the rule by its place.
std::variant<std::vector<FaultRule>, std::string> parseFaultRules(std::string_view json);

// The rule as the page API shows it.
std::string faultRuleJson(const FaultRule& rule);
// The rule in a few words, for the history: "429 TooManyRequests, Retry-After 30 (rule 2; ...)".
std::string describeFault(const FaultRule& rule);

// The rules in force, in the order they were added; the first that matches a push takes it. One
// thread owns them: the one that answers pushes.
class FaultRules {
 public:
  // The rule with its new id, or why not (there are `maxFaultRules` already).
  std::variant<FaultRule, std::string> add(FaultRule rule);
  bool remove(std::string_view id);
  const std::vector<FaultRule>& rules() const noexcept { return rules_; }

  // The rule that takes this push, as it was when it took it, counting the match; none when no
  // rule with matches left matches.
  std::optional<FaultRule> take(const FaultTarget& target);

 private:
  std::vector<FaultRule> rules_;
  std::uint64_t lastId_ = 0;
};

}  // namespace host::serve
