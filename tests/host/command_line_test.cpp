#include "platform/host/command_line.hpp"
#include "tolvex/extension/tolvex_widget_bundle.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

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
  const int status = host::runCommandLine(static_cast<int>(args.size()), args.data(),
                                          tolvex::registeredActivities, {}, in, out, err);
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
      {{"validate", "--type", "SignLiveActivityAttributes"},
       R"( {"taskId" : "t"} )",
       0,
       "{\"taskId\":\"t\"}\n",
       ""},
      {{"validate", "--type", kSignState, "-"},
       R"({"appName":"A","detailText":"","statusText":"s","progress":1})",
       0,
       "{\"progress\":1,\"statusText\":\"s\",\"appName\":\"A\",\"detailText\":\"\"}\n",
       ""},
      {{"validate", "--type", "DownloadLiveActivityAttributes"},
       "{}",
       1,
       "",
       "error: keyNotFound: \"taskId\": no value for this key\n"},
      {{"validate", "--type", "DownloadLiveActivityAttributes", "--json"},
       "{}",
       1,
       R"({"ok": false, "error": {"kind": "keyNotFound", "key": "taskId", "path": ["taskId"], "message": "no value for this key"}, "warnings": []})"
       "\n",
       ""},
      {{"validate", "--json", "--type", "SignLiveActivityAttributes"},
       R"({"taskId":"\u00e9"})",
       0,
       "{\"ok\": true, \"record\": {\"taskId\":\"\u00e9\"}, \"warnings\": []}\n",
       ""},
      {{"validate", "--type", "SignLiveActivityAttributes", "--json"},
       "{\"taskId\":1} x",
       1,
       R"({"ok": false, "error": {"kind": "dataCorrupted", "key": null, "path": [], "message": "invalid JSON at line 1, column 14: unexpected content after the document"}, "warnings": []})"
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

// One input of each kind of warning: the record is still printed, and the warning goes to
// stderr, or into the JSON object's warnings.
TEST(ValidateCommand, PrintsWhatDecodesButIsSurelyWrongAsWarnings) {
  const auto state = [](const std::string& progress, const std::string& extra = "") {
    return R"({"progress":)" + progress + R"(,"statusText":"s","appName":"A","detailText":"d")" +
           extra + "}";
  };
  const auto update = [&](int timestamp, const std::string& progress) {
    return R"({"aps":{"event":"update","timestamp":)" + std::to_string(timestamp) +
           R"(,"content-state":)" + state(progress) + "}}";
  };
  const std::string start =
      R"({"aps":{"event":"start","timestamp":1700000000,"attributes-type":"SignLiveActivityAttributes","attributes":{"taskId":"t"},"content-state":)" +
      state("0") + R"(,"alert":"Signing"}})";
  const struct {
    std::vector<const char*> args;
    std::string input;
    std::string err;
  } cases[] = {
      {{"validate", "--type", kSignState},
       state("50"),
       "warning: \"progress\": 50 reads as a percent, but the views take a fraction from 0 to 1: "
       "the bar is drawn full (50% is 0.5)\n"},
      {{"validate", "--type", kSignState},
       state("0.5", R"(,"status_code":"failed")"),
       "warning: \"status_code\": no member of the record is named so, and it is ignored; did you "
       "mean \"statusCode\"? That optional member is then absent, and the views show their "
       "fallback for it\n"},
      {{"validate", "--type", kSignState},
       state("0.5", R"(,"appIconBase64":"https://example.com/icon.png")"),
       "warning: \"appIconBase64\": not base64 (standard alphabet, padded to a multiple of four): "
       "the views show no image from it, and their fallback\n"},
      {{"validate"},
       start + std::string(4000, ' '),
       "warning: the payload takes " + std::to_string(start.size() + 4000) +
           " bytes, more than the 4096 the push service takes for a Live Activity push: it "
           "answers 413 PayloadTooLarge and no phone gets it\n"},
      {{"validate"},
       start + "\n" + update(1700000100, "0.2") + "\n" + update(1700000050, "0.3") + "\n",
       "warning: line 3: \"aps.timestamp\": 1700000050 is older than 1700000100, the newest the "
       "activity has taken: the phone ignores this push\n"},
  };
  for (const auto& c : cases) {
    const Outcome r = run(c.args, c.input);
    EXPECT_EQ(r.status, 0) << c.input;
    EXPECT_FALSE(r.out.empty()) << c.input;
    EXPECT_EQ(r.err, c.err) << c.input;
  }
  const Outcome json = run({"validate", "--json", "--type", kSignState}, state("-1"));
  EXPECT_EQ(
      json.out,
      R"({"ok": true, "record": {"progress":-1,"statusText":"s","appName":"A","detailText":"d"}, "warnings": [{"line": null, "member": "progress", "message": "-1 lies outside 0 to 1: the bar is drawn clamped, empty"}]})"
      "\n");
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

constexpr const char* kSignInput =
    R"({"progress":0.42,"statusText":"Signing","appName":"Demo","detailText":"d"})";

TEST(TreeCommand, PrintsTheAskedPresentation) {
  const struct {
    const char* presentation;
    std::string out;
  } cases[] = {
      {"compact-trailing", "Text(verbatim: \"42%\")\n  .font(.footnote.monospacedDigit())\n"},
      {"minimal", "Text(verbatim: \"...\")\n  .font(.caption2)\n"},
      {"compact-leading", "Text(verbatim: \"...\")\n  .font(.footnote)\n"},
  };
  for (const auto& c : cases) {
    const Outcome r =
        run({"tree", "--type", kSignState, "--presentation", c.presentation}, kSignInput);
    EXPECT_EQ(r.status, 0) << c.presentation << r.err;
    EXPECT_EQ(r.out, c.out) << c.presentation;
  }
  const Outcome all = run({"tree", "--type", kSignState}, kSignInput);
  const Outcome lockScreen =
      run({"tree", "--type", kSignState, "--presentation", "lockscreen"}, kSignInput);
  const Outcome island =
      run({"tree", "--type", kSignState, "--presentation", "island"}, kSignInput);
  EXPECT_EQ(all.out, lockScreen.out + island.out);
  EXPECT_EQ(lockScreen.out.rfind("VStack(alignment: .leading, spacing: 8)", 0), 0u);
  EXPECT_EQ(island.out.rfind("DynamicIsland\n", 0), 0u);
  const Outcome expanded =
      run({"tree", "--type", kSignState, "--presentation", "expanded"}, kSignInput);
  EXPECT_EQ(expanded.out.rfind("DynamicIslandExpandedRegion(.center, priority: 0)\n  HStack", 0),
            0u);
}

TEST(TreeCommand, RefusesWhatHasNoPresentations) {
  EXPECT_EQ(run({"tree", "--type", "SignLiveActivityAttributes"}, R"({"taskId":"t"})").status,
            host::exitUsage);
  EXPECT_EQ(run({"tree", "--type", kSignState, "--presentation", "sideways"}, kSignInput).status,
            host::exitUsage);
  const Outcome bad = run({"tree", "--type", kSignState}, R"({"progress":"1"})");
  EXPECT_EQ(bad.status, host::exitRejected);
  EXPECT_EQ(bad.err, "error: typeMismatch: \"progress\": expected a number, found a string\n");
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
    if (type.find("ContentState") == std::string::npos) continue;
    const Outcome tree = runExecutable("tree --type " + type + " " + dir + "/" + file);
    EXPECT_EQ(tree.status, 0) << file << ": " << tree.out;
    EXPECT_NE(tree.out.find("\nDynamicIsland\n"), std::string::npos) << file;
  }
  for (const char* file : {"sign-activity.json", "download-push-start.json", "sign-timeline.jsonl",
                           "download-timeline.jsonl"}) {
    const Outcome r = runExecutable("validate " + dir + "/" + file);
    EXPECT_EQ(r.status, 0) << file << ": " << r.out;
    const Outcome tree = runExecutable("tree --presentation minimal " + dir + "/" + file);
    EXPECT_EQ(tree.status, 0) << file << ": " << tree.out;
  }
  EXPECT_EQ(runExecutable("validate " + dir + "/download-push-update.json").status, 1);
  EXPECT_EQ(runExecutable("validate --type DownloadLiveActivityAttributes " + dir +
                          "/download-push-update.json")
                .status,
            0);
  const Outcome bad = runExecutable("validate --type DownloadLiveActivityAttributes.ContentState " +
                                    dir + "/download-state-bad.json");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "error: typeMismatch: \"progress\": expected a number, found a string\n");
}

TEST(RenderCommand, RefusesUnknownChoicesAndFormatsBeforeWritingAnything) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "tolvex-render-usage";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string out = (dir / "out").string();
  const struct {
    std::vector<std::string> args;
    std::string says;  // part of the message: the valid values, or why the format is unclear
  } cases[] = {
      {{"--presentation", "sideways", "-o", out + ".png"}, "compact-trailing"},
      {{"--appearance", "dim", "-o", out + ".png"}, "both"},
      {{"--device", "iphone-13", "-o", out + ".png"}, "iphone-15-pro-max"},
      {{"--format", "jpg", "-o", out + ".png"}, "pdf"},
      {{"-o", out + ".jpg"}, ".png, .svg or .pdf"},
      {{"--format", "svg", "-o", out + ".png"}, "contradicts"},
      {{"-o", out}, "--format png, svg or pdf"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> args{"render", "--type", kSignState};
    for (const auto& arg : c.args) args.push_back(arg.c_str());
    const Outcome outcome = run(args, kSignInput);
    EXPECT_EQ(outcome.status, host::exitUsage) << c.args.back();
    EXPECT_NE(outcome.err.find(c.says), std::string::npos) << outcome.err;
  }
  EXPECT_TRUE(fs::is_empty(dir));
  fs::remove_all(dir);
}

TEST(Executable, RendersEveryInputFormAndTheDemo) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "tolvex-render-e2e";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string examples = TOLVEX_EXAMPLES_DIR;
  const auto starts = [](const fs::path& file, std::string_view magic) {
    std::ifstream in(file, std::ios::binary);
    std::string head(magic.size(), '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    return head == magic;
  };
  EXPECT_EQ(runExecutable("render -o " + (dir / "a.png").string() + " " + examples +
                          "/sign-activity.json")
                .status,
            0);
  EXPECT_TRUE(starts(dir / "a.png", "\x89PNG"));
  EXPECT_EQ(runExecutable("render --presentation minimal --appearance dark --scale 1 -o " +
                          (dir / "b.svg").string() + " " + examples + "/download-push-start.json")
                .status,
            0);
  EXPECT_TRUE(starts(dir / "b.svg", "<?xml"));
  EXPECT_EQ(runExecutable("render --type SignLiveActivityAttributes.ContentState --format pdf -o " +
                          (dir / "c.pdf").string() + " " + examples + "/sign-state-icon.json")
                .status,
            0);
  EXPECT_TRUE(starts(dir / "c.pdf", "%PDF"));
  const Outcome timeline =
      runExecutable("render --presentation lockscreen -o " + (dir / "t.png").string() + " " +
                    examples + "/download-timeline.jsonl 2>/dev/null");
  EXPECT_EQ(timeline.status, 0);
  // Four lines, one of them an update that changes nothing: three frames.
  EXPECT_TRUE(fs::exists(dir / "t-003.png"));
  EXPECT_FALSE(fs::exists(dir / "t-004.png"));
  EXPECT_EQ(
      runExecutable("render -o /nonexistent/dir/x.png " + examples + "/sign-activity.json").status,
      3);

  const Outcome demo = runExecutable("demo -o " + (dir / "demo").string() + " 2>/dev/null");
  EXPECT_EQ(demo.status, 0);
  EXPECT_NE(demo.out.find("index.html"), std::string::npos);
  std::size_t pngs = 0;
  for (const auto& entry : fs::directory_iterator(dir / "demo")) {
    if (entry.path().extension() == ".png") ++pngs;
  }
  EXPECT_GE(pngs, 8u);
  fs::remove_all(dir);
}

TEST(Executable, RegistersTheActivitiesFromIOS16Point1) {
  const std::string both = "DownloadLiveActivityAttributes\nSignLiveActivityAttributes\n";
  EXPECT_EQ(runExecutable("types 2>/dev/null").out, both);
  EXPECT_EQ(runExecutable("--system-version 16.1.0 types 2>/dev/null").out, both);
  EXPECT_EQ(runExecutable("--system-version=17.4 types 2>/dev/null").out, both);
  const Outcome old = runExecutable("--system-version 16.0.9 types");
  EXPECT_EQ(old.status, 0);
  EXPECT_EQ(old.out, "note: no activity types are registered on iOS 16.0.9\n");
  const Outcome rejected = runExecutable("--system-version 16.0.9 validate " +
                                         std::string(TOLVEX_EXAMPLES_DIR) + "/sign-activity.json");
  EXPECT_EQ(rejected.status, 1);
  EXPECT_NE(rejected.out.find("error: unavailable: \"attributes-type\": no activity types are "
                              "registered on iOS 16.0.9"),
            std::string::npos)
      << rejected.out;
  EXPECT_EQ(runExecutable("--system-version 16.x types").status, 2);
}

}  // namespace
