#include "platform/host/serve/page/page_server.hpp"

#include "platform/host/device/device_profile.hpp"
#include "platform/host/input/activity_input.hpp"
#include "platform/host/serve/common/json_text.hpp"
#include "platform/host/serve/page/page_assets.hpp"
#include "platform/host/serve/page/page_json.hpp"
#include "platform/host/serve/page/page_preview.hpp"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace host::serve {
namespace {

// The page runs only the script and the style sheet it came with; payload text is never markup.
// The drawings style their shapes in attributes, and show icons as PNG data.
constexpr const char* contentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; style-src-attr 'unsafe-inline'; "
    "img-src 'self' data:; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

// Each open page holds a thread of the pool while it listens.
constexpr int threads = 12;
constexpr int maxListeners = 8;
constexpr std::size_t maxTimelineLines = 1000;
constexpr std::size_t historyLimit = 10000;

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// JSON for this machine: compressing it costs far more than sending it (the library picks
// brotli at its slowest for a bare "application/json", and leaves any other type alone).
constexpr const char* jsonType = "application/json; charset=utf-8";

void answer(httplib::Response& response, int status, const std::string& json) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(json, jsonType);
}

void fail(httplib::Response& response, int status, const std::string& why) {
  answer(response, status, "{\"error\":" + jsonString(why) + "}");
}

template <class Record>
std::string jsonArray(const std::vector<Record>& records, std::string (*json)(const Record&)) {
  std::string body = "[";
  for (const Record& record : records) {
    if (body.size() > 1) body += ',';
    body += json(record);
  }
  return body + "]";
}

// One line of a JSON Lines file: JSON allows no raw line breaks inside strings, so every break
// in a valid text lies between tokens.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.find_first_not_of(" \t\r") != std::string_view::npos) lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// An SSE event; a data line may not hold a line break, so a multi-line text takes several.
std::string sseEvent(const PageEvents::Event& event) {
  std::string out = "id: " + std::to_string(event.id) + "\nevent: " + event.name + "\n";
  std::string_view data = event.data;
  while (true) {
    const std::size_t end = data.find('\n');
    out += "data: ";
    out += data.substr(0, end);
    out += '\n';
    if (end == std::string_view::npos) break;
    data.remove_prefix(end + 1);
  }
  return out + '\n';
}

}  // namespace

bool isLocalHost(std::string_view value, const std::vector<std::string>& hosts) {
  if (const std::size_t scheme = value.find("://"); scheme != std::string_view::npos) {
    value.remove_prefix(scheme + 3);
  }
  std::string_view host = value;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    host = host.substr(1, close - 1);
  } else if (const std::size_t colon = host.rfind(':');
             colon != std::string_view::npos && host.find(':') == colon) {
    host = host.substr(0, colon);
  }
  if (host == "localhost" || host == "127.0.0.1" || host == "::1") return true;
  for (const std::string& allowed : hosts) {
    if (host == allowed) return true;
  }
  return false;
}

struct PageServer::Impl {
  PushService& service;
  std::mutex& lock;
  PageEvents& events;
  const ActivityRegistry& registry;
  PageSettings settings;
  PagePreview preview;
  // One per address: the library listens on one address per server.
  std::vector<std::unique_ptr<httplib::Server>> servers;
  std::vector<std::thread> acceptThreads;  // one per server
  std::uint16_t port = 0;
  std::atomic<int> listeners{0};

  Impl(PushService& s, std::mutex& l, PageEvents& e, const ActivityRegistry& r, PageSettings p)
      : service(s), lock(l), events(e), registry(r), settings(std::move(p)), preview(r) {}

  // Makes the page's own writes durable and tells the open pages.
  void commit() {
    try {
      service.store().commit();
    } catch (const StoreError&) {
      events.discard();
      throw;
    }
    events.publish();
  }

  std::string info() const {
    std::string types = "[";
    for (const auto& type : registry.types()) {
      if (types.size() > 1) types += ',';
      types += jsonString(type.name) + ',' + jsonString(type.name + ".ContentState");
    }
    std::string devices = "[";
    for (const DeviceProfile& device : deviceProfiles()) {
      if (devices.size() > 1) devices += ',';
      devices += jsonString(device.name);
    }
    return "{\"pushUrl\":" + jsonString(settings.pushUrl) +
           ",\"certificate\":" + jsonString(settings.certificate) +
           ",\"bundleId\":" + (settings.bundleId.empty() ? "null" : jsonString(settings.bundleId)) +
           ",\"types\":" + types + "],\"devices\":" + devices + "]}";
  }

