// The fleet page's readers and grouping against the inputs real fleets
// produce and hostile ones: which machine each result is shown under, with
// which verdict and flags, what is reported as not read, and the exit
// status.
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "check/csv_rows.h"
#include "fleet_page/fleet_expect.h"
#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_machines.h"
#include "fleet_page/fleet_names.h"
#include "fleet_page/fleet_names_icu.h"
#include "fleet_page/fleet_page.h"
#include "fleet_page/fleet_run.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"
#include "tests/unit/fleet_action_lists.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

class FleetInputTest : public FakeSystemTest {
 protected:
  // Makes a folder for the case `name`, goes into it and writes `files` (a
  // path below it and its bytes); returns the folder to go back to.
  std::filesystem::path EnterCase(const std::string& name,
                                  const std::vector<std::pair<std::string, std::string>>& files) {
    std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::create_directory(name);
    std::filesystem::current_path(name);
    for (const auto& file : files) {
      const std::filesystem::path path = std::filesystem::u8path(file.first);
      if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
      WriteFile(file.first.c_str(), file.second);
    }
    return home;
  }
};

std::string Document(const std::string& computer, const std::string& checked_at,
                     bool dirty) {
  return R"({"computer":")" + computer + R"(","checked_at":")" + checked_at +
         R"(","complete":true,"unchecked":[],"clean":)" + (dirty ? "false" : "true") +
         R"(,"traces":)" +
         (dirty ? R"([{"kind":"driver-file","id":"a.sys","awaits_reboot":false}])" : "[]") + "}";
}

// UTF-16LE with its mark, each character of `text` (ASCII) a unit.
std::string Utf16(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (const char c : text) out += std::string(1, c) + '\0';
  return out;
}

// "name=VERDICT/traces [flag]..." per machine, the counted result's flags
// and then the machine's.
std::string Shown(const std::vector<FleetMachine>& machines) {
  std::string out;
  for (const FleetMachine& machine : machines) {
    if (!out.empty()) out += "; ";
    out += machine.name + "=" + PageVerdictName(*machine.counted) + "/" +
           std::to_string(machine.counted->traces.size());
    for (const std::string& flag : machine.counted->flags) out += " [" + flag + "]";
    for (const std::string& flag : machine.flags) out += " [" + flag + "]";
  }
  return out;
}

const char kCollectorHeader[] =
    "\"machine\",\"status\",\"clean\",\"complete\",\"kind\",\"id\",\"description\","
    "\"awaits_reboot\",\"manual_removal\",\"unchecked\",\"checked_at\"\r\n";

}  // namespace

