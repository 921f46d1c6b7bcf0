#include "platform/host/serve/h2/tls_context.hpp"

#include "platform/host/serve/common/state_folder.hpp"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <utility>

namespace host::serve {
namespace {

std::string openSslError(std::string what) {
  const unsigned long code = ERR_get_error();
  if (code != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    what += ": ";
    what += text;
  }
  ERR_clear_error();
  return what;
}

int selectH2(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
             unsigned int inLength, void*) {
  static const unsigned char h2[] = {2, 'h', '2'};
  unsigned char* selected = nullptr;
  if (SSL_select_next_proto(&selected, outLength, h2, sizeof h2, in, inLength) !=
      OPENSSL_NPN_NEGOTIATED) {
    return SSL_TLSEXT_ERR_ALERT_FATAL;
  }
  *out = selected;
  return SSL_TLSEXT_ERR_OK;
}

bool addExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) return false;
  const bool ok = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return ok;
}

}  // namespace

std::variant<TlsContext, std::string> TlsContext::fromFiles(
    const std::filesystem::path& certificate, const std::filesystem::path& key) {
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (context == nullptr) return openSslError("cannot make a TLS context");
  TlsContext result(context);
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_options(
      context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
  // HTTP/2 forbids the TLS 1.2 ciphers without forward secrecy or AEAD.
  SSL_CTX_set_cipher_list(context,
                          "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                          "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                          "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305");
  if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1) {
    return openSslError("cannot use the certificate " + certificate.string());
  }
  if (SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1) {
    return openSslError("cannot use the key " + key.string());
  }
  if (SSL_CTX_check_private_key(context) != 1) {
    return openSslError("the key does not belong to the certificate");
  }
  SSL_CTX_set_alpn_select_cb(context, selectH2, nullptr);
  return result;
}

TlsContext::TlsContext(TlsContext&& other) noexcept
    : context_(std::exchange(other.context_, nullptr)) {}
TlsContext& TlsContext::operator=(TlsContext&& other) noexcept {
  std::swap(context_, other.context_);
  return *this;
}
TlsContext::~TlsContext() {
  SSL_CTX_free(context_);
}

std::variant<CertificateFiles, std::string> ensureSelfSignedCertificate(
    const std::filesystem::path& folder) {
  CertificateFiles files{folder / "localhost.pem", folder / "localhost-key.pem"};
  std::error_code error;
  if (std::filesystem::exists(files.certificate, error) &&
      std::filesystem::exists(files.key, error)) {
    return files;
  }
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  std::string failure;
  const auto fail = [&](std::string what) {
    failure = openSslError(std::move(what));
    return false;
  };
  const auto make = [&] {
    if (key == nullptr || certificate == nullptr) return fail("cannot make a key");
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
    BN_free(number);
    X509_set_version(certificate, 2);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    // Within the 825 days that clients accept for a server certificate.
    X509_gmtime_adj(X509_getm_notAfter(certificate), 800L * 24 * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("tolvex-widget serve"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    if (!addExtension(certificate, NID_subject_alt_name,
                      "DNS:localhost,IP:127.0.0.1,IP:0:0:0:0:0:0:0:1") ||
        !addExtension(certificate, NID_basic_constraints, "critical,CA:FALSE") ||
        !addExtension(certificate, NID_key_usage, "critical,digitalSignature") ||
        !addExtension(certificate, NID_ext_key_usage, "serverAuth") ||
        !addExtension(certificate, NID_subject_key_identifier, "hash")) {
      return fail("cannot describe the certificate");
    }
    if (X509_sign(certificate, key, EVP_sha256()) == 0) return fail("cannot sign the certificate");
    if (!writeStateFile(files.key, 0600,
                        [&](FILE* f) {
                          return PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr,
                                                      nullptr) == 1;
                        }) ||
        !writeStateFile(files.certificate, 0600,
                        [&](FILE* f) { return PEM_write_X509(f, certificate) == 1; })) {
      return fail("cannot write the certificate into " + folder.string());
    }
    return true;
  };
  const bool ok = make();
  X509_free(certificate);
  EVP_PKEY_free(key);
  if (!ok) return failure;
  return files;
}

}  // namespace host::serve
