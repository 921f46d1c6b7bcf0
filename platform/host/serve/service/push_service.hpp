#pragma once

#include "platform/host/serve/common/exchange.hpp"
#include "platform/host/serve/device/simulated_device.hpp"
#include "platform/host/serve/service/fault_rules.hpp"
#include "platform/host/serve/service/provider_token.hpp"
#include "platform/host/serve/store/push_store.hpp"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>

namespace host::serve {

struct ServiceOptions {
  std::optional<std::string> bundleId;  // the only bundle the devices accept; any when absent
  ProviderKey key;
  PhoneOptions phone;
};

// The push service's provider API as a plain function from request to response: the header,
// path, token and payload rules, the simulated devices behind it, and the history in the store.
// One thread owns it and its store; the transport commits the store before it sends any answer.
// The longest body kept for a path: one byte beyond what the path accepts, so that "too large" is
// still visible without keeping what a hostile client sends.
std::size_t bodyCeiling(std::string_view path);

class PushService {
 public:
  PushService(const ActivityRegistry& registry, PushStore& store, ServiceOptions options)
      : store_(store), devices_(registry, store, options.phone), options_(std::move(options)) {}

  Response handle(const Request& request, ConnectionTokens& tokens);

  // An activity started as an app starts one on the phone, from an activity document or a start
  // payload. The history keeps the start as the activity's first entry.
  std::variant<ActivityRecord, std::string> startLocally(std::string_view input,
                                                         std::int64_t nowMs);
  // A push to an activity as the endpoint would take it, sent from this machine's page: to its
  // update token, or on its channel.
  HistoryEntry pushTo(const ActivityRecord& activity, std::string body, std::int64_t nowMs);
  // A device's settings changed from the page; one back online takes what was kept for it, and
  // the history records each of those deliveries.
  std::variant<DeviceView, std::string> patchDevice(const std::string& token, std::string_view json,
                                                    std::int64_t nowMs);

  // Told of every entry the history gains, before the store commits it.
  void onRecorded(std::function<void(const HistoryEntry&)> listener) {
    listener_ = std::move(listener);
  }

  // From now on, new requests are answered 503 Shutdown. Any thread.
  void shutDown() { shuttingDown_ = true; }

  PushStore& store() { return store_; }
  SimulatedDevices& devices() { return devices_; }
  // Consulted first for every push that reaches the endpoint (not those of the page).
  FaultRules& faults() { return faults_; }

 private:
  // `kept`, when given, receives a copy of the history's entry.
  Response handle(const Request& request, ConnectionTokens& tokens, HistoryEntry* kept);
  void record(HistoryEntry&& push);
  // The deliveries the devices made after their push's own: each an entry of its own.
  void recordLate(std::int64_t nowMs);
  Response devicePush(const Request& request, std::string_view token, ConnectionTokens& tokens,
                      HistoryEntry& record);
  Response broadcast(const Request& request, std::string_view bundle, ConnectionTokens& tokens,
                     HistoryEntry& record);
  Response channels(const Request& request, std::string_view bundle, bool all,
                    ConnectionTokens& tokens);
  // The fault a rule asks for, answered and kept in the history as the service's refusal.
  Response injectFault(const Request& request, const FaultRule& rule, HistoryEntry& record);
  // The provider token's check, then its key's environment. For a push, a token whose signature
  // goes unchecked is said so in the history, once per token.
  TokenCheck admit(const Request& request, ConnectionTokens& tokens, bool push);

  PushStore& store_;
  SimulatedDevices devices_;
  ServiceOptions options_;
  std::function<void(const HistoryEntry&)> listener_;
  FaultRules faults_;
  // The current request's notes for the history, beside the device's warnings.
  std::vector<std::string> notes_;
  std::unordered_set<std::size_t> unsignedTokens_;  // hashes of the tokens already noted
  std::atomic<bool> shuttingDown_{false};
};

}  // namespace host::serve
