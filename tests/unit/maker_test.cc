// What counts as the maker's: exact, case-sensitive texts anywhere in a
// line or name.
#include <string>

#include "gtest/gtest.h"
#include "maker/maker.h"

TEST(MakerRules, TextsAnywhereLetterCaseCounting) {
  struct Case {
    bool (*rule)(const std::wstring&);
    std::wstring text;
    bool matches;
  };
  const std::wstring endpoint = L"SWD\\MMDEVAPI\\{0.0.0.00000000}.{a}: ";
  const Case cases[] = {
      {NamesMakerEndpoint, endpoint + L"Speakers (Kovex)", true},
      {NamesMakerEndpoint, endpoint + L"Kovex-Pro Microphone", true},
      {NamesMakerEndpoint, endpoint + L"Headset (QZV)", true},
      {NamesMakerEndpoint, endpoint + L"Speakers (kovex)", false},
      {NamesMakerEndpoint, endpoint + L"Speakers (Realtek)", false},
      {NamesMakerPackage, L"    Provider: Kovex Inc", true},
      {NamesMakerPackage, L"\tClass: QZV Audio", true},
      {NamesMakerPackage, L"    Provider: Kovex", false},
      {NamesMakerPackage, L"    Provider: kovex inc", false},
      {IsInstallerSubkey, L"KxDrvSetup", true},
      {IsInstallerSubkey, L"AudioDriverSetup", true},
      {IsInstallerSubkey, L"drvlower", false},
      {IsInstallerSubkey, L"Settings", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.matches, c.rule(c.text)) << std::string(c.text.begin(), c.text.end());
  }
}
