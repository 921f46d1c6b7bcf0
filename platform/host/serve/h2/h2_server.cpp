#include "platform/host/serve/h2/h2_server.hpp"

#include "platform/host/serve/common/random_id.hpp"

#include <event2/buffer.h>
#include <event2/bufferevent.h>
#include <event2/bufferevent_ssl.h>
#include <event2/event.h>
#include <event2/listener.h>
#include <nghttp2/nghttp2.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstring>
#include <list>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace host::serve {

struct Connection;

namespace {

struct Stream {
  std::int32_t id = 0;
  Request request;
  std::size_t headerBytes = 0;
  std::size_t ceiling = 0;
  Response response;
  std::string status;
  std::size_t sent = 0;
  bool inFlight = false;  // handed to the worker
};

using Clock = std::chrono::steady_clock;

void outputCallback(evbuffer*, const evbuffer_cb_info* info, void* user);
void readCallback(bufferevent*, void* user);
void writeCallback(bufferevent*, void* user);
void eventCallback(bufferevent*, short events, void* user);

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

struct Connection {
  H2Server::Impl* server = nullptr;
  std::uint64_t id = 0;
  bufferevent* bev = nullptr;
  nghttp2_session* session = nullptr;
  std::unordered_map<std::int32_t, std::unique_ptr<Stream>> streams;
  // Used by whoever answers, and kept alive by the requests in flight when the connection closes.
  std::shared_ptr<ConnectionState> state;
  bool answered = false;  // in the list of connections that got answers this turn
  std::string peer;       // the client's address
  Environment environment = Environment::development;  // of the port it reached
  std::size_t inFlight = 0;                            // requests dispatched, not yet answered
  bool reading = true;  // false while its output waits for the client
  Clock::time_point opened = Clock::now();
  Clock::time_point lastRequest = opened;  // begun or answered
  Clock::time_point outputMoved = opened;  // output last read by the client, or last empty
};

// A listening socket and the endpoint it stands for.
struct Listener {
  H2Server::Impl* server = nullptr;
  Environment environment = Environment::development;
  evconnlistener* socket = nullptr;
};

// An answer that waits for its time on the loop's timer.
struct Delayed {
  H2Server::Impl* server = nullptr;
  event* timer = nullptr;
  H2Exchange exchange;
  std::list<Delayed>::iterator self;  // its place in the server's list
};

struct H2Server::Impl {
  const TlsContext& tls;
  Dispatch dispatch;
  OnStop onStop;
  NewConnectionState newConnectionState;
  H2Limits limits;
  event_base* base = nullptr;
  std::list<Listener> listeners;  // one per address and environment; each environment on one port
  std::array<std::uint16_t, 2> ports{};  // by environment
  event* dispatchEvent = nullptr;
  event* answeredEvent = nullptr;
  event* signalEvents[2] = {nullptr, nullptr};
  event* drainTimer = nullptr;
  std::unordered_map<std::uint64_t, Connection*> connections;
  std::unordered_map<std::string, std::size_t> peers;  // connections per client address
  event* sweepTimer = nullptr;
  std::uint64_t lastConnectionId = 0;
  bool stopping = false;
  std::chrono::steady_clock::time_point drainDeadline;

  std::vector<H2Exchange> completed;   // the loop's, dispatched at the end of its turn
  std::vector<H2Exchange> delivering;  // the loop's, answers being sent
  std::vector<Connection*> answeredConnections;
  std::vector<nghttp2_nv> submitted;
  std::list<Delayed> delayed;  // the loop's; bounded by the streams that may be in flight
  bool dispatchScheduled = false;
  std::mutex answerLock;               // guards `answered`
  std::vector<H2Exchange> answered;    // handed back by other threads, for the loop
  evutil_socket_t wake[2] = {-1, -1};  // `answer` writes, the loop reads

  Impl(const TlsContext& t, Dispatch d, OnStop s, NewConnectionState n, H2Limits l)
      : tls(t),
        dispatch(std::move(d)),
        onStop(std::move(s)),
        newConnectionState(std::move(n)),
        limits(std::move(l)) {}

  void close(Connection* connection) {
    connections.erase(connection->id);
    if (const auto peer = peers.find(connection->peer);
        peer != peers.end() && --peer->second == 0) {
      peers.erase(peer);
    }
    if (connection->answered) std::erase(answeredConnections, connection);
    if (connection->session) nghttp2_session_del(connection->session);
    connection->streams.clear();
    // The buffer may outlive the connection inside libevent.
    evbuffer_remove_cb(bufferevent_get_output(connection->bev), outputCallback, connection);
    bufferevent_free(connection->bev);
    delete connection;
  }

