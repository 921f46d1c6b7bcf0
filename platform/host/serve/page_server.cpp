#include "platform/host/serve/page_server.hpp"

#include "platform/host/serve/json_text.hpp"

#include <httplib.h>

#include <chrono>
#include <ctime>
#include <thread>

namespace host::serve {
namespace {

std::string isoTime(std::int64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms % 1000));
  return text;
}

std::string nullOr(const std::string& text) {
  return text.empty() ? "null" : jsonString(text);
}

std::string number(const std::optional<double>& value) {
  if (!value) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", *value);
  return text;
}

std::string activityJson(const ActivityRecord& a) {
  return "{\"id\":" + jsonString(a.id) + ",\"type\":" + jsonString(a.type) +
         ",\"deviceToken\":" + nullOr(a.deviceToken) + ",\"updateToken\":" + nullOr(a.updateToken) +
         ",\"channel\":" + nullOr(a.channel) +
         ",\"state\":" + (a.state.empty() ? "null" : jsonValueOrString(a.state)) +
         ",\"ended\":" + (a.ended ? "true" : "false") + ",\"staleDate\":" + number(a.staleDate) +
         "}";
}

std::string pushJson(const PushRecord& p) {
  return "{\"apnsId\":" + jsonString(p.apnsId) + ",\"time\":" + jsonString(isoTime(p.timeMs)) +
         ",\"path\":" + jsonString(p.path) + ",\"token\":" + nullOr(p.token) +
         ",\"status\":" + std::to_string(p.status) + ",\"reason\":" + nullOr(p.reason) +
         ",\"verdict\":" + jsonString(p.verdict) + ",\"error\":" + nullOr(p.error) +
         ",\"warnings\":" + (p.warnings.empty() ? "[]" : p.warnings) +
         ",\"activityId\":" + nullOr(p.activityId) +
         ",\"payload\":" + (p.body.empty() ? "null" : jsonValueOrString(p.body)) + "}";
}

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

constexpr const char* page = R"html(<!doctype html>
<meta charset="utf-8"><title>tolvex-widget serve</title>
<style>body{font:14px system-ui;margin:2em}td,th{padding:2px 8px;text-align:left;vertical-align:top}
.dropped,.rejected{color:#b00}.ignored{color:#a60}.applied,.ended{color:#070}</style>
<h1>Pushes</h1><table id="p"><tr><th>time<th>token<th>status<th>verdict<th>why</table>
<script>
async function load(){const r=await fetch('/api/pushes?limit=100');const t=document.getElementById('p');
while(t.rows.length>1)t.deleteRow(1);for(const p of await r.json()){const w=t.insertRow();
for(const v of [p.time,(p.token||'').slice(0,16),p.status+' '+(p.reason||''),p.verdict,
[p.error||''].concat(p.warnings).join('; ')]){const c=w.insertCell();c.textContent=v;}
w.className=p.verdict;}}
load();setInterval(load,2000);
</script>
)html";

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
  std::vector<std::string> hosts;
  httplib::Server server;
  std::thread thread;
  std::uint16_t port = 0;

  Impl(PushService& s, std::mutex& l, std::vector<std::string> h)
      : service(s), lock(l), hosts(std::move(h)) {}
};

PageServer::PageServer(PushService& service, std::mutex& lock, std::vector<std::string> hosts)
    : impl_(std::make_unique<Impl>(service, lock, std::move(hosts))) {
  auto& server = impl_->server;
  Impl* impl = impl_.get();
  server.new_task_queue = [] { return new httplib::ThreadPool(2); };
  server.set_payload_max_length(64 * 1024);
  server.set_read_timeout(10, 0);
  server.set_keep_alive_max_count(100);
  // Another site in the user's browser must not read the history or start activities.
  server.set_pre_routing_handler(
      [impl](const httplib::Request& request, httplib::Response& response) {
        const bool hostOk = !request.has_header("Host") ||
                            isLocalHost(request.get_header_value("Host"), impl->hosts);
        const bool originOk = !request.has_header("Origin") ||
                              isLocalHost(request.get_header_value("Origin"), impl->hosts);
        if (hostOk && originOk) return httplib::Server::HandlerResponse::Unhandled;
        response.status = 403;
        response.set_content("{\"error\":\"requests come from this machine only\"}",
                             "application/json");
        return httplib::Server::HandlerResponse::Handled;
      });
  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(page, "text/html; charset=utf-8");
  });
  server.Get("/api/pushes", [impl](const httplib::Request& request, httplib::Response& response) {
    std::size_t limit = 100;
    if (request.has_param("limit")) {
      const std::string text = request.get_param_value("limit");
      char* end = nullptr;
      const unsigned long value = std::strtoul(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || value > 10000) {
        response.status = 400;
        response.set_content("{\"error\":\"limit must be a number from 0 to 10000\"}",
                             "application/json");
        return;
      }
      limit = value;
    }
    std::vector<PushRecord> pushes;
    {
      std::lock_guard guard(impl->lock);
      pushes = impl->service.store().pushes(limit);
    }
    std::string body = "[";
    for (const PushRecord& push : pushes) {
      if (body.size() > 1) body += ',';
      body += pushJson(push);
    }
    response.set_content(body + "]", "application/json");
  });
  server.Get("/api/activities", [impl](const httplib::Request&, httplib::Response& response) {
    std::vector<ActivityRecord> activities;
    {
      std::lock_guard guard(impl->lock);
      activities = impl->service.store().activities(1000);
    }
    std::string body = "[";
    for (const ActivityRecord& activity : activities) {
      if (body.size() > 1) body += ',';
      body += activityJson(activity);
    }
    response.set_content(body + "]", "application/json");
  });
  server.Post(
      "/api/activities", [impl](const httplib::Request& request, httplib::Response& response) {
        std::variant<ActivityRecord, std::string> started;
        {
          std::lock_guard guard(impl->lock);
          started = impl->service.devices().startLocally(request.body, nowMs());
          if (std::holds_alternative<ActivityRecord>(started)) {
            impl->service.store().commit();
          }
        }
        if (const auto* why = std::get_if<std::string>(&started)) {
          response.status = 400;
          response.set_content("{\"error\":" + jsonString(*why) + "}", "application/json");
          return;
        }
        response.status = 201;
        response.set_content(activityJson(std::get<ActivityRecord>(started)), "application/json");
      });
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        response.status = 500;
        response.set_content("{\"error\":\"internal error\"}", "application/json");
      });
}

PageServer::~PageServer() {
  stop();
}

std::optional<std::string> PageServer::listen(const std::string& address, std::uint16_t port) {
  if (port == 0) {
    const int bound = impl_->server.bind_to_any_port(address);
    if (bound <= 0) return "cannot listen on " + address + " for the page";
    impl_->port = static_cast<std::uint16_t>(bound);
    return std::nullopt;
  }
  if (!impl_->server.bind_to_port(address, port)) {
    return "cannot listen on " + address + " port " + std::to_string(port) + " for the page";
  }
  impl_->port = port;
  return std::nullopt;
}

std::uint16_t PageServer::port() const noexcept {
  return impl_->port;
}

void PageServer::start() {
  impl_->thread = std::thread([impl = impl_.get()] { impl->server.listen_after_bind(); });
}

void PageServer::stop() {
  if (!impl_->thread.joinable()) return;
  impl_->server.stop();
  impl_->thread.join();
}

}  // namespace host::serve
