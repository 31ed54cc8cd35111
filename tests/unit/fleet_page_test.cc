// The fleet page's reading of each engine's results, its verdicts and its
// escaping, the machines expected and the results' age. The page in a
// browser is tested as a person uses it (tests/browser) and end to end
// (tests/e2e/test_fleet_page.py).
#include <cstdio>
#include <deque>
#include <filesystem>
#include <sstream>
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

TEST_F(FleetPageTest, EachKindOfInputGetsItsVerdictOrNoResultWithItsReason) {
  struct Input {
    const char* file;
    std::string bytes;
    const char* verdict;
    const char* machine;
    const char* problem;  // part of the reason for a NO RESULT
  };
  const std::string reboot =
      R"({"clean":false,"complete":true,"unchecked":[],"traces":[{"kind":"device",)"
      R"("id":"USB\\VID_3F7C\\1","description":"R","awaits_reboot":true}]})";
  const std::string manual =
      R"({"clean":false,"complete":true,"unchecked":[],"traces":[{"kind":"device",)"
      R"("id":"HID\\QZV\\2","description":"","awaits_reboot":false,"manual_removal":"devcon"}]})";
  const std::string removable_and_unchecked =
      R"({"clean":false,"complete":false,"traces":[{"kind":"driver-file","id":"a.sys",)"
      R"("description":"","awaits_reboot":false}],"unchecked":[{"check":"devices","reason":"x"}]})";
  const std::string unchecked =
      R"({"clean":false,"complete":false,"traces":[],"unchecked":[{"check":"devices","reason":"x"}]})";
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string(kClean)) utf16 += std::string(1, c) + '\0';
  const Input inputs[] = {
      {"named.json", kClean, "CLEAN", "PC-01", ""},
      {"pc-02.json", R"({"clean":true,"complete":true,"traces":[],"unchecked":[]})", "CLEAN",
       "pc-02", ""},
      {"reboot.json", reboot, "PENDING", "reboot", ""},
      {"manual.json", manual, "PENDING", "manual", ""},
      {"both.json", removable_and_unchecked, "NOT CLEAN", "both", ""},
      {"unknown.json", unchecked, "UNKNOWN", "unknown", ""},
      {"powershell.json", utf16, "CLEAN", "PC-01", ""},
      {"marked.json", "\xEF\xBB\xBF" + std::string(kClean), "CLEAN", "PC-01", ""},
      {"cut.json", std::string(kClean).substr(0, 40), "NO RESULT", "cut", "not JSON"},
      {"other.json", R"({"clean":true,"traces":{}})", "NO RESULT", "other",
       "not a check document"},
      {"list.json", "[1,2]", "NO RESULT", "list", "not a check document"},
      {"huge.json", std::string(kDocumentByteLimit + 1, ' '), "NO RESULT", "huge",
       "larger than 4 MiB"},
      {"notes.txt", kClean, "NO RESULT", "notes", "neither a .json nor a .csv"},
      {"empty.csv", "", "NO RESULT", "empty", "an empty file"},
      {"other.csv", "name,state\nPC-09,ok\n", "NO RESULT", "other",
       "neither the collector's CSV nor a Remediations export (its columns: name, state)"},
  };
  std::vector<InputProblem> unread;
  for (const Input& input : inputs) {
    SCOPED_TRACE(input.file);
    WriteFile(input.file, input.bytes);
    std::vector<MachineResult> results;
    ReadPath(input.file, &results, &unread);
    ASSERT_EQ(1u, results.size());
    EXPECT_STREQ(input.verdict, PageVerdictName(results[0]));
    EXPECT_EQ(input.machine, results[0].machine);
    EXPECT_NE(std::string::npos, results[0].problem.find(input.problem)) << results[0].problem;
  }

  std::vector<MachineResult> results;
  ReadPath("missing.json", &results, &unread);
  ASSERT_EQ(1u, results.size());
  EXPECT_EQ("it cannot be opened", results[0].problem);

  // A folder: its documents whatever the case of their extension, nothing else.
  std::filesystem::create_directory("docs");
  WriteFile("docs/b.JSON", kClean);
  WriteFile("docs/a.json", "{");
  WriteFile("docs/c.csv", "machine,status,kind\nPC-09,0,\n");
  results.clear();
  ReadPath("docs", &results, &unread);
  ASSERT_EQ(2u, results.size());
  EXPECT_EQ("a", results[0].machine);
  EXPECT_EQ("PC-01", results[1].machine);
}

