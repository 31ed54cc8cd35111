#include <string>
#include <vector>

#include "check/listing_traces.h"
#include "check/report.h"
#include "gtest/gtest.h"

namespace {

// "<id>: <description>" padded as devcon pads it.
std::string Described(const std::string& id, const std::string& description) {
  std::string line = id;
  if (line.size() < 60) line.append(60 - line.size(), ' ');
  return line + ": " + description + "\r\n";
}

std::vector<std::wstring> Ids(const Findings& findings) {
  std::vector<std::wstring> ids;
  for (const Trace& trace : findings.traces) ids.push_back(trace.id);
  return ids;
}

const char kHeader[] =
    "The following third-party driver packages are installed on this "
    "computer:\r\n";

std::string Package(const std::string& name, const std::string& provider,
                    const std::string& klass = "Sound") {
  return name + "\r\n    Provider: " + provider + "\r\n    Class: " + klass +
         "\r\n    Signer: unknown\r\n    Date: 03/15/2021\r\n"
         "    Version: 1.0.0.0\r\n";
}

}  // namespace

TEST(AddDeviceTraces, EachListedInstanceOnceCountLinesAreNone) {
  Findings findings;
  AddDeviceTraces(Described("USB\\VID_3F7C&PID_0A01\\6&2B&0&1", "Kovex Headset") +
                      "USB\\VID_3F7C&PID_0E40\\5&CD34&0&5\r\n"
                      "2 matching device(s) found.\r\n",
                  &findings);
  AddDeviceTraces(Described("USB\\vid_3f7c&pid_0a01\\6&2b&0&1", "Kovex Headset") +
                      Described("HID\\QZV_PAD\\8&3D", "QZV Pad: left") +
                      "1 matching device(s) found.\r\n",
                  &findings);
  AddDeviceTraces("No matching devices found.\r\n", &findings);

  ASSERT_EQ((std::vector<std::wstring>{L"USB\\VID_3F7C&PID_0A01\\6&2B&0&1",
                                       L"USB\\VID_3F7C&PID_0E40\\5&CD34&0&5",
                                       L"HID\\QZV_PAD\\8&3D"}),
            Ids(findings));
  EXPECT_EQ(L"Kovex Headset", findings.traces[0].description);
  EXPECT_EQ(L"", findings.traces[0].manual_removal);
  // The cleanup removes only lines with a colon: the bare ID needs a hand.
  EXPECT_EQ(L"", findings.traces[1].description);
  EXPECT_EQ(L"devcon -f remove \"@USB\\VID_3F7C&PID_0E40\\5&CD34&0&5\"",
            findings.traces[1].manual_removal);
  EXPECT_EQ(L"QZV Pad: left", findings.traces[2].description);
}

TEST(AddEndpointTraces, LinesNamingMakerOrBrandUnlessAlreadyADevice) {
  Findings findings;
  AddDeviceTraces(Described("SWD\\MMDEVAPI\\{0.0.1}.{dock}", "Kovex Dock"),
                  &findings);
  AddEndpointTraces(
      Described("SWD\\MMDEVAPI\\{0.0.0}.{a}", "Speakers (Kovex Headset)") +
          Described("SWD\\MMDEVAPI\\{0.0.0}.{b}", "Headphones (KOVEX Pro)") +
          Described("SWD\\MMDEVAPI\\{0.0.0}.{c}", "Speakers (Realtek)") +
          Described("SWD\\MMDEVAPI\\{0.0.1}.{dock}", "Kovex Dock") +
          "SWD\\MMDEVAPI\\QZV.{d}\r\n"
          "5 matching device(s) found.\r\n",
      &findings);

  EXPECT_EQ((std::vector<std::wstring>{L"SWD\\MMDEVAPI\\{0.0.1}.{dock}",
                                       L"SWD\\MMDEVAPI\\{0.0.0}.{a}",
                                       L"SWD\\MMDEVAPI\\QZV.{d}"}),
            Ids(findings));
  EXPECT_EQ(TraceKind::kDevice, findings.traces[0].kind);
  EXPECT_EQ(TraceKind::kAudioEndpoint, findings.traces[1].kind);
  EXPECT_EQ(L"devcon -f remove \"@SWD\\MMDEVAPI\\QZV.{d}\"",
            findings.traces[2].manual_removal);
}

