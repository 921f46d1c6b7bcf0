#include "platform/host/serve/service/provider_token.hpp"

#include "platform/coding/json_document.hpp"
#include "platform/coding/json_writer.hpp"
#include "platform/foundation/base64.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace host::serve {
namespace {

using coding::JsonValue;

constexpr std::int64_t tokenLifetime = 3600;
constexpr std::int64_t tokenUpdateInterval = 20 * 60;
// Clocks disagree a little; an `iat` further ahead than this was not made in seconds or not now.
constexpr std::int64_t clockSkew = 300;
// A provider token is a few hundred bytes; nothing longer is worth decoding.
constexpr std::size_t maxTokenBytes = 4096;

std::optional<std::vector<std::uint8_t>> base64UrlDecode(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::string standard;
  standard.reserve(text.size() + 3);
  for (const char c : text) {
    if (c == '+' || c == '/' || c == '=') return std::nullopt;
    standard += c == '-' ? '+' : c == '_' ? '/' : c;
  }
  while (standard.size() % 4 != 0) standard += '=';
  return foundation::base64Decode(standard);
}

TokenCheck invalid(std::string detail) {
  return {"InvalidProviderToken", std::move(detail), 0};
}

std::optional<std::int64_t> wholeSeconds(const JsonValue& value) {
  double number = 0;
  if (value.type == JsonValue::Type::number) {
    number = value.number;
  } else if (value.type == JsonValue::Type::string) {
    std::int64_t parsed = 0;
    const char* end = value.text.data() + value.text.size();
    const auto [ptr, ec] = std::from_chars(value.text.data(), end, parsed);
    if (ec != std::errc() || ptr != end || value.text.empty()) return std::nullopt;
    return parsed;
  } else {
    return std::nullopt;
  }
  if (!std::isfinite(number) || number != std::floor(number) || std::fabs(number) > 1e15) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(number);
}

// A DER ECDSA-Sig-Value for P-256: SEQUENCE { INTEGER r, INTEGER s }, short lengths only.
bool looksLikeDerSignature(const std::vector<std::uint8_t>& der) {
  if (der.size() < 8 || der.size() > 72 || der[0] != 0x30 || der[1] != der.size() - 2) {
    return false;
  }
  std::size_t at = 2;
  for (int i = 0; i < 2; ++i) {
    if (at + 2 > der.size() || der[at] != 0x02) return false;
    const std::size_t length = der[at + 1];
    if (length == 0 || length > 33 || at + 2 + length > der.size()) return false;
    at += 2 + length;
  }
  return at == der.size();
}

}  // namespace

