// Version data attached to the machine's files: errors winsim settles, blocks without
// translations, cut blocks and version numbers (version_conformance_test.cpp reads a
// program's own data as Windows has it).
#include <gtest/gtest.h>
#include <windows.h>
#include <winver.h>

#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/version.h"

#include <string>
#include <vector>

namespace {

using winsim::version::Translation;
using winsim::version::VersionInfo;

const wchar_t* const kFile = L"C:\\Tools\\Drv.exe";

class VersionTest : public ::testing::Test {
protected:
    VersionTest() {
        winsim::files::CreateFolders(*machine, L"C:\\Tools");
        winsim::files::WriteBytes(*machine, kFile, "MZ");
        winsim::files::WriteBytes(*machine, L"C:\\Tools\\plain.txt", "text");
    }
    std::vector<uint8_t> Load(LPCWSTR path) {
        DWORD handle = 7;
        DWORD n = GetFileVersionInfoSizeW(path, &handle);
        EXPECT_EQ(0u, handle);
        std::vector<uint8_t> b(n);
        if (n) {
            EXPECT_TRUE(GetFileVersionInfoW(path, 0, n, b.data()));
        }
        return b;
    }
    std::wstring Query(const std::vector<uint8_t>& b, LPCWSTR sub, UINT* len = nullptr) {
        LPVOID p = nullptr;
        UINT n = 0;
        if (!VerQueryValueW(b.data(), sub, &p, &n)) return L"<none>";
        if (len) *len = n;
        return static_cast<LPCWSTR>(p);
    }

    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(VersionTest, AFileWithoutDataHasNoResourceType) {
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(L"C:\\Tools\\plain.txt", NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(winsim::version::Attach(*machine, L"C:\\Tools\\none.exe", VersionInfo{}));
}

TEST_F(VersionTest, StringsCountTheirTerminatorAndMissingOnesHaveNoResourceType) {
    ASSERT_TRUE(winsim::version::Attach(
        *machine, kFile,
        VersionInfo::WithStrings({0x0409, 1200}, {{L"FileVersion", L"2.1.0.3"}, {L"CompanyName", L"Quarven"}})));
    auto b = Load(L"c:\\tools\\DRV.EXE");  // any case
    UINT len = 0;
    EXPECT_EQ(L"2.1.0.3", Query(b, L"\\StringFileInfo\\040904b0\\FileVersion", &len));
    EXPECT_EQ(8u, len);
    EXPECT_EQ(L"<none>", Query(b, L"\\StringFileInfo\\040904b0\\ProductName"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
}

TEST_F(VersionTest, SeveralTranslationsAndNone) {
    VersionInfo v;
    v.translations = {{0x0411, 932}, {0x0409, 1252}};
    v.tables = {{{0x0409, 1252}, {{L"FileVersion", L"1.0"}}}, {{0x0411, 932}, {{L"Comments", L"jp"}}}};
    ASSERT_TRUE(winsim::version::Attach(*machine, kFile, v));
    auto b = Load(kFile);
    LPVOID p = nullptr;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueW(b.data(), L"\\VarFileInfo\\Translation", &p, &n));
    ASSERT_EQ(8u, n);
    EXPECT_EQ(0x03A40411u, static_cast<DWORD*>(p)[0]);
    EXPECT_EQ(0x04E40409u, static_cast<DWORD*>(p)[1]);
    EXPECT_EQ(L"1.0", Query(b, L"\\StringFileInfo\\040904e4\\FileVersion"));
    EXPECT_EQ(L"jp", Query(b, L"\\StringFileInfo\\041103a4\\Comments"));

    VersionInfo none;
    none.tables = {{{0x0409, 1200}, {{L"FileVersion", L"1.0"}}}};
    ASSERT_TRUE(winsim::version::Attach(*machine, kFile, none));
    b = Load(kFile);
    EXPECT_FALSE(VerQueryValueW(b.data(), L"\\VarFileInfo\\Translation", &p, &n));
    auto back = winsim::version::Find(*machine, kFile);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->translations.empty());
    ASSERT_EQ(1u, back->tables.size());
    EXPECT_EQ(L"1.0", back->tables[0].strings[0].second);
}

TEST_F(VersionTest, ACutBlockLosesItsLastEntries) {
    ASSERT_TRUE(winsim::version::Attach(*machine, kFile,
                                        VersionInfo::WithStrings({0x0409, 1200}, {{L"A", L"1"}, {L"B", L"2"}})));
    DWORD size = GetFileVersionInfoSizeW(kFile, NULL);
    std::vector<uint8_t> b(size);
    ASSERT_TRUE(GetFileVersionInfoW(kFile, 0, size - 4, b.data()));
    EXPECT_EQ(L"1", Query(b, L"\\StringFileInfo\\040904b0\\A"));
    EXPECT_EQ(L"<none>", Query(b, L"\\StringFileInfo\\040904b0\\B"));
    EXPECT_FALSE(GetFileVersionInfoW(kFile, 0, 4, b.data()));
    winsim::version::Detach(*machine, kFile);
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(kFile, NULL));
}

TEST(VersionNumbers, ParsedFromText) {
    DWORD ms = 0, ls = 0;
    EXPECT_TRUE(winsim::version::ParseVersion(L"1.2.3.4", &ms, &ls));
    EXPECT_EQ(0x00010002u, ms);
    EXPECT_EQ(0x00030004u, ls);
    EXPECT_FALSE(winsim::version::ParseVersion(L"1.2", &ms, &ls));
}

}  // namespace
