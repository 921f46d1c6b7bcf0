#include "platform/coding/json_decoder.hpp"
#include "platform/image/image_cache.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

#include <gtest/gtest.h>

namespace {

using widgets::SystemVersion;

std::vector<std::string> namesOn(SystemVersion system) {
  std::vector<std::string> names;
  for (const auto& type : widgets::registeredActivities(tolvex::TolvexWidgetBundle{}, system)) {
    names.push_back(type.name + " / " + type.contentStateName);
  }
  return names;
}

TEST(TolvexWidgetBundle, RegistersDownloadThenSignFromIOS16Point1) {
  const std::vector<std::string> both = {
      "DownloadLiveActivityAttributes / DownloadLiveActivityAttributes.ContentState",
      "SignLiveActivityAttributes / SignLiveActivityAttributes.ContentState"};
  const std::pair<SystemVersion, bool> systems[] = {
      {{16, 0, 9}, false}, {{16, 0, 99}, false}, {{15, 9, 0}, false}, {{16, 1, 0}, true},
      {{16, 1, 1}, true},  {{17, 0, 0}, true},   {{26, 1, 0}, true},
  };
  for (const auto& [system, registered] : systems) {
    EXPECT_EQ(namesOn(system), registered ? both : std::vector<std::string>{})
        << system.description();
  }
}

// What the host holds a sender's members against: every key, the optional ones found from the
// records themselves, and what the views make of the state's members.
TEST(TolvexWidgetBundle, TellsTheHostEachRecordsMembersAndTheirUses) {
  using Names = std::vector<std::string_view>;
  const auto types = widgets::registeredActivities(tolvex::TolvexWidgetBundle{}, {16, 1, 0});
  ASSERT_EQ(types.size(), 2u);
  const auto& download = types[0];
  const auto& sign = types[1];
  EXPECT_EQ(sign.attributesMembers.names, Names{"taskId"});
  EXPECT_EQ(sign.attributesMembers.optional, Names{});
  EXPECT_EQ(sign.contentStateMembers.names, (Names{"progress", "statusText", "statusCode",
                                                   "appName", "detailText", "appIconBase64"}));
  EXPECT_EQ(sign.contentStateMembers.optional, (Names{"statusCode", "appIconBase64"}));
  EXPECT_EQ(download.contentStateMembers.optional, Names{"appIconBase64"});
  EXPECT_EQ(download.contentStateMembers.names.size(), 7u);
  for (const auto* type : {&download, &sign}) {
    EXPECT_EQ(type->contentStateUses.fractions, Names{"progress"});
    EXPECT_EQ(type->contentStateUses.base64Images, Names{"appIconBase64"});
  }
}

TEST(SystemVersion, ParsesMajorMinorPatch) {
  const std::pair<const char*, std::optional<SystemVersion>> cases[] = {
      {"17", SystemVersion{17, 0, 0}},
      {"16.1", SystemVersion{16, 1, 0}},
      {"16.0.9", SystemVersion{16, 0, 9}},
      {"", std::nullopt},
      {"16.", std::nullopt},
      {".1", std::nullopt},
      {"16.1.0.1", std::nullopt},
      {"16.x", std::nullopt},
      {"-16", std::nullopt},
      {"99999999999", std::nullopt},
  };
  for (const auto& [text, version] : cases) EXPECT_EQ(SystemVersion::parse(text), version) << text;
  EXPECT_LT(SystemVersion({16, 0, 9}), SystemVersion({16, 1, 0}));
  EXPECT_LT(SystemVersion({16, 1, 0}), SystemVersion({16, 10, 0}));
}

template <class T>
std::any decodeAny(const widgets::ActivityType& type, std::string_view json, bool state) {
  coding::JsonDocument document;
  EXPECT_FALSE(document.read(json).has_value());
  coding::Decoder decoder(document, document.root());
  auto decoded = state ? type.decodeContentState(decoder) : type.decodeAttributes(decoder);
  EXPECT_TRUE(decoded.ok()) << json;
  return decoded.ok() ? std::move(decoded).value() : std::any();
}

TEST(TolvexWidgetBundle, EachActivityReachesOnlyItsOwnBuilders) {
  const auto types = widgets::registeredActivities(tolvex::TolvexWidgetBundle{}, {16, 1, 0});
  ASSERT_EQ(types.size(), 2u);
  const auto& download = types[0];
  const auto& sign = types[1];

  const char* signState =
      R"({"progress":0.5,"statusText":"Signing","appName":"A","detailText":"d"})";
  const std::any signAttributes =
      decodeAny<tolvex::SignLiveActivityAttributes>(sign, R"({"taskId":"t"})", false);
  const std::any signContent =
      decodeAny<tolvex::SignLiveActivityAttributes::ContentState>(sign, signState, true);
  const widgets::ActivityViewContext<tolvex::SignLiveActivityAttributes> signContext{
      std::any_cast<tolvex::SignLiveActivityAttributes::ContentState>(signContent),
      std::any_cast<tolvex::SignLiveActivityAttributes>(signAttributes)};
  image::ImageCache images;
  EXPECT_EQ(sign.lockScreen(signAttributes, signContent, images),
            tolvex::SignLockScreenView(signContext));
  EXPECT_EQ(sign.dynamicIsland(signAttributes, signContent, images),
            tolvex::SignDynamicIsland(signContext));

  const char* downloadState =
      R"({"progress":0.5,"statusText":"s","fileName":"f","transferredText":"1","totalText":"2","etaText":"3"})";
  const std::any downloadContent = decodeAny<tolvex::DownloadLiveActivityAttributes::ContentState>(
      download, downloadState, true);
  const widgets::ActivityViewContext<tolvex::DownloadLiveActivityAttributes> downloadContext{
      std::any_cast<tolvex::DownloadLiveActivityAttributes::ContentState>(downloadContent), {}};
  EXPECT_EQ(download.lockScreen(download.defaultAttributes(), downloadContent, images),
            tolvex::DownloadLockScreenView(downloadContext));
  EXPECT_EQ(download.dynamicIsland(download.defaultAttributes(), downloadContent, images),
            tolvex::DownloadDynamicIsland(downloadContext));

  // A Sign state is no Download state.
  coding::JsonDocument document;
  ASSERT_FALSE(document.read(signState).has_value());
  coding::Decoder decoder(document, document.root());
  const auto wrong = download.decodeContentState(decoder);
  ASSERT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.error().description(), R"(keyNotFound: "fileName": no value for this key)");
}

}  // namespace
