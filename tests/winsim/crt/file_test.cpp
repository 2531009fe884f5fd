// The Windows C runtime's file functions on the machine: injected failures, times on the
// machine's clock, the machine's environment and streams of the host (file_conformance_test.cpp
// states the rest as the runtime has it).
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/files.h"
#include "winsim/machine.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

namespace wf = winsim::files;

class FilesCrtTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};

    void Put(const wchar_t* path, const std::string& bytes) { ASSERT_TRUE(wf::WriteBytes(*machine, path, bytes)); }
    std::string Get(const wchar_t* path) { return wf::ReadBytes(*machine, path).value_or("<missing>"); }
};

TEST_F(FilesCrtTest, InjectedWriteFailures) {
    FILE* f = _wfopen(L"C:\\full.log", L"w");
    ASSERT_NE(nullptr, f);
    EXPECT_GE(fputws(L"ok\n", f), 0);
    wf::InjectFailure(*machine, L"C:\\full.log", wf::kFailWrite, ERROR_ACCESS_DENIED);
    errno = 0;
    EXPECT_EQ(static_cast<int>(WEOF), fputws(L"refused\n", f));
    EXPECT_EQ(EACCES, errno);
    EXPECT_EQ(WEOF, fputwc(L'x', f));
    fclose(f);
    EXPECT_EQ("ok\r\n", Get(L"C:\\full.log"));
    wf::InjectFailure(*machine, L"C:\\full.log", wf::kFailOpen, ERROR_SHARING_VIOLATION);
    errno = 0;
    EXPECT_EQ(nullptr, _wfopen(L"C:\\full.log", L"r"));
    EXPECT_EQ(EACCES, errno);
    wf::ClearFailures(*machine);
    EXPECT_EQ(0, _wremove(L"C:\\full.log"));
}

TEST_F(FilesCrtTest, StatTimesAndTheEnvironmentAreTheMachines) {
    FILE* f = _wfopen(L"C:\\ten.bin", L"wb");
    ASSERT_NE(nullptr, f);
    fclose(f);
    struct _stat64 st64;
    ASSERT_EQ(0, _wstat64(L"C:\\ten.bin", &st64));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    long long now_s =
        static_cast<long long>((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 10000000ULL) -
        11644473600LL;
    EXPECT_EQ(now_s, st64.st_mtime);  // the machine's clock, not the host's
    EXPECT_STREQ(L"C:\\Windows", _wgetenv(L"SystemRoot"));
}

TEST_F(FilesCrtTest, AnEncodingWithABinaryModeIsInvalid) {
    errno = 0;
    EXPECT_EQ(nullptr, _wfopen(L"C:\\x.txt", L"wb, ccs=UTF-8"));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(FilesCrtTest, StreamsNotOpenedByWfopenWriteUtf8) {
    // A host stream (not from _wfopen) gets UTF-8 without translation.
    char* data = nullptr;
    size_t size = 0;
    FILE* mem = open_memstream(&data, &size);
    ASSERT_NE(nullptr, mem);
    EXPECT_GE(fputws(L"\u00e9\n", mem), 0);
    fclose(mem);
    EXPECT_EQ(std::string("\xC3\xA9\n"), std::string(data, size));
    std::free(data);
}

}  // namespace
