// The Windows pieces under the program: the long path form, the system's
// error texts, the registry reader of the stored settings and the memory
// figures. Runs under Wine in the Windows stage.
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <map>
#include <string>

#include "sys/Memory.h"
#include "sys/Platform.h"
#include "sys/UserSettings.h"

namespace {

using rastra::sys::SystemPath;

TEST(WindowsPaths, TheLongFormIsUsedWhereThePlainOneEnds) {
  const std::string folder(300, 'a');
  struct Case {
    std::string path;
    std::wstring expectedStart;
  };
  const Case cases[] = {
      {"C:\\short\\name.png", L"C:\\short\\name.png"},
      {"C:\\" + folder + "\\x.png", L"\\\\?\\C:\\"},
      {"C:/" + folder + "/x.png", L"\\\\?\\C:\\"},
      {"\\\\server\\share\\" + folder + "\\x.png", L"\\\\?\\UNC\\server\\share\\"},
      {"\\\\?\\C:\\" + folder + "\\x.png", L"\\\\?\\C:\\"},
  };
  for (const Case& c : cases) {
    const std::wstring wide = SystemPath(c.path);
    EXPECT_EQ(wide.rfind(c.expectedStart, 0), 0u) << c.path.substr(0, 30);
    EXPECT_EQ(wide.find(L'/'), std::wstring::npos) << c.path.substr(0, 30);
  }
  // A relative long path is made absolute from the current folder.
  const std::wstring relative = SystemPath(folder + "\\x.png");
  EXPECT_EQ(relative.rfind(L"\\\\?\\", 0), 0u);
  EXPECT_GT(relative.size(), folder.size() + 10);
}

TEST(WindowsPaths, Utf8RoundTripsThroughTheWideForm) {
  for (const std::string name : {"café.png", "日本.gif", "name with spaces.bmp", ""}) {
    EXPECT_EQ(rastra::sys::Utf8FromWide(rastra::sys::WideFromUtf8(name)), name);
  }
  EXPECT_EQ(rastra::sys::WideFromUtf8("café"), L"caf\u00e9");
}

TEST(WindowsErrors, TheSystemsTextWithoutLineEnd) {
  const std::string text = rastra::sys::WindowsErrorText(ERROR_ACCESS_DENIED);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_NE(text.back(), '.') << text;
}

// Values of every type the window's store writes, read back as text.
TEST(WindowsRegistry, ReadsTheGroupsValues) {
  const wchar_t* path = L"Software\\RastraTest\\App\\Group";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  const DWORD dword = 4294967295u;
  const unsigned long long qword = 12345678901ull;
  const wchar_t text[] = L"caf\u00e9";
  RegSetValueExW(key, L"Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
  RegSetValueExW(key, L"Qword", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&qword), sizeof qword);
  RegSetValueExW(key, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegSetValueExW(key, L"Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>(text), 2);
  RegCloseKey(key);
  const auto values = rastra::sys::ReadUserSettingsGroup("RastraTest", "App", "Group");
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\RastraTest");
  const std::map<std::string, std::string> expected = {
      {"Dword", "4294967295"}, {"Qword", "12345678901"}, {"Text", "café"}};
  EXPECT_EQ(values, expected);
  EXPECT_TRUE(rastra::sys::ReadUserSettingsGroup("RastraTest", "App", "Group").empty());
}

TEST(WindowsMemory, FiguresComeFromTheSystem) {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_EQ(rastra::sys::PhysicalMemoryBytes(), status.ullTotalPhys);
  EXPECT_GT(rastra::sys::AddressSpaceInUseBytes(), 0u);
  // No job object limits this process.
  EXPECT_EQ(rastra::sys::AddressSpaceLimitBytes(), 0u);
}

}  // namespace
