// The Windows C runtime's file functions: _wfopen modes and encodings, text-mode
// translation, renames, stat records, access checks, the environment and folders.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/files.h"
#include "winsim/machine.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace {

namespace wf = winsim::files;

class FilesCrtTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};

    void Put(const wchar_t* path, const std::string& bytes) { ASSERT_TRUE(wf::WriteBytes(*machine, path, bytes)); }
    std::string Get(const wchar_t* path) { return wf::ReadBytes(*machine, path).value_or("<missing>"); }
    std::wstring ReadLines(const wchar_t* path, const wchar_t* mode) {
        FILE* f = _wfopen(path, mode);
        if (!f) return L"<open failed>";
        std::wstring all;
        wchar_t line[64];
        while (fgetws(line, 64, f)) all += std::wstring(line) + L"|";
        fclose(f);
        return all;
    }
};

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

// ---------------------------------------------------------------------------------------
// Modes and encodings

TEST_F(FilesCrtTest, WritingInEachModeAndEncoding) {
    struct Row {
        const wchar_t* mode;
        const wchar_t* text;
        std::string bytes;
    };
    const Row rows[] = {
        {L"w", L"a\nb", "a\r\nb"},
        {L"wt", L"caf\u00e9\n", Bytes({'c', 'a', 'f', 0xE9, '\r', '\n'})},
        {L"wb", L"A\n", Bytes({'A', 0, '\n', 0})},  // binary: each WCHAR as two bytes
        {L"w, ccs=UTF-16LE", L"A\n", Bytes({0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0})},
        {L"wt,ccs=UNICODE", L"\u20ac", Bytes({0xFF, 0xFE, 0xAC, 0x20})},
        {L"w, ccs=UTF-8", L"\u00e9\n", Bytes({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, '\r', '\n'})},
        {L"a+t, ccs=UTF-16LE", L"x", Bytes({0xFF, 0xFE, 'x', 0})},
    };
    for (const auto& r : rows) {
        _wremove(L"C:\\out.txt");
        FILE* f = _wfopen(L"C:\\out.txt", r.mode);
        ASSERT_NE(nullptr, f) << winsim::Utf8(r.mode);
        EXPECT_GE(fputws(r.text, f), 0) << winsim::Utf8(r.mode);
        EXPECT_EQ(0, fclose(f));
        EXPECT_EQ(r.bytes, Get(L"C:\\out.txt")) << winsim::Utf8(r.mode);
    }
}

TEST_F(FilesCrtTest, AppendingUtf16KeepsOneByteOrderMark) {
    FILE* f = _wfopen(L"C:\\log.txt", L"a+t, ccs=UTF-16LE");
    ASSERT_NE(nullptr, f);
    fputws(L"one\n", f);
    fclose(f);
    f = _wfopen(L"C:\\LOG.TXT", L"a+t, ccs=UTF-16LE");
    ASSERT_NE(nullptr, f);
    fputwc(L't', f);
    fputws(L"wo\n", f);
    fclose(f);
    EXPECT_EQ(Bytes({0xFF, 0xFE, 'o', 0, 'n', 0, 'e', 0, '\r', 0, '\n', 0, 't', 0, 'w', 0, 'o', 0, '\r', 0, '\n', 0}),
              Get(L"C:\\log.txt"));
    // Reading skips the mark and turns CR LF into LF.
    EXPECT_EQ(L"one\n|two\n|", ReadLines(L"C:\\log.txt", L"rt, ccs=UTF-16LE"));
    // "w" starts over with a new mark.
    f = _wfopen(L"C:\\log.txt", L"w, ccs=UTF-16LE");
    fclose(f);
    EXPECT_EQ(Bytes({0xFF, 0xFE}), Get(L"C:\\log.txt"));
}

