#include "platform/host/serve/page/page_server.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/host/device/device_profile.hpp"
#include "platform/host/input/activity_input.hpp"
#include "platform/host/serve/common/untrusted_json.hpp"
#include "platform/host/serve/page/history_json.hpp"
#include "platform/host/serve/page/page_assets.hpp"
#include "platform/host/serve/page/page_preview.hpp"
#include "platform/host/serve/page/page_transport.hpp"
#include "platform/host/serve/page/timeline_replay.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <variant>

namespace host::serve {
namespace {

// The page runs only the script and the style sheet it came with; payload text is never markup.
// The drawings style their shapes in attributes, and show icons as PNG data.
constexpr const char* contentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; style-src-attr 'unsafe-inline'; "
    "img-src 'self' data:; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

// Each open page holds a worker of the transport while it listens, and each waiting request one
// while it waits: together they leave workers for everything else.
constexpr int maxListeners = 8;
constexpr std::size_t maxWaits = 8;
constexpr double maxWaitSeconds = 30;
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

std::string lowercase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

std::string_view faultWords(int status) {
  switch (status) {
    case 400:
      return "a malformed request";
    case 404:
      return "no such path";
    case 413:
      return "the request body is too large";
    case 414:
      return "the request line is too long";
    default:
      return "the request cannot be served";
  }
}

RequestHeaders requestHeaders(const httplib::Request& request) {
  const auto header = [&](const char* name) -> std::optional<std::string> {
    if (!request.has_header(name)) return std::nullopt;
    return request.get_header_value(name);
  };
  return {request.path,
          header("Host"),
          header("Origin"),
          header("Accept"),
          header("Sec-Fetch-Site"),
          header("Sec-Fetch-Mode"),
          header("Sec-Fetch-Dest")};
}

// The request's `limit`, else `fallback`; nothing when it is no number up to the history's bound.
std::optional<std::size_t> limitOf(const httplib::Request& request, std::size_t fallback) {
  if (!request.has_param("limit")) return fallback;
  const std::string text = request.get_param_value("limit");
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || text.front() == '-' || *end != '\0' || value > historyLimit) {
    return std::nullopt;
  }
  return value;
}

// `device`, `textSize` ("xSmall" to "AX5"), `surface` ("phone" for the five presentations, a
// surface's name, or "everything") and `have`, the comma-separated keys of the drawings the page
// holds.
std::variant<PreviewOptions, std::string> previewOptions(const httplib::Request& request) {
  PreviewOptions options;
  if (request.has_param("device")) {
    options.device = findDeviceProfile(request.get_param_value("device"));
    if (!options.device) return std::string("no such device");
  }
  if (request.has_param("textSize")) {
    const std::string name = request.get_param_value("textSize");
    const auto found = std::find_if(
        ui::allDynamicTypeSizes.begin(), ui::allDynamicTypeSizes.end(),
        [&](ui::DynamicTypeSize size) { return ui::dynamicTypeSizeName(size) == name; });
    if (found == ui::allDynamicTypeSizes.end()) return std::string("no such text size");
    options.textSize = *found;
  }
  const std::string surface = request.get_param_value("surface");
  if (surface == "everything") {
    options.presentations.insert(options.presentations.end(), allSurfaces.begin(),
                                 allSurfaces.end());
  } else if (!surface.empty() && surface != "phone") {
    const auto names = presentationNames();
    const auto found = std::find_if(names.begin(), names.end(), [&](const auto& named) {
      return named.first == surface &&
             std::find(allSurfaces.begin(), allSurfaces.end(), named.second) != allSurfaces.end();
    });
    if (found == names.end()) return std::string("no such surface");
    options.presentations = {found->second};
  }
  const std::string keys = request.get_param_value("have");
  std::string_view have = keys;
  while (!have.empty() && options.known.size() < PagePreview::maxKnown) {
    const std::size_t comma = have.find(',');
    options.known.emplace_back(have.substr(0, comma));
    if (comma == std::string_view::npos) break;
    have.remove_prefix(comma + 1);
  }
  return options;
}

// `wait`, in seconds (0 when absent), or why it is not one.
std::variant<double, std::string> waitSeconds(const httplib::Request& request) {
  if (!request.has_param("wait")) return 0.0;
  const std::string text = request.get_param_value("wait");
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > maxWaitSeconds) {
    return std::string("wait must be a number of seconds from 0 to 30");
  }
  return seconds;
}

