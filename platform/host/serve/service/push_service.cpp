#include "platform/host/serve/service/push_service.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"
#include "platform/foundation/base64.hpp"
#include "platform/host/serve/common/random_id.hpp"
#include "platform/host/serve/common/untrusted_json.hpp"
#include "platform/host/serve/service/reason.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>

namespace host::serve {
namespace {

constexpr std::string_view topicSuffix = ".push-type.liveactivity";
constexpr std::size_t devicePayloadLimit = 4096;
constexpr std::size_t broadcastPayloadLimit = 5120;
constexpr std::size_t channelLimit = 10000;
// What the history keeps of a refused request's body: enough to recognise it, while a flood of
// requests without a token does not fill the disk.
constexpr std::size_t rejectedBodyKept = 1024;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

// The value of a header, and whether it was there at all.
std::optional<std::string_view> header(const Request& request, std::string_view name) {
  for (const Header& h : request.headers) {
    if (equalsIgnoringCase(h.name, name)) return std::string_view(h.value);
  }
  return std::nullopt;
}

// The name of a header given more than once.
std::optional<std::string_view> duplicateHeader(const Request& request) {
  const auto& h = request.headers;
  for (std::size_t i = 0; i < h.size(); ++i) {
    for (std::size_t j = i + 1; j < h.size(); ++j) {
      if (equalsIgnoringCase(h[i].name, h[j].name)) return std::string_view(h[i].name);
    }
  }
  return std::nullopt;
}

bool isUuid(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

bool isDigits(std::string_view text) {
  return !text.empty() && text.size() <= 19 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string lowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  }
  return out;
}

// A refusal as the service answers it, with its one-line why for the history (never sent: the
// sender's client gets exactly the service's body).
Response failure(std::string_view reason, const std::string& apnsId, std::string why = {},
                 std::optional<std::int64_t> timestampMs = std::nullopt) {
  Response response;
  response.status = statusOf(reason);
  response.headers.push_back({"apns-id", apnsId});
  response.headers.push_back({"content-type", "application/json"});
  std::string body;
  coding::JsonWriter writer(body);
  writer.raw("{\"reason\":");
  writer.string(reason);
  if (timestampMs) writer.raw(",\"timestamp\":" + std::to_string(*timestampMs));
  writer.raw("}");
  response.body = std::move(body);
  response.reason = reason;
  response.why = std::move(why);
  return response;
}

std::string quotedText(std::string_view text) {
  std::string out = "\"";
  out.append(text.substr(0, 80));
  return out + (text.size() > 80 ? "…\"" : "\"");
}

std::string isoTime(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The rules that device pushes and broadcasts share, with their whys.
std::optional<Response> methodFault(const Request& request, const std::string& apnsId) {
  if (request.method != "POST") {
    return failure("MethodNotAllowed", apnsId, "the method is " + request.method + ", not POST");
  }
  if (const auto name = duplicateHeader(request)) {
    return failure("DuplicateHeaders", apnsId,
                   "the header " + quotedText(*name) + " is given more than once");
  }
  return std::nullopt;
}

std::optional<Response> pushTypeFault(const Request& request, const std::string& apnsId) {
  const auto pushType = header(request, "apns-push-type");
  if (pushType && equalsIgnoringCase(*pushType, "liveactivity")) return std::nullopt;
  return failure("InvalidPushType", apnsId,
                 (pushType ? "apns-push-type is " + quotedText(*pushType)
                           : std::string("no apns-push-type header")) +
                     "; a Live Activity push has liveactivity");
}

std::optional<Response> priorityFault(const Request& request, const std::string& apnsId) {
  const auto priority = header(request, "apns-priority");
  if (!priority || *priority == "10" || *priority == "5") return std::nullopt;
  return failure("BadPriority", apnsId,
                 "apns-priority is " + quotedText(*priority) +
                     "; it is 10 (at once) or 5 (when the phone chooses)");
}

// `apns-expiration` in seconds, when given (its digits are checked before).
std::optional<std::int64_t> expirationOf(const Request& request) {
  const auto expiration = header(request, "apns-expiration");
  if (!expiration) return std::nullopt;
  return static_cast<std::int64_t>(
      std::min<unsigned long long>(std::strtoull(std::string(*expiration).c_str(), nullptr, 10),
                                   std::numeric_limits<std::int64_t>::max() / 1000));
}

// What the history keeps of the headers: the provider token is a credential, so only its start.
// A provider token kept without its signature: its header and claims say which key and team sign
// a copy of the push, and what is kept cannot be sent. Anything else is cut short.
std::string withoutSignature(std::string_view authorization) {
  constexpr std::size_t longest = 512;
  const std::size_t signature = authorization.rfind('.');
  const bool jwt = signature != std::string_view::npos && signature < longest &&
                   std::count(authorization.begin(), authorization.end(), '.') == 2;
  const std::size_t kept = jwt ? signature + 1 : std::min<std::size_t>(authorization.size(), 24);
  if (kept == authorization.size()) return std::string(authorization);
  return std::string(authorization.substr(0, kept)) + "...";
}

std::string headersJson(const Request& request) {
  std::string out;
  out.reserve(256);
  out += '{';
  for (const Header& h : request.headers) {
    if (out.size() > 1) out += ',';
    appendJsonString(out, h.name);
    out += ':';
    if (equalsIgnoringCase(h.name, "authorization")) {
      appendJsonString(out, withoutSignature(h.value));
    } else {
      appendJsonString(out, h.value);
    }
  }
  out += '}';
  return out;
}

std::string warningsJson(const std::vector<std::string>& warnings) {
  std::string out = "[";
  for (const std::string& warning : warnings) {
    if (out.size() > 1) out += ',';
    appendJsonString(out, warning);
  }
  out += ']';
  return out;
}

// The push's deliveries, the first of them also as the push's own verdict; the service's notes
// on the push go first among the first delivery's warnings.
void recordOutcomes(HistoryEntry& record, std::vector<DeviceOutcome> outcomes,
                    const std::vector<std::string>& notes = {}) {
  record.deliveries.reserve(outcomes.size());
  if (!outcomes.empty() && !notes.empty()) {
    auto& warnings = outcomes.front().warnings;
    warnings.insert(warnings.begin(), notes.begin(), notes.end());
  }
  for (DeviceOutcome& outcome : outcomes) {
    outcome.delivery.warnings = warningsJson(outcome.warnings);
    record.deliveries.push_back(std::move(outcome.delivery));
  }
  const Delivery& first = record.deliveries.front();
  record.verdict = first.verdict;
  record.error = first.error;
  record.warnings = first.warnings;
  record.activityId = first.activityId;
  record.shown = first.shown;
  // A delivery with no activity is the push's own verdict, not a delivery.
  if (first.activityId.empty()) record.deliveries.clear();
}

// An apns-expiration in the past that is not 0 is taken, as the service takes it; the sender
// most often meant a duration.
void warnAboutExpiration(const Request& request, std::vector<DeviceOutcome>& outcomes) {
  const auto expiration = header(request, "apns-expiration");
  std::int64_t seconds = 0;
  if (!expiration || !isDigits(*expiration) ||
      std::from_chars(expiration->data(), expiration->data() + expiration->size(), seconds).ec !=
          std::errc()) {
    return;
  }
  const auto warning = pastExpirationWarning(seconds, request.nowMs / 1000);
  if (!warning) return;
  for (DeviceOutcome& outcome : outcomes) outcome.warnings.push_back(warning->description());
}

// The path split at '/': "/3/device/abc" gives {"3", "device", "abc"}.
std::vector<std::string_view> segments(std::string_view path) {
  std::vector<std::string_view> parts;
  if (path.empty() || path.front() != '/') return parts;
  path.remove_prefix(1);
  while (parts.size() < 8) {
    const std::size_t slash = path.find('/');
    parts.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

}  // namespace

Response PushService::handle(const Request& request, ConnectionTokens& tokens) {
  return handle(request, tokens, nullptr);
}

void PushService::record(HistoryEntry&& push) {
  if (listener_) listener_(push);
  store_.addPush(std::move(push));
}

void PushService::recordLate(std::int64_t nowMs) {
  for (LateDelivery& late : devices_.takeLate()) {
    HistoryEntry entry = std::move(late.original);
    entry.timeMs = nowMs;  // when the phone took it
    entry.status = 200;
    entry.reason.clear();
    entry.deliveries.clear();
    std::vector<DeviceOutcome> outcomes;
    outcomes.push_back(std::move(late.outcome));
    recordOutcomes(entry, std::move(outcomes));
    record(std::move(entry));
  }
}

std::variant<DeviceView, std::string> PushService::patchDevice(const std::string& token,
                                                               std::string_view json,
                                                               std::int64_t nowMs) {
  auto patched = devices_.patch(token, json, nowMs);
  recordLate(nowMs);
  return patched;
}

std::variant<ActivityRecord, std::string> PushService::startLocally(std::string_view input,
                                                                    std::int64_t nowMs) {
  auto started = devices_.startLocally(input, nowMs);
  if (const auto* activity = std::get_if<ActivityRecord>(&started)) {
    HistoryEntry push;
    push.apnsId = newApnsId();
    push.timeMs = nowMs;
    push.path = "/api/activities";
    push.token = activity->updateToken;
    push.headers = "{}";
    push.body = std::string(input);
    push.status = 201;
    recordOutcomes(push, {{{activity->id, Verdict::applied, {}, {}, true}, {}}});
    record(std::move(push));
  }
  return started;
}

HistoryEntry PushService::pushTo(const ActivityRecord& activity, std::string body,
                                 std::int64_t nowMs) {
  Request request;
  request.method = "POST";
  const std::string bundle =
      !activity.bundle.empty() ? activity.bundle : options_.bundleId.value_or("local.preview");
  request.headers = {{"apns-push-type", "liveactivity"}, {"apns-priority", "10"}};
  if (!activity.updateToken.empty()) {
    request.path = "/3/device/" + activity.updateToken;
    request.headers.push_back({"apns-topic", bundle + std::string(topicSuffix)});
  } else {
    request.path = "/4/broadcasts/apps/" + bundle;
    request.headers.push_back({"apns-channel-id", activity.channel});
  }
  request.bodyBytes = body.size();
  request.body = std::move(body);
  if (request.body.size() > bodyCeiling(request.path))
    request.body.resize(bodyCeiling(request.path));
  request.nowMs = nowMs;
  // The page reaches an activity through the endpoint of its device's environment.
  if (const DeviceRecord* device = devices_.device(activity.deviceToken)) {
    request.environment = device->environment;
  }
  ConnectionTokens tokens = ConnectionTokens::ofLocalPage();
  HistoryEntry pushed;
  handle(request, tokens, &pushed);
  return pushed;
}

Response PushService::handle(const Request& request, ConnectionTokens& tokens, HistoryEntry* kept) {
  const auto parts = segments(request.path);
  const bool device = parts.size() >= 2 && parts[0] == "3" && parts[1] == "device";
  const bool broadcastPath = parts.size() == 4 && parts[0] == "4" && parts[1] == "broadcasts" &&
                             parts[2] == "apps" && !parts[3].empty();
  const bool channelPath = parts.size() == 4 && parts[0] == "1" && parts[1] == "apps" &&
                           !parts[2].empty() &&
                           (parts[3] == "channels" || parts[3] == "all-channels");

  std::string apnsId = newApnsId();
  if (const auto given = header(request, "apns-id"); given && isUuid(*given)) {
    apnsId = std::string(*given);
  }
  if (!device && !broadcastPath && !channelPath) {
    return failure("BadPath", apnsId,
                   "the path " + quotedText(request.path) +
                       " is none of /3/device/<token>, /4/broadcasts/apps/<bundle id> and "
                       "/1/apps/<bundle id>/channels");
  }
  if (device && parts.size() > 3) {
    return failure("BadPath", apnsId,
                   "the path " + quotedText(request.path) + " has more after the token");
  }
  notes_.clear();

  HistoryEntry record;
  record.apnsId = apnsId;
  record.timeMs = request.nowMs;
  record.path = request.path.substr(0, 512);
  record.headers = headersJson(request);
  record.body = request.body;
  if (request.bodyBytes > request.body.size()) {
    record.bodyBytes = static_cast<std::int64_t>(request.bodyBytes);
  }

  Response response;
  try {
    const std::string_view target =
        device ? (parts.size() == 3 ? parts[2] : std::string_view())
               : header(request, "apns-channel-id").value_or(std::string_view());
    std::optional<FaultRule> fault;
    // Once stopping, every push is answered Shutdown: a rule's match would be spent for nothing.
    if (!channelPath && !shuttingDown_ && !faults_.rules().empty() && !tokens.local()) {
      fault = faults_.take({target, device, request.path,
                            header(request, "apns-push-type").value_or(std::string_view()),
                            request.environment});
    }
    if (shuttingDown_) {
      response = failure("Shutdown", apnsId, "serve is stopping");
    } else if (fault) {
      record.token = std::string(target.substr(0, 256));
      response = injectFault(request, *fault, record);
    } else if (channelPath) {
      return channels(request, parts[2], parts[3] == "all-channels", tokens);
    } else if (device) {
      const std::string_view token = parts.size() == 3 ? parts[2] : std::string_view();
      record.token = std::string(token.substr(0, 256));
      response = devicePush(request, token, tokens, record);
    } else {
      response = broadcast(request, parts[3], tokens, record);
    }
  } catch (const StoreError& error) {
    response = failure("InternalServerError", apnsId, error.what());
  }
  if (response.status != 200) {
    record.verdict = Verdict::rejected;
    record.reason = response.reason;
    record.error = !response.why.empty() ? response.why
                                         : std::to_string(response.status) + " " + record.reason;
    if (!notes_.empty()) record.warnings = warningsJson(notes_);
    // Anyone who reaches the port may send this, with no token: the history keeps its start.
    if (record.body.size() > rejectedBodyKept) {
      record.body.resize(rejectedBodyKept);
      record.bodyBytes = static_cast<std::int64_t>(request.bodyBytes);
    }
  }
  record.status = response.status;
  try {
    if (kept) *kept = record;
    this->record(std::move(record));
    recordLate(request.nowMs);
  } catch (const StoreError&) {
    return failure("InternalServerError", apnsId);
  }
  return response;
}

Response PushService::injectFault(const Request& request, const FaultRule& rule,
                                  HistoryEntry& record) {
  Response response;
  switch (rule.action) {
    case FaultAction::answer: {
      std::optional<std::int64_t> timestamp;
      // The service's 410s say since when the token is no longer valid.
      if (rule.status == 410) timestamp = request.nowMs;
      response = failure(rule.reason, record.apnsId, {}, timestamp);
      response.status = rule.status;
      if (rule.retryAfterSeconds) {
        response.headers.push_back({"retry-after", std::to_string(*rule.retryAfterSeconds)});
      }
      break;
    }
    case FaultAction::goaway:
      response.ending = Ending::goaway;
      response.reason = rule.reason;
      response.status = 0;
      break;
    case FaultAction::reset:
      response.ending = Ending::reset;
      response.status = 0;
      break;
  }
  response.delay = std::chrono::milliseconds(rule.delayMs);
  response.why = "injected fault: " + describeFault(rule);
  return response;
}

TokenCheck PushService::admit(const Request& request, ConnectionTokens& tokens, bool push) {
  const std::string_view authorization = header(request, "authorization").value_or("");
  TokenCheck check = tokens.admit(authorization, options_.key, request.nowMs / 1000);
  if (!check.reason.empty() || tokens.local()) return check;
  if (options_.key.environment && *options_.key.environment != request.environment) {
    const bool production = request.environment == Environment::production;
    return {"BadEnvironmentKeyInToken",
            std::string("the key is for the ") + (production ? "development" : "production") +
                " environment only (--auth-key-environment), and the push came to the " +
                (production ? "production" : "development") + " endpoint",
            check.issuedAt};
  }
  if (push && options_.key.key == nullptr) {
    // Forgotten in bulk when many tokens came: a note again beats unbounded memory.
    if (unsignedTokens_.size() >= 4096) unsignedTokens_.clear();
    if (unsignedTokens_.insert(std::hash<std::string_view>{}(authorization)).second) {
      notes_.push_back("signature not checked: start serve with --auth-key");
    }
  }
  return check;
}

Response PushService::devicePush(const Request& request, std::string_view token,
                                 ConnectionTokens& tokens, HistoryEntry& record) {
  const std::string& apnsId = record.apnsId;
  if (auto fault = methodFault(request, apnsId)) return std::move(*fault);
  if (const auto given = header(request, "apns-id"); given && !isUuid(*given)) {
    return failure("BadMessageId", apnsId,
                   "apns-id " + quotedText(*given) + " is not a UUID (8-4-4-4-12 hex digits)");
  }
  const TokenCheck check = admit(request, tokens, true);
  if (!check.reason.empty()) return failure(check.reason, apnsId, check.detail);
  if (token.empty()) {
    return failure("MissingDeviceToken", apnsId, "the path names no token: /3/device/<token>");
  }
  if (const auto bad =
          std::find_if(token.begin(), token.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) == 0; });
      bad != token.end()) {
    return failure("BadDeviceToken", apnsId,
                   "the token holds " + quotedText(std::string_view(&*bad, 1)) +
                       ", which is not a hexadecimal digit");
  }
  if (token.size() < 64 || token.size() > 200 || token.size() % 2 != 0) {
    return failure("BadDeviceToken", apnsId,
                   "the token has " + std::to_string(token.size()) +
                       " digits; a phone's token is an even number of hex digits, 64 to 200");
  }
  const std::string deviceToken = lowercase(token);
  record.token = deviceToken;

  if (auto fault = pushTypeFault(request, apnsId)) return std::move(*fault);
  const auto topic = header(request, "apns-topic");
  if (!topic || topic->empty()) {
    return failure("MissingTopic", apnsId,
                   "no apns-topic header: give the app's bundle id and .push-type.liveactivity");
  }
  if (topic->size() <= topicSuffix.size() || !topic->ends_with(topicSuffix)) {
    return failure("DeviceTokenNotForTopic", apnsId,
                   "apns-topic " + quotedText(*topic) +
                       " lacks .push-type.liveactivity, which a Live Activity push's topic ends "
                       "with");
  }
  const std::string bundle(topic->substr(0, topic->size() - topicSuffix.size()));
  if (options_.bundleId && bundle != *options_.bundleId) {
    return failure(
        "DeviceTokenNotForTopic", apnsId,
        "this serve takes the bundle " + *options_.bundleId + " only (--bundle-id), not " + bundle);
  }
  if (auto fault = priorityFault(request, apnsId)) return std::move(*fault);
  if (const auto expiration = header(request, "apns-expiration");
      expiration && !isDigits(*expiration)) {
    return failure("BadExpirationDate", apnsId,
                   "apns-expiration is " + quotedText(*expiration) +
                       "; it is a time in seconds since 1970, or 0");
  }
  if (const auto collapse = header(request, "apns-collapse-id");
      collapse && collapse->size() > 64) {
    return failure(
        "BadCollapseId", apnsId,
        "apns-collapse-id has " + std::to_string(collapse->size()) + " bytes; at most 64");
  }
  if (request.bodyBytes == 0) return failure("PayloadEmpty", apnsId, "the body is empty");
  if (request.bodyBytes > devicePayloadLimit) {
    return failure("PayloadTooLarge", apnsId,
                   "the payload has " + std::to_string(request.bodyBytes) +
                       " bytes; a Live Activity push may have 4096");
  }

  // The token belongs to the bundle it first heard from, or to its activity's bundle; and to the
  // environment where its device was first seen.
  const auto otherEnvironment = [&](const DeviceRecord& device) -> std::optional<Response> {
    if (device.environment == request.environment) return std::nullopt;
    const bool production = device.environment == Environment::production;
    return failure("BadDeviceToken", apnsId,
                   "device " + device.token.substr(0, 8) + " belongs to the " +
                       (production ? "production" : "development") +
                       " environment, where it was first seen, and this push reached the " +
                       (production ? "development" : "production") +
                       " endpoint: a token works only with the host of its environment");
  };
  auto activity = store_.activityByUpdateToken(deviceToken);
  if (activity) {
    if (!activity->bundle.empty() && activity->bundle != bundle) {
      return failure("DeviceTokenNotForTopic", apnsId,
                     "the token is activity " + activity->id + "'s, of the bundle " +
                         activity->bundle + ", not " + bundle);
    }
    if (const DeviceRecord* device = devices_.device(activity->deviceToken)) {
      if (auto fault = otherEnvironment(*device)) return std::move(*fault);
    }
    if (const auto removal = devices_.unregisteredSince(*activity, request.nowMs)) {
      return failure("Unregistered", apnsId,
                     "activity " + activity->id + " ended at " + isoTime(removal->endedAtMs) +
                         " and left the screen at " + isoTime(removal->removedAtMs) +
                         " (the devices' clock): its token takes no more pushes",
                     removal->endedAtMs);
    }
  } else if (const DeviceRecord* device = devices_.device(deviceToken)) {
    if (!device->bundle.empty() && device->bundle != bundle) {
      return failure(
          "DeviceTokenNotForTopic", apnsId,
          "the device's first push was for the bundle " + device->bundle + ", not " + bundle);
    }
    if (auto fault = otherEnvironment(*device)) return std::move(*fault);
    devices_.bindBundle(deviceToken, bundle);
  } else if (const auto retired = devices_.retiredToken(deviceToken)) {
    return failure("ExpiredToken", apnsId,
                   "the phone gave activity " + *retired +
                       " a new update token (pushTokenUpdates): this one no longer works");
  } else {
    devices_.addDevice(deviceToken, bundle, request.environment, request.nowMs);
  }

  PhonePush phonePush{deviceToken, bundle, header(request, "apns-priority") != "5",
                      expirationOf(request)};
  std::vector<DeviceOutcome> outcomes;
  outcomes.push_back(devices_.deliver(phonePush, record, std::move(activity)));
  warnAboutExpiration(request, outcomes);
  recordOutcomes(record, std::move(outcomes), notes_);

  Response response;
  response.headers.push_back({"apns-id", apnsId});
  // The service sends it from its development environment only.
  if (request.environment == Environment::development) {
    response.headers.push_back({"apns-unique-id", newUuid()});
  }
  return response;
}

Response PushService::broadcast(const Request& request, std::string_view bundle,
                                ConnectionTokens& tokens, HistoryEntry& record) {
  const std::string& apnsId = record.apnsId;
  if (auto fault = methodFault(request, apnsId)) return std::move(*fault);
  const auto requestId = header(request, "apns-request-id");
  if (requestId && !isUuid(*requestId)) {
    return failure("BadMessageId", apnsId,
                   "apns-request-id " + quotedText(*requestId) + " is not a UUID");
  }
  const TokenCheck check = admit(request, tokens, true);
  if (!check.reason.empty()) return failure(check.reason, apnsId, check.detail);
  if (options_.bundleId && bundle != *options_.bundleId) {
    return failure("BadTopic", apnsId,
                   "this serve takes the bundle " + *options_.bundleId + " only (--bundle-id)");
  }
  const auto channelId = header(request, "apns-channel-id");
  if (!channelId || channelId->empty()) {
    return failure("MissingChannelId", apnsId,
                   "no apns-channel-id header: a broadcast names its "
                   "channel");
  }
  record.token = std::string(channelId->substr(0, 256));
  if (!foundation::base64Decode(*channelId)) {
    return failure("BadChannelId", apnsId,
                   "apns-channel-id " + quotedText(*channelId) +
                       " is not base64, as the channel ids the service makes are");
  }
  if (auto fault = pushTypeFault(request, apnsId)) return std::move(*fault);
  if (auto fault = priorityFault(request, apnsId)) return std::move(*fault);
  const auto channel = store_.channel(std::string(*channelId));
  if (!channel || channel->bundle != bundle) {
    return failure("ChannelNotRegistered", apnsId,
                   "no channel " + quotedText(*channelId) + " for the bundle " +
                       std::string(bundle) + ": create it on /1/apps/" + std::string(bundle) +
                       "/channels first");
  }
  if (const auto expiration = header(request, "apns-expiration");
      expiration &&
      (!isDigits(*expiration) || (channel->storagePolicy == 0 && *expiration != "0"))) {
    return failure("BadExpirationDate", apnsId,
                   isDigits(*expiration)
                       ? "the channel keeps no message (storage policy 0): apns-expiration is 0"
                       : "apns-expiration is " + quotedText(*expiration) +
                             "; it is a time in seconds since 1970, or 0");
  }
  if (request.bodyBytes == 0) return failure("PayloadEmpty", apnsId, "the body is empty");
  if (request.bodyBytes > broadcastPayloadLimit) {
    return failure("PayloadTooLarge", apnsId,
                   "the payload has " + std::to_string(request.bodyBytes) +
                       " bytes; a broadcast may have 5120");
  }

  PhonePush phonePush{
      channel->id, {}, header(request, "apns-priority") != "5", expirationOf(request)};
  auto outcomes = devices_.broadcast(phonePush, record, *channel);
  warnAboutExpiration(request, outcomes);
  recordOutcomes(record, std::move(outcomes), notes_);
  Response response;
  response.headers.push_back({"apns-id", apnsId});
  response.headers.push_back({"apns-request-id", requestId ? std::string(*requestId) : newUuid()});
  return response;
}

Response PushService::channels(const Request& request, std::string_view bundle, bool all,
                               ConnectionTokens& tokens) {
  const std::string apnsId = newApnsId();
  const auto requestIdHeader = header(request, "apns-request-id");
  const std::string requestId =
      requestIdHeader && isUuid(*requestIdHeader) ? std::string(*requestIdHeader) : newUuid();
  const auto answer = [&](Response response) {
    response.headers.push_back({"apns-request-id", requestId});
    return response;
  };
  if (duplicateHeader(request)) return answer(failure("DuplicateHeaders", apnsId));
  const TokenCheck check = tokens.admit(header(request, "authorization").value_or(""), options_.key,
                                        request.nowMs / 1000);
  if (!check.reason.empty()) return answer(failure(check.reason, apnsId));
  if (options_.bundleId && bundle != *options_.bundleId) {
    return answer(failure("BadTopic", apnsId));
  }
  const std::string bundleId(bundle);
  Response ok;
  ok.headers.push_back({"apns-id", apnsId});

  if (all) {
    if (request.method != "GET") return answer(failure("MethodNotAllowed", apnsId));
    std::string body = "{\"channels\":[";
    bool first = true;
    for (const ChannelRecord& channel : store_.channels(bundleId, channelLimit)) {
      if (!first) body += ',';
      first = false;
      body += jsonString(channel.id);
    }
    ok.body = body + "]}";
    ok.headers.push_back({"content-type", "application/json"});
    return answer(ok);
  }
  if (request.method == "POST") {
    if (request.bodyBytes > broadcastPayloadLimit) {
      return answer(failure("PayloadTooLarge", apnsId));
    }
    coding::JsonDocument document;
    if (document.read(request.body) || document.root().type != coding::JsonValue::Type::object) {
      return answer(failure("CannotCreateChannelConfig", apnsId));
    }
    constexpr std::array<std::string_view, 2> names{"message-storage-policy", "push-type"};
    std::array<coding::JsonValue, 2> values;
    document.lookUp(document.root().node, names, values);
    if (values[1].type == coding::JsonValue::Type::missing) {
      return answer(failure("MissingPushType", apnsId));
    }
    // A sender that leaves the policy out gets the default, no storage. node-apn's README sends
    // the policy as a string: what the service answers to one is not known, so it is taken, with
    // a warning in the history.
    const coding::JsonValue& given = values[0];
    std::optional<int> policy;
    std::string warning;
    if (given.type == coding::JsonValue::Type::missing) {
      policy = 0;
    } else if (given.type == coding::JsonValue::Type::number &&
               (given.number == 0 || given.number == 1)) {
      policy = static_cast<int>(given.number);
    } else if (given.type == coding::JsonValue::Type::string &&
               (given.text == "0" || given.text == "1")) {
      policy = given.text == "1" ? 1 : 0;
      warning = Warning{0, "message-storage-policy",
                        "the string \"" + std::string(given.text) +
                            "\" where the service documents a number; taken as " +
                            std::string(given.text) +
                            " here, but the real service may refuse it: send the number"}
                    .description();
    }
    if (values[1].type != coding::JsonValue::Type::string ||
        !equalsIgnoringCase(values[1].text, "liveactivity") || !policy ||
        store_.channelCount() >= channelLimit) {
      return answer(failure("CannotCreateChannelConfig", apnsId));
    }
    const ChannelRecord channel{newChannelId(), bundleId, *policy};
    store_.addChannel(channel);
    ok.status = 201;
    ok.headers.push_back({"apns-channel-id", channel.id});
    if (!warning.empty()) {
      // Only a creation with something to say enters the history, where the sender looks.
      HistoryEntry entry;
      entry.apnsId = apnsId;
      entry.timeMs = request.nowMs;
      entry.path = request.path.substr(0, 512);
      entry.token = channel.id;
      entry.headers = headersJson(request);
      entry.body = request.body;
      entry.status = ok.status;
      entry.warnings = warningsJson({warning});
      record(std::move(entry));
    }
    return answer(ok);
  }
  if (request.method != "GET" && request.method != "DELETE") {
    return answer(failure("MethodNotAllowed", apnsId));
  }
  const auto channelId = header(request, "apns-channel-id");
  if (!channelId || channelId->empty()) return answer(failure("MissingChannelId", apnsId));
  if (!foundation::base64Decode(*channelId)) return answer(failure("BadChannelId", apnsId));
  const auto channel = store_.channel(std::string(*channelId));
  if (!channel || channel->bundle != bundleId) {
    return answer(failure("ChannelNotRegistered", apnsId));
  }
  if (request.method == "DELETE") {
    store_.removeChannel(channel->id);
    ok.status = 204;
    return answer(ok);
  }
  ok.headers.push_back({"content-type", "application/json"});
  ok.body = "{\"message-storage-policy\":" + std::to_string(channel->storagePolicy) +
            ",\"push-type\":\"LiveActivity\"}";
  return answer(ok);
}

std::string_view Response::header(std::string_view name) const {
  for (const Header& h : headers) {
    if (h.name == name) return h.value;
  }
  return {};
}

std::size_t bodyCeiling(std::string_view path) {
  return (path.starts_with("/3/") ? devicePayloadLimit : broadcastPayloadLimit) + 1;
}

}  // namespace host::serve
