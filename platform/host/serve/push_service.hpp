#pragma once

#include "platform/host/serve/http_exchange.hpp"
#include "platform/host/serve/provider_token.hpp"
#include "platform/host/serve/push_store.hpp"
#include "platform/host/serve/simulated_device.hpp"

#include <optional>
#include <string>

namespace host::serve {

struct ServiceOptions {
  std::optional<std::string> bundleId;  // the only bundle the devices accept; any when absent
  ProviderKey key;
};

// The push service's provider API as a plain function from request to response: the header,
// path, token and payload rules, the simulated devices behind it, and the history in the store.
// The transport commits the store before it sends any answer.
class PushService {
 public:
  PushService(const ActivityRegistry& registry, PushStore& store, ServiceOptions options)
      : store_(store), devices_(registry, store), options_(std::move(options)) {}

  Response handle(const Request& request, ConnectionTokens& tokens);

  // From now on, new requests are answered 503 Shutdown.
  void shutDown() { shuttingDown_ = true; }

  PushStore& store() { return store_; }
  SimulatedDevices& devices() { return devices_; }

 private:
  Response devicePush(const Request& request, std::string_view token, ConnectionTokens& tokens,
                      PushRecord& record);
  Response broadcast(const Request& request, std::string_view bundle, ConnectionTokens& tokens,
                     PushRecord& record);
  Response channels(const Request& request, std::string_view bundle, bool all,
                    ConnectionTokens& tokens);

  PushStore& store_;
  SimulatedDevices devices_;
  ServiceOptions options_;
  bool shuttingDown_ = false;
};

}  // namespace host::serve
