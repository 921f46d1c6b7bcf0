#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host::serve {

// Which of the service's two endpoints a request reached; a device token belongs to one.
enum class Environment { development, production };

struct Header {
  std::string name;  // lowercase, as HTTP/2 carries it
  std::string value;
};

// One request as the transport hands it over, whatever the transport: the body is cut at the
// ceiling the transport was given, and `bodyBytes` says how much the client really sent.
struct Request {
  std::string method;
  std::string path;
  std::vector<Header> headers;  // without pseudo-headers, in arrival order
  std::string body;
  std::size_t bodyBytes = 0;
  std::int64_t nowMs = 0;  // the time of arrival, in milliseconds since 1970
  Environment environment = Environment::development;  // the endpoint it arrived at
};

// How the transport ends an exchange: with the answer, or as a sender's test asked, by closing
// the connection with a GOAWAY that carries `Response::reason`, or by resetting the stream.
enum class Ending : std::uint8_t { answer, goaway, reset };

struct Response {
  int status = 200;
  std::vector<Header> headers;
  std::string body;
  std::string reason;  // a refusal's reason, as the body gives it; not sent apart
  std::string why;     // a refusal's cause in one line, for the history; never sent
  Ending ending = Ending::answer;
  std::chrono::milliseconds delay{0};  // how much later than it could be, the transport sends it

  std::string_view header(std::string_view name) const;
};

// What whoever answers a connection's requests keeps for that connection (the provider token it
// verified, say). The transport holds it without knowing what it is.
class ConnectionState {
 public:
  virtual ~ConnectionState() = default;
};

}  // namespace host::serve