TEST(ReadCsv, CollectorRowsBecomeOneResultPerMachine) {
  // Export-Csv's quoting and mark, columns in another case and order, one
  // the reader does not know, a field over two lines.
  std::istringstream csv(
      "\xEF\xBB\xBF\"Machine\",\"Status\",\"Clean\",\"Complete\",\"Kind\",\"ID\","
      "\"Description\",\"Awaits Reboot\",\"manual_removal\",\"Unchecked\",\"checked_at\","
      "\"extra\"\r\n"
      "\"PC-01\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"x\"\r\n"
      "\"PC-02\",\"1\",\"False\",\"True\",\"device\",\"HID\\QZV\\2\",\"Pad, \"\"big\"\"\r\nline\","
      "\"False\",\"devcon -f remove \"\"@HID\\QZV\\2\"\"\",\"\",\"2026-12-08T04:11:29Z\",\"\"\r\n"
      "\"PC-02\",\"1\",\"False\",\"True\",\"device\",\"USB\\VID_3F7C\\1\",\"R\",\"True\",\"\","
      "\"\",\"2026-12-08T04:11:29Z\",\"\"\r\n"
      "\"PC-03\",\"2\",\"False\",\"False\",\"\",\"\",\"\",\"\",\"\","
      "\"devices: devcon failed; twice; driver-files: access denied\",\"\",\"\"\r\n"
      "\"PC-04\",\"unreachable\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"WinRM cannot connect\","
      "\"\",\"\"\r\n"
      "\"PC-05\",\"3\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
  const std::vector<MachineResult> results = ReadCsv(csv, "kovex.csv");

  ASSERT_EQ(5u, results.size());
  EXPECT_STREQ("CLEAN", PageVerdictName(results[0]));
  EXPECT_STREQ("PENDING", PageVerdictName(results[1]));
  ASSERT_EQ(2u, results[1].traces.size());
  EXPECT_EQ("Pad, \"big\"\r\nline", results[1].traces[0].description);
  EXPECT_EQ("devcon -f remove \"@HID\\QZV\\2\"", results[1].traces[0].manual_removal);
  EXPECT_TRUE(results[1].traces[1].awaits_reboot);
  EXPECT_EQ("2026-12-08T04:11:29Z", results[1].checked_at);
  EXPECT_STREQ("UNKNOWN", PageVerdictName(results[2]));
  ASSERT_EQ(2u, results[2].unchecked.size());
  EXPECT_EQ("devcon failed; twice", results[2].unchecked[0].reason);
  EXPECT_EQ("driver-files", results[2].unchecked[1].check);
  EXPECT_STREQ("NO RESULT", PageVerdictName(results[3]));
  EXPECT_EQ("the collector's status is \"unreachable\": WinRM cannot connect",
            results[3].problem);
  EXPECT_STREQ("NO RESULT", PageVerdictName(results[4]));
  EXPECT_EQ("kovex.csv, row 7", results[4].source);
}

TEST(ReadCsv, RemediationsExportIsReadFromTheDetectionOutput) {
  // Graph's property names in one export, the admin center's display names
  // in the other.
  for (const char* header :
       {"id,deviceName,preRemediationDetectionScriptOutput,lastStateUpdateDateTime",
        "Id, Device name ,Pre-remediation detection output,Last run"}) {
    SCOPED_TRACE(header);
    std::istringstream csv(
        std::string(header) +
        "\n1,PC-01,CLEAN: nothing of Kovex's drivers is left,2026-12-08T05:11:29+01:00\n"
        "2,PC-02,\"NOT CLEAN: the cleanup removes driver-file a.sys; registry-key K | reboot "
        "to finish removing device USB\\VID_3F7C\\1 | remove by hand: devcon -f remove "
        "\"\"@HID\\QZV\\2\"\" | not checked: registry-keys: access denied\",\n"
        "3,PC-03,PENDING: nothing the cleanup removes | remove by hand: devcon -f rem...,\n"
        "4,PC-04,,\n"
        "5,PC-05,Script error,\n");
    const std::vector<MachineResult> results = ReadCsv(csv, "export.csv");

    ASSERT_EQ(5u, results.size());
    EXPECT_STREQ("CLEAN", PageVerdictName(results[0]));
    EXPECT_EQ("2026-12-08T04:11:29Z", results[0].checked_at);
    EXPECT_STREQ("NOT CLEAN", PageVerdictName(results[1]));
    ASSERT_EQ(4u, results[1].traces.size());
    EXPECT_EQ("registry-key", results[1].traces[1].kind);
    EXPECT_EQ("K", results[1].traces[1].id);
    EXPECT_TRUE(results[1].traces[2].awaits_reboot);
    EXPECT_EQ("devcon -f remove \"@HID\\QZV\\2\"", results[1].traces[3].manual_removal);
    ASSERT_EQ(1u, results[1].unchecked.size());
    EXPECT_EQ("access denied", results[1].unchecked[0].reason);
    EXPECT_STREQ("PENDING", PageVerdictName(results[2]));
    EXPECT_TRUE(results[2].cut);
    EXPECT_STREQ("NO RESULT", PageVerdictName(results[3]));
    EXPECT_STREQ("NO RESULT", PageVerdictName(results[4]));
    EXPECT_EQ("PC-05", results[4].machine);
  }
}

TEST(GroupByMachine, NewestResultCountsAndTheOthersAreNamedUnderIt) {
  std::vector<MachineResult> results(5);
  const char* names[] = {"PC-01", "pc-01", "Pc-01", "PC-02", "PC-02"};
  const char* times[] = {"2026-12-08T04:00:00Z", "2026-12-08T05:00:00Z", "", "", ""};
  for (std::size_t i = 0; i < results.size(); ++i) {
    results[i].machine = names[i];
    results[i].time = ParseIsoTime(times[i]);
    results[i].has_verdict = true;
    results[i].verdict = Verdict::kClean;
  }
  results[1].verdict = Verdict::kPending;
  results[2].has_verdict = false;  // a broken file: no time, no verdict
  results[4].has_verdict = false;  // read later, but without a verdict

  const std::vector<FleetMachine> machines = GroupByMachine(results);

  ASSERT_EQ(2u, machines.size());
  EXPECT_EQ("pc-01", machines[0].name);
  EXPECT_EQ(&results[1], machines[0].counted);
  EXPECT_EQ((std::vector<const MachineResult*>{&results[0], &results[2]}), machines[0].others);
  EXPECT_EQ(&results[3], machines[1].counted);
  EXPECT_EQ("2 machines: 1 CLEAN, 0 NOT CLEAN, 1 PENDING, 0 UNKNOWN, 0 NO RESULT",
            SummaryLine(machines));
}

TEST(ParseIsoTime, ReadsUtcOffsetsAndFractionsAndRejectsTheRest) {
  const long long at = 1796703089;  // 2026-12-08T04:11:29Z
  EXPECT_EQ(at, ParseIsoTime("2026-12-08T04:11:29Z"));
  EXPECT_EQ(at, ParseIsoTime("2026-12-08T06:11:29.1234567+02:00"));
  EXPECT_EQ(at, ParseIsoTime("2026-12-07T23:11:29-0500"));
  EXPECT_EQ(at, ParseIsoTime("2026-12-08 04:11:29"));
  EXPECT_EQ("2026-12-08T04:11:29Z", FormatIsoTime(at));
  EXPECT_EQ("2024-02-29T00:00:00Z", FormatIsoTime(ParseIsoTime("2024-02-29T00:00:00Z")));
  for (const char* bad : {"", "12/8/2026 4:11 AM", "2026-13-08T04:11:29Z",
                          "2026-12-08T04:11:29Zjunk", "2026-12-08"}) {
    EXPECT_EQ(kUnknownTime, ParseIsoTime(bad)) << bad;
  }
}

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

  const std::string page = FleetPage(GroupByMachine(results), PageFacts());

  EXPECT_EQ(std::string::npos, page.find("<img")) << page;
  EXPECT_EQ(std::string::npos, page.find("<script>alert"));
  EXPECT_NE(std::string::npos,
            page.find("data-machine=\"&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39; x=\""));
  EXPECT_NE(std::string::npos, page.find("data-machine=\"PC-03\xEF\xBF\xBD\xEF\xBF\xBD\""));
  // The shared command is shown once, with both machines' names to copy.
  const std::string command = "<pre class=\"command\"><code>devcon -f remove &quot;@USB\\1&quot; "
                              "&amp; del &lt;x&gt;</code></pre>\n<p>On 2 machines:</p>\n"
                              "<pre class=\"names\">&lt;script&gt;alert(1)&lt;/script&gt;&quot;"
                              "&#39; x=\nPC-02\n</pre>";
  EXPECT_NE(std::string::npos, page.find(command)) << page;
  EXPECT_EQ(page.find(command), page.rfind("<pre class=\"command\">"));
  EXPECT_NE(std::string::npos, page.find("<h2>Reboot (1 machine)</h2>"));
  // The JSON blocks end where the page ends them, whatever a name holds.
  std::size_t ends = 0;
  for (std::size_t at = page.find("</script>"); at != std::string::npos;
       at = page.find("</script>", at + 1)) {
    ++ends;
  }
  EXPECT_EQ(3u, ends);
  EXPECT_NE(std::string::npos, page.find("\\u003cscript>alert(1)\\u003c/script>"));

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
  std::istringstream list(
      "\xEF\xBB\xBFpc-01\r\n  PC-02 ansible_host=10.0.0.2\n# a comment\n[web]\n\n;x\n"
      "pc-04\n[web:vars]\nansible_port = 5986\n[all:children]\nweb\n[db]\npc-04\n");
  const std::vector<std::string> expected = ReadExpected(list);
  EXPECT_EQ((std::vector<std::string>{"pc-01", "PC-02", "pc-04", "pc-04"}), expected);

  std::vector<MachineResult> results(3);
  const char* names[] = {"PC-01", "PC-03", "PC-02"};
  const long long made = ParseIsoTime("2026-12-08T12:00:00Z");
  const char* times[] = {"2026-12-01T12:00:00Z", "2026-12-01T11:59:59Z", ""};
  for (std::size_t i = 0; i < results.size(); ++i) {
    results[i].machine = names[i];
    results[i].has_verdict = true;
    results[i].verdict = Verdict::kClean;
    results[i].checked_at = times[i];
    results[i].time = ParseIsoTime(times[i]);
  }
  results[2].flags.emplace_back("the document names PC-2");
  std::vector<FleetMachine> machines = GroupByMachine(results);
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
  // Seven days to the second is not yet stale; a second more is.
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
           "<p>never reported</p>\n<p>On 1 machine:</p>\n<pre class=\"names\">pc-04\n</pre>",
           "<li id=\"m-pc-03\" data-machine=\"PC-03\" data-verdict=\"CLEAN\"><bdi>PC-03</bdi> "
           "CLEAN, 2026-12-01T11:59:59Z, 7 days old; stale; not expected</li>",
           "<bdi>PC-02</bdi> CLEAN, time not known; the document names PC-2</li>",
           "data-machine=\"pc-04\" data-verdict=\"NO RESULT\"><bdi>pc-04</bdi> NO RESULT: never "
           "reported</li>",
       }) {
    EXPECT_NE(std::string::npos, page.find(shown)) << shown;
  }
  // A machine's link names it, the same on every page and for every case.
  EXPECT_EQ("m-eng-ws-014", MachineAnchor("ENG-WS-014"));
  EXPECT_EQ("m-pc_5f1_20_c3_a9_22", MachineAnchor("PC_1 \xC3\xA9\""));
}

TEST_F(FleetPageTest, CommandLineWritesThePageOrSaysWhyNot) {
  WriteFile("pc.json", kClean);
  WriteFile("bad.json", "{");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, RunFleet({"pc.json", "bad.json"}));
  EXPECT_EQ("2 machines: 1 CLEAN, 0 NOT CLEAN, 0 PENDING, 0 UNKNOWN, 1 NO RESULT\n",
            testing::internal::GetCapturedStdout());
  EXPECT_EQ("kovex-deepclean-fleet: bad.json: NO RESULT: not JSON\n",
            testing::internal::GetCapturedStderr());
  EXPECT_NE(std::string::npos, ReadFile("kovex-fleet.html").find("data-machine=\"PC-01\""));
  WriteFile("machines.txt", "PC-01\nPC-09\n");
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
