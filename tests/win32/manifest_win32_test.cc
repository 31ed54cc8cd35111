// The programs' embedded resources, read from the built exes (KOVEX_EXE,
// KOVEX_CHECK_EXE).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

std::string Resource(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC found = FindResourceW(module, name, type);
  if (found == nullptr) return "";
  HGLOBAL loaded = LoadResource(module, found);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  return std::string(bytes, SizeofResource(module, found));
}

// What Windows reads from each program before and after starting it: the
// manifest it is started with, and the version resource that the file's
// properties and the task manager show.
struct Program {
  const char* variable;  // names the built exe
  const char* file_name;
  const char* identity;  // the manifest's assembly name
  const char* description;
  const char* internal_name;
};

const Program kPrograms[] = {
    {"KOVEX_EXE", "kovex-deepclean.exe", "Kovex.DeepClean",
     "Deep Clean Kovex Drivers", "kovex-deepclean"},
    {"KOVEX_CHECK_EXE", "kovex-deepclean-check.exe", "Kovex.DeepClean.Check",
     "Check for Kovex Drivers Left", "kovex-deepclean-check"},
};

std::wstring PathOf(const Program& program) {
  const char* exe = std::getenv(program.variable);
  if (exe == nullptr) return std::wstring();
  std::wstring path(exe, exe + std::strlen(exe));
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// A text of the version resource, found as Windows finds it: through the
// language and code page the resource's translation table names first.
std::string VersionText(const std::vector<char>& info, const char* name) {
  struct Translation {
    WORD language;
    WORD code_page;
  };
  void* table = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &table, &size) ||
      size < sizeof(Translation)) {
    return "(no translation table)";
  }
  const Translation first = *static_cast<const Translation*>(table);
  wchar_t block[9];
  std::swprintf(block, 9, L"%04x%04x", first.language, first.code_page);
  const std::wstring query = std::wstring(L"\\StringFileInfo\\") + block + L"\\" +
                             std::wstring(name, name + std::strlen(name));
  void* value = nullptr;
  if (!VerQueryValueW(info.data(), query.c_str(), &value, &size) || size == 0) {
    return "(none)";
  }
  std::string text;
  for (const wchar_t* c = static_cast<const wchar_t*>(value); *c != L'\0'; ++c) {
    text.push_back(static_cast<char>(*c));
  }
  return text;
}

}  // namespace

TEST(ProgramResources, EachProgramStartsWithItsOwnManifestAndTellsItsVersion) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.file_name);
    const std::wstring path = PathOf(program);
    ASSERT_FALSE(path.empty()) << program.variable << " is not set";
    HMODULE module = LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module) << GetLastError();

    // Resource 1 of type RT_MANIFEST is the one a program is started with:
    // the invoker's rights, no UI access (which Windows grants only to signed
    // programs in protected folders), and the 64-bit architecture, without
    // which Windows refuses to start it.
    const std::string manifest =
        Resource(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    EXPECT_NE(std::string::npos,
              manifest.find("<requestedExecutionLevel level=\"asInvoker\" "
                            "uiAccess=\"false\"/>"))
        << manifest;
    EXPECT_NE(std::string::npos,
              manifest.find(std::string("name=\"") + program.identity +
                            "\" version=\"1.0.0.0\" processorArchitecture=\"amd64\""))
        << manifest;
    FreeLibrary(module);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    EXPECT_EQ("Kovex Inc", VersionText(info, "CompanyName"));
    EXPECT_EQ("Kovex Deep Clean", VersionText(info, "ProductName"));
    EXPECT_EQ(program.description, VersionText(info, "FileDescription"));
    EXPECT_EQ(program.internal_name, VersionText(info, "InternalName"));
    EXPECT_EQ(program.file_name, VersionText(info, "OriginalFilename"));

    // The numbers Windows compares agree with the texts it shows.
    void* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &fixed, &fixed_size));
    const auto* numbers = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    const std::string numbered =
        std::to_string(HIWORD(numbers->dwFileVersionMS)) + "." +
        std::to_string(LOWORD(numbers->dwFileVersionMS)) + "." +
        std::to_string(HIWORD(numbers->dwFileVersionLS)) + "." +
        std::to_string(LOWORD(numbers->dwFileVersionLS));
    EXPECT_EQ(VersionText(info, "FileVersion"), numbered);
    EXPECT_EQ(VersionText(info, "ProductVersion"), numbered);
  }
}
