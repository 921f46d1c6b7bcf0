#include "platform/host/serve/page/page_transport.hpp"

#include "platform/host/serve/common/untrusted_json.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace host::serve {

using Clock = std::chrono::steady_clock;

struct PageTransport::Connection {
  int fd = -1;
  std::string peer;  // the address alone: a client opens as many ports as it likes
  // Read from the socket, not yet taken by the library, from `start` on.
  std::string buffer;
  std::size_t start = 0;
  // For the head, then for the body the reader waits for.
  Clock::time_point deadline;
  // Once its head is in: the bytes the reader needs before a worker sees the request (the head
  // and a short body), or, for a body a worker reads, `slow` and just the head.
  std::optional<std::size_t> needed;
  bool slow = false;
  std::size_t served = 0;
  bool finished = false;  // close it rather than wait for another request

  Connection(int f, std::string p) : fd(f), peer(std::move(p)) {}
  ~Connection() { ::close(fd); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::string_view pending() const { return std::string_view(buffer).substr(start); }
  void compact() {
    buffer.erase(0, start);
    start = 0;
  }
};

namespace {

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, 60'000));
}

std::string peerAddress(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
              sizeof text);
  }
  return text;
}

void addressAndPort(int fd, bool remote, std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int got = remote ? getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                         : getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  if (got != 0) return;
  ip = peerAddress(address);
  port = address.ss_family == AF_INET6
             ? ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port)
             : ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

// An answer from the transport itself, in the API's JSON; the connection closes after it.
std::string transportAnswer(int status, std::string_view reason, std::string_view why) {
  const std::string body = "{\"error\":" + jsonString(why) + "}";
  return "HTTP/1.1 " + std::to_string(status) + ' ' + std::string(reason) +
         "\r\nContent-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
         "Connection: close\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string tooSlowAnswer() {
  return transportAnswer(408, "Request Timeout", "the request came too slowly");
}

// Best effort, for a client being sent away: it may be gone or not reading.
void sendAway(int fd, const std::string& answer) {
  [[maybe_unused]] const ssize_t sent =
      ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The body a head declares: its length, or nothing when it is framed (chunked), unreadable or
// declared twice. The library reads the head again; this only tells who reads the body.
std::optional<std::size_t> declaredLength(std::string_view head) {
  std::optional<std::size_t> length = 0;
  bool declared = false;
  for (std::size_t at = head.find('\n'); at != std::string_view::npos;) {
    const std::size_t end = head.find('\n', at + 1);
    std::string_view line = head.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
    at = end;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const auto named = [&](std::string_view name) {
      return colon == name.size() &&
             std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
               return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
             });
    };
    if (named("transfer-encoding")) return std::nullopt;
    if (!named("content-length")) continue;
    std::string_view value = line.substr(colon + 1);
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    value = value.substr(0, value.find_last_not_of(" \t\r") + 1);
    std::size_t parsed = 0;
    const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (declared || error != std::errc() || stop != value.data() + value.size())
      return std::nullopt;
    declared = true;
    length = parsed;
  }
  return length;
}

// Just past the blank line that ends a request's head, if `bytes` holds one.
std::optional<std::size_t> headEnd(std::string_view bytes) {
  for (std::size_t at = bytes.find('\n'); at != std::string_view::npos;
       at = bytes.find('\n', at + 1)) {
    if (bytes.substr(at + 1, 1) == "\n") return at + 2;
    if (bytes.substr(at + 1, 2) == "\r\n") return at + 3;
  }
  return std::nullopt;
}

