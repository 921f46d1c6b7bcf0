#include "platform/coding/json_decoder.hpp"
#include "platform/coding/json_encoder.hpp"
#include "tolvex/model/download_live_activity_attributes.hpp"
#include "tolvex/model/sign_live_activity_attributes.hpp"

#include <gtest/gtest.h>

namespace {

using tolvex::DownloadLiveActivityAttributes;
using tolvex::SignLiveActivityAttributes;
using SignState = SignLiveActivityAttributes::ContentState;
using DownloadState = DownloadLiveActivityAttributes::ContentState;

struct Case {
  const char* name;
  const char* json;
  std::string error;  // empty: accepted
};

template <class T>
void expectCases(std::initializer_list<Case> cases) {
  coding::JSONDecoder decoder;
  for (const Case& c : cases) {
    const auto result = decoder.decode<T>(c.json);
    if (c.error.empty()) {
      EXPECT_TRUE(result.ok()) << c.name << ": " << result.error().description();
    } else {
      ASSERT_FALSE(result.ok()) << c.name;
      EXPECT_EQ(result.error().description(), c.error) << c.name;
    }
  }
}

TEST(AttributesDecoding, FollowsTheKeyedForm) {
  const std::initializer_list<Case> cases = {
      {"plain", R"({"taskId":"task-1"})", ""},
      {"unknown member ignored", R"({"taskId":"task-1","contentState":{}})", ""},
      {"empty object", "{}", R"(keyNotFound: "taskId": no value for this key)"},
      {"letter case differs", R"({"taskid":"t"})",
       R"(keyNotFound: "taskId": no value for this key)"},
      {"null", R"({"taskId":null})", R"(valueNotFound: "taskId": expected a string, found null)"},
      {"number", R"({"taskId":7})", R"(typeMismatch: "taskId": expected a string, found a number)"},
      {"not an object", "[]", "typeMismatch: expected an object, found an array"},
      {"twice", R"({"taskId":"a","taskId":"a"})",
       R"(dataCorrupted: "taskId": the member appears more than once)"},
  };
  expectCases<SignLiveActivityAttributes>(cases);
  expectCases<DownloadLiveActivityAttributes>(cases);
}

TEST(SignStateDecoding, FollowsTheKeyedForm) {
  expectCases<SignState>({
      {"finished, no icon",
       R"({"progress":1.0,"statusText":"Signed","statusCode":"success","appName":"Demo","detailText":"Signature applied"})",
       ""},
      {"no optionals", R"({"progress":0,"statusText":"","appName":"","detailText":""})", ""},
      {"progress as text", R"({"progress":"0.5","statusText":"s","appName":"a","detailText":"d"})",
       R"(typeMismatch: "progress": expected a number, found a string)"},
      {"code as number",
       R"({"progress":0.5,"statusText":"s","statusCode":3,"appName":"a","detailText":"d"})",
       R"(typeMismatch: "statusCode": expected a string, found a number)"},
      {"icon as number",
       R"({"progress":0.5,"statusText":"s","appName":"a","detailText":"d","appIconBase64":0})",
       R"(typeMismatch: "appIconBase64": expected a string, found a number)"},
      {"first failure in read order wins",
       R"({"progress":0.5,"statusCode":1,"appName":2,"detailText":3})",
       R"(keyNotFound: "statusText": no value for this key)"},
      {"progress null", R"({"progress":null,"statusText":"s","appName":"a","detailText":"d"})",
       R"(valueNotFound: "progress": expected a number, found null)"},
      {"progress out of range",
       R"({"progress":1e999,"statusText":"s","appName":"a","detailText":"d"})",
       R"(dataCorrupted: "progress": the number 1e999 is outside the range of a double)"},
  });
}

TEST(DownloadStateDecoding, FollowsTheKeyedForm) {
  expectCases<DownloadState>({
      {"quarter way, icon null",
       R"({"progress":0.25,"statusText":"Downloading","fileName":"demo.zip","transferredText":"12.0 MB","totalText":"48.0 MB","etaText":"1 min","appIconBase64":null})",
       ""},
      {"etaText and fileName missing",
       R"({"progress":0.25,"statusText":"s","transferredText":"1","totalText":"2"})",
       R"(keyNotFound: "fileName": no value for this key)"},
      {"etaText missing",
       R"({"progress":0.25,"statusText":"s","fileName":"f","transferredText":"1","totalText":"2"})",
       R"(keyNotFound: "etaText": no value for this key)"},
  });
}

TEST(SignStateDecoding, ReadsOptionalsAndNumbersAsTheSenderMeantThem) {
  coding::JSONDecoder decoder;
  auto absent = decoder.decode<SignState>(
      R"({"progress":1,"statusText":"s","appName":"a","detailText":"d"})");
  ASSERT_TRUE(absent.ok());
  EXPECT_EQ(absent->progress, 1.0);
  EXPECT_FALSE(absent->statusCode.has_value());
  EXPECT_FALSE(absent->appIconBase64.has_value());

  auto null = decoder.decode<SignState>(
      R"({"progress":1,"statusText":"s","statusCode":null,"appName":"a","detailText":"d"})");
  ASSERT_TRUE(null.ok());
  EXPECT_EQ(*null, *absent);

  auto empty = decoder.decode<SignState>(
      R"({"progress":1,"statusText":"s","statusCode":"","appName":"a","detailText":"d"})");
  ASSERT_TRUE(empty.ok());
  ASSERT_TRUE(empty->statusCode.has_value());
  EXPECT_TRUE(empty->statusCode->empty());
  EXPECT_NE(*empty, *absent);
}

TEST(StateEncoding, WritesFieldsInDeclarationOrderAndNothingForAbsentOptionals) {
  const SignState sign{0.5, "Signing", std::nullopt, "Demo", "Step 2", std::nullopt};
  EXPECT_EQ(*coding::encodeJSON(sign),
            R"({"progress":0.5,"statusText":"Signing","appName":"Demo","detailText":"Step 2"})");
  const DownloadState download{1, "Done", "a.zip", "1 MB", "1 MB", "", tolvex::String("")};
  EXPECT_EQ(
      *coding::encodeJSON(download),
      R"({"progress":1,"statusText":"Done","fileName":"a.zip","transferredText":"1 MB","totalText":"1 MB","etaText":"","appIconBase64":""})");
}

}  // namespace
