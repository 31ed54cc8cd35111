// The fleet page's file calls on the real Win32 API (under Wine in the
// build): a folder's names in UTF-8 whatever their script, and a file read
// whole, within its limit, or not at all.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fleet_page/fleet_files.h"
#include "gtest/gtest.h"

namespace {

void MakeFile(const std::wstring& name, const std::string& bytes) {
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  CloseHandle(file);
}

}  // namespace

TEST(FleetFiles, AFolderIsListedAndEachFileReadWholeOrNotAtAll) {
  const std::wstring folder = L"kx-fleet-files";
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\sub.json").c_str(), nullptr);
  // "PC-Ü€😀.json": two- three- and four-byte UTF-8, a surrogate pair in UTF-16.
  MakeFile(folder + L"\\PC-\x00DC\x20AC\xD83D\xDE00.json", "{\"clean\":true}");
  MakeFile(folder + L"\\empty.json", "");
  MakeFile(folder + L"\\large.json", std::string(101, 'x'));

  std::vector<FolderEntry> entries;
  std::string error;
  ASSERT_TRUE(ListFolder("kx-fleet-files", &entries, &error)) << error;
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  ASSERT_EQ(4u, entries.size());
  EXPECT_EQ("PC-\xC3\x9C\xE2\x82\xAC\xF0\x9F\x98\x80.json", entries[0].name);
  EXPECT_FALSE(entries[0].folder);
  EXPECT_EQ("sub.json", entries[3].name);
  EXPECT_TRUE(entries[3].folder);
  EXPECT_FALSE(ListFolder("kx-no-such-folder", &entries, &error));
  EXPECT_FALSE(error.empty());

  const struct {
    std::string name;
    FileRead outcome;
    std::string bytes;
  } cases[] = {
      {entries[0].name, FileRead::kRead, "{\"clean\":true}"},
      {"empty.json", FileRead::kRead, ""},
      {"large.json", FileRead::kTooLarge, ""},
      {"sub.json", FileRead::kNotRegular, ""},
      {"missing.json", FileRead::kNotRegular, ""},
  };
  for (const auto& entry : cases) {
    std::string bytes = "left over";
    EXPECT_EQ(entry.outcome, ReadWholeFile("kx-fleet-files\\" + entry.name, 100, &bytes))
        << entry.name;
    if (entry.outcome == FileRead::kRead) {
      EXPECT_EQ(entry.bytes, bytes) << entry.name;
    }
  }
  EXPECT_EQ(FileRead::kNotRegular, ReadWholeFile("NUL", 100, &error));  // a device
  for (const wchar_t* name :
       {L"\\PC-\x00DC\x20AC\xD83D\xDE00.json", L"\\empty.json", L"\\large.json"}) {
    DeleteFileW((folder + name).c_str());
  }
  RemoveDirectoryW((folder + L"\\sub.json").c_str());
  RemoveDirectoryW(folder.c_str());
}
