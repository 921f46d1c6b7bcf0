#include "platform/host/serve/service/fault_rules.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"
#include "platform/host/serve/common/untrusted_json.hpp"
#include "platform/host/serve/service/reason.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace host::serve {
namespace {

using coding::JsonValue;

constexpr std::size_t maxMatchText = 512;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

bool present(const JsonValue& value) {
  return value.type != JsonValue::Type::missing && value.type != JsonValue::Type::null;
}

// A whole number within [least, most], or why not.
std::variant<std::int64_t, std::string> wholeNumber(std::string_view name, const JsonValue& value,
                                                    std::int64_t least, std::int64_t most) {
  if (value.type != JsonValue::Type::number || value.number != std::floor(value.number) ||
      value.number < static_cast<double>(least) || value.number > static_cast<double>(most)) {
    return std::string(name) + " must be a whole number from " + std::to_string(least) + " to " +
           std::to_string(most);
  }
  return static_cast<std::int64_t>(value.number);
}

// Whether `name` is one of `names` and was seen before, marking it seen.
template <std::size_t N>
bool seenBefore(const std::array<std::string_view, N>& names, std::array<bool, N>& seen,
                std::string_view name) {
  const auto at =
      static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
  return at < N && std::exchange(seen[at], true);
}

std::optional<std::string> readMatch(const coding::JsonDocument& document, const JsonValue& match,
                                     FaultMatch& out) {
  if (match.type != JsonValue::Type::object) return "match must be an object";
  static constexpr std::array<std::string_view, 5> names{"token", "tokenPrefix", "path", "pushType",
                                                         "environment"};
  std::array<bool, names.size()> seen{};
  std::optional<std::string> fault;
  document.forEachMember(match.node, [&](std::string_view name, const JsonValue& value) {
    if (fault) return;
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      fault = "match has no member " + jsonString(name) +
              "; it takes token, tokenPrefix, path, pushType and environment";
    } else if (seenBefore(names, seen, name)) {
      fault = "match." + std::string(name) + " is given twice";
    } else if (value.type == JsonValue::Type::null) {
      return;
    } else if (value.type != JsonValue::Type::string || value.text.empty() ||
               value.text.size() > maxMatchText) {
      fault = "match." + std::string(name) + " must be a string of 1 to 512 bytes";
    } else if (name == "token") {
      out.token = std::string(value.text);
    } else if (name == "tokenPrefix") {
      out.tokenPrefix = std::string(value.text);
    } else if (name == "path") {
      if (value.text.front() != '/') fault = "match.path must start with /";
      out.path = std::string(value.text);
    } else if (name == "pushType") {
      out.pushType = std::string(value.text);
    } else if (value.text == "development") {
      out.environment = Environment::development;
    } else if (value.text == "production") {
      out.environment = Environment::production;
    } else {
      fault = "match.environment must be development or production";
    }
  });
  return fault;
}

bool startsWith(std::string_view text, std::string_view prefix, bool ignoringCase) {
  if (text.size() < prefix.size()) return false;
  text = text.substr(0, prefix.size());
  return ignoringCase ? equalsIgnoringCase(text, prefix) : text == prefix;
}

bool matches(const FaultMatch& match, const FaultTarget& target) {
  if (match.token && !(target.device ? equalsIgnoringCase(target.token, *match.token)
                                     : target.token == *match.token)) {
    return false;
  }
  if (match.tokenPrefix && !startsWith(target.token, *match.tokenPrefix, target.device)) {
    return false;
  }
  if (match.path && !startsWith(target.path, *match.path, false)) return false;
  if (match.pushType && !equalsIgnoringCase(target.pushType, *match.pushType)) return false;
  return !match.environment || *match.environment == target.environment;
}

std::string_view environmentName(Environment environment) {
  return environment == Environment::production ? "production" : "development";
}

std::string_view actionName(FaultAction action) {
  switch (action) {
    case FaultAction::goaway:
      return "goaway";
    case FaultAction::reset:
      return "reset";
    case FaultAction::answer:
      break;
  }
  return "answer";
}

std::string seconds(double value) {
  std::string out;
  coding::JsonWriter(out).number(value);
  return out;
}

}  // namespace

