// What the page port refuses before any route sees it: names, origins, fetch metadata, and the
// event stream's own rules.
#include "platform/host/serve/page/page_guard.hpp"

#include <gtest/gtest.h>

namespace {

using host::serve::RequestHeaders;

TEST(PageGuard, AcceptsOnlyThePagesOwnOrigin) {
  const std::vector<std::string> hosts{"192.168.1.7"};
  for (const char* ok : {"http://localhost:8080", "http://127.0.0.1:8080", "http://[::1]:8080",
                         "http://192.168.1.7:8080"}) {
    EXPECT_TRUE(host::serve::isPageOrigin(ok, hosts, 8080)) << ok;
  }
  for (const char* bad :
       {"http://localhost:3000", "http://localhost", "https://localhost:8080", "localhost:8080",
        "http://localhost:8080/", "http://localhost:80800", "http://localhost:8080.evil.example",
        "http://evil.example:8080", "http://[::1:8080", "null", ""}) {
    EXPECT_FALSE(host::serve::isPageOrigin(bad, hosts, 8080)) << bad;
  }
  EXPECT_TRUE(host::serve::isPageOrigin("http://localhost", hosts, 80));
}

TEST(PageGuard, RefusesWhatDoesNotComeFromThePage) {
  // What Chromium sends for the page's own EventSource.
  const RequestHeaders eventSource{
      "/api/events", "127.0.0.1:8080", std::nullopt, "text/event-stream",
      "same-origin", "cors",           "empty"};
  const RequestHeaders curl{"/api/events", "127.0.0.1:8080", std::nullopt, "text/event-stream",
                            std::nullopt,  std::nullopt,     std::nullopt};
  struct Case {
    const char* what;
    RequestHeaders request;
    int status;  // 0: served
  };
  const auto with = [](RequestHeaders request, auto change) {
    change(request);
    return request;
  };
  const Case cases[] = {
      {"the page's EventSource", eventSource, 0},
      {"curl, with no fetch metadata", curl, 0},
      {"an <img> of another site",
       with(eventSource,
            [](auto& r) {
              r.accept = "image/avif,image/webp,*/*";
              r.fetchSite = "cross-site";
              r.fetchMode = "no-cors";
              r.fetchDest = "image";
            }),
       403},
      {"an <img> of the page itself",
       with(eventSource,
            [](auto& r) {
              r.accept = "image/avif,image/webp,*/*";
              r.fetchMode = "no-cors";
              r.fetchDest = "image";
            }),
       403},
      {"a <script> on the page's origin",
       with(eventSource,
            [](auto& r) {
              r.accept = "*/*";
              r.fetchMode = "no-cors";
              r.fetchDest = "script";
            }),
       403},
      {"a fetch without the stream's Accept", with(eventSource, [](auto& r) { r.accept = "*/*"; }),
       406},
      {"a stream asked with no Accept", with(curl, [](auto& r) { r.accept.reset(); }), 406},
      {"another port of localhost",
       with(eventSource,
            [](auto& r) {
              r.origin = "http://localhost:3000";
              r.fetchSite = "same-site";
            }),
       403},
      {"a write from another port",
       with(curl,
            [](auto& r) {
              r.path = "/api/activities";
              r.origin = "http://127.0.0.1:3000";
            }),
       403},
      {"a write from the page",
       with(curl,
            [](auto& r) {
              r.path = "/api/activities";
              r.origin = "http://127.0.0.1:8080";
              r.fetchSite = "same-origin";
            }),
       0},
      {"a same-site read",
       with(curl,
            [](auto& r) {
              r.path = "/api/pushes?limit=1";
              r.fetchSite = "same-site";
            }),
       403},
      {"an address typed by the user",
       with(curl,
            [](auto& r) {
              r.path = "/api/pushes";
              r.fetchSite = "none";
            }),
       0},
      {"a rebound name", with(curl, [](auto& r) { r.host = "evil.example:8080"; }), 403},
  };
  for (const Case& c : cases) {
    const auto refusal = host::serve::pageRefusal(c.request, {}, 8080);
    EXPECT_EQ(refusal ? refusal->status : 0, c.status) << c.what;
  }
}

}  // namespace