TEST_F(FleetInputTest, EachMachineUnderItsSourcesNameAndNothingLostInSilence) {
  const std::string t = "2026-12-01T10:00:00Z";
  const std::string far = "2099-01-01T00:00:00Z";
  const std::string export_header =
      "Device name;Pre-remediation detection output;Post-remediation detection output;"
      "Remediation status;Last run\r\n";
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> paths;
    std::string shown;
    std::string unread;  // "source:line" of each input not read whole
    int status;
  };
  const Case cases[] = {
      {"a forged computer and a future time move nothing",
       {{"ENG-WS-014.json", Document("eng-ws-014.corp.example", t, true)},
        {"ENG-WS-020.json", Document("eng-ws-014", far, false)}},
       {"ENG-WS-014.json", "ENG-WS-020.json"},
       "ENG-WS-014=NOT CLEAN/1; ENG-WS-020=CLEAN/0 [the document names eng-ws-014] "
       "[dated after the page was made (" + far + ", ENG-WS-020.json)]",
       "", 0},
      {"a future result never wins; a tie gives the worse verdict",
       {{"a/PC-1.json", Document("PC-1", far, false)},
        {"b/PC-1.json", Document("PC-1", t, true)},
        {"a/PC-2.json", Document("PC-2", t, true)},
        {"b/PC-2.json", Document("PC-2", t, false)}},
       {"a", "b"},
       "PC-1=NOT CLEAN/1 [dated after the page was made (" + far + ", a/PC-1.json)]; "
       "PC-2=NOT CLEAN/1 [conflicting results]",
       "", 0},
      {"contradictions are UNKNOWN; a run given twice counts once",
       {{"PC-3.json", R"({"clean":false,"complete":true,"traces":[],"unchecked":[]})"},
        {"c.csv", std::string(kCollectorHeader) +
                      "\"PC-4\",\"1\",\"False\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"" +
                      t + "\"\r\n"
                      "\"PC-4B\",\"2\",\"False\",\"False\",\"\",\"\",\"\",\"\",\"\","
                      "\"devices: devcon failed\",\"" + t + "\"\r\n"
                      "\"PC-5\",\"1\",\"False\",\"True\",\"device\",\"X\",\"\",\"False\",\"\","
                      "\"\",\"" + t + "\"\r\n"
                      "\"PC-5\",\"1\",\"False\",\"True\",\"device\",\"X\",\"\",\"False\",\"\","
                      "\"\",\"" + t + "\"\r\n"}},
       {"PC-3.json", "c.csv"},
       "PC-3=UNKNOWN/0 [contradicts itself: \"clean\" is false, but it lists no trace and "
       "every check ran]; PC-4=UNKNOWN/0 [contradicts itself: status 1 (traces found), but "
       "no trace row]; PC-4B=UNKNOWN/0; PC-5=NOT CLEAN/1",
       "", 0},
      {"the collector's cleanup line and reason read whole, quotes and all",
       {{"q.csv", std::string(kCollectorHeader).replace(sizeof kCollectorHeader - 3, 0,
                                                        ",\"cleanup\",\"computer\"") +
                      "\"PC-Q1\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"" + t +
                      "\",\"The cleanup did not run to its end: its last line is not "
                      "\"\"Done.\"\"\",\"PC-Q1\"\r\n"
                      "\"PC-Q2\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"" + t +
                      "\",\"The cleanup ran to its end.\",\"PC-Q2\"\r\n"}},
       {"q.csv"},
       "PC-Q1=CLEAN/0 [cleanup: The cleanup did not run to its end: its last line is not "
       "\"Done.\"]; PC-Q2=CLEAN/0",
       "", 0},
      {"a bad record, a long one and a wrong field count cost themselves alone (CR LF)",
       {{"d.csv", std::string(kCollectorHeader) +
                      "\"PC-6\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                      "\"PC-7\",\"0\",\"True\",\"True\",\"\",\"\",\"\"\"unbalanced,\"\",\"\","
                      "\"\",\"\"\r\n"
                      "\"PC-8\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                      "\"PC-9\",\"0\",\"True\",\"True\",\"\",\"\",\"" +
                      std::string(kCsvRowByteLimit, 'x') +
                      "\",\"\",\"\",\"\",\"\"\r\n"
                      "\"PC-10\",\"0\",\"True\"\r\n"
                      "\"PC-11\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                      "\"PC-12\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
                      "\"PC-13\",\"0\",\"True\",\"True\",\"\",\"\",\"\"un"}},
       {"d.csv"},
       "PC-11=CLEAN/0; PC-12=CLEAN/0; PC-6=CLEAN/0; PC-8=CLEAN/0",
       "d.csv:3 d.csv:5 d.csv:6 d.csv:9", 1},
      {"UTF-16 with a surrogate pair; a semicolon export and its remediation's outcome",
       {{"e.json", "\xFF\xFE" + Utf16(R"({"computer":"PC-)").substr(2) +
                       std::string("\x3D\xD8\x00\xDE", 4) +
                       Utf16(R"(","clean":true,"complete":true,"traces":[],"unchecked":[]})")
                           .substr(2)},
        {"PC-I1.json", Document("PC-I1", "2026-12-05T00:00:00Z", true)},
        {"i.csv", Utf16(export_header +
                        "PC-I1;NOT CLEAN: the cleanup removes device X;CLEAN: nothing left;"
                        "Issue fixed;8/12/2026 4:11:29 AM\r\n"
                        "PC-I2;NOT CLEAN: the cleanup removes device X;NOT CLEAN: the cleanup "
                        "removes device X;Issue fixed;30/11/2026 16:11:29\r\n"
                        "PC-I3;NOT CLEAN: the cleanup removes device X;;Failed;\r\n")}},
       {"e.json", "PC-I1.json", "i.csv"},
       "e=CLEAN/0 [the document names PC-\xF0\x9F\x98\x80]; "
       "PC-I1=CLEAN/0 [the remediation fixed it]; "
       "PC-I2=NOT CLEAN/1 [the remediation left it NOT CLEAN]; "
       "PC-I3=NOT CLEAN/1 [the remediation failed]",
       "", 0},
      {"look-alike names are flagged, never merged",
       {{"n.csv", "Device name,Pre-remediation detection output\n"
                  "PC-0042,CLEAN: x\n"
                  "PC-0042\xE2\x80\x8B,CLEAN: x\n"
                  "\xD0\xA0" "C-0042,NOT CLEAN: the cleanup removes device X\n"}},
       {"n.csv"},
       "PC-0042=CLEAN/0 [name looks like PC-0042<U+200B>] [name looks like \xD0\xA0" "C-0042]; "
       "PC-0042\xE2\x80\x8B=CLEAN/0 [holds invisible or direction-changing characters] "
       "[written with characters that look like Latin ones] [name looks like PC-0042] [name looks like \xD0\xA0" "C-0042]; "
       "\xD0\xA0" "C-0042=NOT CLEAN/1 [mixes scripts] "
       "[written with characters that look like Latin ones] [name looks like PC-0042] "
       "[name looks like PC-0042<U+200B>]",
       "", 0},
      {"paths that are no input are errors, never machines",
       {{"f/ok.json", Document("ok", t, false)},
        {"f/rows.csv", std::string(kCollectorHeader) +
                           "\"PC-C\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\n"},
        {"f/broken.json", "{"},
        {"f/upper.JSON", Document("upper", t, false)},
        {"f/x.json", Document("x", "", false)},
        {"h/x.json", "{"},
        {"huge.json", std::string(kDocumentByteLimit + 1, ' ')},
        {"f/notes.txt", "not an input"},
        {"empty.csv", ""},
        {"other.csv", "name,state\nPC-09,ok\n"}},
       {"f", "h", "typo.json", "notes.txt", "empty.csv", "other.csv", "huge.json"},
       "broken=NO RESULT/0; ok=CLEAN/0; PC-C=CLEAN/0; upper=CLEAN/0; x=CLEAN/0",
       "f/broken.json:0 h/x.json:0 typo.json:0 notes.txt:0 empty.csv:0 other.csv:0 huge.json:0",
       1},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const std::filesystem::path home = EnterCase(test.name, test.files);
    std::vector<MachineResult> results;
    std::vector<InputProblem> unread;
    for (const std::string& path : test.paths) ReadPath(path, &results, &unread);
    const long long made_at = ParseIsoTime("2026-12-08T12:00:00Z");
    EXPECT_EQ(test.shown, Shown(GroupByMachine(results, made_at)));
    std::string problems;
    for (const InputProblem& problem : unread) {
      EXPECT_FALSE(problem.reason.empty());
      problems += (problems.empty() ? "" : " ") + problem.source + ":" +
                  std::to_string(problem.line);
    }
    EXPECT_EQ(test.unread, problems);

    std::vector<std::string> arguments = test.paths;
    arguments.insert(arguments.end(), {"--out", "page.html"});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(test.status, RunFleet(arguments));
    testing::internal::GetCapturedStdout();
    const std::string errors = testing::internal::GetCapturedStderr();
    for (const InputProblem& problem : unread) {
      EXPECT_NE(std::string::npos, errors.find(problem.source)) << errors;
    }
    std::filesystem::current_path(home);
  }
}