std::variant<FaultRule, std::string> parseFaultRule(std::string_view json) {
  if (json.size() > maxFaultRuleBytes) return std::string("a rule has at most 16384 bytes");
  coding::JsonDocument document;
  if (const auto error = document.read(json)) return "not JSON: " + error->description();
  const JsonValue root = document.root();
  if (root.type != JsonValue::Type::object) return std::string("a rule is a JSON object");
  static constexpr std::array<std::string_view, 7> names{
      "match", "status", "reason", "delaySeconds", "retryAfterSeconds", "times", "action"};
  std::array<bool, names.size()> seen{};
  std::optional<std::string> fault;
  document.forEachMember(root.node, [&](std::string_view name, const JsonValue&) {
    if (fault) return;
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      fault = "a rule has no member " + jsonString(name) +
              (name == "id" || name == "left" ? std::string("; serve keeps it")
                                              : "; it takes match, status, reason, delaySeconds, "
                                                "retryAfterSeconds, times and action");
    } else if (seenBefore(names, seen, name)) {
      fault = std::string(name) + " is given twice";
    }
  });
  if (fault) return *fault;
  std::array<JsonValue, 7> values;
  document.lookUp(root.node, names, values);
  const auto& [match, status, reason, delay, retryAfter, times, action] = values;

  FaultRule rule;
  if (present(match)) {
    if (auto why = readMatch(document, match, rule.match)) return *why;
  }
  if (present(action)) {
    if (action.type != JsonValue::Type::string) return std::string("action must be a string");
    if (action.text == "goaway") {
      rule.action = FaultAction::goaway;
    } else if (action.text == "reset") {
      rule.action = FaultAction::reset;
    } else if (action.text != "answer") {
      return std::string("action must be answer, goaway or reset");
    }
  }
  if (present(reason)) {
    if (reason.type != JsonValue::Type::string) return std::string("reason must be a string");
    if (statusOf(reason.text) == 0) {
      return "reason " + jsonString(reason.text.substr(0, 64)) +
             " is none of the service's reasons";
    }
    rule.reason = std::string(reason.text);
  }
  if (present(status)) {
    const auto number = wholeNumber("status", status, 100, 599);
    if (const auto* why = std::get_if<std::string>(&number)) return *why;
    rule.status = static_cast<int>(std::get<std::int64_t>(number));
  }
  switch (rule.action) {
    case FaultAction::answer:
      if (rule.reason.empty()) {
        return std::string("an answer needs a reason, such as TooManyRequests");
      }
      if (rule.status != 0 && rule.status != statusOf(rule.reason)) {
        return "the service answers " + rule.reason + " with " +
               std::to_string(statusOf(rule.reason)) + ", not " + std::to_string(rule.status);
      }
      rule.status = statusOf(rule.reason);
      break;
    case FaultAction::goaway:
      if (rule.status != 0) return std::string("a goaway sends no status");
      if (rule.reason.empty()) rule.reason = "Shutdown";
      break;
    case FaultAction::reset:
      if (rule.status != 0 || !rule.reason.empty()) {
        return std::string("a reset sends no status and no reason");
      }
      break;
  }
  if (present(delay)) {
    if (delay.type != JsonValue::Type::number || !(delay.number >= 0) ||
        delay.number > maxFaultDelaySeconds) {
      return std::string("delaySeconds must be a number from 0 to 60");
    }
    rule.delayMs = std::lround(delay.number * 1000);
  }
  if (present(retryAfter)) {
    const auto number = wholeNumber("retryAfterSeconds", retryAfter, 0, 86400);
    if (const auto* why = std::get_if<std::string>(&number)) return *why;
    if (rule.status != 429 && rule.status != 503) {
      return std::string("retryAfterSeconds goes with a 429 or 503 answer only");
    }
    rule.retryAfterSeconds = static_cast<int>(std::get<std::int64_t>(number));
  }
  if (present(times)) {
    const auto number = wholeNumber("times", times, 1, 1000000000);
    if (const auto* why = std::get_if<std::string>(&number)) return *why;
    rule.times = rule.left = std::get<std::int64_t>(number);
  }
  return rule;
}