PageLimits pageLimits() {
  PageLimits limits;
  limits.bodyBytes = 2 * PagePreview::maxInputBytes;
  // Lets the tests watch slow clients time out in seconds.
  if (const char* ms = std::getenv("TOLVEX_PAGE_TIMEOUT_MS")) {
    limits.headTimeout = limits.bodyTimeout =
        std::chrono::milliseconds(std::max(1L, std::atol(ms)));
  }
  return limits;
}

}  // namespace

struct PageServer::Impl {
  Write write;
  std::mutex historyLock;  // guards `history`, the page's reading connection
  PushStore& history;
  PageEvents& events;
  PushWaits& waits;
  const ActivityRegistry& registry;
  PageSettings settings;
  PagePreview preview;
  PageTransport server;

  Impl(Write w, PushStore& h, PageEvents& e, PushWaits& pw, const ActivityRegistry& r,
       PageSettings p)
      : write(std::move(w)),
        history(h),
        events(e),
        waits(pw),
        registry(r),
        settings(std::move(p)),
        preview(r),
        server(pageLimits()) {}

  std::int64_t deviceNow() const { return settings.clock ? settings.clock->at(nowMs()) : nowMs(); }
  std::string clockJson() const {
    const std::int64_t offset = settings.clock ? settings.clock->offsetMs() : 0;
    return serve::clockJson(offset, nowMs() + offset);
  }

  // Runs `change` where pushes are handled, and answers 500 when it could not be made durable.
  bool change(httplib::Response& response, const std::function<void(PushService&)>& change) {
    if (write(change)) return true;
    fail(response, 500, "the change could not be stored: see serve's output");
    return false;
  }

  std::string info() {
    std::string types = "[";
    for (const auto& type : registry.types()) {
      if (types.size() > 1) types += ',';
      types += jsonString(type.name) + ',' + jsonString(type.name + ".ContentState");
    }
    std::string devices = "[";
    for (const DeviceProfile& device : allDeviceProfiles()) {
      if (devices.size() > 1) devices += ',';
      devices += jsonString(device.name);
    }
    std::string textSizes = "[";
    for (const ui::DynamicTypeSize size : ui::allDynamicTypeSizes) {
      if (textSizes.size() > 1) textSizes += ',';
      textSizes += jsonString(ui::dynamicTypeSizeName(size));
    }
    std::string surfaces = "[\"phone\"";
    for (const Presentation surface : allSurfaces) {
      surfaces += ',' + jsonString(presentationName(surface));
    }
    return "{\"pushUrl\":" + jsonString(settings.pushUrl) +
           ",\"certificate\":" + jsonString(settings.certificate) +
           ",\"bundleId\":" + (settings.bundleId.empty() ? "null" : jsonString(settings.bundleId)) +
           ",\"types\":" + types + "],\"devices\":" + devices + "],\"textSizes\":" + textSizes +
           "],\"surfaces\":" + surfaces + ",\"everything\"],\"history\":" + historyJson() +
           ",\"signatureChecked\":" + (settings.signatureChecked ? "true" : "false") +
           ",\"endpoints\":{\"development\":" + std::to_string(settings.developmentPort) +
           ",\"production\":" +
           (settings.productionPort ? std::to_string(*settings.productionPort) : "null") + "}}";
  }

  // What the history keeps, and how much its bound has dropped.
  std::string historyJson() {
    std::lock_guard guard(historyLock);
    const Retention& kept = settings.retention;
    return "{\"pushes\":" + std::to_string(history.pushCount()) +
           ",\"dropped\":" + std::to_string(history.droppedPushes()) +
           ",\"keepDays\":" + std::to_string(kept.days) +
           ",\"keepPushes\":" + std::to_string(kept.pushes) + "}";
  }