#ifndef _WIN32
// A pipe would hang the reading; a link to its own folder would read it
// again and again.
TEST_F(FleetInputTest, OnlyRegularFilesAreRead) {
  std::filesystem::create_directory("g");
  WriteFile("g/ok.json", Document("ok", "2026-12-01T10:00:00Z", false));
  ASSERT_EQ(0, mkfifo("g/x.json", 0600));
  std::filesystem::create_directory_symlink(std::filesystem::absolute("g"), "g/loop.json");
  std::vector<MachineResult> results;
  std::vector<InputProblem> unread;
  ReadPath("g", &results, &unread);
  ReadPath("g/x.json", &results, &unread);
  ASSERT_EQ(1u, results.size());
  EXPECT_EQ("ok", results[0].machine);
  ASSERT_EQ(3u, unread.size());
  EXPECT_EQ("g/loop.json", unread[0].source);
  EXPECT_EQ("g/x.json", unread[1].source);
  EXPECT_NE(std::string::npos, unread[1].reason.find("not a regular file")) << unread[1].reason;
  EXPECT_EQ("g/x.json", unread[2].source);
}
#endif

TEST(FleetTimes, OnlyRealTimesAreRead) {
  const long long at = 1796703089;  // 2026-12-08T04:11:29Z
  for (const char* text : {"2026-12-08T04:11:29Z", "2026-12-08T06:11:29.1234567+02:00",
                           "2026-12-07T23:11:29-0500", "2026-12-08 04:11:29",
                           "2026/12/08 4:11:29", "2026-12-08 4:11:29 AM"}) {
    EXPECT_EQ(at, ParseExportTime(text, DateOrder::kUndecided)) << text;
  }
  const auto month = DateOrder::kMonthFirst;
  const auto day = DateOrder::kDayFirst;
  const struct {
    const char* text;
    DateOrder order;
    long long time;
  } exported[] = {{"12/8/2026 4:11:29 AM", month, at},
                  {"12/08/2026 04:11 AM", month, at - 29},
                  {"8.12.2026 04:11:29", DateOrder::kUndecided, at},
                  {"8-12-2026 04:11:29", DateOrder::kMixed, at},
                  {"31/12/2026 4:11:29", day, at + 23 * 86400},
                  {"8/12/2026 4:11:29 PM", day, at + 12 * 3600},
                  {"12/8/2026 12:11:29 AM", month, at - 4 * 3600},
                  {"1969-12-31T23:59:59Z", DateOrder::kUndecided, -1},
                  {"1601-01-01T00:00:00Z", DateOrder::kUndecided, -11644473600LL}};
  for (const auto& time : exported) {
    EXPECT_EQ(time.time, ParseExportTime(time.text, time.order)) << time.text;
  }
  EXPECT_EQ("1969-12-31T23:59:59Z", FormatIsoTime(-1));
  EXPECT_EQ("2024-02-29T00:00:00Z", FormatIsoTime(ParseIsoTime("2024-02-29T00:00:00Z")));
  for (const char* bad :
       {"", "2026-02-31T00:00:00Z", "2025-02-29T00:00:00Z", "2026-12-08T25:61:00Z",
        "2026-13-08T04:11:29Z", "2026-12-08T04:11:29Zjunk", "2026-12-08", "12/8/2026 4:11:29",
        "12/8/2026 4:11:29 AM", "13/12/2026 13:11:29 PM", "0001-01-01T00:00:00Z", "12/8/26 4:11 AM"}) {
    EXPECT_EQ(kUnknownTime, ParseExportTime(bad, DateOrder::kUndecided)) << bad;
  }
  EXPECT_EQ(kUnknownTime, ParseExportTime("2/30/2026 4:11 AM", month));
  // The order of a file's slashed dates is decided by all of them at once.
  const struct {
    std::vector<std::string> times;
    DateOrder order;
  } orders[] = {{{"8/12/2026 1:00", "13/12/2026 1:00"}, day},
                {{"12/13/2026 1:00 PM", "2026-12-01T00:00:00Z"}, month},
                {{"12/13/2026 1:00", "13/12/2026 1:00"}, DateOrder::kMixed},
                {{"1/2/2026 1:00 PM", "13.12.2026 1:00"}, DateOrder::kUndecided}};
  for (const auto& file : orders) EXPECT_EQ(file.order, DateOrderOf(file.times));
  // A time that is no time is shown as the text it was.
  const MachineResult read = ReadCheckDocument(Document("PC", "2026-02-31T00:00:00Z", false),
                                               "PC", "PC.json");
  EXPECT_EQ(kUnknownTime, read.time);
  EXPECT_EQ("2026-02-31T00:00:00Z", read.checked_at);
}

