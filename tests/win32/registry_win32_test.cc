// The registry calls, and the installer cleanup over them, on the real
// Windows registry (under Wine in the build). Every key is made in the test
// and removed after it.
#include <windows.h>

#include <string>
#include <vector>

#include "exec/registry.h"
#include "gtest/gtest.h"
#include "steps/steps.h"
#include "tests/unit/fakes.h"

namespace {

const wchar_t kTestPath[] = L"Software\\KovexRegistryTest";

bool CreateKey(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != 0) {
    return false;
  }
  const wchar_t value[] = L"1";
  RegSetValueExW(key, L"Installed", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(value), sizeof(value));
  RegCloseKey(key);
  return true;
}

bool KeyExists(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view,
                    &key) != 0) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void DeleteKey(const std::wstring& path, REGSAM view) {
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view,
                    &parent) == 0) {
    RegDeleteTreeW(parent, path.substr(wcslen(L"Software\\")).c_str());
    RegCloseKey(parent);
  }
}

class RegistryWin32Test : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const wchar_t* path : {kTestPath, L"Software\\Kovex"}) {
      DeleteKey(path, KEY_WOW64_32KEY);
      DeleteKey(path, KEY_WOW64_64KEY);
    }
  }
};

}  // namespace

TEST_F(RegistryWin32Test, EnumeratesAndDeletesTreesInThe32BitView) {
  const std::wstring base = kTestPath;
  ASSERT_TRUE(CreateKey(base + L"\\DrvSetup\\Nested\\Deeper", KEY_WOW64_32KEY));
  ASSERT_TRUE(CreateKey(base + L"\\Keep", KEY_WOW64_32KEY));
  ASSERT_TRUE(CreateKey(base + L"\\DrvSetup", KEY_WOW64_64KEY));

  RegistryKey key = nullptr;
  ASSERT_EQ(0, OpenLocalMachineKey32(kTestPath, &key));
  std::vector<std::wstring> names;
  wchar_t name[260];
  unsigned long index = 0;
  for (; EnumSubkeyName(key, index, name, 260) == 0; ++index) names.push_back(name);
  EXPECT_EQ((std::vector<std::wstring>{L"DrvSetup", L"Keep"}), names);
  EXPECT_EQ(static_cast<long>(ERROR_NO_MORE_ITEMS),
            EnumSubkeyName(key, index, name, 260));

  EXPECT_EQ(0, DeleteSubkeyTree(key, L"DrvSetup"));
  EXPECT_NE(0, DeleteSubkeyTree(key, L"NotThere"));
  CloseRegistryKey(key);

  EXPECT_FALSE(KeyExists(base + L"\\DrvSetup", KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(base + L"\\Keep", KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(base + L"\\DrvSetup", KEY_WOW64_64KEY));
}

TEST_F(RegistryWin32Test, KeyIsOpenForChangesNotJustForReading) {
  // Deleting a tree below the key needs more than read access; Wine lets
  // RegDeleteTreeW through on a read-only key, so changing one of the key's
  // own values is what tells the access.
  ASSERT_TRUE(CreateKey(std::wstring(kTestPath) + L"\\DrvSetup\\Nested",
                        KEY_WOW64_32KEY));
  RegistryKey key = nullptr;
  ASSERT_EQ(0, OpenLocalMachineKey32(kTestPath, &key));
  const HKEY opened = static_cast<HKEY>(key);
  const wchar_t value[] = L"changed";
  EXPECT_EQ(ERROR_SUCCESS,
            RegSetValueExW(opened, L"Probe", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(value), sizeof(value)));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(opened, L"Probe"));
  EXPECT_EQ(0, DeleteSubkeyTree(key, L"DrvSetup"));
  CloseRegistryKey(key);
  EXPECT_FALSE(KeyExists(std::wstring(kTestPath) + L"\\DrvSetup", KEY_WOW64_32KEY));
}

TEST_F(RegistryWin32Test, MissingKeyDoesNotOpen) {
  RegistryKey key = nullptr;
  EXPECT_NE(0, OpenLocalMachineKey32(L"Software\\KovexNoSuchKey", &key));
}

TEST_F(RegistryWin32Test, CleanupDeletesInstallerSubkeysOfThe32BitView) {
  // A name of 255 characters, the longest a key may have, enumerated first.
  const std::wstring longest = L"ADriver" + std::wstring(248, L'x');
  ASSERT_TRUE(CreateKey(L"Software\\Kovex\\" + longest, KEY_WOW64_32KEY));
  ASSERT_TRUE(CreateKey(L"Software\\Kovex\\AudioDriverSetup\\Cache", KEY_WOW64_32KEY));
  ASSERT_TRUE(CreateKey(L"Software\\Kovex\\KxDrv", KEY_WOW64_32KEY));
  ASSERT_TRUE(CreateKey(L"Software\\Kovex\\drvTools", KEY_WOW64_32KEY));
  ASSERT_TRUE(CreateKey(L"Software\\Kovex\\Settings", KEY_WOW64_32KEY));
  ASSERT_TRUE(CreateKey(L"Software\\Kovex\\KxDrv", KEY_WOW64_64KEY));

  printed.clear();
  RemoveInstallerRegistry();

  EXPECT_EQ("Removing driver installer registry...\n", printed);
  EXPECT_FALSE(KeyExists(L"Software\\Kovex\\" + longest, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(L"Software\\Kovex\\AudioDriverSetup", KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(L"Software\\Kovex\\KxDrv", KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(L"Software\\Kovex\\drvTools", KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(L"Software\\Kovex\\Settings", KEY_WOW64_32KEY));
  EXPECT_TRUE(KeyExists(L"Software\\Kovex\\KxDrv", KEY_WOW64_64KEY));
}
