#pragma once

#include "platform/host/serve/page/page_guard.hpp"

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace host::serve {

// The page port's HTTP/1.1 transport: the library's routes and answers, behind our own accept
// loop. One thread reads every request's head and short body, with deadlines and size limits,
// before a worker sees it, so slow or idle clients hold no worker; bodies are bounded whatever
// their framing; each peer address holds a bounded number of connections. The library bounds
// none of these.
class PageTransport : public httplib::Server {
 public:
  explicit PageTransport(PageLimits limits);
  ~PageTransport() override;
  PageTransport(const PageTransport&) = delete;
  PageTransport& operator=(const PageTransport&) = delete;

  // Listens on `address`, or says why not; port 0 takes a free port, or the one an earlier call
  // bound (to listen on several addresses with one port).
  std::optional<std::string> open(const std::string& address, std::uint16_t port);
  std::uint16_t boundPort() const noexcept { return port_; }
  void run();
  // Ends every wait of the transport, the event streams' too, and joins its threads.
  void halt();

  // A client's connection; its stream (in the .cpp file) reads and writes it.
  struct Connection;

 private:
  void readRequests();
  void serveRequests();
  void takeBack();
  // False when out of descriptors or memory.
  bool acceptAll(int listening);
  void admit(int fd, std::string peer);
  void expire();
  // Reads what the connection's request still needs; hands it to a worker once it has it.
  void readRequest(Connection& connection);
  // Once the head is in, what the reader waits for; an answer that refuses it, if it must.
  std::string headRefusal(Connection& connection);
  // A connection whose turn it is to send a request.
  void await(std::unique_ptr<Connection> connection);
  void handBack(std::unique_ptr<Connection> connection);
  void forget(Connection& connection);
  bool evictOldest(const std::string* peer);

  const PageLimits limits_;
  std::vector<int> listenFds_;
  std::uint16_t port_ = 0;
  // Readable once the transport stops, and never drained: every wait of a worker sees it.
  int stopFd_ = -1;
  // Tells the reader that workers handed connections back.
  int wakeFd_ = -1;
  std::thread reader_;
  std::vector<std::thread> workers_;

  // Owned by the reader thread alone.
  std::vector<std::unique_ptr<Connection>> waiting_;
  std::map<std::string, std::size_t> perPeer_;
  std::size_t open_ = 0;
  std::size_t slowBodies_ = 0;  // workers given a request whose body they read

  std::mutex readyLock_;  // guards ready_ and stopping_
  std::condition_variable readyChanged_;
  std::deque<std::unique_ptr<Connection>> ready_;
  bool stopping_ = false;

  std::mutex returnedLock_;  // guards returned_
  std::vector<std::unique_ptr<Connection>> returned_;
};

}  // namespace host::serve
