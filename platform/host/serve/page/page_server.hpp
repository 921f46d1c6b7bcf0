#pragma once

#include "platform/host/serve/page/page_events.hpp"
#include "platform/host/serve/page/page_guard.hpp"
#include "platform/host/serve/page/push_waits.hpp"
#include "platform/host/serve/service/push_service.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace host::serve {

// What the page tells a user about the endpoint it watches.
struct PageSettings {
  std::string pushUrl;      // "https://127.0.0.1:2197"
  std::string certificate;  // the path of the certificate a client must trust
  std::string bundleId;     // empty: any
  // The names a request's Host and Origin may carry besides the loopback names.
  std::vector<std::string> hosts;
  Retention retention;            // what the history keeps
  bool signatureChecked = false;  // serve has the sender's key (--auth-key)
  std::uint16_t developmentPort = 0;
  std::optional<std::uint16_t> productionPort;  // when serve has a production endpoint
  // The devices' clock, which the owner thread moves; the page reads it for activities' phases.
  const DeviceClock* clock = nullptr;
};

// The page port (HTTP/1.1): the live page, its event stream, and a JSON API over the history and
// the activities, for browsers on this machine only.
class PageServer {
 public:
  // Runs a change on the thread that owns the service, and returns once what it wrote is durable
  // (true) or was lost (false).
  using Write = std::function<bool(const std::function<void(PushService&)>& change)>;

  // The page writes through `write` and reads committed rows through `history`, a reading
  // connection of its own. It hears of pushes through `events`, and its waiting requests through
  // `waits`, both published after each commit.
  PageServer(Write write, PushStore& history, PageEvents& events, PushWaits& waits,
             const ActivityRegistry& registry, PageSettings settings);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // Port 0 picks a free port. Called again, listens on one more address, on the port the first
  // call bound. On failure, why.
  std::optional<std::string> listen(const std::string& address, std::uint16_t port);
  std::uint16_t port() const noexcept;
  // Serves on threads of its own until `stop`.
  void start();
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::serve
