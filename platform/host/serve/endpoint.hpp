#pragma once

#include "platform/host/input/activity_registry.hpp"
#include "platform/host/serve/device/simulated_device.hpp"
#include "platform/host/serve/h2/h2_server.hpp"
#include "platform/host/serve/store/push_store.hpp"

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace host::serve {

struct ServeOptions {
  std::string listen;             // empty: 127.0.0.1 and ::1
  std::uint16_t apnsPort = 2197;  // 0 picks a free port
  std::uint16_t pagePort = 8080;
  std::optional<std::uint16_t> productionPort;  // the production endpoint's; none when absent
  std::string state;                            // empty: the user's state folder
  std::string bundleId;
  std::string authKey;
  std::string keyId;
  std::string teamId;
  std::optional<Environment> keyEnvironment;  // the only one the key pushes to; both when absent
  std::string faults;                         // a file of fault rules to start with
  std::string certificate;
  std::string key;
  Retention retention;
  H2Limits pushLimits;
  PhoneOptions phone;
  // Timelines replayed into the history before serving, each line as it would arrive, their dates
  // moved so that each timeline starts now.
  std::vector<std::string> replay;
};

enum class Outcome { stopped, badOptions, cannotStart };

// The endpoint and its page, run until SIGINT or SIGTERM; what went wrong is said on `err`.
Outcome runServe(const ServeOptions& options, const ActivityRegistry& registry, std::ostream& out,
                 std::ostream& err);

}  // namespace host::serve
