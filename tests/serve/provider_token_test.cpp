// Provider tokens: shape, claims, both signature encodings, and the per-connection cache.
#include "serve_support.hpp"

#include <gtest/gtest.h>

namespace {

using host::serve::checkProviderToken;
using host::serve::ConnectionTokens;
using host::serve::Es256Key;
using host::serve::ProviderKey;
using namespace serve_test;

constexpr std::int64_t now = 1765012900;

TEST(ProviderToken, ChecksShapeHeaderAndClaims) {
  const std::string header = R"({"alg":"ES256","kid":"ABC123DEFG"})";
  struct Case {
    const char* what;
    std::string token;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"good", goodToken(now - 10), ""},
      {"no alg and a string iat, like the platform's sample",
       jwt(R"({"kid":"ABC123DEFG"})", R"({"iss":"DEF123GHIJ","iat":"1765012000"})"), ""},
      {"alg HS256",
       jwt(R"({"alg":"HS256","kid":"ABC123DEFG"})", R"({"iss":"DEF123GHIJ","iat":1765012000})"),
       "InvalidProviderToken"},
      {"kid of 9 characters",
       jwt(R"({"alg":"ES256","kid":"ABC123DEF"})", R"({"iss":"DEF123GHIJ","iat":1765012000})"),
       "InvalidProviderToken"},
      {"no iss", jwt(header, R"({"iat":1765012000})"), "InvalidProviderToken"},
      {"iat in milliseconds", jwt(header, R"({"iss":"DEF123GHIJ","iat":1765012000000})"),
       "InvalidProviderToken"},
      {"iat a fraction", jwt(header, R"({"iss":"DEF123GHIJ","iat":1765012000.5})"),
       "InvalidProviderToken"},
      {"iat over an hour old", goodToken(now - 3601), "ExpiredProviderToken"},
      {"two parts", base64Url(header) + "." + base64Url("{}"), "InvalidProviderToken"},
      {"four parts", goodToken(now) + ".x", "InvalidProviderToken"},
      {"header not JSON", base64Url("{") + ".e30." + base64Url(std::string(64, 's')),
       "InvalidProviderToken"},
      {"signature of 10 bytes",
       base64Url(header) + "." + base64Url(R"({"iss":"DEF123GHIJ","iat":1765012000})") + "." +
           base64Url("0123456789"),
       "InvalidProviderToken"},
      {"standard base64 instead of base64url", goodToken(now) + "+", "InvalidProviderToken"},
      {"empty", "", "InvalidProviderToken"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(checkProviderToken(c.token, {}, now).reason, c.reason);
  }
}

TEST(ProviderToken, VerifiesDerAndRawSignaturesWithTheSendersKey) {
  SenderKey sender;
  SenderKey stranger;
  auto loaded = Es256Key::fromPem(sender.pem());
  ASSERT_TRUE(std::holds_alternative<Es256Key>(loaded));
  ProviderKey key;
  key.key = &std::get<Es256Key>(loaded);
  key.keyId = "ABC123DEFG";
  key.teamId = "DEF123GHIJ";
  const std::string header = R"({"alg":"ES256","kid":"ABC123DEFG"})";
  const std::string claims = R"({"iss":"DEF123GHIJ","iat":1765012000})";
  EXPECT_EQ(checkProviderToken(jwt(header, claims, &sender, false), key, now).reason, "");
  EXPECT_EQ(checkProviderToken(jwt(header, claims, &sender, true), key, now).reason, "");
  EXPECT_EQ(checkProviderToken(jwt(header, claims, &stranger, true), key, now).reason,
            "InvalidProviderToken");
  EXPECT_EQ(checkProviderToken(jwt(header, claims), key, now).reason, "InvalidProviderToken");
  EXPECT_EQ(
      checkProviderToken(jwt(R"({"alg":"ES256","kid":"XXXXXXXXXX"})", claims, &sender), key, now)
          .reason,
      "InvalidProviderToken");
  EXPECT_EQ(
      checkProviderToken(jwt(header, R"({"iss":"XXXXXXXXXX","iat":1765012000})", &sender), key, now)
          .reason,
      "InvalidProviderToken");
  // A signature over other claims does not carry over.
  std::string forged = jwt(header, claims, &sender);
  forged.replace(forged.find('.') + 1, forged.rfind('.') - forged.find('.') - 1,
                 base64Url(R"({"iss":"DEF123GHIJ","iat":1765012001})"));
  EXPECT_EQ(checkProviderToken(forged, key, now).reason, "InvalidProviderToken");
  EXPECT_TRUE(std::holds_alternative<std::string>(Es256Key::fromPem("not a key")));
}

// What `tolvex-widget token` prints: a token the service accepts with the sender's key, whose raw
// signature OpenSSL verifies with that key too; a public key cannot make one.
TEST(ProviderToken, MakesTokensThatTheServiceAndOpenSslAccept) {
  SenderKey sender;
  auto loaded = Es256Key::fromPem(sender.pem());
  ASSERT_TRUE(std::holds_alternative<Es256Key>(loaded));
  const auto token =
      host::serve::makeProviderToken(std::get<Es256Key>(loaded), "ABC123DEFG", "DEF123GHIJ", now);
  ASSERT_TRUE(token);
  ProviderKey key;
  key.key = &std::get<Es256Key>(loaded);
  key.keyId = "ABC123DEFG";
  key.teamId = "DEF123GHIJ";
  EXPECT_EQ(checkProviderToken(*token, key, now + 5).reason, "");

  const std::size_t dot = token->rfind('.');
  std::string signature = token->substr(dot + 1);
  for (char& c : signature) c = c == '-' ? '+' : c == '_' ? '/' : c;
  while (signature.size() % 4 != 0) signature += '=';
  const auto raw = foundation::base64Decode(signature);
  ASSERT_TRUE(raw);
  ASSERT_EQ(raw->size(), 64u);
  EXPECT_TRUE(sender.verifyRaw(token->substr(0, dot), *raw));

  auto publicOnly = Es256Key::fromPem(sender.publicPem());
  ASSERT_TRUE(std::holds_alternative<Es256Key>(publicOnly));
  EXPECT_FALSE(host::serve::makeProviderToken(std::get<Es256Key>(publicOnly), "ABC123DEFG",
                                              "DEF123GHIJ", now));
}

TEST(ProviderToken, AConnectionVerifiesEachTokenOnceAndRefusesQuickChanges) {
  SenderKey sender;
  auto loaded = Es256Key::fromPem(sender.pem());
  ProviderKey key;
  key.key = &std::get<Es256Key>(loaded);
  ConnectionTokens tokens;
  const std::string first = "bearer " + goodToken(now - 100, &sender);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(tokens.admit(first, key, now).reason, "");
  EXPECT_EQ(tokens.verifications(), 1u);
  EXPECT_EQ(tokens.admit("Bearer " + goodToken(now - 50, &sender), key, now + 60).reason,
            "TooManyProviderTokenUpdates");
  EXPECT_EQ(tokens.admit("bearer " + goodToken(now + 1200, &sender), key, now + 1200).reason, "");
  // The cached token still expires.
  EXPECT_EQ(tokens.admit("bearer " + goodToken(now + 1200, &sender), key, now + 4801).reason,
            "ExpiredProviderToken");
  EXPECT_EQ(tokens.admit("", key, now).reason, "MissingProviderToken");
}

}  // namespace