TEST(AddPackageTraces, MakersPackagesByStructure) {
  Findings findings;
  AddPackageTraces(
      std::string(kHeader) + Package("oem3.inf", "Other Corp") +
          Package("oem12.inf", "Kovex Inc") + "oem13.inf\r\n" +
          Package("oem40.inf", "Somebody", "QZV Audio") +
          Package("oem41.inf", "Kovex") +
          // Two lines naming the brand: one package all the same.
          Package("oem50.inf", "QZV Technologies", "QZV Audio"),
      &findings);

  EXPECT_EQ((std::vector<std::wstring>{L"oem12.inf", L"oem40.inf",
                                       L"oem50.inf"}),
            Ids(findings));
  EXPECT_EQ(L"Kovex Inc", findings.traces[0].description);
  EXPECT_EQ(L"Somebody (Class: QZV Audio)", findings.traces[1].description);
  EXPECT_EQ(L"QZV Technologies", findings.traces[2].description);
  for (const Trace& trace : findings.traces) {
    EXPECT_EQ(TraceKind::kDriverPackage, trace.kind);
    EXPECT_EQ(L"", trace.manual_removal) << trace.id;
  }
}

TEST(AddPackageTraces, PackagesTheCleanupsLineWalkMissesGetTheCommand) {
  Findings findings;
  AddPackageTraces(
      std::string(kHeader) +
          // Not ".inf" to the letter: the cleanup takes no package name here.
          Package("OEM9.INF", "Kovex Inc") +
          // A description line holding ".inf" replaces the pending name.
          "oem10.inf\r\n    Provider: Kovex Inc (setup.inf)\r\n" +
          "oem11.inf\r\n    Class: kxaudio.inf\r\n    Provider: Kovex Inc\r\n",
      &findings);

  ASSERT_EQ((std::vector<std::wstring>{L"OEM9.INF", L"oem10.inf", L"oem11.inf"}),
            Ids(findings));
  EXPECT_EQ(L"devcon -f /dp_delete OEM9.INF", findings.traces[0].manual_removal);
  EXPECT_EQ(L"devcon -f /dp_delete oem10.inf", findings.traces[1].manual_removal);
  EXPECT_EQ(L"devcon -f /dp_delete oem11.inf", findings.traces[2].manual_removal);
}

TEST(AddPackageTraces, EmptyStoreAndNamelessDescriptionsFindNothing) {
  Findings findings;
  AddPackageTraces("There are no third-party driver packages on this machine.\r\n",
                   &findings);
  // Description lines under the header, with no package name above them.
  AddPackageTraces(std::string(kHeader) + "    Provider: Kovex Inc\r\n", &findings);
  EXPECT_TRUE(findings.traces.empty());
}

TEST(ListingTextToUtf8, ValidUtf8KeptOtherBytesAsLatin1) {
  EXPECT_EQ("Kovex Pulse", ListingTextToUtf8(L"Kovex Pulse"));
  // "Kopfhörer" written in UTF-8 stays as it is.
  EXPECT_EQ("Kopfh\xC3\xB6rer", ListingTextToUtf8(L"Kopfh\xC3\xB6rer"));
  // The same word in a single-byte code page: the byte is its character.
  EXPECT_EQ("Kopfh\xC3\xB6rer", ListingTextToUtf8(L"Kopfh\xF6rer"));
  // An overlong form, a surrogate, a cut sequence: byte by byte.
  EXPECT_EQ("\xC3\x80\xC2\xAF", ListingTextToUtf8(L"\xC0\xAF"));
  EXPECT_EQ("\xC3\xAD\xC2\xA0\xC2\x80", ListingTextToUtf8(L"\xED\xA0\x80"));
  EXPECT_EQ("x\xC3\xA2\xC2\x82", ListingTextToUtf8(L"x\xE2\x82"));
}

TEST(WideToUtf8, PairsJoinedLoneSurrogatesReplaced) {
  EXPECT_EQ("Kx\xC3\xA9", WideToUtf8(L"Kx\x00E9"));
  const std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  EXPECT_EQ("\xF0\x9F\x98\x80", WideToUtf8(pair));
  const std::wstring lone = {L'a', static_cast<wchar_t>(0xDC00), L'b'};
  EXPECT_EQ("a\xEF\xBF\xBD" "b", WideToUtf8(lone));
}

TEST(AddListingTraces, LastLineWithoutLineEndIsStillRead) {
  // A listing cut off after its last item, as a devcon that is killed or
  // writes no closing count leaves it.
  Findings findings;
  AddDeviceTraces("USB\\VID_3F7C&PID_0A01\\6&2B&0&1: Kovex Headset", &findings);
  AddPackageTraces(std::string(kHeader) + "oem12.inf\r\n    Provider: Kovex Inc",
                   &findings);
  EXPECT_EQ((std::vector<std::wstring>{L"USB\\VID_3F7C&PID_0A01\\6&2B&0&1",
                                       L"oem12.inf"}),
            Ids(findings));
  EXPECT_EQ(L"Kovex Inc", findings.traces.at(1).description);
}