std::variant<std::vector<FaultRule>, std::string> parseFaultRules(std::string_view json) {
  if (json.size() > maxFaultFileBytes) return std::string("a file of rules has at most 1 MB");
  {
    coding::JsonDocument document;
    if (const auto error = document.read(json)) return "not JSON: " + error->description();
    if (document.root().type != JsonValue::Type::array) {
      return std::string("the rules are a JSON array of objects");
    }
  }
  // The text is valid JSON: its elements lie between the commas outside strings at depth 1.
  std::vector<FaultRule> rules;
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  std::size_t start = 0;
  const auto element = [&](std::size_t end) -> std::optional<std::string> {
    const std::string_view text = json.substr(start, end - start);
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return std::nullopt;
    if (rules.size() == maxFaultRules) return "more than 1000 rules";
    auto rule = parseFaultRule(text);
    if (auto* why = std::get_if<std::string>(&rule)) {
      return "rule " + std::to_string(rules.size() + 1) + ": " + *why;
    }
    rules.push_back(std::move(std::get<FaultRule>(rule)));
    return std::nullopt;
  };
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth == 1) start = i + 1;
    } else if (c == ']' || c == '}') {
      if (depth-- == 1) {
        if (auto why = element(i)) return *why;
      }
    } else if (c == ',' && depth == 1) {
      if (auto why = element(i)) return *why;
      start = i + 1;
    }
  }
  return rules;
}

std::string faultRuleJson(const FaultRule& rule) {
  std::string out;
  coding::JsonWriter writer(out);
  const auto member = [&](std::string_view name) {
    if (out.back() != '{') writer.comma();
    writer.string(name);
    writer.colon();
  };
  const auto text = [&](std::string_view name, const std::optional<std::string>& value) {
    if (!value) return;
    member(name);
    appendJsonString(out, *value);
  };
  writer.beginObject();
  member("id");
  appendJsonString(out, rule.id);
  member("match");
  writer.beginObject();
  text("token", rule.match.token);
  text("tokenPrefix", rule.match.tokenPrefix);
  text("path", rule.match.path);
  text("pushType", rule.match.pushType);
  if (rule.match.environment) {
    member("environment");
    writer.string(environmentName(*rule.match.environment));
  }
  writer.endObject();
  member("status");
  writer.number(rule.status);
  member("reason");
  if (rule.reason.empty()) {
    writer.null();
  } else {
    writer.string(rule.reason);
  }
  member("delaySeconds");
  writer.number(static_cast<double>(rule.delayMs) / 1000);
  if (rule.retryAfterSeconds) {
    member("retryAfterSeconds");
    writer.number(*rule.retryAfterSeconds);
  }
  if (rule.times) {
    member("times");
    writer.number(static_cast<double>(*rule.times));
    member("left");
    writer.number(static_cast<double>(rule.left.value_or(0)));
  }
  member("action");
  writer.string(actionName(rule.action));
  writer.endObject();
  return out;
}

std::string describeFault(const FaultRule& rule) {
  std::string out;
  switch (rule.action) {
    case FaultAction::answer:
      out = std::to_string(rule.status) + " " + rule.reason;
      if (rule.retryAfterSeconds) {
        out += ", Retry-After " + std::to_string(*rule.retryAfterSeconds);
      }
      break;
    case FaultAction::goaway:
      out = "GOAWAY " + rule.reason + ", closing the connection";
      break;
    case FaultAction::reset:
      out = "stream reset";
      break;
  }
  if (rule.delayMs > 0)
    out += ", after " + seconds(static_cast<double>(rule.delayMs) / 1000) + " s";
  out += " (rule " + rule.id;
  if (rule.left) {
    out += "; " + std::to_string(*rule.left) + (*rule.left == 1 ? " match" : " matches") + " left";
  }
  return out + ")";
}

std::variant<FaultRule, std::string> FaultRules::add(FaultRule rule) {
  if (rules_.size() >= maxFaultRules) {
    return std::string("there are 1000 rules already; delete some first");
  }
  rule.id = std::to_string(++lastId_);
  rules_.push_back(rule);
  return rule;
}

bool FaultRules::remove(std::string_view id) {
  return std::erase_if(rules_, [&](const FaultRule& rule) { return rule.id == id; }) > 0;
}

std::optional<FaultRule> FaultRules::take(const FaultTarget& target) {
  for (FaultRule& rule : rules_) {
    if (rule.left == 0 || !matches(rule.match, target)) continue;
    if (rule.left) --*rule.left;
    return rule;
  }
  return std::nullopt;
}

}  // namespace host::serve