void wake(int fd) {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

// One request's view of its connection: the head the reader already holds comes first. Once the
// library has the head, the body is bounded in size and time whatever its framing; past the
// bound the stream answers 413 itself and drops what the library writes after.
class GuardedStream final : public httplib::Stream {
 public:
  GuardedStream(PageTransport::Connection& connection, const PageLimits& limits, int stopFd)
      : connection_(connection), limits_(limits), stopFd_(stopFd) {}

  // The library has read the head of `request`.
  void headRead(httplib::Request& request) {
    inBody_ = true;
    bodyDeadline_ = Clock::now() + limits_.bodyTimeout;
    // The API reads every body as the text it is; the library would parse a form-encoded one
    // (curl -d labels its bodies so) and refuse it past 8 KB with an empty answer.
    if (request.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded")) {
      request.headers.erase("Content-Type");
    }
    framed_ = request.has_header("Transfer-Encoding");
    if (request.has_header("Content-Length")) {
      const std::string text = request.get_header_value("Content-Length");
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length_);
      if (error == std::errc::result_out_of_range ||
          (error == std::errc() && length_ > limits_.bodyBytes)) {
        tooLarge();
      }
    }
  }

  bool answered() const { return answered_; }

  static std::string tooLargeAnswer(const PageLimits& limits) {
    return transportAnswer(
        413, "Payload Too Large",
        "a request body of more than " + std::to_string(limits.bodyBytes / (1024 * 1024)) + " MB");
  }

  // Reads what the library left of a body it did not need (a refused request's), so that the
  // connection can serve another request: its next head starts after it. False when where it
  // starts is not known for sure (after a chunked body) or the body does not come.
  bool skipBody() {
    if (framed_) return false;
    char sink[16 * 1024];
    while (bodyRead_ < length_) {
      if (read(sink, std::min(sizeof sink, length_ - bodyRead_)) <= 0) return false;
    }
    return true;
  }

  bool is_readable() const override {
    return !connection_.pending().empty() || wait(POLLIN, readDeadline());
  }

  // False once the peer has gone, so an event stream frees its slot at once.
  bool is_writable() const override {
    if (answered_) return false;
    char byte;
    const ssize_t peeked = ::recv(connection_.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      return false;
    }
    return wait(POLLOUT, Clock::now() + limits_.writeTimeout);
  }

  ssize_t read(char* out, std::size_t size) override {
    if (answered_) return -1;
    if (connection_.pending().empty()) {
      const ssize_t got = fill();
      if (got <= 0) return got;
    }
    std::string_view pending = connection_.pending();
    const std::size_t taken = std::min(size, pending.size());
    if (inBody_) {
      // Chunked framing counts too, so a body of tiny chunks is bounded as well.
      const std::size_t budget = limits_.bodyBytes + limits_.bodyBytes / 8;
      if (bodyRead_ + taken > budget) {
        tooLarge();
        return -1;
      }
      bodyRead_ += taken;
    }
    std::memcpy(out, pending.data(), taken);
    connection_.start += taken;
    return static_cast<ssize_t>(taken);
  }

  ssize_t write(const char* data, std::size_t size) override {
    if (answered_) return static_cast<ssize_t>(size);
    return send(data, size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    addressAndPort(connection_.fd, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    addressAndPort(connection_.fd, false, ip, port);
  }
  socket_t socket() const override { return connection_.fd; }

 private:
  Clock::time_point readDeadline() const {
    return inBody_ ? bodyDeadline_ : Clock::now() + limits_.headTimeout;
  }

  // Whether the socket is ready before `deadline`; never once the transport stops.
  bool wait(short events, Clock::time_point deadline) const {
    pollfd fds[2] = {{connection_.fd, events, 0}, {stopFd_, POLLIN, 0}};
    while (true) {
      const int ready = ::poll(fds, 2, millisecondsUntil(deadline));
      if (ready < 0 && errno == EINTR) continue;
      return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
    }
  }

  // Reads what the socket has: 0 at its end, -1 on error, time-out or stop.
  ssize_t fill() {
    connection_.compact();
    while (true) {
      if (!wait(POLLIN, readDeadline())) {
        answer(tooSlowAnswer());
        return -1;
      }
      char chunk[16 * 1024];
      const ssize_t got = ::recv(connection_.fd, chunk, sizeof chunk, 0);
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      if (got > 0) connection_.buffer.append(chunk, static_cast<std::size_t>(got));
      return got < 0 ? -1 : got;
    }
  }

  ssize_t send(const char* data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
      if (!wait(POLLOUT, Clock::now() + limits_.writeTimeout)) return -1;
      const ssize_t wrote = ::send(connection_.fd, data + sent, size - sent, MSG_NOSIGNAL);
      if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      if (wrote < 0) return -1;
      sent += static_cast<std::size_t>(wrote);
    }
    return static_cast<ssize_t>(size);
  }

  // The library's own answer to what it could not read would say less.
  void answer(const std::string& answer) {
    send(answer.data(), answer.size());
    answered_ = true;
  }
  void tooLarge() { answer(tooLargeAnswer(limits_)); }

  PageTransport::Connection& connection_;
  const PageLimits& limits_;
  const int stopFd_;
  bool inBody_ = false;
  bool answered_ = false;
  bool framed_ = false;
  std::size_t length_ = 0;
  std::size_t bodyRead_ = 0;
  Clock::time_point bodyDeadline_;
};

}  // namespace

