#pragma once

#include "platform/host/activity_registry.hpp"

#include <cstdint>
#include <iosfwd>
#include <string>

// In namespace host, not host::serve: the command line's translation unit also sees the function
// host::serve, the entry the extension machinery calls, and a namespace cannot share its name.
namespace host {

struct ServeOptions {
  std::string listen = "127.0.0.1";
  std::uint16_t apnsPort = 2197;  // 0 picks a free port
  std::uint16_t pagePort = 8080;
  std::string state;  // empty: the user's state folder
  std::string bundleId;
  std::string authKey;
  std::string keyId;
  std::string teamId;
  std::string certificate;
  std::string key;
};

// `tolvex-widget serve`: runs until SIGINT or SIGTERM; 0 after a clean stop, 2 for bad options,
// 3 when it cannot start.
int runServe(const ServeOptions& options, const ActivityRegistry& registry, std::ostream& out,
             std::ostream& err);

}  // namespace host