TEST_F(FilesCrtTest, ReadingTranslatesAsTheModeSays) {
    struct Row {
        std::string bytes;
        const wchar_t* mode;
        const wchar_t* lines;
    };
    const Row rows[] = {
        {"line1\r\nline2\rX\n", L"rt", L"line1\n|line2\rX\n|"},  // a lone CR stays
        {"line1\r\nline2", L"r", L"line1\n|line2|"},
        {"abc\x1A" "def", L"rt", L"abc|"},                      // CTRL+Z ends a text file
        {"abc\r\n\x1A" "def", L"rb", L"\u6261\u0d63\u1a0a\u6564|"},  // binary wide: two bytes per WCHAR
        {Bytes({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, '\r', '\n'}), L"r, ccs=UTF-16LE", L"\u00e9\n|"},  // the mark decides
        {Bytes({0xC3, 0xA9, '\r', '\n'}), L"r, ccs=UNICODE", L"\u00e9\n|"},  // no mark, UNICODE: UTF-8
        {Bytes({'h', 0, 'i', 0}), L"r, ccs=UTF-16LE", L"hi|"},               // no mark: the flag's encoding
        {Bytes({0xE9, '\r', '\n'}), L"rt", L"\u00e9\n|"},                    // the "C" locale: bytes are 0-255
    };
    for (const auto& r : rows) {
        Put(L"C:\\in.txt", r.bytes);
        EXPECT_EQ(std::wstring(r.lines), ReadLines(L"C:\\in.txt", r.mode)) << winsim::Utf8(r.mode);
    }
}