TEST_F(FleetInputTest, NamesShowInvisibleCharactersAndLookAlikesAreUnicodes) {
  EXPECT_EQ("PC<U+200B>-42<U+202E>x<U+FEFF><U+00AD><0xFF>",
            VisibleName("PC\xE2\x80\x8B-42\xE2\x80\xAEx\xEF\xBB\xBF\xC2\xAD\xFF"));
  EXPECT_EQ("Hörer 東京", VisibleName("Hörer 東京"));
  // The committed table is this ICU's (kovex-fleet-names-table writes it).
  const std::string table = ReadFile(KOVEX_SOURCE_DIR "/src/fleet_page/fleet_names_table.inc");
  EXPECT_TRUE(table == NamesTableFromIcu()) << "run kovex-fleet-names-table";
  // Cyrillic Р and С, Greek Ο, fullwidth C, digits as letters, the Kelvin
  // sign, Roman numeral one, Armenian o, Cherokee, mathematical letters,
  // dotless i, IPA g.
  const std::string skeleton = NameSkeleton("pc-oo42");
  for (const char* name : {"PC-0042", "\xD0\xA0\xD0\xA1-0042", "PC-\xCE\x9F" "042",
                           "P\xEF\xBC\xA3-0042\xE2\x80\x8B", "\xF0\x9D\x97\x89\xF0\x9D\x96\xBC-oo42",
                           "pc-\xD6\x85o42"}) {
    EXPECT_EQ(skeleton, NameSkeleton(name)) << name;
  }
  EXPECT_EQ(NameSkeleton("K-l-i-g-a"), NameSkeleton("\xE2\x84\xAA-\xE2\x85\xA0-\xC4\xB1-\xC9\xA1-\xE1\x8E\xAA"));
  EXPECT_NE(skeleton, NameSkeleton("PC-0043"));
  EXPECT_TRUE(MixesScripts("\xD0\xA0" "C-0042"));
  EXPECT_TRUE(MixesScripts("PC-\xCE\x9F"));
  EXPECT_FALSE(MixesScripts("PC-0042"));
  EXPECT_FALSE(MixesScripts("\xD0\x9F\xD0\x9A-1"));  // ПК-1: Cyrillic alone
  EXPECT_FALSE(MixesScripts("東京-PC1"));
  EXPECT_TRUE(PosesAsLatin("\xF0\x9D\x97\x89\xF0\x9D\x96\xBC-01"));
  EXPECT_FALSE(PosesAsLatin("PC-01"));
  EXPECT_FALSE(PosesAsLatin("Hörer"));
  // One machine, whatever form of its name a source gives.
  for (const char* name : {"pc07", "PC07.corp.example.com.", " PC07\xC2\xA0", "pc07:5986"}) {
    EXPECT_EQ("pc07", MachineKey(name)) << name;
  }
  EXPECT_EQ("10.0.0.7", MachineKey("10.0.0.7:5986"));
}

