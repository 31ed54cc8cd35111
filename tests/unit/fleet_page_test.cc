// The fleet page's verdicts and its escaping, the machines expected and the
// results' age (the reading of each engine's results: fleet_input_test.cc).
// The page in a browser is tested as a person uses it (tests/browser) and
// end to end
// (tests/e2e/test_fleet_page.py).
#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_page.h"
#include "fleet_page/fleet_run.h"
#include "fleet_page/fleet_expect.h"
#include "fleet_page_assets.h"
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
            page.find(">&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39; x=\xC2\xA0PENDING"));
  EXPECT_NE(std::string::npos, page.find("\nPC-03&lt;U+0001&gt;&lt;0xFF&gt;\xC2\xA0"));
  // A result's own command is shown once, as text without a button to
  // copy it, with both machines' names.
  const std::string command = "<p>Not the check's: <code>devcon -f remove &quot;@USB\\1&quot; "
                              "&amp; del &lt;x&gt;</code></p>\n<p>On 2 machines:</p>\n"
                              "<pre class=\"names\" tabindex=\"0\" role=\"region\" "
                              "aria-label=\"2 machines: not the check&#39;s command, devcon -f "
                              "remove &quot;@USB\\1&quot; &amp; del &lt;x&gt;\">"
                              "&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39; x=\n"
                              "PC-02\n</pre>";
  EXPECT_NE(std::string::npos, page.find(command)) << page;
  EXPECT_EQ(std::string::npos, page.find("<pre class=\"command\">"));
  EXPECT_NE(std::string::npos, page.find("<h2>Reboot (1 machine)</h2>"));
  // The JSON block ends where the page ends it, whatever a description holds.
  std::size_t ends = 0;
  for (std::size_t at = page.find("</script>"); at != std::string::npos;
       at = page.find("</script>", at + 1)) {
    ++ends;
  }
  EXPECT_EQ(2u, ends);
  EXPECT_NE(std::string::npos, page.find("\\u003cimg src=x onerror=alert(2)>"));

  // The policy allows the page's own script and style by their hashes, and
  // nothing else (the browser tests find the hashes right: the table shows).
  const std::size_t script = page.find("<script>") + 8;
  const std::size_t style = page.find("<style>") + 7;
  EXPECT_EQ(kPageScript, page.substr(script, page.find("</script>", script) - script));
  EXPECT_EQ(kPageStyle, page.substr(style, page.find("</style>") - style));
  EXPECT_NE(std::string::npos, page.find("default-src 'none'; script-src 'sha256-" +
                                         std::string(kPageScriptHash) + "'; style-src 'sha256-" +
                                         kPageStyleHash + "';"));
}

TEST(FleetPage, ExpectedMachinesAgeFlagsAndWhatWasNotReadAreShown) {
  const ExpectedList list = ReadExpected(
      "\xEF\xBB\xBFpc-01\r\n  PC-02 ansible_host=10.0.0.2\n# a comment\n[web]\n\n;x\n"
      "pc-04\n[web:vars]\nansible_port = 5986\n[all:children]\nweb\n[db]\npc-04\n",
      "hosts");
  const std::vector<std::string>& expected = list.names;
  EXPECT_EQ((std::vector<std::string>{"pc-01", "PC-02", "pc-04", "pc-04"}), expected);
  EXPECT_TRUE(list.unread.empty());

  std::vector<MachineResult> results(3);
  const char* names[] = {"PC-01", "PC-03", "PC-02"};
  const long long made = ParseIsoTime("2026-12-08T12:00:00Z");
  const char* times[] = {"2026-12-01T12:00:00Z", "2026-11-30T11:59:59Z", ""};
  for (std::size_t i = 0; i < results.size(); ++i) {
    results[i].machine = names[i];
    results[i].has_verdict = true;
    results[i].verdict = Verdict::kClean;
    results[i].checked_at = times[i];
    results[i].time = ParseIsoTime(times[i]);
  }
  results[2].flags.emplace_back("the document names PC-2");
  std::vector<FleetMachine> machines = GroupByMachine(results, made);
  std::deque<MachineResult> placeholders;
  ApplyExpected(expected, &placeholders, &machines);

  ASSERT_EQ(4u, machines.size());
  const char* order[] = {"PC-01", "PC-02", "PC-03", "pc-04"};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(order[i], machines[i].name);
  EXPECT_TRUE(machines[0].flags.empty());
  EXPECT_EQ(std::vector<std::string>{"not expected"}, machines[2].flags);
  EXPECT_FALSE(machines[3].counted->has_verdict);
  EXPECT_EQ("never reported", machines[3].counted->problem);

  PageFacts facts;
  facts.made_at = made;
  facts.inputs = {"results", "more.csv"};
  facts.unread.push_back({"more.csv", 12, "a row longer than 1 MiB"});
  facts.expected = 3;
  // Seven days old is not yet stale; eight is.
  EXPECT_FALSE(IsStale(*machines[0].counted, facts));
  EXPECT_TRUE(IsStale(*machines[2].counted, facts));
  EXPECT_FALSE(IsStale(*machines[1].counted, facts));  // time not known

  const std::string page = FleetPage(machines, facts);
  for (const char* shown : {
           "Made <time>2026-12-08T12:00:00Z</time> from 2 inputs: <code>results</code>, "
           "<code>more.csv</code>.",
           "1 result is stale", "2 machines are flagged", "1 input was not read whole",
           "3 machines were expected: 1 never reported, 1 reported without being expected.",
           "<li><code>more.csv</code>, line 12: a row longer than 1 MiB</li>",
           "<p>never reported</p>\n<p>On 1 machine:</p>\n<pre class=\"names\" data-list=\"no-result\" "
           "tabindex=\"0\" role=\"region\" aria-label=\"1 machine: Machines without a "
           "result, never reported\">pc-04\n</pre>",
           // Every machine's line, plain text: a no-break space after its name
           // and before its flags.
           "<pre class=\"lines\">PC-01\xC2\xA0" "CLEAN, ",
           "\nPC-02\xC2\xA0" "CLEAN, time not known;\xC2\xA0" "the document names PC-2\n"
           "PC-03\xC2\xA0" "CLEAN, 2026-11-30T11:59:59Z, 8 days old;\xC2\xA0" "stale; not "
           "expected\npc-04\xC2\xA0" "NO RESULT: never reported\n</pre>",
       }) {
    EXPECT_NE(std::string::npos, page.find(shown)) << shown;
  }
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
  EXPECT_NE(std::string::npos, ReadFile("kovex-fleet.html").find("\npc\xC2\xA0" "CLEAN"));
  WriteFile("machines.txt", "pc\nPC-09\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, RunFleet({"--expect", "machines.txt", "--stale-after", "0", "pc.json"}));
  EXPECT_EQ("2 machines: 1 CLEAN, 0 NOT CLEAN, 0 PENDING, 0 UNKNOWN, 1 NO RESULT\n",
            testing::internal::GetCapturedStdout());
  EXPECT_NE(std::string::npos, ReadFile("kovex-fleet.html").find("1 result is stale"));

  struct Bad {
    std::vector<std::string> arguments;
    const char* says;
  };
  const Bad bad[] = {
      {{}, "no PATH given"},
      {{"--out"}, "--out needs a file name"},
      {{"--expect", "no-such-list.txt", "pc.json"}, "expected machines cannot be read"},
      {{"--stale-after", "-1", "pc.json"}, "--stale-after needs a whole number"},
      {{"--stale-after"}, "--stale-after needs a whole number"},
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
