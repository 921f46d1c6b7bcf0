#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>

struct ssl_ctx_st;

namespace host::serve {

// A server-side TLS 1.2+ context that offers only HTTP/2 by ALPN, as the push service does.
class TlsContext {
 public:
  static std::variant<TlsContext, std::string> fromFiles(const std::filesystem::path& certificate,
                                                         const std::filesystem::path& key);
  TlsContext(TlsContext&&) noexcept;
  TlsContext& operator=(TlsContext&&) noexcept;
  ~TlsContext();

  ssl_ctx_st* native() const noexcept { return context_; }

 private:
  explicit TlsContext(ssl_ctx_st* context) : context_(context) {}
  ssl_ctx_st* context_ = nullptr;
};

struct CertificateFiles {
  std::filesystem::path certificate;
  std::filesystem::path key;
};

// The endpoint's own certificate in `folder`, made on first use: P-256, self-signed, for
// localhost, 127.0.0.1 and ::1; the key file readable by its owner only. On failure, why.
std::variant<CertificateFiles, std::string> ensureSelfSignedCertificate(
    const std::filesystem::path& folder);

}  // namespace host::serve