// What a device names itself goes to a spreadsheet as text, and comes back
// to the page as it was.
TEST_F(FleetInputTest, FormulaCellsAreTextInTheSpreadsheetAndReadBackWhole) {
  const char* names[] = {"=cmd|' /C calc'!A0", "+1", "-2", "@SUM(A1)", "\tx", "'=x", "''+y",
                         "PC-01", "'plain"};
  std::string csv = kCsvHeader;
  for (const char* name : names) {
    Findings findings;
    findings.checked_at = "2026-12-08T04:11:29Z";
    std::wstring wide;
    for (const char c : std::string(name)) wide.push_back(static_cast<wchar_t>(c));
    const std::string rows = CsvRows(findings, 0, wide);
    const char first = rows[1];
    EXPECT_TRUE(first != '=' && first != '+' && first != '-' && first != '@' &&
                first != '\t' && first != '\r')
        << rows;
    csv += rows;
  }
  std::vector<MachineResult> results;
  std::vector<InputProblem> unread;
  ReadCsv(csv, "rows.csv", &results, &unread);
  EXPECT_TRUE(unread.empty());
  ASSERT_EQ(std::size(names), results.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(names[i], results[i].machine);
    EXPECT_EQ(1796703089, results[i].time);
  }
}

// The page made from the hostile inputs: each machine once under its
// source's name, and the inputs not read (the page's showing of flags is
// the page's own test).
TEST_F(FleetInputTest, ThePageShowsEachMachineOnceUnderItsSourcesName) {
  WriteFile("ENG-WS-014.json", Document("eng-ws-014", "2026-12-01T10:00:00Z", true));
  WriteFile("ENG-WS-020.json", Document("eng-ws-014", "2099-01-01T00:00:00Z", false));
  WriteFile("rows.csv", std::string(kCollectorHeader) +
                            "\"PC-6\",\"0\",\"True\",\"True\",\"\",\"\",\"un\"balanced,\"\",\"\","
                            "\"\",\"\"\r\n"
                            "\"PC-7\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, RunFleet({"ENG-WS-014.json", "ENG-WS-020.json", "rows.csv"}));
  EXPECT_EQ("3 machines: 2 CLEAN, 1 NOT CLEAN, 0 PENDING, 0 UNKNOWN, 0 NO RESULT\n",
            testing::internal::GetCapturedStdout());
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("rows.csv:2: not read: "));
  const std::string page = ReadFile("kovex-fleet.html");
  for (const char* name : {"ENG-WS-014", "ENG-WS-020", "PC-7"}) {
    const std::string attribute = std::string(name) + "\xC2\xA0";
    EXPECT_NE(std::string::npos, page.find(attribute)) << name;
    EXPECT_EQ(page.find(attribute), page.rfind(attribute)) << name;
  }
  EXPECT_EQ(std::string::npos, page.find("eng-ws-014\xC2\xA0"));
  // The time from 2099 is flagged on its machine and is not the newest.
  EXPECT_NE(std::string::npos, page.find("dated after the page was made"));
  EXPECT_NE(std::string::npos, page.find("newest: <time id=\"newest\">2026-12-01T10:00:00Z"));
}