TokenCheck checkProviderToken(std::string_view token, const ProviderKey& key,
                              std::int64_t nowSeconds) {
  if (token.size() > maxTokenBytes) return invalid("the token is longer than any JWT of ES256");
  const std::size_t firstDot = token.find('.');
  const std::size_t secondDot =
      firstDot == std::string_view::npos ? firstDot : token.find('.', firstDot + 1);
  if (secondDot == std::string_view::npos || token.find('.', secondDot + 1) != token.npos) {
    return invalid("a JWT has three parts separated by dots");
  }
  const auto header = base64UrlDecode(token.substr(0, firstDot));
  const auto claims = base64UrlDecode(token.substr(firstDot + 1, secondDot - firstDot - 1));
  const auto signature = base64UrlDecode(token.substr(secondDot + 1));
  if (!header || !claims || !signature) return invalid("a part is not base64url");

  coding::JsonDocument document;
  const auto text = [](const std::vector<std::uint8_t>& bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  if (document.read(text(*header)) || document.root().type != JsonValue::Type::object) {
    return invalid("the header is not a JSON object");
  }
  {
    constexpr std::array<std::string_view, 2> names{"alg", "kid"};
    std::array<JsonValue, 2> values;
    document.lookUp(document.root().node, names, values);
    if (values[0].type != JsonValue::Type::missing &&
        (values[0].type != JsonValue::Type::string || values[0].text != "ES256")) {
      return invalid("alg must be ES256");
    }
    if (values[1].type != JsonValue::Type::string || values[1].text.size() != 10) {
      return invalid("kid must be the 10-character key id");
    }
    if (key.keyId && values[1].text != *key.keyId) {
      return invalid("kid names another key than this endpoint's");
    }
  }
  if (document.read(text(*claims)) || document.root().type != JsonValue::Type::object) {
    return invalid("the claims are not a JSON object");
  }
  constexpr std::array<std::string_view, 2> names{"iss", "iat"};
  std::array<JsonValue, 2> values;
  document.lookUp(document.root().node, names, values);
  if (values[0].type != JsonValue::Type::string || values[0].text.size() != 10) {
    return invalid("iss must be the 10-character team id");
  }
  if (key.teamId && values[0].text != *key.teamId) return invalid("iss names another team");
  const auto issuedAt = wholeSeconds(values[1]);
  if (!issuedAt) return invalid("iat must be whole seconds since 1970");
  if (*issuedAt > nowSeconds + clockSkew) {
    return invalid("iat lies in the future (milliseconds instead of seconds?)");
  }

  if (signature->size() != 64 && !looksLikeDerSignature(*signature)) {
    return invalid("the signature is neither 64 bytes nor a DER ECDSA signature");
  }
  if (key.key != nullptr && !key.key->verify(token.substr(0, secondDot), *signature)) {
    return invalid("the signature does not verify with the endpoint's key");
  }
  if (nowSeconds - *issuedAt > tokenLifetime) {
    return {"ExpiredProviderToken", "iat is more than an hour old", *issuedAt};
  }
  return {{}, {}, *issuedAt};
}

TokenCheck ConnectionTokens::admit(std::string_view authorization, const ProviderKey& key,
                                   std::int64_t nowSeconds) {
  constexpr std::string_view scheme = "bearer ";
  if (local_) return {};
  if (authorization.empty()) return {"MissingProviderToken", "no authorization header", 0};
  if (authorization.size() < scheme.size() ||
      !std::equal(scheme.begin(), scheme.end(), authorization.begin(),
                  [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b + 32 : b); })) {
    return invalid("authorization must be `bearer <JWT>`");
  }
  const std::string_view token = authorization.substr(scheme.size());
  if (!current_.empty() && token == current_) {
    if (nowSeconds - issuedAt_ > tokenLifetime) {
      return {"ExpiredProviderToken", "iat is more than an hour old", issuedAt_};
    }
    return {{}, {}, issuedAt_};
  }
  ++verifications_;
  TokenCheck check = checkProviderToken(token, key, nowSeconds);
  if (!check.reason.empty()) return check;
  if (!current_.empty() && nowSeconds - since_ < tokenUpdateInterval) {
    return {"TooManyProviderTokenUpdates",
            "a new provider token less than 20 minutes after the last one on this connection",
            check.issuedAt};
  }
  current_ = token;
  issuedAt_ = check.issuedAt;
  since_ = nowSeconds;
  return check;
}

std::optional<std::string> makeProviderToken(const Es256Key& key, std::string_view keyId,
                                             std::string_view teamId, std::int64_t issuedAt) {
  std::string header;
  coding::JsonWriter headerWriter(header);
  headerWriter.raw("{\"alg\":\"ES256\",\"kid\":");
  headerWriter.string(keyId);
  headerWriter.raw("}");
  std::string claims;
  coding::JsonWriter claimsWriter(claims);
  claimsWriter.raw("{\"iss\":");
  claimsWriter.string(teamId);
  claimsWriter.raw(",\"iat\":" + std::to_string(issuedAt) + "}");
  const auto base64Url = [](std::string_view bytes) {
    std::string text = foundation::base64Encode(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    std::string out;
    for (const char c : text) {
      if (c != '=') out += c == '+' ? '-' : c == '/' ? '_' : c;
    }
    return out;
  };
  std::string token = base64Url(header) + '.' + base64Url(claims);
  const auto signature = key.sign(token);
  if (!signature) return std::nullopt;
  return token + '.' +
         base64Url(std::string_view(reinterpret_cast<const char*>(signature->data()),
                                    signature->size()));
}

}  // namespace host::serve
