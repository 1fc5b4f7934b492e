// What zorv_program_resources() gives a program: a version resource that the system's
// version calls read back, and a manifest that asks for no elevation and no version 6
// common controls, and names the program's own processor.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Widen(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  return w;
}

class VersionInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data_.data())) << GetLastError();
  }
  std::wstring Text(const wchar_t* name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(data_.data(), key.c_str(), &value, &chars) || value == nullptr) return L"(missing)";
    return static_cast<const wchar_t*>(value);
  }
  std::vector<unsigned char> data_;
};

TEST_F(VersionInfo, NamesTheProductTheFileAndTheProjectVersion) {
  EXPECT_EQ(Text(L"ProductName"), L"Zorvantique bootloader");
  EXPECT_EQ(Text(L"FileDescription"), L"Resource check");
  EXPECT_EQ(Text(L"OriginalFilename"), L"program_resources_tests.exe");
  EXPECT_EQ(Text(L"FileVersion"), Widen(ZORV_PROJECT_VERSION));
  EXPECT_EQ(Text(L"ProductVersion"), Widen(ZORV_PROJECT_VERSION));
  EXPECT_EQ(Text(L"CompanyName"), L"(missing)");

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD((ZORV_VERSION_MAJOR << 16) | ZORV_VERSION_MINOR));
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD(ZORV_VERSION_PATCH << 16));
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));

  // The translation the string block is found under.
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &size));
  ASSERT_GE(size, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);
}

TEST(Manifest, AsInvokerWithoutVersion6CommonControlsForTheProgramsProcessor) {
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(info, nullptr) << "no manifest resource";
  HGLOBAL handle = LoadResource(nullptr, info);
  ASSERT_NE(handle, nullptr);
  const char* text = static_cast<const char*>(LockResource(handle));
  const std::string manifest(text, SizeofResource(nullptr, info));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
  EXPECT_EQ(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos) << manifest;
  EXPECT_EQ(manifest.find("<dependency"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("version=\"" ZORV_PROJECT_VERSION ".0\""), std::string::npos) << manifest;
  // Windows refuses to start a program whose manifest names another processor.
  const std::string processor = sizeof(void*) == 8 ? "amd64" : "x86";
  EXPECT_NE(manifest.find("processorArchitecture=\"" + processor + "\""), std::string::npos) << manifest;
}

}  // namespace