  // Sends what nghttp2 has queued; false when the connection is gone.
  bool send(Connection* connection) {
    if (nghttp2_session_send(connection->session) != 0) {
      close(connection);
      return false;
    }
    if (!nghttp2_session_want_read(connection->session) &&
        !nghttp2_session_want_write(connection->session) &&
        evbuffer_get_length(bufferevent_get_output(connection->bev)) == 0) {
      close(connection);
      return false;
    }
    return true;
  }

  // Whether the client has left more of our output unread than it may.
  bool backedUp(Connection* connection) const {
    return evbuffer_get_length(bufferevent_get_output(connection->bev)) >=
               limits.maxPendingOutput ||
           nghttp2_session_get_outbound_queue_size(connection->session) >= limits.maxQueuedFrames;
  }

  // Starts or stops reading from the client. libevent calls the read callback again and again
  // while unread input remains, so a connection not read from has none.
  static void setReading(Connection* connection, bool on) {
    if (connection->reading == on) return;
    connection->reading = on;
    bufferevent_setcb(connection->bev, on ? readCallback : nullptr, writeCallback, eventCallback,
                      connection);
    if (on) {
      bufferevent_enable(connection->bev, EV_READ);
    } else {
      bufferevent_disable(connection->bev, EV_READ);
    }
  }

  // Feeds what arrived to nghttp2 while the client reads what we send. A client that does not
  // read is not read from (a burst of frames that each ask for an answer would otherwise keep the
  // loop busy), until its output drains or the sweep closes it.
  bool receive(Connection* connection) {
    evbuffer* input = bufferevent_get_input(connection->bev);
    for (;;) {
      if (backedUp(connection)) {
        setReading(connection, false);
        break;
      }
      if (evbuffer_get_length(input) == 0) {
        setReading(connection, true);
        break;
      }
      const std::size_t length = std::min<std::size_t>(evbuffer_get_length(input), 16384);
      unsigned char* data = evbuffer_pullup(input, static_cast<ev_ssize_t>(length));
      const ssize_t used = nghttp2_session_mem_recv(connection->session, data, length);
      if (used < 0) {
        close(connection);
        return false;
      }
      evbuffer_drain(input, static_cast<std::size_t>(used));
    }
    return send(connection);
  }

  void complete(Connection* connection, Stream& stream) {
    stream.request.nowMs = nowMs();
    stream.request.environment = connection->environment;
    completed.push_back(
        {connection->id, stream.id, connection->state, std::move(stream.request), {}});
    stream.request = Request{};
    // Everything that completes in this turn of the loop is dispatched at once.
    if (!dispatchScheduled) {
      dispatchScheduled = true;
      event_active(dispatchEvent, 0, 0);
    }
  }

  void dispatchCompleted() {
    dispatchScheduled = false;
    dispatch(completed);
    // What the dispatcher did not take is answered here: it is no longer taking work.
    for (H2Exchange& exchange : completed) exchange.response = unavailable();
    if (!completed.empty()) {
      {
        std::lock_guard guard(answerLock);
        std::move(completed.begin(), completed.end(), std::back_inserter(answered));
      }
      completed.clear();
      deliver();
    }
  }

  void answer(std::vector<H2Exchange>& exchanges) {
    bool wasEmpty = false;
    {
      std::lock_guard guard(answerLock);
      wasEmpty = answered.empty();
      if (wasEmpty) {
        answered.swap(exchanges);
      } else {
        std::move(exchanges.begin(), exchanges.end(), std::back_inserter(answered));
      }
    }
    exchanges.clear();
    if (wasEmpty) {
      const char byte = 0;
      // A full pipe already holds a wake-up the loop has not read.
      [[maybe_unused]] const auto written = ::write(wake[1], &byte, 1);
    }
  }

  static Response unavailable() {
    Response response;
    response.status = 503;
    response.headers.push_back({"apns-id", newApnsId()});
    response.body = "{\"reason\":\"Shutdown\"}";
    return response;
  }