  // A .json or .jsonl file played as it would arrive: a document or a start brings an activity
  // up, the updates and the end that follow go to it as pushes.
  void replay(const httplib::Request& request, httplib::Response& response) {
    const std::string type = request.get_param_value("type");
    const ActivityInput whole = readActivityInput(request.body, registry, type);
    if (whole.failure) return fail(response, 400, whole.failure->description());
    const auto lines =
        whole.timeline ? nonEmptyLines(request.body) : std::vector<std::string_view>{request.body};
    if (lines.size() > maxTimelineLines) {
      return fail(response, 413, "a timeline of more than 1000 lines");
    }
    std::string body = "[";
    std::lock_guard guard(lock);
    std::optional<ActivityRecord> current;
    for (const std::string_view line : lines) {
      const ActivityInput one = readActivityInput(line, registry, current ? current->type : type);
      const bool starts =
          !one.failure && (one.events.front().form == ActivityEvent::Form::document ||
                           (one.events.front().form == ActivityEvent::Form::push &&
                            one.events.front().event == PushEvent::start));
      if (body.size() > 1) body += ',';
      if (starts) {
        auto started = service.startLocally(line, nowMs());
        if (auto* activity = std::get_if<ActivityRecord>(&started)) {
          current = *activity;
          body += "{\"activity\":" + activityJson(*activity) + "}";
        } else {
          body += "{\"error\":" + jsonString(std::get<std::string>(started)) + "}";
        }
      } else if (current) {
        const PushRecord pushed = service.pushTo(*current, std::string(line), nowMs());
        body += "{\"push\":" + pushJson(pushed) + "}";
        current = service.store().activity(current->id);
      } else {
        body += "{\"error\":\"an update or end before any start\"}";
      }
    }
    commit();
    answer(response, 200, body + "]");
  }

  void serveEvents(const httplib::Request& request, httplib::Response& response) {
    if (listeners.fetch_add(1) >= maxListeners) {
      listeners.fetch_sub(1);
      return fail(response, 503, "too many pages are listening; close one");
    }
    std::uint64_t after = events.lastId();
    if (request.has_header("Last-Event-ID")) {
      after = std::strtoull(request.get_header_value("Last-Event-ID").c_str(), nullptr, 10);
    }
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, after, listening = std::make_shared<PageEvents::Listener>(events)](
            std::size_t, httplib::DataSink& sink) mutable {
          if (events.closed()) return false;
          const auto next = events.after(after, std::chrono::seconds(15));
          std::string out;
          for (const PageEvents::Event& event : next) {
            out += sseEvent(event);
            after = event.id;
          }
          // A comment now and then finds a page that has gone.
          if (out.empty()) out = ": still here\n\n";
          return sink.write(out.data(), out.size());
        },
        [this](bool) { listeners.fetch_sub(1); });
  }

  // The page, its API and their guards, on one server of `servers`.
  void route(httplib::Server& server);
};