  // A .json or .jsonl file played as it would arrive: a document or a start brings an activity
  // up, the updates and the end that follow go to it as pushes.
  void replay(const httplib::Request& request, httplib::Response& response) {
    // The type chosen on the page is for lines that name none: a file that names its own types
    // is replayed as it says.
    std::string type = request.get_param_value("type");
    if (!readActivityInput(request.body, registry, "").failure) type.clear();
    const ActivityInput whole = readActivityInput(request.body, registry, type);
    if (whole.failure) return fail(response, 400, whole.failure->description());
    const auto lines =
        whole.timeline ? nonEmptyLines(request.body) : std::vector<std::string_view>{request.body};
    if (lines.size() > maxTimelineLines) {
      return fail(response, 413, "a timeline of more than 1000 lines");
    }
    ReplayedTimeline replayed;
    const bool stored = change(response, [&](PushService& service) {
      replayed = replayTimeline(service, registry, lines, type);
    });
    if (stored) answer(response, 200, replayed.json);
  }

  // Answers the JSON that `find` makes of what it finds in the history (it runs under the history's
  // lock), looking again after each commit that concerns `key` until `wait` has passed; then 404
  // with `missing`.
  void answerWhenFound(const httplib::Request& request, httplib::Response& response,
                       PushWaits::Key key, const std::function<std::optional<std::string>()>& find,
                       const std::string& missing) {
    const auto wait = waitSeconds(request);
    if (const auto* why = std::get_if<std::string>(&wait)) return fail(response, 400, *why);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(std::lround(std::get<double>(wait) * 1000));
    std::unique_ptr<PushWaits::Wait> waiting;
    if (std::get<double>(wait) > 0) {
      waiting = waits.enter(std::move(key), maxWaits);
      if (!waiting) return fail(response, 503, "too many requests wait already; try again");
    }
    for (;;) {
      std::optional<std::string> found;
      {
        std::lock_guard guard(historyLock);
        found = find();
      }
      if (found) return answer(response, 200, *found);
      if (!waiting || !waiting->next(deadline)) break;
    }
    fail(response, 404, missing);
  }

  void serveEvents(const httplib::Request& request, httplib::Response& response) {
    auto listening = events.listen(maxListeners);
    if (!listening) return fail(response, 503, "too many pages are listening; close one");
    std::uint64_t after = events.lastId();
    if (request.has_header("Last-Event-ID")) {
      after = std::strtoull(request.get_header_value("Last-Event-ID").c_str(), nullptr, 10);
    }
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, after, wrote = std::chrono::steady_clock::now(), greeted = false, listening](
            std::size_t, httplib::DataSink& sink) mutable {
          // Short waits find a page that has gone (its socket closed) soon, and free its slot.
          if (events.closed() || !sink.is_writable()) return false;
          // Firefox opens an event stream on its first bytes, not its head: a comment at once.
          if (!greeted) {
            greeted = true;
            constexpr std::string_view hello = ": listening\n\n";
            return sink.write(hello.data(), hello.size());
          }
          const auto next = events.after(after, std::chrono::milliseconds(250));
          std::string out;
          for (const PageEvents::Event& event : next) {
            out += sseEvent(event);
            after = event.id;
          }
          const auto now = std::chrono::steady_clock::now();
          // A comment now and then keeps proxies and idle timers from closing the stream.
          if (out.empty() && now - wrote < std::chrono::seconds(15)) return true;
          if (out.empty()) out = ": still here\n\n";
          wrote = now;
          return sink.write(out.data(), out.size());
        },
        [listening](bool) { listening->leave(); });
  }
};

