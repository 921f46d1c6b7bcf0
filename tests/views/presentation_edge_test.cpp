// Presentations of states that JSON cannot carry or that are too large for a golden file.
#include "platform/image/image_cache.hpp"
#include "support/sample_icons.hpp"
#include "tolvex/download/download_dynamic_island.hpp"
#include "tolvex/download/download_lock_screen_view.hpp"
#include "tolvex/sign/sign_dynamic_island.hpp"
#include "tolvex/sign/sign_lock_screen_view.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using tolvex::DownloadLiveActivityAttributes;
using tolvex::SignLiveActivityAttributes;
using SignContext = widgets::ActivityViewContext<SignLiveActivityAttributes>;
using DownloadContext = widgets::ActivityViewContext<DownloadLiveActivityAttributes>;

SignContext sign() {
  return SignContext{{0.5, "Signing", std::nullopt, "Demo", "Step", std::nullopt}, {"task"}};
}
DownloadContext download() {
  return DownloadContext{{0.5, "Downloading", "a.zip", "1 MB", "2 MB", "1 s", std::nullopt},
                         {"task"}};
}

std::string signDump(const SignContext& c) {
  return ui::dump(tolvex::SignLockScreenView(c)) + widgets::dump(tolvex::SignDynamicIsland(c));
}
std::string downloadDump(const DownloadContext& c) {
  return ui::dump(tolvex::DownloadLockScreenView(c)) +
         widgets::dump(tolvex::DownloadDynamicIsland(c));
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Presentations, HandNaNProgressToTheBarUnchangedAndReadAsComplete) {
  SignContext s = sign();
  s.state.progress = std::nan("");
  const std::string signText = signDump(s);
  EXPECT_EQ(count(signText, "ProgressView(value: nan, total: 1)"), 2u);
  EXPECT_EQ(count(signText, "\"100%\""), 3u);
  DownloadContext d = download();
  d.state.progress = -std::numeric_limits<double>::infinity();
  const std::string downloadText = downloadDump(d);
  EXPECT_EQ(count(downloadText, "ProgressView(value: -inf, total: 1)"), 2u);
  EXPECT_EQ(count(downloadText, "\"0%\""), 4u);
}

TEST(Presentations, ReadOnlyTheStateNeverTheAttributes) {
  SignContext a = sign();
  SignContext b = sign();
  b.attributes.taskId = "another task";
  EXPECT_EQ(signDump(a), signDump(b));
  DownloadContext c = download();
  DownloadContext d = download();
  d.attributes.taskId = "";
  EXPECT_EQ(downloadDump(c), downloadDump(d));
}

TEST(Presentations, SwitchBetweenIconAndFallbackWithNothingElseChanging) {
  SignContext withIcon = sign();
  withIcon.state.appIconBase64 = tolvex::String(samples::squareIcon);
  const ui::View icon = tolvex::SignLockScreenView(withIcon);
  const ui::View none = tolvex::SignLockScreenView(sign());
  ASSERT_EQ(icon.children().size(), none.children().size());
  // Only the header differs, and only by its first child.
  EXPECT_EQ(icon.children()[0].children().size(), 2u);
  EXPECT_EQ(none.children()[0].children().size(), 1u);
  EXPECT_EQ(icon.children()[0].children()[1], none.children()[0].children()[0]);
  EXPECT_EQ(icon.children()[1], none.children()[1]);

  const auto islandIcon = tolvex::SignDynamicIsland(withIcon);
  const auto islandNone = tolvex::SignDynamicIsland(sign());
  EXPECT_EQ(islandIcon.expanded(), islandNone.expanded());
  EXPECT_EQ(islandIcon.compactTrailing(), islandNone.compactTrailing());
  EXPECT_NE(islandIcon.compactLeading(), islandNone.compactLeading());
}

// Whoever draws hands the views its image cache: an icon that every place and every update shows
// is decoded once, and the views are those built without a cache.
TEST(Presentations, DecodeAnIconOnceThroughTheCacheOfWhoeverDraws) {
  image::ImageCache images;
  SignContext s = sign();
  s.state.appIconBase64 = tolvex::String(samples::squareIcon);
  DownloadContext d = download();
  d.state.appIconBase64 = s.state.appIconBase64;
  const std::string signAlone = signDump(s);
  const std::string downloadAlone = downloadDump(d);
  s.images = &images;
  d.images = &images;
  for (int update = 0; update < 3; ++update) {
    EXPECT_EQ(signDump(s), signAlone);
    EXPECT_EQ(downloadDump(d), downloadAlone);
  }
  EXPECT_EQ(images.counts().misses, 1u);
  EXPECT_EQ(images.counts().entries, 1u);
}

TEST(Presentations, BuildAndDumpHugeFields) {
  SignContext s = sign();
  s.state.appName = std::string(10 << 20, 'A');
  s.state.statusText = std::string(10 << 20, 'b');
  s.state.appIconBase64 = tolvex::String(std::string(3 << 20, 'A'));  // zeros: no image
  const std::string text = signDump(s);
  EXPECT_GT(text.size(), std::size_t{40} << 20);
  EXPECT_EQ(count(text, "\"...\""), 2u);

  DownloadContext d = download();
  d.state.fileName = std::string(10 << 20, 'f');
  d.state.appIconBase64 = tolvex::String(std::string(3 << 20, '!'));
  EXPECT_EQ(count(downloadDump(d), "arrow.down.circle.fill"), 4u);
}

}  // namespace
