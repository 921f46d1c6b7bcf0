#pragma once

#include "platform/host/serve/common/exchange.hpp"
#include "platform/host/serve/h2/tls_context.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  // What a request's body is cut to, by its path: the answerer's limits, one byte past them.
  std::function<std::size_t(std::string_view path)> bodyCeiling = [](std::string_view) {
    return std::size_t{5121};
  };
};

// A request on its way to whoever answers it, and its answer on the way back. The connection is
// named by its number: it may close meanwhile, and a new one at the same address has the same
// stream ids.
struct H2Exchange {
  std::uint64_t connection = 0;
  std::int32_t stream = 0;
  std::shared_ptr<ConnectionState> state;  // the connection's, for whoever answers
  Request request;
  Response response;
};

// HTTP/2 over TLS on a libevent loop. The loop only reads, decodes and sends: each turn's complete
// requests go to `dispatch`, and their answers come back through `answer`, from any thread, so
// that answering may wait (for a commit, say) without holding up the loop.
class H2Server {
 public:
  // On the loop: takes the requests it will answer, leaving in the vector those it refuses
  // (they are answered 503 Shutdown).
  using Dispatch = std::function<void(std::vector<H2Exchange>&)>;
  // Called once, on SIGINT or SIGTERM, before the server drains.
  using OnStop = std::function<void()>;
  // Makes the state a new connection keeps for whoever answers its requests.
  using NewConnectionState = std::function<std::shared_ptr<ConnectionState>()>;

  H2Server(const TlsContext& tls, Dispatch dispatch, OnStop onStop,
           NewConnectionState newConnectionState, H2Limits limits = {});
  ~H2Server();
  H2Server(const H2Server&) = delete;
  H2Server& operator=(const H2Server&) = delete;

  // Binds and listens for the endpoint of `environment`, whose requests say they came there; port
  // 0 picks a free port. Called again for the same environment, listens on one more address, on
  // the port its first call bound. On failure, why.
  std::optional<std::string> listen(const std::string& address, std::uint16_t port,
                                    Environment environment = Environment::development);
  // The environment's port; 0 when it does not listen.
  std::uint16_t port(Environment environment = Environment::development) const noexcept;

  // Serves until SIGINT or SIGTERM, then sends the answers still due (for a few seconds at most)
  // and returns.
  void run();
  // Any thread: sends these answers, taking them. An answer with a delay waits on the loop's
  // timer, holding no thread; when the server stops, the delayed ones go at once. A goaway or reset
  // ending (a fault a sender's test asked for) ends the connection or the stream instead.
  void answer(std::vector<H2Exchange>& answered);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::serve
