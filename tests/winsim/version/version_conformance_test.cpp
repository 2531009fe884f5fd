// Version data of files as Windows has it, read from this program's own image: the fixed
// part, translations and string tables by language and code page, and missing data.
#include "conformance.h"

#include <winver.h>

#include <string>
#include <vector>

namespace {

class VersionTest : public ConformanceTest {
protected:
    std::vector<uint8_t> Load(const std::wstring& path) {
        DWORD handle = 7;
        DWORD n = GetFileVersionInfoSizeW(path.c_str(), &handle);
        EXPECT_EQ(0u, handle);
        std::vector<uint8_t> b(n);
        if (n) {
            EXPECT_TRUE(GetFileVersionInfoW(path.c_str(), 0, n, b.data()));
        }
        return b;
    }
    static std::wstring Query(const std::vector<uint8_t>& b, LPCWSTR sub) {
        LPVOID p = nullptr;
        UINT n = 0;
        if (!VerQueryValueW(b.data(), sub, &p, &n)) return L"<none>";
        return static_cast<LPCWSTR>(p);
    }
};

TEST_F(VersionTest, FixedPartTranslationsAndStrings) {
    auto b = Load(ImageWithVersion());
    ASSERT_FALSE(b.empty());
    LPVOID p = nullptr;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueW(b.data(), L"\\", &p, &n));
    EXPECT_EQ(sizeof(VS_FIXEDFILEINFO), n);
    auto* f = static_cast<VS_FIXEDFILEINFO*>(p);
    EXPECT_EQ(static_cast<DWORD>(VS_FFI_SIGNATURE), f->dwSignature);
    EXPECT_EQ(0x00020001u, f->dwFileVersionMS);
    EXPECT_EQ(0x00000003u, f->dwFileVersionLS);
    ASSERT_TRUE(VerQueryValueW(b.data(), L"\\VarFileInfo\\Translation", &p, &n));
    ASSERT_EQ(8u, n);
    EXPECT_EQ(0x04B00409u, static_cast<DWORD*>(p)[0]);
    EXPECT_EQ(0x03A40411u, static_cast<DWORD*>(p)[1]);
    EXPECT_EQ(L"2.1.0.3", Query(b, L"\\StringFileInfo\\040904b0\\FileVersion"));
    EXPECT_EQ(L"Quarven", Query(b, L"\\stringfileinfo\\040904B0\\companyname"));  // any case
    EXPECT_EQ(L"Quarven", Query(b, L"StringFileInfo\\040904b0\\CompanyName"));
    EXPECT_EQ(L"jp", Query(b, L"\\StringFileInfo\\041103a4\\Comments"));
    EXPECT_EQ(L"<none>", Query(b, L"\\StringFileInfo\\041104b0\\FileVersion"));
    EXPECT_EQ(L"<none>", Query(b, L"\\StringFileInfo\\040904b0\\ProductName"));
}

TEST_F(VersionTest, MissingFileAndFileWithoutData) {
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(Path(L"none.exe").c_str(), NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    HANDLE h = CreateFileW(Path(L"plain.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, "text", 4, &written, nullptr);
    CloseHandle(h);
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(Path(L"plain.txt").c_str(), NULL));  // (its error is left open)
}

}  // namespace
