#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host::serve {

// What one client of the page port may send or hold open.
struct PageLimits {
  // A request's head arrives whole within this time of the connection's turn to send one
  // (accepted, or done with its previous request); waiting for it holds no thread.
  std::chrono::milliseconds headTimeout{5000};
  // The whole body, once the head is in.
  std::chrono::milliseconds bodyTimeout{10000};
  // Any one write of an answer.
  std::chrono::milliseconds writeTimeout{10000};
  std::size_t headBytes = 32 * 1024;
  std::size_t headerLines = 100;
  std::size_t bodyBytes = 2 * 1024 * 1024;
  // A body up to this size is read before a worker sees its request, so sending it slowly holds
  // no worker. A larger one (or a chunked one) is read by a worker, and at most `slowBodies`
  // workers read one at a time: slow clients can delay large uploads, never the page.
  std::size_t readAhead = 64 * 1024;
  std::size_t slowBodies = 4;
  // Past these, a new connection closes its peer's (or anyone's) oldest one that waits for a
  // head, so a client that holds many cannot keep out a new one.
  std::size_t connectionsPerPeer = 32;
  std::size_t connections = 256;
  std::size_t requestsPerConnection = 100;
  // Threads that serve requests whose head is in; each listening page holds one, and each request
  // that waits for a push (8 of each at most).
  int workers = 20;
};

// The headers the page port judges a request on before any route sees it.
struct RequestHeaders {
  std::string path;
  std::optional<std::string> host;
  std::optional<std::string> origin;
  std::optional<std::string> accept;
  std::optional<std::string> fetchSite;
  std::optional<std::string> fetchMode;
  std::optional<std::string> fetchDest;
};

struct Refusal {
  int status = 403;
  std::string why;
};

// Why the page port refuses a request, or nothing. Only this machine's names may appear in Host;
// a request from a browser must come from the page itself: its Origin, when sent, is the page's
// own (`http://`, a name of this machine, `port`), and its fetch metadata says same origin. The
// event stream answers only what an EventSource asks, so another site's <img> or <script> cannot
// hold one of its few slots.
std::optional<Refusal> pageRefusal(const RequestHeaders& request,
                                   const std::vector<std::string>& hosts, std::uint16_t port);

// Whether a Host or Origin value names this machine: a loopback name or one of `hosts`, with
// any port. Origins carry a scheme, which is ignored.
bool isLocalHost(std::string_view value, const std::vector<std::string>& hosts);

// Whether an Origin is the page's own: scheme http, a name of this machine, and `port`.
bool isPageOrigin(std::string_view origin, const std::vector<std::string>& hosts,
                  std::uint16_t port);

}  // namespace host::serve
