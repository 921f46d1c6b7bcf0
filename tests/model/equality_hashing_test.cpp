#include "support/recording_hasher.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>

namespace {

using tolvex::DownloadLiveActivityAttributes;
using tolvex::SignLiveActivityAttributes;
using SignState = SignLiveActivityAttributes::ContentState;
using DownloadState = DownloadLiveActivityAttributes::ContentState;
using H = RecordingHasher;

SignState sign() {
  return SignState{0.5, "Signing", std::nullopt, "Demo", "Step", std::nullopt};
}
DownloadState download() {
  return DownloadState{0.25, "Downloading", "demo.zip", "12 MB", "48 MB", "1 min", std::nullopt};
}

template <class T>
std::vector<std::string> feed(const T& value) {
  H hasher;
  value.hashInto(hasher);
  return hasher.events;
}

std::string word(double d) {
  return "word " + std::to_string(std::bit_cast<std::uint64_t>(d));
}

TEST(StateHashing, FeedsTheDeclaredSequence) {
  SignState s = sign();
  s.statusCode = tolvex::String("ok");
  EXPECT_EQ(feed(s), (std::vector<std::string>{word(0.5), "text Signing", "byte 1", "text ok",
                                               "text Demo", "text Step", "byte 0"}));
  DownloadState d = download();
  d.progress = -0.0;
  d.appIconBase64 = tolvex::String("");
  EXPECT_EQ(feed(d),
            (std::vector<std::string>{"word 0", "text Downloading", "text demo.zip", "text 12 MB",
                                      "text 48 MB", "text 1 min", "byte 1", "text "}));
  SignState nan = sign();
  nan.progress = std::nan("");
  EXPECT_EQ(feed(nan).front(), word(nan.progress));
}

TEST(StateEquality, FollowsFieldsInOrder) {
  struct Case {
    const char* name;
    std::function<void(SignState&, SignState&)> change;
    bool equal;
  };
  const Case cases[] = {
      {"identical", [](SignState&, SignState&) {}, true},
      {"code absent vs empty", [](SignState&, SignState& b) { b.statusCode = tolvex::String(""); },
       false},
      {"zeros of either sign",
       [](SignState& a, SignState& b) {
         a.progress = -0.0;
         b.progress = 0.0;
       },
       true},
      {"decomposed app name", [](SignState&, SignState& b) { b.appName = "De\u0301mo"; }, false},
      {"icon present", [](SignState&, SignState& b) { b.appIconBase64 = tolvex::String("AAAA"); },
       false},
      {"text case", [](SignState&, SignState& b) { b.statusText = "signing"; }, false},
      {"NaN progress, not even equal to itself",
       [](SignState& a, SignState& b) { a.progress = b.progress = std::nan(""); }, false},
  };
  for (const Case& c : cases) {
    SignState a = sign();
    SignState b = sign();
    c.change(a, b);
    EXPECT_EQ(a == b, c.equal) << c.name;
    EXPECT_EQ(a != b, !c.equal) << c.name;
    if (c.equal) {
      EXPECT_EQ(std::hash<SignState>{}(a), std::hash<SignState>{}(b)) << c.name;
    }
  }
}

TEST(StateEquality, TreatsCanonicallyEquivalentNamesAsEqual) {
  DownloadState a = download();
  DownloadState b = download();
  a.fileName = "R\u00e9sum\u00e9.pdf";
  b.fileName = "Re\u0301sume\u0301.pdf";
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<DownloadState>{}(a), std::hash<DownloadState>{}(b));
  b.etaText = "2 min";
  EXPECT_NE(a, b);
}

}  // namespace
