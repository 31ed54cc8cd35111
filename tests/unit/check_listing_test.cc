#include <iterator>
#include <string>
#include <vector>

#include "check/listing_traces.h"
#include "check/report.h"
#include "gtest/gtest.h"
#include "output/utf8.h"
#include "tests/unit/fakes.h"

namespace {

// "<id>: <description>" padded as devcon pads it.
std::string Described(const std::string& id, const std::string& description) {
  std::string line = id;
  if (line.size() < 60) line.append(60 - line.size(), ' ');
  return line + ": " + description + "\r\n";
}

// A line whose end devcon's cut swallowed, and the line glued onto it.
std::string Glued(const std::string& cut_line, const std::string& next) {
  return cut_line.substr(0, cut_line.size() - 2) + next;
}

std::vector<std::wstring> Ids(const Findings& findings) {
  std::vector<std::wstring> ids;
  for (const Trace& trace : findings.traces) ids.push_back(trace.id);
  return ids;
}

ListingText FromBytes(const std::string& bytes) {
  return ListingFromOutput(bytes, ListingEncoding::kBytes);
}

// The listings as a devcon without `-u` writes them, a byte a character.
void AddDeviceTraces(const std::string& bytes, Findings* findings) {
  AddDeviceTraces(FromBytes(bytes), findings);
}

void AddEndpointTraces(const std::string& bytes, Findings* findings) {
  AddEndpointTraces(FromBytes(bytes), findings);
}

void AddPackageTraces(const std::string& bytes, Findings* findings) {
  AddPackageTraces(FromBytes(bytes), findings);
}

// As a devcon that knows `-u` writes them: whole lines.
void AddWholePackageTraces(const std::string& text, Findings* findings) {
  AddPackageTraces(ListingFromOutput(Utf16Output(text), ListingEncoding::kUtf16),
                   findings);
}

const char kHeader[] =
    "The following third-party driver packages are installed on this "
    "computer:\r\n";

std::string Package(const std::string& name, const std::string& provider,
                    const std::string& klass = "Sound") {
  return name + "\r\n    Provider: " + provider + "\r\n    Class: " + klass + "\r\n";
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
  // A colon with nothing after it: the cleanup removes it like any other.
  AddDeviceTraces("USB\\VID_3F7C&PID_0F00\\1: \r\n1 matching device(s) found.\r\n",
                  &findings);

  ASSERT_EQ((std::vector<std::wstring>{L"USB\\VID_3F7C&PID_0A01\\6&2B&0&1",
                                       L"USB\\VID_3F7C&PID_0E40\\5&CD34&0&5",
                                       L"HID\\QZV_PAD\\8&3D",
                                       L"USB\\VID_3F7C&PID_0F00\\1"}),
            Ids(findings));
  EXPECT_EQ(L"", findings.traces[3].description);
  EXPECT_EQ(L"", findings.traces[3].manual_removal);
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

TEST(AddEndpointTraces, ByTheCleanupsRuleForWholeLinesAndForBytes) {
  // In bytes, a backslash after the colon begins a glued-on line: a maker
  // named after it is that other endpoint's. Whole lines have no such cut.
  const std::string glued =
      Glued(Described("SWD\\MMDEVAPI\\{o1}", "Speakers (Realtek"),
            Described("SWD\\MMDEVAPI\\{k1}", "Speakers (Kovex Pulse)"));
  const std::string backslash =
      Described("SWD\\MMDEVAPI\\{k2}", "Speakers (USB\\Kovex Pulse)");
  Findings bytes;
  AddEndpointTraces(glued + backslash, &bytes);
  EXPECT_TRUE(bytes.traces.empty());
  Findings whole;
  AddEndpointTraces(
      ListingFromOutput(Utf16Output(backslash), ListingEncoding::kUtf16), &whole);
  EXPECT_EQ(std::vector<std::wstring>{L"SWD\\MMDEVAPI\\{k2}"}, Ids(whole));
}

TEST(AddPackageTraces, MakersPackagesByStructure) {
  Findings findings;
  AddPackageTraces(
      std::string(kHeader) + Package("oem3.inf", "Other Corp") +
          Package("oem12.inf", "Kovex Inc") + "oem13.inf\r\n" +
          Package("oem40.inf", "Somebody", "QZV Audio") +
          Package("oem41.inf", "Kovex") +
          // Two lines naming the brand: one package all the same.
          Package("oem50.inf", "QZV Technologies", "QZV Audio") +
          // Described on lines indented with a tab.
          "oem60.inf\r\n\tProvider: Kovex Inc\r\n\tClass: Sound\r\n",
      &findings);

  EXPECT_EQ((std::vector<std::wstring>{L"oem12.inf", L"oem40.inf",
                                       L"oem50.inf", L"oem60.inf"}),
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
  AddWholePackageTraces(
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

TEST(AddPackageTraces, CutLineInBytesLeavesPackagesUncheckedAndNamesNone) {
  // devcon without -u cut "Class: <a localised name>" and glued the next
  // package's name on; that package's provider line falls under oem3.
  const std::string glued_name = kHeader + Package("oem12.inf", "Kovex Inc") +
                                 "oem3.inf\r\n    Provider: Other Corp\r\n"
                                 "    Class: oem14.inf\r\n"
                                 "    Provider: Kovex Inc\r\n    Class: Mice\r\n";
  // The cut swallowed a name line without ".inf" in sight: two providers.
  const std::string two_providers =
      std::string(kHeader) + "oem3.inf\r\n    Provider: Other Corp\r\n    Class: \r\n"
                "    Provider: Kovex Inc\r\n";
  // Glued onto it: a package whose INF could not be read, its name alone.
  const std::string glued_bare_name =
      std::string(kHeader) + "oem3.inf\r\n    Provider: Other Corp\r\n"
                             "    Class: oem31.inf\r\n" +
      Package("oem14.inf", "Kovex Inc");
  for (const std::string& listing : {glued_name, two_providers, glued_bare_name}) {
    Findings findings;
    AddPackageTraces(listing, &findings);
    EXPECT_TRUE(findings.traces.empty()) << listing;
    ASSERT_EQ(1u, findings.unchecked.size()) << listing;
    EXPECT_EQ(TraceKind::kDriverPackage, findings.unchecked[0].kind);
    EXPECT_EQ(L"devcon without -u cut a line of its package listing, so which "
              L"package is whose cannot be told",
              findings.unchecked[0].reason);
    // The same lines whole, from a devcon that knows -u, are taken as they
    // stand.
    Findings whole;
    AddWholePackageTraces(listing, &whole);
    EXPECT_TRUE(whole.unchecked.empty()) << listing;
  }
}

TEST(AddPackageTraces, EmptyStoreAndNamelessDescriptionsFindNothing) {
  Findings findings;
  AddPackageTraces("There are no third-party driver packages on this machine.\r\n",
                   &findings);
  // Description lines under the header, with no package name above them.
  AddPackageTraces(std::string(kHeader) + "    Provider: Kovex Inc\r\n", &findings);
  // ... or under a line that is no package name: not another maker's package.
  AddWholePackageTraces(std::string(kHeader) + Package("oem3.inf", "Other Corp") +
                            "Not a package name\r\n    Provider: Kovex Inc\r\n",
                        &findings);
  EXPECT_TRUE(findings.traces.empty());
  EXPECT_TRUE(findings.unchecked.empty());
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

TEST(CountDisagreement, CountLineAloneAndAgreeingOrTheReason) {
  struct Case {
    std::string listing;
    std::wstring reason;
  };
  const Case cases[] = {
      {Described("USB\\VID_3F7C&PID_0A01\\1", "Kovex Headset") +
           "USB\\VID_3F7C&PID_0E40\\2\r\n2 matching device(s) found.\r\n\r\n",
       L""},
      {"No matching devices found.\r\n", L""},
      {"5 matching device(s) found.\r\n", L"devcon reported 5 devices and listed 0"},
      {Described("HID\\QZV_PAD\\3", "QZV Pad") + "No matching devices found.\r\n",
       L"devcon reported 0 devices and listed 1"},
      // A line cut at a character devcon could not write glues the next one
      // on: two devices read as one, or the count line lost in a description.
      {Glued(Described("USB\\VID_3F7C&PID_0A01\\1", "Kovex Pulse"),
             Described("USB\\VID_3F7C&PID_0A01\\2", "Kovex Dock")) +
           "2 matching device(s) found.\r\n",
       L"devcon reported 2 devices and listed 1"},
      {"USB\\VID_3F7C&PID_0A01\\1 : Kovex Pulse1 matching device(s) found.\r\n",
       L"devcon's listing did not end with its count line"},
      {"2 matching device(s) found.\r\nUSB\\VID_3F7C&PID_0E40\\2\r\n",
       L"devcon's listing did not end with its count line"},
      {"", L"devcon's listing did not end with its count line"},
      {"x2 matching device(s) found.\r\n", L"devcon's listing did not end with its count line"},
  };
  for (const Case& c : cases) {
    const ListingText text = FromBytes(c.listing);
    EXPECT_EQ(c.reason, CountDisagreement(text, ListedInstanceCount(text))) << c.listing;
  }
}

TEST(ReadStatusListing, EachPresentDeviceWithNameStateAndProblem) {
  const std::vector<PresentDevice> devices = ReadStatusListing(FromBytes(
      "USB\\VID_3F7C&PID_0A01\\1\r\n"
      "    Name: USB Audio Device\r\n"
      "    The device has the following problem: 28\r\n"
      "USB\\VID_3F7C&PID_0D30\\2\r\n"
      "    Name: Kovex Stuck Receiver\r\n"
      "    The device has the following problem: 21\r\n"
      "    Driver is running.\r\n"
      "HID\\QZV_PAD\\3\r\n"
      "    Driver is running.\r\n"
      "USB\\VID_3F7C&PID_0E40\\4\r\n"
      "    Error retrieving the device's status.\r\n"
      "USB\\VID_3F7C&PID_0F00\\5\r\n"
      "    Name: Kovex Dock\r\n"
      "4 matching device(s) found.\r\n"
      "    Driver is running.\r\n"));
  struct Expected {
    const wchar_t* id;
    const wchar_t* description;
    const wchar_t* state;
    long problem;
    bool state_known;
  };
  const Expected expected[] = {
      {L"USB\\VID_3F7C&PID_0A01\\1", L"USB Audio Device",
       L"The device has the following problem: 28", 28, true},
      {L"USB\\VID_3F7C&PID_0D30\\2", L"Kovex Stuck Receiver",
       L"The device has the following problem: 21 Driver is running.", 21, true},
      {L"HID\\QZV_PAD\\3", L"", L"Driver is running.", -1, true},
      {L"USB\\VID_3F7C&PID_0E40\\4", L"", L"Error retrieving the device's status.", -1,
       false},
      // No state at all: it cannot be told what it is doing.
      {L"USB\\VID_3F7C&PID_0F00\\5", L"Kovex Dock", L"", -1, false},
  };
  ASSERT_EQ(std::size(expected), devices.size());
  for (std::size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(expected[i].id, devices[i].id);
    EXPECT_EQ(expected[i].description, devices[i].description) << i;
    EXPECT_EQ(expected[i].state, devices[i].state) << i;
    EXPECT_EQ(expected[i].problem, devices[i].problem) << i;
    EXPECT_EQ(expected[i].state_known, devices[i].state_known) << i;
  }
}

TEST(ApplyPresence, AbsentAndBeingRemovedAreTracesOthersAttached) {
  Findings findings;
  AddDeviceTraces(Described("USB\\VID_3F7C&PID_0A01\\1", "Kovex Headset") +
                      "USB\\VID_3F7C&PID_0E40\\2\r\n" +
                      Described("USB\\VID_3F7C&PID_0D30\\3", "Kovex Stuck Receiver") +
                      "USB\\VID_3F7C&PID_0D30\\4\r\n" +
                      Described("USB\\VID_3F7C&PID_0B10\\5", "Kovex Mouse") +
                      Described("USB\\VID_3F7C&PID_0C20\\6", "Kovex Dock"),
                  &findings);
  AddEndpointTraces(Described("SWD\\MMDEVAPI\\{0.0.0}.{a}", "Speakers (Kovex Headset)"),
                    &findings);
  const std::vector<PresentDevice> present = {
      // Re-created at the rescan with Windows' class driver, or none.
      {L"usb\\vid_3f7c&pid_0a01\\1", L"USB Audio Device", L"Driver is running.", -1, true},
      {L"USB\\VID_3F7C&PID_0E40\\2", L"Kovex Pad", L"Device is currently stopped.", -1,
       true},
      {L"USB\\VID_3F7C&PID_0D30\\3", L"Kovex Stuck Receiver",
       L"The device has the following problem: 21", 21, true},
      {L"USB\\VID_3F7C&PID_0D30\\4", L"", L"The device has the following problem: 21",
       21, true},
      {L"USB\\VID_3F7C&PID_0C20\\6", L"", L"Error retrieving the device's status.", -1,
       false},
      // An endpoint's presence is told by its own kind's status.
      {L"SWD\\MMDEVAPI\\{0.0.0}.{a}", L"", L"Driver is running.", -1, true},
  };

  ApplyPresence(TraceKind::kDevice, present, &findings);

  ASSERT_EQ((std::vector<std::wstring>{L"USB\\VID_3F7C&PID_0D30\\3",
                                       L"USB\\VID_3F7C&PID_0D30\\4",
                                       L"USB\\VID_3F7C&PID_0B10\\5",
                                       L"USB\\VID_3F7C&PID_0C20\\6",
                                       L"SWD\\MMDEVAPI\\{0.0.0}.{a}"}),
            Ids(findings));
  EXPECT_TRUE(findings.traces[0].awaits_reboot);
  EXPECT_TRUE(findings.traces[1].awaits_reboot);
  // Being removed already: a reboot finishes it, no command by hand.
  EXPECT_EQ(L"", findings.traces[1].manual_removal);
  EXPECT_FALSE(findings.traces[2].awaits_reboot);
  EXPECT_EQ(L"", findings.traces[2].status);
  EXPECT_FALSE(findings.traces[3].awaits_reboot);
  ASSERT_EQ(2u, findings.attached.size());
  EXPECT_EQ(L"USB\\VID_3F7C&PID_0A01\\1", findings.attached[0].id);
  EXPECT_EQ(L"Kovex Headset", findings.attached[0].description);
  EXPECT_EQ(L"Driver is running.", findings.attached[0].status);
  // Listed without a description: the one status gives, and no command.
  EXPECT_EQ(L"Kovex Pad", findings.attached[1].description);
  EXPECT_EQ(L"", findings.attached[1].manual_removal);
  EXPECT_EQ(L"Device is currently stopped.", findings.attached[1].status);
}