PageServer::PageServer(Write write, PushStore& history, PageEvents& events, PushWaits& waits,
                       const ActivityRegistry& registry, PageSettings settings)
    : impl_(std::make_unique<Impl>(std::move(write), history, events, waits, registry,
                                   std::move(settings))) {
  auto& server = impl_->server;
  Impl* impl = impl_.get();
  server.set_pre_routing_handler(
      [impl](const httplib::Request& request, httplib::Response& response) {
        const auto refusal =
            pageRefusal(requestHeaders(request), impl->settings.hosts, impl->server.boundPort());
        if (!refusal) return httplib::Server::HandlerResponse::Unhandled;
        fail(response, refusal->status, refusal->why);
        return httplib::Server::HandlerResponse::Handled;
      });
  // The library answers some faults itself (a malformed request line, an unknown path) with an
  // empty body.
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        fail(response, response.status, std::string(faultWords(response.status)));
        return httplib::Server::HandlerResponse::Handled;
      }));

  for (const auto& [path, text] : pageAssets()) {
    const std::string type = path.ends_with(".js")    ? "text/javascript; charset=utf-8"
                             : path.ends_with(".css") ? "text/css; charset=utf-8"
                             : path.ends_with(".svg") ? "image/svg+xml"
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
    const auto limit = limitOf(request, 100);
    if (!limit) return fail(response, 400, "limit must be a number from 0 to 10000");
    std::lock_guard guard(impl->historyLock);
    answer(response, 200, jsonArray(impl->history.pushes(*limit), pushJson));
  });
  server.Get("/api/pushes/([0-9A-Fa-f-]{36})",
             [impl](const httplib::Request& request, httplib::Response& response) {
               const std::string apnsId = request.matches[1];
               impl->answerWhenFound(
                   request, response, {PushWaits::Kind::push, apnsId},
                   [&]() -> std::optional<std::string> {
                     const auto push = impl->history.push(apnsId);
                     if (!push) return std::nullopt;
                     return pushJson(*push);
                   },
                   "no such push");
             });
  server.Get("/api/faults", [impl](const httplib::Request&, httplib::Response& response) {
    std::string body = "{\"faults\":[";
    if (!impl->change(response, [&](PushService& service) {
          for (const FaultRule& rule : service.faults().rules()) {
            if (body.back() != '[') body += ',';
            body += faultRuleJson(rule);
          }
        })) {
      return;
    }
    answer(response, 200, body + "]}");
  });
  server.Post("/api/faults", [impl](const httplib::Request& request, httplib::Response& response) {
    auto parsed = parseFaultRule(request.body);
    if (const auto* why = std::get_if<std::string>(&parsed)) return fail(response, 400, *why);
    std::variant<FaultRule, std::string> added;
    if (!impl->change(response, [&](PushService& service) {
          added = service.faults().add(std::move(std::get<FaultRule>(parsed)));
        })) {
      return;
    }
    if (const auto* why = std::get_if<std::string>(&added)) return fail(response, 409, *why);
    answer(response, 201, faultRuleJson(std::get<FaultRule>(added)));
  });
  server.Delete("/api/faults/([0-9]{1,19})",
                [impl](const httplib::Request& request, httplib::Response& response) {
                  bool removed = false;
                  if (!impl->change(response, [&](PushService& service) {
                        removed = service.faults().remove(request.matches[1].str());
                      })) {
                    return;
                  }
                  if (!removed) return fail(response, 404, "no such fault rule");
                  response.status = 204;
                  response.set_header("Cache-Control", "no-store");
                });
  server.Get(
      "/api/activities", [impl](const httplib::Request& request, httplib::Response& response) {
        const auto limit = limitOf(request, 1000);
        if (!limit) return fail(response, 400, "limit must be a number from 0 to 10000");
        std::lock_guard guard(impl->historyLock);
        answer(response, 200, activitiesJson(impl->history.activities(*limit), impl->deviceNow()));
      });
  // What reached each of the newest activities, for the page's summary rows: one object by id.
  server.Get("/api/tallies", [impl](const httplib::Request& request, httplib::Response& response) {
    const auto limit = limitOf(request, 1000);
    if (!limit) return fail(response, 400, "limit must be a number from 0 to 10000");
    std::string body = "{";
    std::lock_guard guard(impl->historyLock);
    for (const ActivityRecord& activity : impl->history.activities(*limit)) {
      if (body.size() > 1) body += ',';
      body += jsonString(activity.id) + ':' + tallyJson(impl->history.tally(activity.id));
    }
    answer(response, 200, body + "}");
  });
  server.Post("/api/activities", [impl](const httplib::Request& request,
                                        httplib::Response& response) {
    // A content state on its own starts with its type's default attributes.
    const auto document =
        impl->preview.startDocument(request.body, request.get_param_value("type"));
    const std::string& body = document ? *document : request.body;
    std::variant<ActivityRecord, std::string> started;
    std::string json;
    if (!impl->change(response, [&](PushService& service) {
          started = service.startLocally(body, nowMs());
          if (const auto* activity = std::get_if<ActivityRecord>(&started)) {
            json = activityJson(service.store(), *activity, service.devices().clock().at(nowMs()));
          }
        })) {
      return;
    }
    if (const auto* why = std::get_if<std::string>(&started)) return fail(response, 400, *why);
    answer(response, 201, json);
  });

  constexpr const char* activityPath = "/api/activities/([0-9a-f-]{36})";
  // With `wait`, once the activity has taken a push after its `after`-th (its start the first).
  server.Get(activityPath, [impl](const httplib::Request& request, httplib::Response& response) {
    const std::string id = request.matches[1];
    std::size_t after = 0;
    if (request.has_param("after")) {
      const std::string text = request.get_param_value("after");
      char* end = nullptr;
      const unsigned long value = std::strtoul(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || value >= historyLimit) {
        return fail(response, 400, "after must be a number from 0 to 9999");
      }
      after = value;
    }
    impl->answerWhenFound(
        request, response, {PushWaits::Kind::activity, id},
        [&]() -> std::optional<std::string> {
          const auto activity = impl->history.activity(id);
          if (!activity ||
              (after > 0 && impl->history.activityPushes(id, after + 1).size() <= after)) {
            return std::nullopt;
          }
          return activityJson(impl->history, *activity, impl->deviceNow());
        },
        after > 0
            ? "no such activity, or none with a push beyond its first " + std::to_string(after)
            : std::string("no such activity"));
  });
  // The phone hands the activity a new update token, as `pushTokenUpdates` does.
  server.Post(std::string(activityPath) + "/rotate-token", [impl](const httplib::Request& request,
                                                                  httplib::Response& response) {
    std::variant<ActivityRecord, std::string> rotated;
    std::string json;
    bool known = true;
    if (!impl->change(response, [&](PushService& service) {
          known = service.store().activity(request.matches[1]).has_value();
          if (!known) return;
          rotated = service.devices().rotateToken(request.matches[1]);
          if (const auto* activity = std::get_if<ActivityRecord>(&rotated)) {
            json = activityJson(service.store(), *activity, service.devices().clock().at(nowMs()));
          }
        })) {
      return;
    }
    if (!known) return fail(response, 404, "no such activity");
    if (const auto* why = std::get_if<std::string>(&rotated)) {
      return fail(response, 400, *why);
    }
    answer(response, 200, json);
  });

  // The simulated phones: their settings and budgets live on the owner thread, so even reads
  // are jobs there.
  server.Get("/api/devices", [impl](const httplib::Request&, httplib::Response& response) {
    std::string body = "{\"devices\":[";
    if (!impl->change(response, [&](PushService& service) {
          bool first = true;
          for (const DeviceView& device : service.devices().views(nowMs(), 1000)) {
            if (!first) body += ',';
            first = false;
            body += deviceJson(device);
          }
        })) {
      return;
    }
    answer(response, 200, body + "]}");
  });
  constexpr const char* devicePath = "/api/devices/([0-9a-fA-F]{1,256})";
  server.Get(devicePath, [impl](const httplib::Request& request, httplib::Response& response) {
    std::optional<DeviceView> device;
    if (!impl->change(response, [&](PushService& service) {
          device = service.devices().view(lowercase(request.matches[1]), nowMs());
        })) {
      return;
    }
    if (!device) return fail(response, 404, "no such device");
    answer(response, 200, deviceJson(*device));
  });
  server.Patch(devicePath, [impl](const httplib::Request& request, httplib::Response& response) {
    const std::string token = lowercase(request.matches[1]);
    if (token.size() < 64 || token.size() > 200 || token.size() % 2 != 0) {
      return fail(response, 400, "a device token is an even number of hex digits, 64 to 200");
    }
    std::variant<DeviceView, std::string> patched;
    if (!impl->change(response, [&](PushService& service) {
          patched = service.patchDevice(token, request.body, nowMs());
        })) {
      return;
    }
    if (const auto* why = std::get_if<std::string>(&patched)) return fail(response, 400, *why);
    answer(response, 200, deviceJson(std::get<DeviceView>(patched)));
  });

  server.Get("/api/clock", [impl](const httplib::Request&, httplib::Response& response) {
    answer(response, 200, impl->clockJson());
  });
  server.Post("/api/clock", [impl](const httplib::Request& request, httplib::Response& response) {
    coding::JsonDocument document;
    if (document.read(request.body) || document.root().type != coding::JsonValue::Type::object) {
      return fail(response, 400, "expected {\"advanceSeconds\": N} or {\"offsetSeconds\": N}");
    }
    constexpr std::array<std::string_view, 2> names{"advanceSeconds", "offsetSeconds"};
    std::array<coding::JsonValue, 2> values;
    document.lookUp(document.root().node, names, values);
    const auto& [advance, offset] = values;
    const bool advances = advance.type != coding::JsonValue::Type::missing;
    if (advances == (offset.type != coding::JsonValue::Type::missing) ||
        (advances ? advance : offset).type != coding::JsonValue::Type::number) {
      return fail(response, 400, "expected {\"advanceSeconds\": N} or {\"offsetSeconds\": N}");
    }
    const double seconds = advances ? advance.number : offset.number;
    constexpr double most = static_cast<double>(DeviceClock::maxOffsetMs) / 1000;
    if (!(std::abs(seconds) <= most)) {
      return fail(response, 400, "the devices' clock moves at most ten years from real time");
    }
    bool moved = false;
    if (!impl->change(response, [&](PushService& service) {
          DeviceClock& clock = service.devices().clock();
          const auto ms = static_cast<std::int64_t>(std::llround(seconds * 1000));
          moved = clock.setOffsetMs(advances ? clock.offsetMs() + ms : ms);
        })) {
      return;
    }
    if (!moved)
      return fail(response, 400, "the devices' clock moves at most ten years from real time");
    answer(response, 200, impl->clockJson());
  });
  server.Get(std::string(activityPath) + "/pushes", [impl](const httplib::Request& request,
                                                           httplib::Response& response) {
    std::lock_guard guard(impl->historyLock);
    answer(response, 200,
           jsonArray(impl->history.activityPushes(request.matches[1], historyLimit), pushJson));
  });
  server.Post(std::string(activityPath) + "/pushes",
              [impl](const httplib::Request& request, httplib::Response& response) {
                std::optional<HistoryEntry> pushed;
                if (!impl->change(response, [&](PushService& service) {
                      const auto activity = service.store().activity(request.matches[1]);
                      if (activity) pushed = service.pushTo(*activity, request.body, nowMs());
                    })) {
                  return;
                }
                if (!pushed) return fail(response, 404, "no such activity");
                answer(response, 200, pushJson(*pushed));
              });
  server.Get(std::string(activityPath) + "/timeline",
             [impl](const httplib::Request& request, httplib::Response& response) {
               std::string lines;
               {
                 std::lock_guard guard(impl->historyLock);
                 for (const HistoryEntry& push :
                      impl->history.appliedPushes(request.matches[1], historyLimit)) {
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
    auto options = previewOptions(request);
    if (const auto* why = std::get_if<std::string>(&options)) return fail(response, 400, *why);
    answer(response, 200,
           impl->preview.json(request.body, request.get_param_value("type"),
                              std::get<PreviewOptions>(options)));
  });
  server.Post("/api/timelines",
              [impl](const httplib::Request& request, httplib::Response& response) {
                impl->replay(request, response);
              });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response,
                                  std::exception_ptr) { fail(response, 500, "internal error"); });
}

PageServer::~PageServer() {
  stop();
}

std::optional<std::string> PageServer::listen(const std::string& address, std::uint16_t port) {
  return impl_->server.open(address, port);
}

std::uint16_t PageServer::port() const noexcept {
  return impl_->server.boundPort();
}

void PageServer::start() {
  impl_->server.run();
}

void PageServer::stop() {
  // Listening pages and waiting requests hold workers the transport waits for.
  impl_->events.close();
  impl_->waits.close();
  impl_->server.halt();
}

}  // namespace host::serve
