#include "platform/host/command_line.hpp"
#include "widget/model/download_live_activity_attributes.hpp"
#include "widget/model/sign_live_activity_attributes.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <vector>

namespace {

const std::array kinds{
    host::recordKind<tolvex::SignLiveActivityAttributes>("SignLiveActivityAttributes"),
    host::recordKind<tolvex::SignLiveActivityAttributes::ContentState>(
        "SignLiveActivityAttributes.ContentState"),
    host::recordKind<tolvex::DownloadLiveActivityAttributes>("DownloadLiveActivityAttributes"),
    host::recordKind<tolvex::DownloadLiveActivityAttributes::ContentState>(
        "DownloadLiveActivityAttributes.ContentState"),
};

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome run(std::vector<const char*> args, const std::string& input) {
  args.insert(args.begin(), "tolvex-widget");
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  const int status = host::runCommandLine(static_cast<int>(args.size()), args.data(), kinds, in,
                                          out, err);
  return {status, out.str(), err.str()};
}

constexpr const char* kSignState = "SignLiveActivityAttributes.ContentState";

TEST(ValidateCommand, PrintsTheRecordReEncodedOrTheFirstError) {
  struct Case {
    std::vector<const char*> args;
    std::string input;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"validate", "--type", "SignLiveActivityAttributes"}, R"( {"taskId" : "t"} )", 0,
       "{\"taskId\":\"t\"}\n", ""},
      {{"validate", "--type", kSignState, "-"},
       R"({"appName":"A","detailText":"","statusText":"s","progress":1})", 0,
       "{\"progress\":1,\"statusText\":\"s\",\"appName\":\"A\",\"detailText\":\"\"}\n", ""},
      {{"validate", "--type", "DownloadLiveActivityAttributes"}, "{}", 1, "",
       "error: keyNotFound: \"taskId\": no value for this key\n"},
      {{"validate", "--type", "DownloadLiveActivityAttributes", "--json"}, "{}", 1,
       R"({"ok": false, "error": {"kind": "keyNotFound", "key": "taskId", "path": ["taskId"], "message": "no value for this key"}})"
       "\n",
       ""},
      {{"validate", "--json", "--type", "SignLiveActivityAttributes"}, R"({"taskId":"\u00e9"})", 0,
       "{\"ok\": true, \"record\": {\"taskId\":\"\u00e9\"}}\n", ""},
      {{"validate", "--type", "SignLiveActivityAttributes", "--json"}, "{\"taskId\":1} x", 1,
       R"({"ok": false, "error": {"kind": "dataCorrupted", "key": null, "path": [], "message": "invalid JSON at line 1, column 14: unexpected content after the document"}})"
       "\n",
       ""},
  };
  for (const Case& c : cases) {
    const Outcome r = run(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << c.input;
    EXPECT_EQ(r.out, c.out) << c.input;
    EXPECT_EQ(r.err, c.err) << c.input;
  }
}

TEST(ValidateCommand, SeparatesUsageAndInputFailures) {
  EXPECT_EQ(run({"validate"}, "{}").status, host::exitUsage);
  EXPECT_EQ(run({"validate", "--type", "Nope"}, "{}").status, host::exitUsage);
  EXPECT_EQ(run({"validate", "--bogus"}, "{}").status, host::exitUsage);
  EXPECT_EQ(run({}, "").status, host::exitUsage);
  const Outcome missing = run({"validate", "--type", kSignState, "/nonexistent/file.json"}, "");
  EXPECT_EQ(missing.status, host::exitFailure);
  EXPECT_NE(missing.err.find("error: io: cannot open '/nonexistent/file.json'"), std::string::npos);
  const Outcome help = run({"--help"}, "");
  EXPECT_EQ(help.status, host::exitAccepted);
  EXPECT_NE(help.out.find("validate"), std::string::npos);
}

// The real executable, on the examples that ship with the project.
Outcome runExecutable(const std::string& arguments) {
  const std::string command = std::string(TOLVEX_WIDGET_EXECUTABLE) + " " + arguments + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  const int status = pclose(pipe);
  return {WEXITSTATUS(status), out, ""};
}

TEST(Executable, ValidatesTheExamples) {
  const std::string dir = TOLVEX_EXAMPLES_DIR;
  const std::pair<std::string, std::string> accepted[] = {
      {"SignLiveActivityAttributes", "sign-attributes.json"},
      {kSignState, "sign-state-signing.json"},
      {kSignState, "sign-state-success.json"},
      {kSignState, "sign-state-failed.json"},
      {kSignState, "sign-state-icon.json"},
      {"DownloadLiveActivityAttributes", "download-attributes.json"},
      {"DownloadLiveActivityAttributes.ContentState", "download-state-quarter.json"},
      {"DownloadLiveActivityAttributes.ContentState", "download-state-done.json"},
  };
  for (const auto& [type, file] : accepted) {
    const Outcome r = runExecutable("validate --type " + type + " " + dir + "/" + file);
    EXPECT_EQ(r.status, 0) << file << ": " << r.out;
  }
  const Outcome bad = runExecutable(
      "validate --type DownloadLiveActivityAttributes.ContentState " + dir +
      "/download-state-bad.json");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "error: typeMismatch: \"progress\": expected a number, found a string\n");
}

}  // namespace
