#include "platform/host/serve/endpoint.hpp"

#include "platform/host/serve/h2/h2_server.hpp"
#include "platform/host/serve/h2/tls_context.hpp"
#include "platform/host/serve/page/page_json.hpp"
#include "platform/host/serve/page/page_server.hpp"
#include "platform/host/serve/service/push_service.hpp"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <ostream>
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
  const std::filesystem::path state =
      options.state.empty() ? defaultStateFolder() : std::filesystem::path(options.state);
  std::error_code error;
  std::filesystem::create_directories(state, error);
  // The history holds payloads and the folder may hold keys: the owner's alone.
  if (error || ::chmod(state.c_str(), 0700) != 0) {
    err << "error: cannot make the state folder " << state.string() << "\n";
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
    store = PushStore::open(state);
  } catch (const StoreError& failure) {
    err << "error: " << failure.what() << '\n';
    return Outcome::cannotStart;
  }
  ServiceOptions serviceOptions;
  if (!options.bundleId.empty()) serviceOptions.bundleId = options.bundleId;
  if (!options.keyId.empty()) serviceOptions.key.keyId = options.keyId;
  if (!options.teamId.empty()) serviceOptions.key.teamId = options.teamId;
  serviceOptions.key.key = authKey ? &*authKey : nullptr;
  PushService service(registry, *store, serviceOptions);
  std::mutex lock;
  PageEvents events;
  // A page draws a push with its activity as the push left it.
  service.onRecorded([&](const PushRecord& push) {
    if (!events.listening()) return;
    const auto activity = push.activityId.empty() ? std::nullopt : store->activity(push.activityId);
    events.stage("push", "{\"push\":" + pushJson(push) + ",\"activity\":" +
                             (activity ? activityJson(*activity) : "null") + "}");
  });

  // The rows of committed pushes, under the lock: the worker that allocated them frees them, where
  // a free is cheap, and not the committer, whose time every answer waits for.
  std::vector<PushRecord> committed;

  std::signal(SIGPIPE, SIG_IGN);
  H2Server push(
      std::get<TlsContext>(tls),
      [&](const Request& request, ConnectionTokens& tokens) {
        std::vector<PushRecord> done;
        std::lock_guard guard(lock);
        done.swap(committed);
        return service.handle(request, tokens);
      },
      [&] {
        PushStore::Sealed sealed;
        std::vector<PageEvents::Event> heard;
        {
          std::lock_guard guard(lock);
          sealed = store->seal();
          heard = events.takeStaged();
        }
        // Without the lock: the handler goes on with the next batch while this one syncs.
        try {
          store->commitSealed(sealed);
          events.publish(std::move(heard));
          std::lock_guard guard(lock);
          if (committed.empty()) {
            committed.swap(sealed.pushes);
          } else {
            std::move(sealed.pushes.begin(), sealed.pushes.end(), std::back_inserter(committed));
          }
          return true;
        } catch (const StoreError& failure) {
          std::lock_guard guard(lock);
          err << "error: " << failure.what() << '\n';
          return false;
        }
      },
      [&] {
        std::lock_guard guard(lock);
        service.shutDown();
      },
      options.pushLimits);
  const std::vector<std::string> addresses =
      options.listen.empty() ? loopbackAddresses() : std::vector{options.listen};
  for (const std::string& address : addresses) {
    if (auto why = push.listen(address, options.apnsPort)) {
      err << "error: " << *why << '\n';
      return Outcome::cannotStart;
    }
  }
  const std::string& shown = addresses.front();
  PageSettings settings;
  settings.pushUrl = "https://" + urlHost(shown) + ':' + std::to_string(push.port());
  settings.certificate = std::filesystem::absolute(files.certificate).string();
  settings.bundleId = options.bundleId;
  if (!isLoopback(shown)) settings.hosts.push_back(shown);
  PageServer page(service, lock, events, registry, settings);
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
  out << settings.pushUrl << '\n'
      << settings.certificate << '\n'
      << "http://" << urlHost(shown) << ':' << page.port() << "/\n"
      << std::flush;
  page.start();
  push.run();
  page.stop();
  try {
    std::lock_guard guard(lock);
    store->commit();
  } catch (const StoreError& failure) {
    err << "error: " << failure.what() << '\n';
    return Outcome::cannotStart;
  }
  return Outcome::stopped;
}

}  // namespace host::serve
