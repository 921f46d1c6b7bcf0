#pragma once

#include "platform/host/serve/push_service.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace host::serve {

// The page port: a JSON API over the history and the activities (HTTP/1.1), for browsers on
// this machine only.
class PageServer {
 public:
  // `lock` guards `service`, which the push loop uses too. `hosts` are the names a request's
  // Host and Origin may carry besides the loopback names.
  PageServer(PushService& service, std::mutex& lock, std::vector<std::string> hosts);
  ~PageServer();
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  std::optional<std::string> listen(const std::string& address, std::uint16_t port);
  std::uint16_t port() const noexcept;
  // Serves on a thread of its own until `stop`.
  void start();
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Whether a Host or Origin value names this machine: a loopback name or one of `hosts`, with
// any port. Origins carry a scheme, which is ignored.
bool isLocalHost(std::string_view value, const std::vector<std::string>& hosts);

}  // namespace host::serve
