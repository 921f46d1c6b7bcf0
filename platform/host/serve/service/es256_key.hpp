#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace host::serve {

// A P-256 key that checks and makes ES256 signatures: the one place OpenSSL's signature API is
// used.
class Es256Key {
 public:
  // A PKCS#8 PEM private key (the sender's .p8) or a PEM public key; on failure, why.
  static std::variant<Es256Key, std::string> fromPem(std::string_view pem);
  static std::variant<Es256Key, std::string> fromFile(const std::filesystem::path& path);

  Es256Key(Es256Key&&) noexcept;
  Es256Key& operator=(Es256Key&&) noexcept;
  ~Es256Key();

  // The signature may be DER (what `openssl dgst` writes) or the raw 64 bytes r || s that JWS
  // prescribes.
  bool verify(std::string_view signedText, std::span<const std::uint8_t> signature) const;
  // The raw 64-byte r || s signature that JWS prescribes; nothing for a public key.
  std::optional<std::vector<std::uint8_t>> sign(std::string_view text) const;

 private:
  struct Impl;
  explicit Es256Key(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::serve
