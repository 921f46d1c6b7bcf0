// Feeds arbitrary requests to the push endpoint's handler: the first bytes pick the method and
// the path, then header lines, then the body. Every answer must be one the service gives.
#include "platform/host/serve/service/push_service.hpp"
#include "platform/host/serve/service/reason.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

const host::ActivityRegistry registry(widgets::registeredActivities(tolvex::TolvexWidgetBundle{},
                                                                    widgets::defaultSystemVersion),
                                      widgets::defaultSystemVersion);

std::string_view nextLine(std::string_view& input) {
  const std::size_t end = input.find('\n');
  const std::string_view line = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A fresh store now and then: the history of every run would otherwise fill the fuzzer's memory.
  static std::unique_ptr<host::serve::PushStore> store;
  static std::unique_ptr<host::serve::PushService> service;
  static std::size_t runs = 0;
  if (runs++ % 4096 == 0) {
    service.reset();
    store = host::serve::PushStore::open({});
    service =
        std::make_unique<host::serve::PushService>(registry, *store, host::serve::ServiceOptions{});
  }
  std::string_view input(reinterpret_cast<const char*>(data), size);
  host::serve::Request request;
  request.method = nextLine(input);
  request.path = nextLine(input);
  for (std::string_view line = nextLine(input); !line.empty() && request.headers.size() < 64;
       line = nextLine(input)) {
    const std::size_t colon = line.find(':');
    request.headers.push_back(
        {std::string(line.substr(0, colon)),
         colon == std::string_view::npos ? std::string() : std::string(line.substr(colon + 1))});
  }
  request.bodyBytes = input.size();
  request.body = input.substr(0, host::serve::bodyCeiling(request.path));
  request.nowMs = 1765012900000;
  host::serve::ConnectionTokens tokens;
  const host::serve::Response response = service->handle(request, tokens);
  if (response.header("apns-id").empty()) std::abort();
  if (response.status >= 400 && host::serve::statusOf(response.body.substr(
                                    11, response.body.find('"', 11) - 11)) != response.status) {
    std::abort();
  }
  // Keep the history, and so the fuzzer's memory, small.
  store->commit();
  return 0;
}