PageTransport::PageTransport(PageLimits limits)
    : limits_(limits),
      stopFd_(eventfd(0, EFD_CLOEXEC)),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  // What the library tells clients in Keep-Alive: an idle connection closes when its head
  // timeout passes.
  const auto idle = std::chrono::duration_cast<std::chrono::seconds>(limits_.headTimeout).count();
  set_keep_alive_timeout(std::max<time_t>(1, idle));
  set_keep_alive_max_count(limits_.requestsPerConnection);
}

PageTransport::~PageTransport() {
  halt();
  for (const int fd : listenFds_) ::close(fd);
  ::close(stopFd_);
  ::close(wakeFd_);
}

std::optional<std::string> PageTransport::open(const std::string& address, std::uint16_t port) {
  if (port == 0) port = port_;
  const std::string where = "cannot listen on " + address +
                            (port ? " port " + std::to_string(port) : std::string()) +
                            " for the page";
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    return where;
  }
  int listening = -1;
  for (const addrinfo* at = found; at && listening < 0; at = at->ai_next) {
    const int fd = ::socket(at->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    const int on = 1;
    const int off = 0;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // "::" takes IPv4 clients too, as it did.
    if (at->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (::bind(fd, at->ai_addr, at->ai_addrlen) == 0 && ::listen(fd, 128) == 0) {
      listening = fd;
    } else {
      ::close(fd);
    }
  }
  freeaddrinfo(found);
  if (listening < 0) return where;
  listenFds_.push_back(listening);
  std::string ip;
  int bound = 0;
  addressAndPort(listening, false, ip, bound);
  port_ = static_cast<std::uint16_t>(bound);
  return std::nullopt;
}

void PageTransport::run() {
  // The library ends its event streams once this is invalid.
  svr_sock_ = listenFds_.empty() ? INVALID_SOCKET : listenFds_.front();
  for (int i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { serveRequests(); });
  reader_ = std::thread([this] { readRequests(); });
}

void PageTransport::halt() {
  if (!reader_.joinable()) return;
  wake(stopFd_);
  svr_sock_ = INVALID_SOCKET;
  {
    std::lock_guard guard(readyLock_);
    stopping_ = true;
  }
  readyChanged_.notify_all();
  reader_.join();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  ready_.clear();
  returned_.clear();
  waiting_.clear();
}

void PageTransport::readRequests() {
  std::vector<pollfd> fds;
  // Out of descriptors, accepting waits a little rather than spin on a listener that stays ready.
  auto acceptAfter = Clock::time_point::min();
  while (true) {
    takeBack();
    const auto now = Clock::now();
    const bool accepting = acceptAfter <= now;
    fds.assign({{stopFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}});
    for (const int fd : listenFds_) fds.push_back({accepting ? fd : -1, POLLIN, 0});
    const std::size_t first = fds.size();
    auto next = accepting ? Clock::time_point::max() : acceptAfter;
    for (const auto& connection : waiting_) {
      // One that has what it needs waits for a worker, not for bytes: polling it for input that
      // nobody reads would spin.
      const bool reading = connection->pending().size() < connection->needed.value_or(SIZE_MAX);
      fds.push_back({connection->fd, static_cast<short>(reading ? POLLIN : 0), 0});
      next = std::min(next, connection->deadline);
    }
    const int timeout = next == Clock::time_point::max() ? -1 : millisecondsUntil(next);
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    if (fds[1].revents) {
      std::uint64_t count;
      [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
    }
    // Connections admitted below were not polled: only the first `polled` were.
    const std::size_t polled = fds.size() - first;
    for (std::size_t i = 0; i < polled; ++i) {
      if (fds[first + i].revents && waiting_[i]) readRequest(*waiting_[i]);
    }
    for (std::size_t i = 0; i < listenFds_.size(); ++i) {
      if (fds[2 + i].revents && !acceptAll(listenFds_[i])) {
        acceptAfter = Clock::now() + std::chrono::milliseconds(100);
      }
    }
    expire();
    std::erase(waiting_, nullptr);
  }
  waiting_.clear();
}

void PageTransport::takeBack() {
  std::vector<std::unique_ptr<Connection>> back;
  {
    std::lock_guard guard(returnedLock_);
    back.swap(returned_);
  }
  for (auto& connection : back) {
    if (connection->slow) --slowBodies_;
    if (connection->finished) {
      forget(*connection);
      connection.reset();
    } else {
      await(std::move(connection));
    }
  }
  // Requests whose body waits for a worker, in the order they came.
  for (std::size_t i = 0; i < waiting_.size() && slowBodies_ < limits_.slowBodies; ++i) {
    if (waiting_[i] && waiting_[i]->slow) readRequest(*waiting_[i]);
  }
  std::erase(waiting_, nullptr);
}

bool PageTransport::acceptAll(int listening) {
  while (true) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd = accept4(listening, reinterpret_cast<sockaddr*>(&address), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      admit(fd, peerAddress(address));
    } else if (errno != EINTR && errno != ECONNABORTED) {
      return errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM;
    }
  }
}

void PageTransport::expire() {
  const auto now = Clock::now();
  for (auto& connection : waiting_) {
    if (!connection || connection->deadline > now) continue;
    if (!connection->pending().empty()) {
      sendAway(connection->fd, tooSlowAnswer());
    }
    forget(*connection);
    connection.reset();
  }
}

void PageTransport::admit(int fd, std::string peer) {
  const bool peerRoom = perPeer_[peer] < limits_.connectionsPerPeer || evictOldest(&peer);
  const bool room = peerRoom && (open_ < limits_.connections || evictOldest(nullptr));
  if (!room) {
    // Every connection of this peer is busy with a request: this one waits for none.
    ::close(fd);
    if (perPeer_[peer] == 0) perPeer_.erase(peer);
    return;
  }
  // The library writes an answer's head and body apart; Nagle would hold the body for the
  // client's delayed ACK.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ++perPeer_[peer];
  ++open_;
  auto connection = std::make_unique<Connection>(fd, std::move(peer));
  connection->deadline = Clock::now() + limits_.headTimeout;
  waiting_.push_back(std::move(connection));
}

bool PageTransport::evictOldest(const std::string* peer) {
  for (auto& connection : waiting_) {
    if (connection && (!peer || connection->peer == *peer)) {
      forget(*connection);
      connection.reset();
      return true;
    }
  }
  return false;
}

void PageTransport::forget(Connection& connection) {
  if (--perPeer_[connection.peer] == 0) perPeer_.erase(connection.peer);
  --open_;
}

void PageTransport::readRequest(Connection& connection) {
  const std::size_t wanted = connection.needed.value_or(limits_.headBytes + 1);
  bool gone = false;
  while (true) {
    // With all it needs, it is only looked at: has the client gone?
    const std::size_t room = wanted - std::min(wanted, connection.pending().size());
    char chunk[8192];
    const ssize_t got = ::recv(connection.fd, chunk, std::clamp<std::size_t>(room, 1, sizeof chunk),
                               room ? 0 : MSG_PEEK);
    if (got > 0 && room) {
      connection.buffer.append(chunk, static_cast<std::size_t>(got));
      continue;
    }
    gone = got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    break;
  }
  const auto owner = std::find_if(waiting_.begin(), waiting_.end(),
                                  [&](const auto& held) { return held.get() == &connection; });
  if (!connection.needed) {
    const std::string refusal = headRefusal(connection);
    if (!refusal.empty()) {
      sendAway(connection.fd, refusal);
      gone = true;
    }
  }
  if (connection.needed && (connection.slow ? slowBodies_ < limits_.slowBodies
                                            : connection.pending().size() >= *connection.needed)) {
    if (connection.slow) ++slowBodies_;
    {
      std::lock_guard guard(readyLock_);
      ready_.push_back(std::move(*owner));
    }
    readyChanged_.notify_one();
  } else if (gone) {
    forget(connection);
    owner->reset();
  }
}

std::string PageTransport::headRefusal(Connection& connection) {
  const std::string_view head = connection.pending().substr(0, limits_.headBytes);
  const auto end = headEnd(head);
  if (!end) {
    if (head.size() < limits_.headBytes) return {};
    return transportAnswer(
        431, "Request Header Fields Too Large",
        "a request head of more than " + std::to_string(limits_.headBytes / 1024) + " KB");
  }
  // Beside the request line and the blank line.
  if (static_cast<std::size_t>(std::count(head.begin(), head.begin() + *end, '\n')) >
      limits_.headerLines + 2) {
    return transportAnswer(431, "Request Header Fields Too Large",
                           "more than " + std::to_string(limits_.headerLines) + " header lines");
  }
  const auto length = declaredLength(head.substr(0, *end));
  if (length > limits_.bodyBytes) return GuardedStream::tooLargeAnswer(limits_);
  // A short body is read here, so a client that sends it slowly holds no worker; a longer one
  // (or a chunked one) waits for one of the few workers that may wait on a body.
  connection.slow = !length || *length > limits_.readAhead;
  connection.needed = *end + (connection.slow ? 0 : *length);
  if (length != 0) connection.deadline = Clock::now() + limits_.bodyTimeout;
  return {};
}

void PageTransport::await(std::unique_ptr<Connection> connection) {
  connection->compact();
  connection->deadline = Clock::now() + limits_.headTimeout;
  connection->needed.reset();
  connection->slow = false;
  waiting_.push_back(std::move(connection));
  // A client may have sent its next request with the last one.
  if (!waiting_.back()->pending().empty()) readRequest(*waiting_.back());
}

void PageTransport::handBack(std::unique_ptr<Connection> connection) {
  {
    std::lock_guard guard(returnedLock_);
    returned_.push_back(std::move(connection));
  }
  wake(wakeFd_);
}

void PageTransport::serveRequests() {
  while (true) {
    std::unique_ptr<Connection> connection;
    {
      std::unique_lock guard(readyLock_);
      readyChanged_.wait(guard, [this] { return stopping_ || !ready_.empty(); });
      if (stopping_) return;
      connection = std::move(ready_.front());
      ready_.pop_front();
    }
    GuardedStream stream(*connection, limits_, stopFd_);
    const bool last = ++connection->served >= limits_.requestsPerConnection;
    bool closing = false;
    const bool ok = process_request(
        stream, last, closing, [&stream](httplib::Request& request) { stream.headRead(request); });
    connection->finished = !ok || closing || last || stream.answered() || !stream.skipBody();
    handBack(std::move(connection));
  }
}

}  // namespace host::serve