  void submit(Connection* connection, Stream& stream) {
    Response& response = stream.response;
    stream.status = std::to_string(response.status);
    const auto nv = [](const std::string& name, const std::string& value) {
      return nghttp2_nv{reinterpret_cast<std::uint8_t*>(const_cast<char*>(name.data())),
                        reinterpret_cast<std::uint8_t*>(const_cast<char*>(value.data())),
                        name.size(), value.size(), NGHTTP2_NV_FLAG_NONE};
    };
    static const std::string statusName = ":status";
    // nghttp2 copies the headers: one list serves every answer.
    std::vector<nghttp2_nv>& headers = submitted;
    headers.clear();
    headers.push_back(nv(statusName, stream.status));
    for (const Header& header : response.headers) headers.push_back(nv(header.name, header.value));
    nghttp2_data_provider provider{};
    provider.source.ptr = &stream;
    provider.read_callback = [](nghttp2_session*, std::int32_t, std::uint8_t* buffer,
                                std::size_t length, std::uint32_t* flags,
                                nghttp2_data_source* source, void*) -> ssize_t {
      auto* s = static_cast<Stream*>(source->ptr);
      const std::size_t n = std::min(length, s->response.body.size() - s->sent);
      std::memcpy(buffer, s->response.body.data() + s->sent, n);
      s->sent += n;
      if (s->sent == s->response.body.size()) *flags |= NGHTTP2_DATA_FLAG_EOF;
      return static_cast<ssize_t>(n);
    };
    nghttp2_submit_response(connection->session, stream.id, headers.data(), headers.size(),
                            response.body.empty() ? nullptr : &provider);
  }

  // Sends the answers handed back, or sets the delayed ones aside for their time.
  void deliver() {
    char bytes[64];
    while (::read(wake[0], bytes, sizeof bytes) > 0) {
    }
    {
      std::lock_guard guard(answerLock);
      delivering.swap(answered);
    }
    for (H2Exchange& job : delivering) {
      if (job.response.delay.count() > 0 && !stopping) {
        delay(std::move(job));
      } else {
        finish(job);
      }
    }
    delivering.clear();
    flush();
  }

