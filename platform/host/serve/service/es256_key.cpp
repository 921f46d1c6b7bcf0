#include "platform/host/serve/service/es256_key.hpp"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace host::serve {

struct Es256Key::Impl {
  EVP_PKEY* key = nullptr;
  ~Impl() { EVP_PKEY_free(key); }
};

Es256Key::Es256Key(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Es256Key::Es256Key(Es256Key&&) noexcept = default;
Es256Key& Es256Key::operator=(Es256Key&&) noexcept = default;
Es256Key::~Es256Key() = default;

std::variant<Es256Key, std::string> Es256Key::fromPem(std::string_view pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  if (bio == nullptr) return std::string("out of memory");
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  if (key == nullptr) {
    BIO_reset(bio);
    key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  }
  BIO_free(bio);
  if (key == nullptr) return std::string("not a PEM private or public key");
  auto impl = std::make_unique<Impl>();
  impl->key = key;
  char group[64] = {};
  std::size_t length = 0;
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC ||
      EVP_PKEY_get_utf8_string_param(key, "group", group, sizeof group, &length) != 1 ||
      std::string_view(group) != "prime256v1") {
    return std::string("not a P-256 key, which ES256 needs");
  }
  return Es256Key(std::move(impl));
}

std::variant<Es256Key, std::string> Es256Key::fromFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot read " + path.string();
  std::ostringstream text;
  text << in.rdbuf();
  auto key = fromPem(text.str());
  if (auto* why = std::get_if<std::string>(&key)) *why = path.string() + ": " + *why;
  return key;
}

namespace {

// r || s as the DER SEQUENCE that OpenSSL verifies.
std::vector<std::uint8_t> derFromRaw(std::span<const std::uint8_t> raw) {
  ECDSA_SIG* sig = ECDSA_SIG_new();
  BIGNUM* r = BN_bin2bn(raw.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(raw.data() + 32, 32, nullptr);
  std::vector<std::uint8_t> der;
  if (sig != nullptr && r != nullptr && s != nullptr && ECDSA_SIG_set0(sig, r, s) == 1) {
    r = s = nullptr;  // owned by sig now
    const int length = i2d_ECDSA_SIG(sig, nullptr);
    if (length > 0) {
      der.resize(static_cast<std::size_t>(length));
      unsigned char* out = der.data();
      i2d_ECDSA_SIG(sig, &out);
    }
  }
  BN_free(r);
  BN_free(s);
  ECDSA_SIG_free(sig);
  return der;
}

}  // namespace

bool Es256Key::verify(std::string_view signedText, std::span<const std::uint8_t> signature) const {
  std::vector<std::uint8_t> der;
  if (signature.size() == 64) {
    der = derFromRaw(signature);
    signature = der;
  }
  if (signature.empty() || signature.size() > 80) return false;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) return false;
  const bool ok = EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, impl_->key) == 1 &&
                  EVP_DigestVerify(context, signature.data(), signature.size(),
                                   reinterpret_cast<const unsigned char*>(signedText.data()),
                                   signedText.size()) == 1;
  EVP_MD_CTX_free(context);
  return ok;
}

std::optional<std::vector<std::uint8_t>> Es256Key::sign(std::string_view text) const {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) return std::nullopt;
  std::vector<std::uint8_t> der(80);
  std::size_t length = der.size();
  const bool ok = EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, impl_->key) == 1 &&
                  EVP_DigestSign(context, der.data(), &length,
                                 reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size()) == 1;
  EVP_MD_CTX_free(context);
  if (!ok) return std::nullopt;
  const unsigned char* in = der.data();
  ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length));
  if (sig == nullptr) return std::nullopt;
  std::vector<std::uint8_t> raw(64);
  const bool converted = BN_bn2binpad(ECDSA_SIG_get0_r(sig), raw.data(), 32) == 32 &&
                         BN_bn2binpad(ECDSA_SIG_get0_s(sig), raw.data() + 32, 32) == 32;
  ECDSA_SIG_free(sig);
  if (!converted) return std::nullopt;
  return raw;
}

}  // namespace host::serve
