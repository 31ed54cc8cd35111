#include <string>

#include "exec/runner.h"
#include "gtest/gtest.h"
#include "output/output.h"
#include "tests/unit/fakes.h"

TEST(FormatLine, NarrowWideAndIntegerConversions) {
  EXPECT_EQ("\t a b -7 100%\n",
            FormatLine("\t %s %S %d 100%%\n", "a", L"b", -7));
  EXPECT_EQ("x\\y", FormatLine("%S\\%S", L"x", L"y"));
}

TEST(FormatLine, WideCharactersUpTo255AreTheirOwnByte) {
  const std::string line = FormatLine("%S", L"\u00e9\u00ff\u0080A");
  EXPECT_EQ(std::string("\xe9\xff\x80" "A"), line);
}

TEST(FormatLine, WiderCharactersBecomeQuestionMarksAndTheLineGoesOn) {
  EXPECT_EQ("[Ger?t ?? ok]\n",
            FormatLine("[%S ok]\n", L"Ger\u2013t \u4e2d\u6587"));
}

TEST(FormatLine, UnknownConversionAndTrailingPercentStandAsWritten) {
  EXPECT_EQ("%x %", FormatLine("%x %"));
}

TEST(ReportLaunchFailure, TabBlankTabBlankThenCodeAndSystemText) {
  printed.clear();
  ReportLaunchFailure(2, L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(
      "\t \t Failed to launch process Error Code 2: "
      "The system cannot find the file specified.\r\n\n",
      printed);
}

TEST(ReportLaunchFailure, MissingSystemTextPrintsEmptyText) {
  printed.clear();
  ReportLaunchFailure(-5, nullptr);
  EXPECT_EQ("\t \t Failed to launch process Error Code -5: \n", printed);
}

TEST(Print, ConsoleGetsEveryCharacterRedirectedOutputOneBytePerCharacter) {
  // "Kovex Pulse™ Kopfhörer", then "Динамики".
  const wchar_t name[] =
      L"Kovex Pulse\u2122 Kopfh\u00f6rer \u0414\u0438\u043d\u0430\u043c\u0438\u043a\u0438";
  struct Case {
    bool console;
    std::wstring on_console;
    std::string bytes;
  };
  const Case cases[] = {
      {true, std::wstring(L"\t Removed : ") + name + L" 7 ok\n", ""},
      {false, L"", "\t Removed : Kovex Pulse? Kopfh\xf6rer ???????? 7 ok\n"},
  };
  for (const Case& c : cases) {
    printed.clear();
    printed_on_console.clear();
    output_is_console = c.console;
    Print("\t Removed : %S %d %s\n", name, 7, "ok");
    EXPECT_EQ(c.on_console, printed_on_console) << c.console;
    EXPECT_EQ(c.bytes, printed) << c.console;
  }
  output_is_console = false;
}
