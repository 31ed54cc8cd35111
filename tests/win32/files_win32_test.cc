// Deleting the cleanup's listing files on the real Windows API (under Wine in
// the build), in the working directory.
#include <windows.h>

#include "exec/files.h"
#include "gtest/gtest.h"

namespace {

bool Exists(const wchar_t* name) {
  return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
}

void MakeFile(const wchar_t* name, DWORD attributes) {
  HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  ASSERT_TRUE(SetFileAttributesW(name, attributes));
}

}  // namespace

TEST(DeleteWorkingFile, GoneOrNeverThereIsSuccessAnythingKeptIsNot) {
  MakeFile(L"kx-listing.txt", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(0, DeleteWorkingFile("kx-listing.txt"));
  EXPECT_FALSE(Exists(L"kx-listing.txt"));
  EXPECT_EQ(0, DeleteWorkingFile("kx-listing.txt"));

  // Read-only: kept, and not made writable.
  MakeFile(L"kx-read-only.txt", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ERROR_ACCESS_DENIED, DeleteWorkingFile("kx-read-only.txt"));
  EXPECT_NE(0u, GetFileAttributesW(L"kx-read-only.txt") & FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(L"kx-read-only.txt", FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(L"kx-read-only.txt");
}