  void delay(H2Exchange&& exchange) {
    Delayed& waiting = delayed.emplace_back();
    waiting.server = this;
    waiting.exchange = std::move(exchange);
    waiting.self = std::prev(delayed.end());
    waiting.timer = evtimer_new(
        base,
        [](evutil_socket_t, short, void* data) {
          const auto it = static_cast<Delayed*>(data)->self;
          Impl* impl = it->server;
          H2Exchange due = std::move(it->exchange);
          event_free(it->timer);
          impl->delayed.erase(it);
          impl->finish(due);
          impl->flush();
        },
        &waiting);
    const auto ms = waiting.exchange.response.delay.count();
    const timeval after{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
    evtimer_add(waiting.timer, &after);
  }

  // Every delayed answer now: the server is stopping and drains what it owes.
  void deliverDelayed() {
    while (!delayed.empty()) {
      H2Exchange due = std::move(delayed.front().exchange);
      event_free(delayed.front().timer);
      delayed.pop_front();
      finish(due);
    }
    flush();
  }

  // Ends one exchange as its response says, if its stream is still open.
  void finish(H2Exchange& job) {
    const auto connection = connections.find(job.connection);
    if (connection == connections.end()) return;
    Connection* c = connection->second;
    const auto stream = c->streams.find(job.stream);
    if (stream == c->streams.end()) return;
    switch (job.response.ending) {
      case Ending::answer:
        stream->second->response = std::move(job.response);
        submit(c, *stream->second);
        break;
      case Ending::goaway: {
        // As the service closes a connection: the reason in the GOAWAY's debug data, and this
        // stream and any later one left unprocessed, so that a client may send them again.
        const std::string data = "{\"reason\":\"" + job.response.reason + "\"}";
        nghttp2_submit_goaway(c->session, NGHTTP2_FLAG_NONE, std::max(0, job.stream - 2),
                              NGHTTP2_NO_ERROR, reinterpret_cast<const std::uint8_t*>(data.data()),
                              data.size());
        break;
      }
      case Ending::reset:
        nghttp2_submit_rst_stream(c->session, NGHTTP2_FLAG_NONE, job.stream,
                                  NGHTTP2_INTERNAL_ERROR);
        break;
    }
    if (!c->answered) {
      c->answered = true;
      answeredConnections.push_back(c);
    }
  }

  // Sends what the answers queued, connection by connection.
  void flush() {
    while (!answeredConnections.empty()) {
      Connection* connection = answeredConnections.back();
      answeredConnections.pop_back();
      connection->answered = false;
      if (send(connection)) receive(connection);
    }
  }

  void stop() {
    if (stopping) return;
    stopping = true;
    if (onStop) onStop();
    for (Listener& listener : listeners) evconnlistener_disable(listener.socket);
    deliverDelayed();
    std::vector<Connection*> all;
    for (const auto& [id, connection] : connections) all.push_back(connection);
    for (Connection* connection : all) {
      if (connection->session == nullptr) {
        close(connection);
        continue;
      }
      nghttp2_submit_goaway(connection->session, NGHTTP2_FLAG_NONE,
                            nghttp2_session_get_last_proc_stream_id(connection->session),
                            NGHTTP2_NO_ERROR, nullptr, 0);
      send(connection);
    }
    drainDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    const timeval tick{0, 50 * 1000};
    evtimer_add(drainTimer, &tick);
  }

  // Room for one more connection from `peer`. The connection without a request in flight that
  // has waited longest for one, from the same peer when that peer is at its bound, makes room;
  // false when every candidate is busy.
  bool makeRoom(const std::string& peer) {
    const auto held = peers.find(peer);
    const bool peerFull = held != peers.end() && held->second >= limits.maxConnectionsPerPeer;
    if (!peerFull && connections.size() < limits.maxConnections) return true;
    Connection* oldest = nullptr;
    for (const auto& [id, connection] : connections) {
      if (connection->inFlight > 0 || (peerFull && connection->peer != peer)) continue;
      if (oldest == nullptr || connection->lastRequest < oldest->lastRequest) oldest = connection;
    }
    if (oldest == nullptr) return false;
    close(oldest);
    return makeRoom(peer);
  }

  // Closes the connections whose handshake, idleness or unread output has lasted too long.
  void sweep() {
    const Clock::time_point now = Clock::now();
    const bool crowded = connections.size() * 4 >= limits.maxConnections * 3;
    const auto idle = crowded ? limits.crowdedIdleTimeout : limits.idleTimeout;
    std::vector<Connection*> expired;
    for (const auto& [id, connection] : connections) {
      const bool handshaking = connection->session == nullptr;
      const bool unread = evbuffer_get_length(bufferevent_get_output(connection->bev)) > 0;
      if ((handshaking && now - connection->opened > limits.handshakeTimeout) ||
          (connection->inFlight == 0 && now - connection->lastRequest > idle) ||
          (unread && now - connection->outputMoved > limits.stallTimeout)) {
        expired.push_back(connection);
      }
    }
    for (Connection* connection : expired) close(connection);
  }

  // Often enough that a timeout is met within a quarter of the shortest.
  timeval sweepInterval() const {
    const auto shortest =
        std::min({limits.handshakeTimeout, limits.crowdedIdleTimeout, limits.stallTimeout});
    const auto interval = std::clamp<std::chrono::milliseconds>(
        shortest / 4, std::chrono::milliseconds(20), std::chrono::milliseconds(1000));
    return {static_cast<time_t>(interval.count() / 1000),
            static_cast<suseconds_t>(interval.count() % 1000 * 1000)};
  }

  void startSession(Connection* connection);
};

namespace {

Connection* connectionOf(void* data) {
  return static_cast<Connection*>(data);
}

ssize_t sendCallback(nghttp2_session*, const std::uint8_t* data, std::size_t length, int,
                     void* user) {
  Connection* connection = connectionOf(user);
  evbuffer* output = bufferevent_get_output(connection->bev);
  if (evbuffer_get_length(output) >= connection->server->limits.maxPendingOutput) {
    return NGHTTP2_ERR_WOULDBLOCK;
  }
  evbuffer_add(output, data, length);
  return static_cast<ssize_t>(length);
}

int onBeginHeaders(nghttp2_session* session, const nghttp2_frame* frame, void* user) {
  if (frame->hd.type != NGHTTP2_HEADERS || frame->headers.cat != NGHTTP2_HCAT_REQUEST) return 0;
  Connection* connection = connectionOf(user);
  auto stream = std::make_unique<Stream>();
  stream->id = frame->hd.stream_id;
  // A push carries a handful of headers: one allocation instead of one per doubling.
  stream->request.headers.reserve(8);
  nghttp2_session_set_stream_user_data(session, stream->id, stream.get());
  connection->streams[stream->id] = std::move(stream);
  connection->lastRequest = Clock::now();
  return 0;
}

int onHeader(nghttp2_session* session, const nghttp2_frame* frame, const std::uint8_t* name,
             std::size_t nameLength, const std::uint8_t* value, std::size_t valueLength,
             std::uint8_t, void* user) {
  if (frame->hd.type != NGHTTP2_HEADERS) return 0;
  auto* stream =
      static_cast<Stream*>(nghttp2_session_get_stream_user_data(session, frame->hd.stream_id));
  if (stream == nullptr) return 0;
  const H2Limits& limits = connectionOf(user)->server->limits;
  // HPACK lets a few bytes on the wire stand for a large header block: count what it expands to.
  stream->headerBytes += nameLength + valueLength + 32;
  if (stream->headerBytes > limits.maxHeaderBytes ||
      stream->request.headers.size() >= limits.maxHeaders) {
    return NGHTTP2_ERR_TEMPORAL_CALLBACK_FAILURE;
  }
  const std::string_view n(reinterpret_cast<const char*>(name), nameLength);
  const std::string_view v(reinterpret_cast<const char*>(value), valueLength);
  if (n == ":method") {
    stream->request.method = v;
  } else if (n == ":path") {
    stream->request.path = v;
    stream->ceiling = limits.bodyCeiling(v);
  } else if (!n.empty() && n.front() != ':') {
    stream->request.headers.push_back({std::string(n), std::string(v)});
  }
  return 0;
}

int onDataChunk(nghttp2_session* session, std::uint8_t, std::int32_t streamId,
                const std::uint8_t* data, std::size_t length, void*) {
  auto* stream = static_cast<Stream*>(nghttp2_session_get_stream_user_data(session, streamId));
  if (stream == nullptr) return 0;
  stream->request.bodyBytes += length;
  const std::size_t ceiling = stream->ceiling == 0 ? 5121 : stream->ceiling;
  if (stream->request.body.size() < ceiling) {
    const std::size_t keep = std::min(length, ceiling - stream->request.body.size());
    stream->request.body.append(reinterpret_cast<const char*>(data), keep);
  }
  return 0;
}

int onFrameReceived(nghttp2_session* session, const nghttp2_frame* frame, void* user) {
  if ((frame->hd.type != NGHTTP2_HEADERS && frame->hd.type != NGHTTP2_DATA) ||
      (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) == 0) {
    return 0;
  }
  auto* stream =
      static_cast<Stream*>(nghttp2_session_get_stream_user_data(session, frame->hd.stream_id));
  if (stream == nullptr) return 0;
  Connection* connection = connectionOf(user);
  stream->inFlight = true;
  ++connection->inFlight;
  connection->server->complete(connection, *stream);
  return 0;
}

int onStreamClose(nghttp2_session*, std::int32_t streamId, std::uint32_t, void* user) {
  Connection* connection = connectionOf(user);
  const auto stream = connection->streams.find(streamId);
  if (stream == connection->streams.end()) return 0;
  if (stream->second->inFlight) --connection->inFlight;
  connection->streams.erase(stream);
  connection->lastRequest = Clock::now();
  return 0;
}

void readCallback(bufferevent*, void* user) {
  Connection* connection = connectionOf(user);
  if (connection->session != nullptr) connection->server->receive(connection);
}

void writeCallback(bufferevent*, void* user) {
  Connection* connection = connectionOf(user);
  if (connection->session == nullptr) return;
  if (connection->server->send(connection)) connection->server->receive(connection);
}

// Tells when the client last read: output that leaves, or output that starts from empty.
void outputCallback(evbuffer*, const evbuffer_cb_info* info, void* user) {
  if (info->n_deleted > 0 || info->orig_size == 0) connectionOf(user)->outputMoved = Clock::now();
}

void eventCallback(bufferevent*, short events, void* user) {
  Connection* connection = connectionOf(user);
  if ((events & BEV_EVENT_CONNECTED) != 0) {
    connection->server->startSession(connection);
    return;
  }
  connection->server->close(connection);
}

// The address without the port: one client's connections share it.
std::string peerAddress(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address->sa_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  } else if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  }
  return text;
}

void acceptCallback(evconnlistener*, evutil_socket_t fd, sockaddr* address, int, void* data) {
  const auto* listener = static_cast<Listener*>(data);
  H2Server::Impl* server = listener->server;
  std::string peer = peerAddress(address);
  if (server->stopping || !server->makeRoom(peer)) {
    evutil_closesocket(fd);
    return;
  }
  SSL* ssl = SSL_new(server->tls.native());
  if (ssl == nullptr) {
    evutil_closesocket(fd);
    return;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  auto* connection = new Connection;
  connection->server = server;
  connection->id = ++server->lastConnectionId;
  connection->state = server->newConnectionState();
  connection->peer = std::move(peer);
  connection->environment = listener->environment;
  connection->bev = bufferevent_openssl_socket_new(server->base, fd, ssl, BUFFEREVENT_SSL_ACCEPTING,
                                                   BEV_OPT_CLOSE_ON_FREE | BEV_OPT_DEFER_CALLBACKS);
  if (connection->bev == nullptr) {
    SSL_free(ssl);
    evutil_closesocket(fd);
    delete connection;
    return;
  }
  server->connections.emplace(connection->id, connection);
  ++server->peers[connection->peer];
  // A client that sends faster than it reads stops being read from: memory stays bounded.
  bufferevent_setwatermark(connection->bev, EV_READ, 0, 256 * 1024);
  evbuffer_add_cb(bufferevent_get_output(connection->bev), outputCallback, connection);
  bufferevent_setcb(connection->bev, readCallback, writeCallback, eventCallback, connection);
  bufferevent_enable(connection->bev, EV_READ | EV_WRITE);
}

}  // namespace

void H2Server::Impl::startSession(Connection* connection) {
  const unsigned char* protocol = nullptr;
  unsigned int length = 0;
  SSL_get0_alpn_selected(bufferevent_openssl_get_ssl(connection->bev), &protocol, &length);
  if (length != 2 || std::memcmp(protocol, "h2", 2) != 0) {
    close(connection);
    return;
  }
  nghttp2_session_callbacks* callbacks = nullptr;
  nghttp2_session_callbacks_new(&callbacks);
  nghttp2_session_callbacks_set_send_callback(callbacks, sendCallback);
  nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, onBeginHeaders);
  nghttp2_session_callbacks_set_on_header_callback(callbacks, onHeader);
  nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, onDataChunk);
  nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, onFrameReceived);
  nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, onStreamClose);
  nghttp2_option* option = nullptr;
  nghttp2_option_new(&option);
  // Bound what a peer can make us keep for streams it has reset or left open.
  nghttp2_option_set_max_outbound_ack(option, 1000);
  nghttp2_option_set_max_settings(option, 32);
  const int rc = nghttp2_session_server_new2(&connection->session, callbacks, connection, option);
  nghttp2_option_del(option);
  nghttp2_session_callbacks_del(callbacks);
  if (rc != 0) {
    connection->session = nullptr;
    close(connection);
    return;
  }
  const nghttp2_settings_entry settings[] = {
      {NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, limits.maxConcurrentStreams},
      {NGHTTP2_SETTINGS_MAX_HEADER_LIST_SIZE, static_cast<std::uint32_t>(limits.maxHeaderBytes)},
  };
  nghttp2_submit_settings(connection->session, NGHTTP2_FLAG_NONE, settings, 2);
  if (stopping) {
    nghttp2_submit_goaway(connection->session, NGHTTP2_FLAG_NONE, 0, NGHTTP2_NO_ERROR, nullptr, 0);
  }
  receive(connection);
}