TEST_F(FilesCrtTest, ByteExactBinaryStreams) {
    const std::string bytes = Bytes({0, 1, '\r', '\n', 0x1A, 0xFF, '\n', '\r'});
    FILE* f = _wfopen(L"C:\\bin.dat", L"wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
    fclose(f);
    EXPECT_EQ(bytes, Get(L"C:\\bin.dat"));
    f = _wfopen(L"C:\\bin.dat", L"rb");
    ASSERT_NE(nullptr, f);
    char buf[16];
    EXPECT_EQ(bytes.size(), fread(buf, 1, sizeof buf, f));
    EXPECT_EQ(bytes, std::string(buf, bytes.size()));
    fclose(f);
}

TEST_F(FilesCrtTest, CharactersOutsideTheAnsiStreamFail) {
    FILE* f = _wfopen(L"C:\\ansi.txt", L"wt");
    ASSERT_NE(nullptr, f);
    errno = 0;
    EXPECT_EQ(WEOF, fputwc(0x20AC, f));
    EXPECT_EQ(EILSEQ, errno);
    EXPECT_EQ(static_cast<wint_t>(0xE9), fputwc(0xE9, f));
    fclose(f);
    EXPECT_EQ(Bytes({0xE9}), Get(L"C:\\ansi.txt"));
}

TEST_F(FilesCrtTest, UngetwcGivesTheCharacterBack) {
    Put(L"C:\\u.txt", "ab");
    FILE* f = _wfopen(L"C:\\u.txt", L"r");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(static_cast<wint_t>(L'a'), fgetwc(f));
    EXPECT_EQ(static_cast<wint_t>(L'Z'), ungetwc(L'Z', f));
    EXPECT_EQ(static_cast<wint_t>(L'Z'), fgetwc(f));
    EXPECT_EQ(static_cast<wint_t>(L'b'), fgetwc(f));
    EXPECT_EQ(WEOF, fgetwc(f));
    fclose(f);
}

TEST_F(FilesCrtTest, OpenErrorsAndSharing) {
    struct Row {
        const wchar_t* path;
        const wchar_t* mode;
        int err;
    };
    Put(L"C:\\ro.txt", "r");
    ASSERT_TRUE(SetFileAttributesW(L"C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
    const Row rows[] = {
        {L"C:\\missing.txt", L"r", ENOENT},
        {L"C:\\Missing\\x.txt", L"w", ENOENT},
        {L"C:\\ro.txt", L"w", EACCES},
        {L"C:\\ro.txt", L"a", EACCES},
        {L"C:\\ro.txt", L"r+", EACCES},
        {L"C:\\Windows", L"r", EACCES},
        {L"C:\\x.txt", L"q", EINVAL},
        {L"C:\\x.txt", L"w, ccs=UTF-7", EINVAL},
        {L"C:\\x.txt", L"wb, ccs=UTF-8", EINVAL},
        {L"C:\\ro.txt", L"wx", EEXIST},
    };
    for (const auto& r : rows) {
        errno = 0;
        EXPECT_EQ(nullptr, _wfopen(r.path, r.mode)) << winsim::Utf8(r.mode);
        EXPECT_EQ(r.err, errno) << winsim::Utf8(r.path) << " " << winsim::Utf8(r.mode);
    }
    FILE* ro = _wfopen(L"C:\\ro.txt", L"r");
    EXPECT_NE(nullptr, ro);
    fclose(ro);

    // _wfopen_s opens without sharing for writing; _wfopen shares reading and writing.
    FILE* a = nullptr;
    ASSERT_EQ(0, _wfopen_s(&a, L"C:\\secure.txt", L"w"));
    FILE* b = nullptr;
    EXPECT_EQ(EACCES, _wfopen_s(&b, L"C:\\secure.txt", L"r"));
    EXPECT_EQ(nullptr, b);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileW(L"C:\\secure.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr));
    fclose(a);
    a = _wfopen(L"C:\\shared.txt", L"w");
    b = _wfopen(L"C:\\shared.txt", L"r");
    EXPECT_NE(nullptr, a);
    EXPECT_NE(nullptr, b);
    fclose(b);
    fclose(a);
    a = _wfsopen(L"C:\\shared.txt", L"r", _SH_DENYRW);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(nullptr, _wfopen(L"C:\\shared.txt", L"r"));
    fclose(a);
    // A closed stream no longer holds the file.
    EXPECT_EQ(0, _wremove(L"C:\\shared.txt"));
}

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

// ---------------------------------------------------------------------------------------
// Files and folders

TEST_F(FilesCrtTest, RenameAndRemove) {
    Put(L"C:\\a.txt", "A");
    Put(L"C:\\b.txt", "B");
    errno = 0;
    EXPECT_EQ(-1, _wrename(L"C:\\a.txt", L"C:\\b.txt"));
    EXPECT_EQ(EACCES, errno);
    EXPECT_EQ("A", Get(L"C:\\a.txt"));
    EXPECT_EQ("B", Get(L"C:\\b.txt"));
    EXPECT_EQ(0, _wrename(L"C:\\a.txt", L"C:\\c.txt"));
    EXPECT_EQ("A", Get(L"C:\\c.txt"));
    EXPECT_EQ(-1, _wrename(L"C:\\a.txt", L"C:\\d.txt"));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(0, _wunlink(L"C:\\c.txt"));
    EXPECT_EQ(-1, _wremove(L"C:\\c.txt"));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(0, _wmkdir(L"C:\\Dir"));
    EXPECT_EQ(-1, _wmkdir(L"C:\\dir"));
    EXPECT_EQ(EEXIST, errno);
    Put(L"C:\\Dir\\f", "f");
    EXPECT_EQ(-1, _wrmdir(L"C:\\Dir"));
    EXPECT_EQ(ENOTEMPTY, errno);
    EXPECT_EQ(0, _wremove(L"C:\\Dir\\f"));
    EXPECT_EQ(0, _wrmdir(L"C:\\Dir"));
}

TEST_F(FilesCrtTest, StatRecords) {
    static_assert(sizeof(((struct _stat*)nullptr)->st_size) == 4, "_stat's st_size is a 32-bit long");
    static_assert(std::is_signed<decltype(((struct _stat*)nullptr)->st_size)>::value, "signed");
    static_assert(sizeof(((struct _stat64*)nullptr)->st_size) == 8, "_stat64's st_size is 64 bits");
    static_assert(sizeof(((struct _stat*)nullptr)->st_mtime) == 8, "64-bit times");

    FILE* f = _wfopen(L"C:\\ten.bin", L"wb");
    ASSERT_NE(nullptr, f);
    fwrite("0123456789", 1, 10, f);
    fflush(f);
    struct _stat st;
    ASSERT_EQ(0, _fstat(_fileno(f), &st));
    EXPECT_EQ(10, st.st_size);
    EXPECT_EQ(_S_IFREG, st.st_mode & _S_IFMT);
    fclose(f);
    struct _stat64 st64;
    ASSERT_EQ(0, _wstat64(L"c:\\TEN.BIN", &st64));
    EXPECT_EQ(10, st64.st_size);
    EXPECT_EQ(_S_IREAD | _S_IWRITE, st64.st_mode & (_S_IREAD | _S_IWRITE | _S_IEXEC));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    long long now_s = static_cast<long long>((static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) /
                                             10000000ULL) - 11644473600LL;
    EXPECT_EQ(now_s, st64.st_mtime);  // the machine's clock, not the host's

    ASSERT_TRUE(SetFileAttributesW(L"C:\\ten.bin", FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(0, _wstat(L"C:\\ten.bin", &st));
    EXPECT_EQ(0, st.st_mode & _S_IWRITE);
    ASSERT_EQ(0, _wstat(L"C:\\Windows", &st));
    EXPECT_EQ(_S_IFDIR, st.st_mode & _S_IFMT);
    EXPECT_EQ(2u, st.st_dev);  // drive C:
    ASSERT_EQ(0, _stat("C:\\Windows\\System32", &st));
    EXPECT_EQ(-1, _wstat(L"C:\\missing", &st));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(-1, _wstat(L"C:\\*", &st));
}

TEST_F(FilesCrtTest, AccessModes) {
    Put(L"C:\\rw.txt", "x");
    Put(L"C:\\ro.txt", "x");
    ASSERT_TRUE(SetFileAttributesW(L"C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\RoDir"));
    ASSERT_TRUE(SetFileAttributesW(L"C:\\RoDir", FILE_ATTRIBUTE_READONLY));
    struct Row {
        const wchar_t* path;
        int mode;
        int err;  // 0: allowed
    };
    const Row rows[] = {
        {L"C:\\rw.txt", 0, 0},      {L"C:\\rw.txt", 2, 0},       {L"C:\\rw.txt", 4, 0},      {L"C:\\rw.txt", 6, 0},
        {L"C:\\ro.txt", 0, 0},      {L"C:\\ro.txt", 2, EACCES},  {L"C:\\ro.txt", 4, 0},      {L"C:\\ro.txt", 6, EACCES},
        {L"C:\\RoDir", 6, 0},  // folders: existence only
        {L"C:\\missing", 0, ENOENT}, {L"C:\\rw.txt", 1, EINVAL},
    };
    for (const auto& r : rows) {
        errno = 0;
        EXPECT_EQ(r.err ? -1 : 0, _waccess(r.path, r.mode)) << winsim::Utf8(r.path) << " " << r.mode;
        EXPECT_EQ(r.err, r.err ? errno : 0) << winsim::Utf8(r.path) << " " << r.mode;
    }
}

TEST_F(FilesCrtTest, EnvironmentCopies) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"VQ_TEST", L"one"));
    wchar_t* p = _wgetenv(L"vq_test");
    ASSERT_NE(nullptr, p);
    EXPECT_STREQ(L"one", p);
    EXPECT_EQ(p, _wgetenv(L"VQ_TEST"));  // the same copy while the value stays
    EXPECT_EQ(0, _wputenv(L"VQ_TEST=two"));
    WCHAR buf[16];
    EXPECT_EQ(3u, GetEnvironmentVariableW(L"VQ_TEST", buf, 16));
    EXPECT_STREQ(L"two", buf);
    EXPECT_STREQ(L"two", _wgetenv(L"VQ_TEST"));
    EXPECT_EQ(0, _wputenv_s(L"VQ_OTHER", L"x"));
    EXPECT_STREQ(L"x", _wgetenv(L"VQ_OTHER"));
    EXPECT_EQ(0, _wputenv(L"VQ_TEST="));
    EXPECT_EQ(nullptr, _wgetenv(L"VQ_TEST"));
    EXPECT_EQ(0, _wputenv_s(L"VQ_OTHER", L""));
    EXPECT_EQ(nullptr, _wgetenv(L"VQ_OTHER"));
    EXPECT_EQ(-1, _wputenv(L"NOEQUALS"));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_STREQ(L"C:\\Windows", _wgetenv(L"SystemRoot"));
}

TEST_F(FilesCrtTest, CurrentDirectoryAndFullPaths) {
    ASSERT_TRUE(wf::CreateFolders(*machine, L"C:\\Work\\Sub"));
    EXPECT_EQ(0, _wchdir(L"C:\\work"));
    wchar_t buf[MAX_PATH];
    ASSERT_NE(nullptr, _wgetcwd(buf, MAX_PATH));
    EXPECT_STREQ(L"C:\\work", buf);
    EXPECT_EQ(nullptr, _wgetcwd(buf, 4));
    EXPECT_EQ(ERANGE, errno);
    wchar_t* dyn = _wgetcwd(nullptr, 0);
    ASSERT_NE(nullptr, dyn);
    EXPECT_STREQ(L"C:\\work", dyn);
    std::free(dyn);
    ASSERT_NE(nullptr, _wfullpath(buf, L"Sub\\..\\file.txt", MAX_PATH));
    EXPECT_STREQ(L"C:\\work\\file.txt", buf);
    EXPECT_EQ(nullptr, _wfullpath(buf, L"file.txt", 5));
    dyn = _wfullpath(nullptr, L"x", 0);
    ASSERT_NE(nullptr, dyn);
    EXPECT_STREQ(L"C:\\work\\x", dyn);
    std::free(dyn);
    EXPECT_EQ(-1, _wchdir(L"C:\\work\\missing"));
    EXPECT_EQ(ENOENT, errno);
    FILE* f = _wfopen(L"Sub\\rel.txt", L"w");
    ASSERT_NE(nullptr, f);
    fclose(f);
    EXPECT_TRUE(wf::Exists(*machine, L"C:\\Work\\Sub\\rel.txt"));
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
