#pragma once

#include "platform/foundation/base64.hpp"
#include "platform/host/serve/service/push_service.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace serve_test {

// A folder of its own for a test, made 0700 as serve wants it, and removed whatever the outcome.
struct ScratchFolder {
  explicit ScratchFolder(const std::string& name)
      : path(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::filesystem::path path;
};

inline const host::ActivityRegistry& registry() {
  static const host::ActivityRegistry instance(
      widgets::registeredActivities(tolvex::TolvexWidgetBundle{}, widgets::defaultSystemVersion),
      widgets::defaultSystemVersion);
  return instance;
}

inline std::string base64Url(std::string_view bytes) {
  std::string text = foundation::base64Encode(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  std::string out;
  for (const char c : text) {
    if (c == '=') continue;
    out += c == '+' ? '-' : c == '/' ? '_' : c;
  }
  return out;
}

// A sender's P-256 key: signs as the sender's push code does.
class SenderKey {
 public:
  SenderKey() : key_(EVP_EC_gen("P-256")) {}
  ~SenderKey() { EVP_PKEY_free(key_); }
  SenderKey(const SenderKey&) = delete;
  SenderKey& operator=(const SenderKey&) = delete;

  std::string pem() const {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key_, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return text;
  }

  std::string publicPem() const {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PUBKEY(bio, key_);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return text;
  }

  // Checks a raw r || s signature with OpenSSL alone.
  bool verifyRaw(std::string_view text, const std::vector<std::uint8_t>& raw) const {
    if (raw.size() != 64) return false;
    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, BN_bin2bn(raw.data(), 32, nullptr), BN_bin2bn(raw.data() + 32, 32, nullptr));
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(sig, &der);
    ECDSA_SIG_free(sig);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool ok = length > 0 &&
                    EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key_) == 1 &&
                    EVP_DigestVerify(context, der, static_cast<std::size_t>(length),
                                     reinterpret_cast<const unsigned char*>(text.data()),
                                     text.size()) == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(der);
    return ok;
  }

  // DER, as `openssl dgst -sign` writes it.
  std::string signDer(std::string_view text) const {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::size_t length = 0;
    EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key_);
    EVP_DigestSign(context, nullptr, &length, reinterpret_cast<const unsigned char*>(text.data()),
                   text.size());
    std::string signature(length, '\0');
    EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                   reinterpret_cast<const unsigned char*>(text.data()), text.size());
    EVP_MD_CTX_free(context);
    signature.resize(length);
    return signature;
  }

  // r || s, as JWS prescribes.
  std::string signRaw(std::string_view text) const {
    const std::string der = signDer(text);
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size()));
    std::string raw(64, '\0');
    BN_bn2binpad(ECDSA_SIG_get0_r(sig), reinterpret_cast<unsigned char*>(raw.data()), 32);
    BN_bn2binpad(ECDSA_SIG_get0_s(sig), reinterpret_cast<unsigned char*>(raw.data()) + 32, 32);
    ECDSA_SIG_free(sig);
    return raw;
  }

 private:
  EVP_PKEY* key_;
};

inline std::string jwt(const std::string& header, const std::string& claims,
                       const SenderKey* key = nullptr, bool der = false) {
  const std::string signedText = base64Url(header) + "." + base64Url(claims);
  const std::string signature =
      key ? (der ? key->signDer(signedText) : key->signRaw(signedText)) : std::string(64, 'x');
  return signedText + "." + base64Url(signature);
}

inline std::string goodToken(std::int64_t iat, const SenderKey* key = nullptr) {
  return jwt(R"({"alg":"ES256","kid":"ABC123DEFG"})",
             R"({"iss":"DEF123GHIJ","iat":)" + std::to_string(iat) + "}", key);
}

}  // namespace serve_test