namespace {

// Once stopping: exits the loop when every connection has finished, or at the deadline.
void drainTick(evutil_socket_t, short, void* data) {
  auto* impl = static_cast<H2Server::Impl*>(data);
  if (impl->connections.empty() || std::chrono::steady_clock::now() > impl->drainDeadline) {
    event_base_loopexit(impl->base, nullptr);
    return;
  }
  const timeval tick{0, 50 * 1000};
  evtimer_add(impl->drainTimer, &tick);
}

}  // namespace

H2Server::H2Server(const TlsContext& tls, Dispatch dispatch, OnStop onStop,
                   NewConnectionState newConnectionState, H2Limits limits)
    : impl_(std::make_unique<Impl>(tls, std::move(dispatch), std::move(onStop),
                                   std::move(newConnectionState), std::move(limits))) {
  impl_->base = event_base_new();
  // Requests first, then one dispatch of all of them: the dispatch runs at the lower priority.
  event_base_priority_init(impl_->base, 2);
  impl_->dispatchEvent = event_new(
      impl_->base, -1, 0,
      [](evutil_socket_t, short, void* data) { static_cast<Impl*>(data)->dispatchCompleted(); },
      impl_.get());
  event_priority_set(impl_->dispatchEvent, 1);
  // Without it, `listen` fails.
  if (evutil_socketpair(AF_UNIX, SOCK_STREAM, 0, impl_->wake) == 0) {
    for (const evutil_socket_t fd : impl_->wake) {
      evutil_make_socket_nonblocking(fd);
      evutil_make_socket_closeonexec(fd);
    }
    impl_->answeredEvent = event_new(
        impl_->base, impl_->wake[0], EV_READ | EV_PERSIST,
        [](evutil_socket_t, short, void* data) { static_cast<Impl*>(data)->deliver(); },
        impl_.get());
    event_add(impl_->answeredEvent, nullptr);
  }
  impl_->drainTimer = event_new(impl_->base, -1, 0, drainTick, impl_.get());
  impl_->sweepTimer = event_new(
      impl_->base, -1, EV_PERSIST,
      [](evutil_socket_t, short, void* data) { static_cast<Impl*>(data)->sweep(); }, impl_.get());
  const timeval interval = impl_->sweepInterval();
  event_add(impl_->sweepTimer, &interval);
  const int signals[2] = {SIGINT, SIGTERM};
  for (int i = 0; i < 2; ++i) {
    impl_->signalEvents[i] = evsignal_new(
        impl_->base, signals[i],
        [](evutil_socket_t, short, void* data) { static_cast<Impl*>(data)->stop(); }, impl_.get());
    event_add(impl_->signalEvents[i], nullptr);
  }
}

