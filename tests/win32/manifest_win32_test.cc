// The program's embedded resources, read from the built exe (KOVEX_EXE).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "gtest/gtest.h"

namespace {

std::string Resource(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC found = FindResourceW(module, name, type);
  if (found == nullptr) return "";
  HGLOBAL loaded = LoadResource(module, found);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  return std::string(bytes, SizeofResource(module, found));
}

}  // namespace

TEST(ProgramResources, ManifestAsksForTheInvokersRightsAndVersionIsThere) {
  const char* exe = std::getenv("KOVEX_EXE");
  ASSERT_NE(nullptr, exe) << "KOVEX_EXE is not set";
  std::wstring path(exe, exe + std::strlen(exe));
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, module) << GetLastError();

  // Resource 1 of type RT_MANIFEST is the one a program is started with.
  const std::string manifest =
      Resource(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  EXPECT_NE(std::string::npos,
            manifest.find("<requestedExecutionLevel level=\"asInvoker\" "
                          "uiAccess=\"false\"/>"))
      << manifest;
  EXPECT_FALSE(Resource(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)).empty());
  FreeLibrary(module);
}