void PageServer::Impl::route(httplib::Server& server) {
  Impl* impl = this;
  server.new_task_queue = [] { return new httplib::ThreadPool(threads); };
  server.set_payload_max_length(2 * PagePreview::maxInputBytes);
  server.set_read_timeout(10, 0);
  server.set_keep_alive_max_count(100);
  // An answer leaves in two writes; Nagle would hold the second for the client's delayed ACK.
  server.set_tcp_nodelay(true);
  // Another site in the user's browser must not read the history or push, and a name that
  // resolves here by DNS rebinding is another site too.
  server.set_pre_routing_handler(
      [impl](const httplib::Request& request, httplib::Response& response) {
        const auto& hosts = impl->settings.hosts;
        const bool hostOk =
            !request.has_header("Host") || isLocalHost(request.get_header_value("Host"), hosts);
        const bool originOk =
            !request.has_header("Origin") || isLocalHost(request.get_header_value("Origin"), hosts);
        if (hostOk && originOk) return httplib::Server::HandlerResponse::Unhandled;
        fail(response, 403, "requests come from this machine only");
        return httplib::Server::HandlerResponse::Handled;
      });

  for (const auto& [path, text] : pageAssets()) {
    const std::string type = path.ends_with(".js")    ? "text/javascript; charset=utf-8"
                             : path.ends_with(".css") ? "text/css; charset=utf-8"
                                                      : "text/html; charset=utf-8";
    const auto serve = [text = text, type](const httplib::Request&, httplib::Response& response) {
      response.set_header("Content-Security-Policy", contentSecurityPolicy);
      response.set_header("X-Content-Type-Options", "nosniff");
      response.set_header("Cache-Control", "no-cache");
      response.set_content(text.data(), text.size(), type.c_str());
    };
    server.Get(std::string(path), serve);
    if (path == "/index.html") server.Get("/", serve);
  }

  server.Get("/api/info", [impl](const httplib::Request&, httplib::Response& response) {
    answer(response, 200, impl->info());
  });
  server.Get("/api/events", [impl](const httplib::Request& request, httplib::Response& response) {
    impl->serveEvents(request, response);
  });
  server.Get("/api/pushes", [impl](const httplib::Request& request, httplib::Response& response) {
    std::size_t limit = 100;
    if (request.has_param("limit")) {
      const std::string text = request.get_param_value("limit");
      char* end = nullptr;
      const unsigned long value = std::strtoul(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || value > historyLimit) {
        return fail(response, 400, "limit must be a number from 0 to 10000");
      }
      limit = value;
    }
    std::lock_guard guard(impl->lock);
    answer(response, 200, jsonArray(impl->service.store().pushes(limit), pushJson));
  });
  server.Get("/api/activities", [impl](const httplib::Request&, httplib::Response& response) {
    std::lock_guard guard(impl->lock);
    answer(response, 200, jsonArray(impl->service.store().activities(1000), activityJson));
  });
  server.Post("/api/activities",
              [impl](const httplib::Request& request, httplib::Response& response) {
                std::lock_guard guard(impl->lock);
                auto started = impl->service.startLocally(request.body, nowMs());
                if (const auto* why = std::get_if<std::string>(&started))
                  return fail(response, 400, *why);
                impl->commit();
                answer(response, 201, activityJson(std::get<ActivityRecord>(started)));
              });

  constexpr const char* activityPath = "/api/activities/([0-9a-f-]{36})";
  server.Get(activityPath, [impl](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard guard(impl->lock);
    const auto activity = impl->service.store().activity(request.matches[1]);
    if (!activity) return fail(response, 404, "no such activity");
    answer(response, 200, activityJson(*activity));
  });
  server.Get(std::string(activityPath) + "/pushes", [impl](const httplib::Request& request,
                                                           httplib::Response& response) {
    std::lock_guard guard(impl->lock);
    answer(
        response, 200,
        jsonArray(impl->service.store().appliedPushes(request.matches[1], historyLimit), pushJson));
  });
  server.Post(std::string(activityPath) + "/pushes",
              [impl](const httplib::Request& request, httplib::Response& response) {
                std::lock_guard guard(impl->lock);
                const auto activity = impl->service.store().activity(request.matches[1]);
                if (!activity) return fail(response, 404, "no such activity");
                const PushRecord pushed = impl->service.pushTo(*activity, request.body, nowMs());
                impl->commit();
                answer(response, 200, pushJson(pushed));
              });
  server.Get(std::string(activityPath) + "/timeline",
             [impl](const httplib::Request& request, httplib::Response& response) {
               std::string lines;
               {
                 std::lock_guard guard(impl->lock);
                 for (const PushRecord& push :
                      impl->service.store().appliedPushes(request.matches[1], historyLimit)) {
                   lines += oneLine(push.body) + '\n';
                 }
               }
               if (lines.empty()) return fail(response, 404, "no such activity");
               response.set_header("Content-Disposition",
                                   "attachment; filename=\"activity-" +
                                       request.matches[1].str().substr(0, 8) + ".jsonl\"");
               response.set_content(lines, "application/x-ndjson");
             });
  server.Post("/api/preview", [impl](const httplib::Request& request, httplib::Response& response) {
    const DeviceProfile* device = &defaultDeviceProfile();
    if (request.has_param("device")) {
      device = findDeviceProfile(request.get_param_value("device"));
      if (!device) return fail(response, 400, "no such device");
    }
    answer(response, 200,
           impl->preview.json(request.body, request.get_param_value("type"), *device));
  });
  server.Post("/api/timelines",
              [impl](const httplib::Request& request, httplib::Response& response) {
                impl->replay(request, response);
              });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response,
                                  std::exception_ptr) { fail(response, 500, "internal error"); });
}

PageServer::PageServer(PushService& service, std::mutex& lock, PageEvents& events,
                       const ActivityRegistry& registry, PageSettings settings)
    : impl_(std::make_unique<Impl>(service, lock, events, registry, std::move(settings))) {}

PageServer::~PageServer() {
  stop();
}

std::optional<std::string> PageServer::listen(const std::string& address, std::uint16_t port) {
  auto server = std::make_unique<httplib::Server>();
  impl_->route(*server);
  if (impl_->port != 0) port = impl_->port;
  if (port == 0) {
    const int bound = server->bind_to_any_port(address);
    if (bound <= 0) return "cannot listen on " + address + " for the page";
    port = static_cast<std::uint16_t>(bound);
  } else if (!server->bind_to_port(address, port)) {
    return "cannot listen on " + address + " port " + std::to_string(port) + " for the page";
  }
  impl_->port = port;
  impl_->servers.push_back(std::move(server));
  return std::nullopt;
}

std::uint16_t PageServer::port() const noexcept {
  return impl_->port;
}

void PageServer::start() {
  for (const auto& server : impl_->servers) {
    impl_->acceptThreads.emplace_back([server = server.get()] { server->listen_after_bind(); });
  }
}

void PageServer::stop() {
  if (impl_->acceptThreads.empty()) return;
  // Listening pages hold threads the server waits for.
  impl_->events.close();
  for (const auto& server : impl_->servers) server->stop();
  for (std::thread& thread : impl_->acceptThreads) thread.join();
  impl_->acceptThreads.clear();
}

}  // namespace host::serve
