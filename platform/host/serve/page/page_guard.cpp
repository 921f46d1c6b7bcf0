#include "platform/host/serve/page/page_guard.hpp"

#include <charconv>

namespace host::serve {
namespace {

struct Authority {
  std::string_view host;
  std::optional<std::uint16_t> port;
};

// "name", "name:port", "[v6]" or "[v6]:port"; a bare v6 address is its own host.
std::optional<Authority> splitAuthority(std::string_view text) {
  Authority out;
  std::string_view rest;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    out.host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
  } else if (const std::size_t colon = text.rfind(':');
             colon != std::string_view::npos && text.find(':') == colon) {
    out.host = text.substr(0, colon);
    rest = text.substr(colon);
  } else {
    out.host = text;
  }
  if (rest.empty()) return out;
  if (rest.front() != ':') return std::nullopt;
  rest.remove_prefix(1);
  std::uint16_t port = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), port);
  if (error == std::errc() && end == rest.data() + rest.size()) out.port = port;
  return out;
}

bool isLocalName(std::string_view host, const std::vector<std::string>& hosts) {
  if (host == "localhost" || host == "127.0.0.1" || host == "::1") return true;
  for (const std::string& allowed : hosts) {
    if (host == allowed) return true;
  }
  return false;
}

bool absentOrOneOf(const std::optional<std::string>& value,
                   std::initializer_list<std::string_view> ok) {
  if (!value) return true;
  for (const std::string_view one : ok) {
    if (*value == one) return true;
  }
  return false;
}

}  // namespace

bool isLocalHost(std::string_view value, const std::vector<std::string>& hosts) {
  if (const std::size_t scheme = value.find("://"); scheme != std::string_view::npos) {
    value.remove_prefix(scheme + 3);
  }
  const auto authority = splitAuthority(value);
  return authority && isLocalName(authority->host, hosts);
}

bool isPageOrigin(std::string_view origin, const std::vector<std::string>& hosts,
                  std::uint16_t port) {
  constexpr std::string_view scheme = "http://";
  if (!origin.starts_with(scheme)) return false;
  const auto authority = splitAuthority(origin.substr(scheme.size()));
  return authority && isLocalName(authority->host, hosts) && authority->port.value_or(80) == port;
}

std::optional<Refusal> pageRefusal(const RequestHeaders& request,
                                   const std::vector<std::string>& hosts, std::uint16_t port) {
  if (request.host && !isLocalHost(*request.host, hosts)) {
    return Refusal{403, "requests come from this machine only"};
  }
  // Another page on this machine (any other port of localhost) is another site too.
  if ((request.origin && !isPageOrigin(*request.origin, hosts, port)) ||
      !absentOrOneOf(request.fetchSite, {"same-origin", "none"})) {
    return Refusal{403, "requests come from this page only"};
  }
  const std::string_view path = std::string_view(request.path).substr(0, request.path.find('?'));
  if (path == "/api/events") {
    if (!absentOrOneOf(request.fetchDest, {"empty"}) ||
        !absentOrOneOf(request.fetchMode, {"cors"})) {
      return Refusal{403, "the event stream is for the page's EventSource only"};
    }
    if (!request.accept || request.accept->find("text/event-stream") == std::string::npos) {
      return Refusal{406, "the event stream answers Accept: text/event-stream only"};
    }
  }
  return std::nullopt;
}

}  // namespace host::serve