namespace {

// A check document of one trace list, as the check writes it.
std::string DocumentOf(const std::string& checked_at, const std::string& traces,
                       bool clean = false) {
  return R"({"checked_at":")" + checked_at + R"(","complete":true,"unchecked":[],"clean":)" +
         (clean ? "true" : "false") + R"(,"traces":[)" + traces + "]}";
}

// "name list" of each machine, in the page's order: the action list it is
// in ("cleanup", "reboot", "manual", "unchecked", "no-result"), "-" for none.
std::string ListsOf(const std::vector<FleetMachine>& machines) {
  static const char* const kIds[] = {"-", "cleanup", "reboot", "manual", "unchecked",
                                     "no-result"};
  std::string out;
  for (const FleetMachine& machine : machines) {
    out += (out.empty() ? "" : "; ") + VisibleName(machine.name) + " " +
           kIds[static_cast<int>(ActionOf(*machine.counted))];
  }
  return out;
}

}  // namespace

// What administrators' own tools write, each machine in the one list it
// needs, whatever the engine, the date's locale, the form of its name or of
// the list of machines expected; and the page's lists keep their promise
// (ActionListFault) on each.
TEST_F(FleetInputTest, EveryMachineThatNeedsSomethingIsInItsOneList) {
  const std::string t = "2026-12-07T10:00:00Z";
  const std::string removes = R"({"kind":"device","id":"USB\\X","awaits_reboot":false})";
  const std::string reboot1 = R"({"kind":"device","id":"USB\\R1","awaits_reboot":true})";
  const std::string reboot2 = R"({"kind":"driver-file","id":"r.sys","awaits_reboot":true})";
  const std::string export_header = "Device name;Pre-remediation detection output;"
                                    "Post-remediation detection output;Remediation status;"
                                    "Last run\r\n";
  const std::string collector_header =
      std::string(kCollectorHeader).substr(0, sizeof kCollectorHeader - 3) +
      ",\"cleanup\",\"computer\"\r\n";
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // the last one named "expect"
    std::vector<std::string> paths;                           // is the --expect list
    std::string lists;
    std::string unread;  // "source:line" of each input not read whole
    int status;
    std::string page_has;
  };
  const Case cases[] = {
      {"UNKNOWN from every engine is listed with its reason",
       {{"x.csv", export_header + "PC-U1;UNKNOWN: kovex-deepclean-check.exe is missing: "
                                  "install the Win32 app first;;;" + t + "\r\n"},
        {"PC-U2.json", DocumentOf(t, removes, true)},
        {"c.csv", collector_header + "\"PC-U3\",\"2\",\"False\",\"False\",\"\",\"\",\"\",\"\","
                                     "\"\",\"devices: devcon failed\",\"" + t + "\",\"\",\"PC-U3\"\r\n"}},
       {"x.csv", "PC-U2.json", "c.csv"},
       "PC-U1 unchecked; PC-U2 unchecked; PC-U3 unchecked", "", 0,
       "<p>kovex-deepclean-check.exe is missing: install the Win32 app first</p>"},
      {"a day-first export's newer NOT CLEAN wins; a year-first one is read",
       {{"PC-T1.json", DocumentOf("2026-12-05T00:00:00Z", "", true)},
        {"e.csv", export_header +
                      "PC-T1;NOT CLEAN: the cleanup removes device X;;;8/12/2026 4:11:29\r\n"
                      "PC-T2;CLEAN: nothing;;;25/11/2026 16:00\r\n"},
        {"y.csv", export_header + "PC-T3;PENDING: nothing the cleanup removes | reboot to "
                                  "finish removing device R;;;2026/12/08 4:11:29\r\n"
                                  "PC-T3;CLEAN: nothing;;;2026-12-01T00:00:00Z\r\n"}},
       {"PC-T1.json", "e.csv", "y.csv"},
       "PC-T1 cleanup; PC-T2 -; PC-T3 reboot", "", 0, "\nPC-T2\xC2\xA0" "CLEAN, 2026-11-25T16:00:00Z, 12 days old;\xC2\xA0" "stale"},
      {"an export whose date order cannot be told says so; any real time beats none",
       {{"u.csv", export_header +
                      "PC-T4;NOT CLEAN: the cleanup removes device X;;;1/2/2026 1:00 PM\r\n"},
        {"a/PC-T5.json", DocumentOf("1601-01-01T00:00:00Z", removes)},
        {"b/PC-T5.json", DocumentOf("2099-01-01T00:00:00Z", "", true)},
        {"a/PC-T6.json", DocumentOf("1969-12-31T23:59:59Z", removes)},
        {"b/PC-T6.json", DocumentOf("0001-01-01T00:00:00Z", "", true)}},
       {"u.csv", "a", "b"},
       "PC-T4 cleanup; PC-T5 cleanup; PC-T6 cleanup", "u.csv:0", 1,
       "time not known: the export&#39;s dates could be day or month first"},
      {"a short name, its DNS names, blanks, no-break spaces and ports are one machine",
       {{"PC07.json", DocumentOf("2026-12-01T00:00:00Z", "", true)},
        {"pc07.corp.example.com.json", DocumentOf(t, removes)},
        {"c.csv", collector_header + "\"PC01\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\","
                                     "\"\",\"" + t + "\",\"\",\"PC01 \"\r\n"},
        {"PC01\xC2\xA0.json", DocumentOf("2026-12-01T00:00:00Z", removes)},
        {"expect", "pc07.corp.example.com\r\nPC01:5986\r\npc01.corp.example.com\r\nPC07\r\n"}},
       {"PC07.json", "pc07.corp.example.com.json", "c.csv", "PC01\xC2\xA0.json"},
       "PC01  -; pc07.corp.example.com cleanup", "", 0,
       "2 machines were expected: 0 never reported, 0 reported without being expected."},
      {"an INI inventory's ranges, variables and sections",
       {{"pc01.json", DocumentOf(t, "", true)},
        {"expect", "[web]\npc[01:03].corp ansible_port=5986\nweb-[a:b]\n[web:vars]\nx=1\n"
                   "[all:children]\nweb\n[db]\ndb[1:5:2]  # odd ones\n"}},
       {"pc01.json"},
       "db1 no-result; db3 no-result; db5 no-result; pc01 -; pc02.corp no-result; "
       "pc03.corp no-result; web-a no-result; web-b no-result",
       "", 0, "8 machines were expected: 7 never reported"},
      {"ansible-inventory's JSON; a YAML inventory is refused with the command to use",
       {{"pc01.json", DocumentOf(t, "", true)},
        {"inv.yml", "all:\n  hosts:\n    pc01:\n"},
        {"expect", R"({"_meta":{"hostvars":{"pc02":{"a":1}}},"all":{"children":["web"]},)"
                   R"("web":{"hosts":["pc01","pc02","pc03"]}})"}},
       {"pc01.json"},
       "pc01 -; pc02 no-result; pc03 no-result", "", 0, ""},
      {"a YAML inventory given directly",
       {{"pc01.json", DocumentOf(t, "", true)}, {"expect", "all:\n  hosts:\n    pc01:\n"}},
       {"pc01.json"},
       "pc01 -", "expect:0", 1, "ansible-inventory -i expect --list &gt; inventory.json"},
      {"Export-Csv's list in UTF-16, two collector CSVs joined, a line of words",
       {{"pc01.json", DocumentOf(t, "", true)},
        {"expect", Utf16("#TYPE Selected.Microsoft.ActiveDirectory.Management.ADComputer\r\n"
                         "\"Name\",\"DNSHostName\"\r\n\"PC01\",\"pc01.corp\"\r\n"
                         "\"Name\",\"DNSHostName\"\r\n\"PC02\",\"pc02.corp\"\r\n"
                         "\"these are the machines\",\"\"\r\n")}},
       {"pc01.json"},
       "pc01 -; PC02 no-result", "expect:6", 1, ""},
      {"names that pose show their visible form, in one list line each",
       {{"n.csv", export_header + "\"PC-N1\nPC-N2\";NOT CLEAN: the cleanup removes device X;;;" +
                      t + "\r\n\xE2\x80\xAE" "10-cp;NOT CLEAN: the cleanup removes device X;;;" +
                      t + "\r\n\xD7\xA9\xD7\xA8\xD7\xAA-1;NOT CLEAN: the cleanup removes device X;;;" +
                      t + "\r\npc-01;CLEAN: nothing;;;" + t + "\r\n"}},
       {"n.csv"},
       "pc-01 -; PC-N1<U+000A>PC-N2 cleanup; \xD7\xA9\xD7\xA8\xD7\xAA-1 cleanup; "
       "<U+202E>10-cp cleanup", "", 0,
       // Only a name beyond ASCII has a direction to isolate.
       "\">PC-N1&lt;U+000A&gt;PC-N2\n<bdi>\xD7\xA9\xD7\xA8\xD7\xAA-1</bdi>\n&lt;U+202E&gt;10-cp\n"},
      {"a document's words are no command to copy",
       {{"PC-M.json",
         DocumentOf(t, R"({"kind":"driver-file","id":"a.sys","manual_removal":)"
                       R"("del a.sys & net localgroup administrators corp\\mallory /add"})")}},
       {"PC-M.json"},
       "PC-M manual", "", 0, "<p>Not the check's: <code>del a.sys &amp; net"},
      {"a doubled quote in a CSV field is read whole, a path's \"; \" with it",
       {{"d.csv", export_header + "PC-Q;\"PENDING: nothing the cleanup removes | remove by "
                                  "hand: del /F /A:H \"\"C:\\Windows\\a; b.sys\"\"; devcon -f "
                                  "/dp_delete oem7.inf\";;;" + t + "\r\n"}},
       {"d.csv"},
       "PC-Q manual", "", 0,
       "<pre class=\"command\"><code>del /F /A:H &quot;C:\\Windows\\a; b.sys&quot;</code></pre>"
       "\n<p>On 1 machine:</p>"},
      {"two removals awaiting a reboot, and a command beside them, list the machine once",
       {{"PC-R.json", DocumentOf(t, reboot1 + "," + reboot2 + R"(,{"kind":"driver-package",)"
                                    R"("id":"oem9.inf","manual_removal":"devcon -f /dp_delete oem9.inf"})")}},
       {"PC-R.json"},
       "PC-R reboot", "", 0, "<h2>Reboot (1 machine)</h2>"},
      {"the collector's cleanup that did not run to its end is said",
       {{"c.csv", collector_header + "\"PC-C1\",\"1\",\"False\",\"True\",\"device\",\"X\",\"\","
                                     "\"False\",\"\",\"\",\"" + t + "\",\"The cleanup did not "
                                     "run to its end: it was stopped\",\"PC-C1\"\r\n"
                                     "\"PC-C2\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\","
                                     "\"\",\"" + t + "\",\"The cleanup ran to its end.\",\"PC-C2\"\r\n"}},
       {"c.csv"},
       "PC-C1 cleanup; PC-C2 -", "", 0, "The cleanup did not run to its end on these"},
  };
  const long long made_at = ParseIsoTime("2026-12-08T12:00:00Z");
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const std::filesystem::path home = EnterCase(test.name, test.files);
    const bool expect = test.files.back().first == "expect";
    PageFacts facts;
    facts.made_at = made_at;
    facts.inputs = test.paths;
    std::vector<MachineResult> results;
    ExpectedList expected;
    if (expect) {
      expected = ReadExpected(test.files.back().second, "expect");
      facts.unread = expected.unread;
      facts.expected = DistinctMachines(expected.names);
    }
    for (const std::string& path : test.paths) ReadPath(path, &results, &facts.unread);
    std::vector<FleetMachine> machines = GroupByMachine(results, made_at);
    std::deque<MachineResult> placeholders;
    ApplyExpected(expected.names, &placeholders, &machines);
    EXPECT_EQ(test.lists, ListsOf(machines));
    std::string problems;
    for (const InputProblem& problem : facts.unread) {
      problems += (problems.empty() ? "" : " ") + problem.source + ":" +
                  std::to_string(problem.line);
    }
    EXPECT_EQ(test.unread, problems);
    const std::string page = FleetPage(machines, facts);
    EXPECT_EQ("", ActionListFault(machines, page));
    EXPECT_NE(std::string::npos, page.find(test.page_has))
        << page.substr(page.find("<header>"), page.find("<section id=\"table-section\"") -
                                                    page.find("<header>"));

    std::vector<std::string> arguments = test.paths;
    if (expect) arguments.insert(arguments.end(), {"--expect", "expect"});
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(test.status, RunFleet(arguments));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    std::filesystem::current_path(home);
  }
}
