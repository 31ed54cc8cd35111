// RestrictLibrarySearch on the real loader (under Wine in the build). It
// changes the process for good, so it has a test program of its own, in a
// folder of its own. KOVEX_PLANTED_LIBRARY names a library that the test
// plants beside the program under two names.
#include <windows.h>

#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

#include "exec/library_search.h"
#include "gtest/gtest.h"

namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return Lower(std::wstring(path, length < MAX_PATH ? length : 0));
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\'));
}

class RestrictLibrarySearchTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::wstring& path : planted_) {
      DeleteFileW(path.c_str());
      DeleteFileW((path + L".loaded").c_str());
    }
  }

  // Copies the planted library beside this program as `name`.
  std::wstring Plant(const wchar_t* name) {
    const char* library = std::getenv("KOVEX_PLANTED_LIBRARY");
    EXPECT_NE(nullptr, library) << "KOVEX_PLANTED_LIBRARY is not set";
    const std::string narrow = library != nullptr ? library : "";
    std::wstring source(narrow.begin(), narrow.end());
    for (wchar_t& c : source) {
      if (c == L'/') c = L'\\';
    }
    const std::wstring path = FolderOf(ModulePath(nullptr)) + L"\\" + name;
    EXPECT_TRUE(CopyFileW(source.c_str(), path.c_str(), FALSE)) << GetLastError();
    planted_.push_back(path);
    return Lower(path);
  }

 private:
  std::vector<std::wstring> planted_;
};

}  // namespace

TEST_F(RestrictLibrarySearchTest, OnlyTheSystemDirectoryIsSearchedAfterwards) {
  const std::wstring own = Plant(L"kovex-planted.dll");
  Plant(L"version.dll");
  ASSERT_EQ(nullptr, GetModuleHandleW(L"version.dll")) << "loaded already";

  // Until the call, the program's own folder comes first in the search.
  const HMODULE before = LoadLibraryW(L"kovex-planted.dll");
  ASSERT_NE(nullptr, before);
  EXPECT_EQ(own, ModulePath(before));
  FreeLibrary(before);

  RestrictLibrarySearch();

  EXPECT_EQ(nullptr, LoadLibraryW(L"kovex-planted.dll"));
  const HMODULE version = LoadLibraryW(L"version.dll");
  ASSERT_NE(nullptr, version) << GetLastError();
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(Lower(std::wstring(system, length) + L"\\version.dll"),
            ModulePath(version));
  FreeLibrary(version);
}