H2Server::~H2Server() {
  std::vector<Connection*> all;
  for (const auto& [id, connection] : impl_->connections) all.push_back(connection);
  for (Connection* connection : all) impl_->close(connection);
  for (Listener& listener : impl_->listeners) evconnlistener_free(listener.socket);
  for (Delayed& waiting : impl_->delayed) event_free(waiting.timer);
  for (event* e : impl_->signalEvents) event_free(e);
  event_free(impl_->drainTimer);
  event_free(impl_->sweepTimer);
  event_free(impl_->dispatchEvent);
  if (impl_->answeredEvent) event_free(impl_->answeredEvent);
  for (const evutil_socket_t fd : impl_->wake) {
    if (fd >= 0) evutil_closesocket(fd);
  }
  event_base_free(impl_->base);
}

std::optional<std::string> H2Server::listen(const std::string& address, std::uint16_t port,
                                            Environment environment) {
  if (impl_->answeredEvent == nullptr) {
    return std::string("cannot make the socket pair that wakes the loop with answers");
  }
  std::uint16_t& bound = impl_->ports[static_cast<std::size_t>(environment)];
  if (bound != 0) port = bound;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(address.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
    return "not a numeric IP address: " + address;
  }
  Listener& listener = impl_->listeners.emplace_back();
  listener.server = impl_.get();
  listener.environment = environment;
  listener.socket =
      evconnlistener_new_bind(impl_->base, acceptCallback, &listener,
                              LEV_OPT_CLOSE_ON_FREE | LEV_OPT_REUSEABLE | LEV_OPT_CLOSE_ON_EXEC,
                              512, found->ai_addr, static_cast<int>(found->ai_addrlen));
  freeaddrinfo(found);
  if (listener.socket == nullptr) {
    const int error = errno;
    impl_->listeners.pop_back();
    return "cannot listen on " + address + " port " + service + ": " + std::strerror(error);
  }
  sockaddr_storage socketAddress{};
  socklen_t length = sizeof socketAddress;
  getsockname(evconnlistener_get_fd(listener.socket), reinterpret_cast<sockaddr*>(&socketAddress),
              &length);
  bound = ntohs(socketAddress.ss_family == AF_INET6
                    ? reinterpret_cast<sockaddr_in6*>(&socketAddress)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&socketAddress)->sin_port);
  return std::nullopt;
}

std::uint16_t H2Server::port(Environment environment) const noexcept {
  return impl_->ports[static_cast<std::size_t>(environment)];
}

void H2Server::run() {
  event_base_dispatch(impl_->base);
}

void H2Server::answer(std::vector<H2Exchange>& exchanges) {
  impl_->answer(exchanges);
}

}  // namespace host::serve
