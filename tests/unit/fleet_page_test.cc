// The fleet page's verdicts and its escaping (the reading of each engine's
// results: fleet_input_test.cc). The page in a browser is tested end to end
// (tests/e2e/test_fleet_page.py).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_page.h"
#include "fleet_page/fleet_run.h"
#include "fleet_page/sha256.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"

namespace {

class FleetPageTest : public FakeSystemTest {};

const char kClean[] =
    R"({"clean":true,"complete":true,"traces":[],"unchecked":[],"attached":[],)"
    R"("computer":"PC-01","checked_at":"2026-12-08T04:11:29Z","version":"1.0.0"})";

}  // namespace

TEST(FleetPage, HostileTextIsShownAsTextAndOnlyTheOwnScriptMayRun) {
  std::vector<MachineResult> results(3);
  for (MachineResult& result : results) result.has_verdict = true;
  results[0].machine = "<script>alert(1)</script>\"' x=";
  results[0].traces.push_back({"device", "USB\\1", "<img src=x onerror=alert(2)>",
                               "devcon -f remove \"@USB\\1\" & del <x>", false});
  results[0].verdict = Verdict::kPending;
  results[1].machine = "PC-02";
  results[1].traces = results[0].traces;
  results[1].traces.push_back({"device", "USB\\2", "R", "", true});
  results[1].verdict = Verdict::kPending;
  results[2].machine = "PC-03\x01\xFF";

  const std::string page = FleetPage(GroupByMachine(results, kUnknownTime), PageFacts());

  EXPECT_EQ(std::string::npos, page.find("<img")) << page;
  EXPECT_EQ(std::string::npos, page.find("<script>alert"));
  EXPECT_NE(std::string::npos,
            page.find("data-machine=\"&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39; x=\""));
  EXPECT_NE(std::string::npos, page.find("data-machine=\"PC-03\xEF\xBF\xBD\xEF\xBF\xBD\""));
  // The shared command is shown once, with both machines.
  const std::string command = "<pre><code>devcon -f remove &quot;@USB\\1&quot; &amp; del "
                              "&lt;x&gt;</code></pre>\n<p class=\"machines-of\">2 machines:";
  EXPECT_NE(std::string::npos, page.find(command)) << page;
  EXPECT_EQ(page.find(command), page.rfind("<pre><code>devcon"));
  EXPECT_NE(std::string::npos, page.find("<h2>Must reboot (1 machine)</h2>"));

  // The policy allows the page's own script and style by their hashes, and
  // nothing else.
  const std::size_t script = page.find("<script>") + 8;
  const std::size_t style = page.find("<style>") + 7;
  EXPECT_NE(std::string::npos,
            page.find("default-src 'none'; script-src 'sha256-" +
                      Sha256Base64(page.substr(script, page.find("</script>") - script)) +
                      "'; style-src 'sha256-" +
                      Sha256Base64(page.substr(style, page.find("</style>") - style)) + "';"));
  EXPECT_EQ("ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=", Sha256Base64("abc"));
  EXPECT_EQ("47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=", Sha256Base64(""));
}

TEST_F(FleetPageTest, CommandLineWritesThePageOrSaysWhyNot) {
  WriteFile("pc.json", kClean);
  WriteFile("bad.json", "{");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, RunFleet({"pc.json", "bad.json"}));
  EXPECT_EQ("2 machines: 1 CLEAN, 0 NOT CLEAN, 0 PENDING, 0 UNKNOWN, 1 NO RESULT\n",
            testing::internal::GetCapturedStdout());
  EXPECT_EQ("kovex-deepclean-fleet: bad.json: not read: not JSON\n"
            "kovex-deepclean-fleet: bad.json: NO RESULT: not JSON\n",
            testing::internal::GetCapturedStderr());
  EXPECT_NE(std::string::npos, ReadFile("kovex-fleet.html").find("data-machine=\"pc\""));

  struct Bad {
    std::vector<std::string> arguments;
    const char* says;
  };
  const Bad bad[] = {
      {{}, "no PATH given"},
      {{"--out"}, "--out needs a file name"},
      {{"--verbose", "pc.json"}, "unknown option '--verbose'"},
      {{"--out", "no/such/folder/page.html", "pc.json"}, "cannot be written"},
  };
  for (const Bad& call : bad) {
    SCOPED_TRACE(call.says);
    testing::internal::CaptureStderr();
    EXPECT_EQ(2, RunFleet(call.arguments));
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find(call.says));
  }
}
