#pragma once

#include "platform/host/serve/common/exchange.hpp"
#include "platform/host/serve/h2/tls_context.hpp"
#include "platform/host/serve/service/provider_token.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace host::serve {

// What one connection may cost, whatever its client does, and how many may be held.
struct H2Limits {
  std::size_t maxConnections = 256;
  // When full, or when one address holds this many, the connection that has waited longest
  // without a request in flight makes room for the new one.
  std::size_t maxConnectionsPerPeer = 64;
  std::uint32_t maxConcurrentStreams = 128;
  std::size_t maxHeaderBytes = 8192;  // per request, names and values
  std::size_t maxHeaders = 64;
  // Output waiting for the client, in bytes and in frames nghttp2 has queued: beyond either, the
  // connection is not read from until it drains.
  std::size_t maxPendingOutput = 1 << 20;
  std::size_t maxQueuedFrames = 1024;
  std::chrono::milliseconds handshakeTimeout{5000};
  // With no request in flight; beyond the 60 s between the pings of long-lived senders.
  std::chrono::milliseconds idleTimeout{120000};
  // The same once three quarters of the connections are taken: held connections cost others.
  std::chrono::milliseconds crowdedIdleTimeout{10000};
  // Output the client has not read any of for this long: it has stopped reading.
  std::chrono::milliseconds stallTimeout{10000};
};

// HTTP/2 over TLS on a libevent loop, around a handler that is a plain function. The handler runs
// on a worker thread and `commit` on another, so that the loop goes on reading and the handler on
// handling while a batch syncs: a batch is every request handled while the previous one was
// committed, and its answers are held until `commit` has made it durable. `commit` may run while
// the handler does; it must make durable at least what was handled before it was called.
class H2Server {
 public:
  using Handler = std::function<Response(const Request&, ConnectionTokens&)>;
  // False when the batch could not be made durable: its requests are answered 500 instead.
  using Commit = std::function<bool()>;
  // Called once, on SIGINT or SIGTERM, before the server drains.
  using OnStop = std::function<void()>;

  H2Server(const TlsContext& tls, Handler handler, Commit commit, OnStop onStop,
           H2Limits limits = {});
  ~H2Server();
  H2Server(const H2Server&) = delete;
  H2Server& operator=(const H2Server&) = delete;

  // Binds and listens; port 0 picks a free port. Called again, listens on one more address, on the
  // port the first call bound. On failure, why.
  std::optional<std::string> listen(const std::string& address, std::uint16_t port);
  std::uint16_t port() const noexcept;

  // Serves until SIGINT or SIGTERM, then finishes the requests it has and returns.
  void run();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::serve
