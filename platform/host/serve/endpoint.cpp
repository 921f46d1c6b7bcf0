#include "platform/host/serve/endpoint.hpp"

#include "platform/host/input/timeline_dates.hpp"
#include "platform/host/serve/common/random_id.hpp"
#include "platform/host/serve/common/state_folder.hpp"
#include "platform/host/serve/h2/h2_server.hpp"
#include "platform/host/serve/h2/tls_context.hpp"
#include "platform/host/serve/page/history_json.hpp"
#include "platform/host/serve/page/page_server.hpp"
#include "platform/host/serve/page/timeline_replay.hpp"
#include "platform/host/serve/pipeline/batch_pipeline.hpp"
#include "platform/host/serve/service/push_service.hpp"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <ostream>
#include <unordered_map>
#include <variant>
#include <vector>

namespace host::serve {
namespace {

std::filesystem::path defaultStateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    return std::filesystem::path(state) / "tolvex-widget" / "serve";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".local" / "state" / "tolvex-widget" / "serve";
  }
  return ".tolvex-serve";
}

bool isLoopback(const std::string& address) {
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

// Work for the thread that owns the service and the store: a push from the transport, or a write
// from the page, which hears through `done` whether it became durable.
struct OwnedWork {
  H2Exchange push;
  std::function<void(PushService&)> page;
  std::function<void(bool durable)> done;
  bool failed = false;  // the page's write threw
};

Response internalError() {
  Response response;
  response.status = 500;
  response.headers.push_back({"apns-id", newApnsId()});
  response.body = "{\"reason\":\"InternalServerError\"}";
  return response;
}

std::string urlHost(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

// Where `serve` listens unless told: both loopback addresses, since a client told "localhost" may
// try ::1 alone (Node 18 does). A machine without IPv6 has no ::1 to bind.
std::vector<std::string> loopbackAddresses() {
  std::vector<std::string> addresses{"127.0.0.1"};
  const int probe = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return addresses;
  sockaddr_in6 any{};
  any.sin6_family = AF_INET6;
  any.sin6_addr = in6addr_loopback;
  if (::bind(probe, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) {
    addresses.push_back("::1");
  }
  ::close(probe);
  return addresses;
}

// The rules of `--faults FILE`, or why not.
std::variant<std::vector<FaultRule>, std::string> readFaults(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "--faults " + path + ": cannot read the file";
  std::string text(maxFaultFileBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  auto rules = parseFaultRules(text);
  if (auto* why = std::get_if<std::string>(&rules)) return "--faults " + path + ": " + *why;
  return rules;
}

// What `--replay` may read: as much as the page takes in one request.
constexpr std::uintmax_t maxReplayBytes = 2 << 20;

struct ReplayFile {
  std::string name;
  std::string text;
};

std::variant<ReplayFile, std::string> readReplayFile(const std::string& name) {
  std::error_code error;
  const auto size = std::filesystem::file_size(name, error);
  if (error) return "cannot read '" + name + "': " + error.message();
  if (size > maxReplayBytes) return "'" + name + "' is larger than 2 MB";
  std::ifstream in(name, std::ios::binary);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
    return "cannot read '" + name + "'";
  }
  return ReplayFile{name, std::move(text)};
}

std::vector<std::string_view> nonBlankLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (line.find_first_not_of(" \t\r") != std::string_view::npos) lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace

Outcome runServe(const ServeOptions& options, const ActivityRegistry& registry, std::ostream& out,
                 std::ostream& err) {
  if (options.authKey.empty() != options.keyId.empty() ||
      (!options.authKey.empty() && options.teamId.empty())) {
    err << "error: usage: --auth-key, --key-id and --team-id go together\n";
    return Outcome::badOptions;
  }
  if (options.certificate.empty() != options.key.empty()) {
    err << "error: usage: --cert and --key go together\n";
    return Outcome::badOptions;
  }
  std::vector<FaultRule> faults;
  if (!options.faults.empty()) {
    auto read = readFaults(options.faults);
    if (auto* why = std::get_if<std::string>(&read)) {
      err << "error: " << *why << '\n';
      return Outcome::badOptions;
    }
    faults = std::move(std::get<std::vector<FaultRule>>(read));
  }
  std::vector<ReplayFile> replays;
  for (const std::string& name : options.replay) {
    auto read = readReplayFile(name);
    if (auto* why = std::get_if<std::string>(&read)) {
      err << "error: " << *why << '\n';
      return Outcome::cannotStart;
    }
    replays.push_back(std::move(std::get<ReplayFile>(read)));
  }
  const std::filesystem::path state =
      options.state.empty() ? defaultStateFolder() : std::filesystem::path(options.state);
  if (auto why = prepareStateFolder(state)) {
    err << "error: " << *why << '\n';
    return Outcome::cannotStart;
  }

  std::optional<Es256Key> authKey;
  if (!options.authKey.empty()) {
    auto loaded = Es256Key::fromFile(options.authKey);
    if (auto* why = std::get_if<std::string>(&loaded)) {
      err << "error: " << *why << '\n';
      return Outcome::cannotStart;
    }
    authKey.emplace(std::move(std::get<Es256Key>(loaded)));
  }
  CertificateFiles files{options.certificate, options.key};
  if (options.certificate.empty()) {
    auto made = ensureSelfSignedCertificate(state);
    if (auto* why = std::get_if<std::string>(&made)) {
      err << "error: " << *why << '\n';
      return Outcome::cannotStart;
    }
    files = std::get<CertificateFiles>(made);
  }
  auto tls = TlsContext::fromFiles(files.certificate, files.key);
  if (auto* why = std::get_if<std::string>(&tls)) {
    err << "error: " << *why << '\n';
    return Outcome::cannotStart;
  }

  std::unique_ptr<PushStore> store;
  try {
    store = PushStore::open(state, options.retention);
  } catch (const StoreError& failure) {
    err << "error: " << failure.what() << '\n';
    return Outcome::cannotStart;
  }
  ServiceOptions serviceOptions;
  if (!options.bundleId.empty()) serviceOptions.bundleId = options.bundleId;
  if (!options.keyId.empty()) serviceOptions.key.keyId = options.keyId;
  if (!options.teamId.empty()) serviceOptions.key.teamId = options.teamId;
  serviceOptions.phone = options.phone;
  serviceOptions.key.key = authKey ? &*authKey : nullptr;
  serviceOptions.key.environment = options.keyEnvironment;
  // The service and the store belong to the pipeline's owner thread; the page reads committed
  // rows through a connection of its own.
  PushService service(registry, *store, serviceOptions);
  for (FaultRule& rule : faults) service.faults().add(std::move(rule));
  std::unique_ptr<PushStore> reader;
  try {
    reader = PushStore::openReader(state);
  } catch (const StoreError& failure) {
    err << "error: " << failure.what() << '\n';
    return Outcome::cannotStart;
  }
  // While the pipeline runs, only its committer writes to `err`.
  PageEvents events;
  PushWaits waits;
  // A page draws a push with each activity it reached as the push left it.
  service.onRecorded([&](const HistoryEntry& push) {
    waits.stage(push);
    if (!events.listening()) return;
    std::string activities = "[";
    const std::int64_t deviceNow = service.devices().clock().at(push.timeMs);
    // A broadcast reaches many activities, often on as many phones: each phone's island once.
    std::unordered_map<std::string, std::string> holders;
    for (const Delivery& delivery : push.deliveries) {
      if (const auto activity = store->activity(delivery.activityId)) {
        if (activities.size() > 1) activities += ',';
        auto holder = holders.find(activity->deviceToken);
        if (holder == holders.end()) {
          holder = holders
                       .emplace(activity->deviceToken,
                                islandHolder(store->activitiesOfDevice(activity->deviceToken),
                                             deviceNow))
                       .first;
        }
        activities += activityJson(*activity, deviceNow, holder->second == activity->id);
      }
    }
    activities += ']';
    events.stage("push", "{\"push\":" + pushJson(push) + ",\"activities\":" + activities + "}");
  });

  std::signal(SIGPIPE, SIG_IGN);
  std::optional<BatchPipeline<OwnedWork>> pipeline;
  H2Limits limits = options.pushLimits;
  limits.bodyCeiling = bodyCeiling;
  H2Server push(
      std::get<TlsContext>(tls),
      [&](std::vector<H2Exchange>& completed) {
        std::vector<OwnedWork> work(completed.size());
        for (std::size_t i = 0; i < completed.size(); ++i) work[i].push = std::move(completed[i]);
        if (pipeline->submit(work)) {
          completed.clear();
        } else {
          for (std::size_t i = 0; i < completed.size(); ++i) completed[i] = std::move(work[i].push);
        }
      },
      [&] { service.shutDown(); }, [] { return std::make_shared<ConnectionTokens>(); }, limits);
  pipeline.emplace(BatchPipeline<OwnedWork>::Stages{
      [&](OwnedWork& work) {
        if (work.page) {
          try {
            work.page(service);
          } catch (const std::exception&) {
            work.failed = true;
          }
          return;
        }
        try {
          work.push.response =
              service.handle(work.push.request, static_cast<ConnectionTokens&>(*work.push.state));
        } catch (const std::exception&) {
          work.push.response = internalError();
        }
        work.push.state.reset();
      },
      [&]() -> BatchPipeline<OwnedWork>::Commit {
        auto sealed = std::make_shared<PushStore::Sealed>(store->seal());
        auto heard = std::make_shared<std::vector<PageEvents::Event>>(events.takeStaged());
        auto awaited = std::make_shared<PushWaits::Staged>(waits.takeStaged());
        return [&, sealed, heard, awaited] {
          try {
            store->commitSealed(*sealed);
          } catch (const StoreError& failure) {
            err << "error: " << failure.what() << '\n';
            return false;
          }
          events.publish(std::move(*heard));
          waits.publish(std::move(*awaited));
          return true;
        };
      },
      [&] {
        store->discard();
        service.devices().forgetUncommitted();
        events.discard();
        waits.discard();
      },
      [&](std::vector<OwnedWork>& batch, bool durable) {
        std::vector<H2Exchange> answers;
        answers.reserve(batch.size());
        for (OwnedWork& work : batch) {
          if (work.page) {
            work.done(durable && !work.failed);
            continue;
          }
          if (!durable) work.push.response = internalError();
          answers.push_back(std::move(work.push));
        }
        if (!answers.empty()) push.answer(answers);
      }});
  const std::vector<std::string> addresses =
      options.listen.empty() ? loopbackAddresses() : std::vector{options.listen};
  for (const std::string& address : addresses) {
    if (auto why = push.listen(address, options.apnsPort)) {
      err << "error: " << *why << '\n';
      return Outcome::cannotStart;
    }
    if (!options.productionPort) continue;
    if (auto why = push.listen(address, *options.productionPort, Environment::production)) {
      err << "error: " << *why << '\n';
      return Outcome::cannotStart;
    }
  }
  const std::string& shown = addresses.front();
  PageSettings settings;
  settings.pushUrl = "https://" + urlHost(shown) + ':' + std::to_string(push.port());
  settings.certificate = std::filesystem::absolute(files.certificate).string();
  settings.bundleId = options.bundleId;
  settings.retention = options.retention;
  settings.clock = &service.devices().clock();
  settings.signatureChecked = authKey.has_value();
  settings.developmentPort = push.port();
  if (options.productionPort) settings.productionPort = push.port(Environment::production);
  if (!isLoopback(shown)) settings.hosts.push_back(shown);
  const auto write = [&](const std::function<void(PushService&)>& change) {
    std::promise<bool> durable;
    OwnedWork work;
    work.page = change;
    work.done = [&](bool ok) { durable.set_value(ok); };
    if (!pipeline->submit(std::move(work))) return false;
    return durable.get_future().get();
  };
  PageServer page(write, *reader, events, waits, registry, settings);
  for (const std::string& address : addresses) {
    if (auto why = page.listen(address, options.pagePort)) {
      err << "error: " << *why << '\n';
      return Outcome::cannotStart;
    }
  }
  if (!isLoopback(shown)) {
    err << "warning: listening on " << shown
        << ", not on loopback: anyone on that network can push to this endpoint and read its "
           "history\n";
  }
  // Before the push port runs, the replays are the pipeline's only work: nothing else writes to
  // `err` meanwhile.
  for (const ReplayFile& file : replays) {
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string moved = datesMovedTo(file.text, std::floor(now));
    const std::vector<std::string_view> lines = nonBlankLines(moved);
    ReplayedTimeline replayed;
    if (!write(
            [&](PushService& owned) { replayed = replayTimeline(owned, registry, lines, ""); })) {
      err << "error: the replay of '" << file.name << "' could not be stored\n";
      return Outcome::cannotStart;
    }
    err << "replayed " << file.name << ": " << replayed.lines << " lines";
    if (replayed.notApplied > 0) err << ", " << replayed.notApplied << " not applied";
    err << '\n';
  }
  out << settings.pushUrl << '\n'
      << settings.certificate << '\n'
      << "http://" << urlHost(shown) << ':' << page.port() << "/\n"
      << std::flush;
  page.start();
  push.run();
  page.stop();
  // Everything accepted is handled and committed; answers due after the drain have nowhere to go.
  pipeline->stop();
  try {
    store->commit();
  } catch (const StoreError& failure) {
    err << "error: " << failure.what() << '\n';
    return Outcome::cannotStart;
  }
  return Outcome::stopped;
}

}  // namespace host::serve
