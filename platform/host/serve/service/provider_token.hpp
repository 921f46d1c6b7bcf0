#pragma once

#include "platform/host/serve/common/exchange.hpp"
#include "platform/host/serve/service/es256_key.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host::serve {

// What the endpoint knows of the sender's key: with a key, signatures are checked too.
struct ProviderKey {
  std::optional<std::string> keyId;   // the token's `kid` must match when given
  std::optional<std::string> teamId;  // the token's `iss` must match when given
  const Es256Key* key = nullptr;
  // The one environment the key may push to (--auth-key-environment); both when absent.
  std::optional<Environment> environment;
};

// The answer to one token: an empty reason when it is good, else the push service's reason.
struct TokenCheck {
  std::string_view reason;
  std::string detail;  // for the sender: which part is wrong
  std::int64_t issuedAt = 0;
};

// Checks a JWT's shape, header (`alg` ES256 if present, a 10-character `kid`) and claims (a
// 10-character `iss`, an `iat` in seconds as a number or a numeric string, at most an hour old),
// and with a key its ES256 signature.
TokenCheck checkProviderToken(std::string_view token, const ProviderKey& key,
                              std::int64_t nowSeconds);

// A provider token as a sender's push code makes one: ES256 with the raw signature, `kid` and
// `iss` as given, `iat` as given; nothing when the key cannot sign (a public key).
std::optional<std::string> makeProviderToken(const Es256Key& key, std::string_view keyId,
                                             std::string_view teamId, std::int64_t issuedAt);

// What one connection remembers of tokens: a token verified once is not verified again there.
class ConnectionTokens : public ConnectionState {
 public:
  ConnectionTokens() = default;
  // The page of this machine sends as the user, who holds no provider token for a local device.
  static ConnectionTokens ofLocalPage() {
    ConnectionTokens tokens;
    tokens.local_ = true;
    return tokens;
  }

  // The reason to refuse `authorization`'s value, or an empty one (with the detail) to accept.
  TokenCheck admit(std::string_view authorization, const ProviderKey& key, std::int64_t nowSeconds);

  std::size_t verifications() const noexcept { return verifications_; }
  bool local() const noexcept { return local_; }

 private:
  std::string current_;
  std::int64_t issuedAt_ = 0;
  std::int64_t since_ = 0;
  std::size_t verifications_ = 0;
  bool local_ = false;
};

}  // namespace host::serve
