// The Windows C runtime's file functions as the runtime has them, in the test's own folder:
// _wfopen modes and encodings, text-mode translation, renames, stat records, access checks,
// the environment and folders.
#include "conformance.h"

#ifdef _WIN32  // (winsim declares the runtime's extras in its crt.h)
#include <direct.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/types.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <type_traits>

namespace {

class CrtFileTest : public ConformanceTest {
protected:
    // A path in the test's folder, alive as long as the test.
    const wchar_t* P(const wchar_t* name) {
        paths_.push_back(Path(name));
        return paths_.back().c_str();
    }
    void Put(const wchar_t* path, const std::string& bytes) {
        HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD n = 0;
        EXPECT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
        CloseHandle(h);
    }
    std::string Get(const wchar_t* path) {
        HANDLE h =
            CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<missing>";
        std::string out;
        char buf[64];
        DWORD n = 0;
        while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
        CloseHandle(h);
        return out;
    }
    std::wstring ReadLines(const wchar_t* path, const wchar_t* mode) {
        FILE* f = _wfopen(path, mode);
        if (!f) return L"<open failed>";
        std::wstring all;
        wchar_t line[64];
        while (fgetws(line, 64, f)) all += std::wstring(line) + L"|";
        fclose(f);
        return all;
    }

private:
    std::deque<std::wstring> paths_;
};

class CrtEnvironmentTest : public CrtFileTest {
protected:
    ~CrtEnvironmentTest() override {
        SetEnvironmentVariableW(L"VQ_TEST", nullptr);
        SetEnvironmentVariableW(L"VQ_OTHER", nullptr);
    }
};

class CrtFolderTest : public CrtFileTest {
protected:
    CrtFolderTest() { GetCurrentDirectoryW(MAX_PATH, cwd_); }
    ~CrtFolderTest() override { SetCurrentDirectoryW(cwd_); }

private:
    WCHAR cwd_[MAX_PATH];
};

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

TEST_F(CrtFileTest, WritingInEachModeAndEncoding) {
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
        _wremove(P(L"out.txt"));
        FILE* f = _wfopen(P(L"out.txt"), r.mode);
        ASSERT_NE(nullptr, f) << r.mode;
        EXPECT_GE(fputws(r.text, f), 0) << r.mode;
        EXPECT_EQ(0, fclose(f));
        EXPECT_EQ(r.bytes, Get(P(L"out.txt"))) << r.mode;
    }
}

TEST_F(CrtFileTest, AppendingUtf16KeepsOneByteOrderMark) {
    FILE* f = _wfopen(P(L"log.txt"), L"a+t, ccs=UTF-16LE");
    ASSERT_NE(nullptr, f);
    fputws(L"one\n", f);
    fclose(f);
    f = _wfopen(P(L"LOG.TXT"), L"a+t, ccs=UTF-16LE");
    ASSERT_NE(nullptr, f);
    fputwc(L't', f);
    fputws(L"wo\n", f);
    fclose(f);
    EXPECT_EQ(Bytes({0xFF, 0xFE, 'o', 0, 'n', 0, 'e', 0, '\r', 0, '\n', 0, 't', 0, 'w', 0, 'o', 0, '\r', 0, '\n', 0}),
              Get(P(L"log.txt")));
    // Reading skips the mark and turns CR LF into LF.
    EXPECT_EQ(L"one\n|two\n|", ReadLines(P(L"log.txt"), L"rt, ccs=UTF-16LE"));
    // "w" starts over with a new mark.
    f = _wfopen(P(L"log.txt"), L"w, ccs=UTF-16LE");
    fclose(f);
    EXPECT_EQ(Bytes({0xFF, 0xFE}), Get(P(L"log.txt")));
}

TEST_F(CrtFileTest, ReadingTranslatesAsTheModeSays) {
    struct Row {
        std::string bytes;
        const wchar_t* mode;
        const wchar_t* lines;
    };
    const Row rows[] = {
        {"line1\r\nline2\rX\n", L"rt", L"line1\n|line2\rX\n|"},  // a lone CR stays
        {"line1\r\nline2", L"r", L"line1\n|line2|"},
        {"abc\x1A"
         "def",
         L"rt", L"abc|"},  // CTRL+Z ends a text file
        {"abc\r\n\x1A"
         "def",
         L"rb", L"\u6261\u0d63\u1a0a\u6564|"},  // binary wide: two bytes per WCHAR
        {Bytes({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, '\r', '\n'}), L"r, ccs=UTF-16LE", L"\u00e9\n|"},  // the mark decides
        {Bytes({0xC3, 0xA9, '\r', '\n'}), L"r, ccs=UNICODE",
         MSVCRT_DIFFERS(L"\u00e9\n|", L"\u00c3\u00a9\n|",
                        "fopen: ccs=UNICODE without a byte order mark reads UTF-8 in the current runtime, ANSI in "
                        "the older one")},
        {Bytes({'h', 0, 'i', 0}), L"r, ccs=UTF-16LE", L"hi|"},  // no mark: the flag's encoding
        {Bytes({0xE9, '\r', '\n'}), L"rt", L"\u00e9\n|"},       // the "C" locale: bytes are 0-255
    };
    for (const auto& r : rows) {
        Put(P(L"in.txt"), r.bytes);
        EXPECT_EQ(std::wstring(r.lines), ReadLines(P(L"in.txt"), r.mode)) << r.mode;
    }
}

TEST_F(CrtFileTest, ByteExactBinaryStreams) {
    const std::string bytes = Bytes({0, 1, '\r', '\n', 0x1A, 0xFF, '\n', '\r'});
    FILE* f = _wfopen(P(L"bin.dat"), L"wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
    fclose(f);
    EXPECT_EQ(bytes, Get(P(L"bin.dat")));
    f = _wfopen(P(L"bin.dat"), L"rb");
    ASSERT_NE(nullptr, f);
    char buf[16];
    EXPECT_EQ(bytes.size(), fread(buf, 1, sizeof buf, f));
    EXPECT_EQ(bytes, std::string(buf, bytes.size()));
    fclose(f);
}

TEST_F(CrtFileTest, CharactersOutsideTheAnsiStreamFail) {
    FILE* f = _wfopen(P(L"ansi.txt"), L"wt");
    ASSERT_NE(nullptr, f);
    errno = 0;
    EXPECT_EQ(WEOF, fputwc(0x20AC, f));
    EXPECT_EQ(EILSEQ, errno);
    EXPECT_EQ(static_cast<wint_t>(0xE9), fputwc(0xE9, f));
    fclose(f);
    EXPECT_EQ(Bytes({0xE9}), Get(P(L"ansi.txt")));
}

TEST_F(CrtFileTest, UngetwcGivesTheCharacterBack) {
    Put(P(L"u.txt"), "ab");
    FILE* f = _wfopen(P(L"u.txt"), L"r");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(static_cast<wint_t>(L'a'), fgetwc(f));
    EXPECT_EQ(static_cast<wint_t>(L'Z'), ungetwc(L'Z', f));
    EXPECT_EQ(static_cast<wint_t>(L'Z'), fgetwc(f));
    EXPECT_EQ(static_cast<wint_t>(L'b'), fgetwc(f));
    EXPECT_EQ(WEOF, fgetwc(f));
    fclose(f);
}

TEST_F(CrtFileTest, OpenErrorsAndSharing) {
    struct Row {
        const wchar_t* path;
        const wchar_t* mode;
        int err;
        const char* wine = nullptr;  // Wine opens it: the documented rule it departs from
    };
    Put(P(L"ro.txt"), "r");
    ASSERT_TRUE(SetFileAttributesW(P(L"ro.txt"), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryW(P(L"Folder"), nullptr));
    const char* const kReadOnlyRoot =
        "FILE_ATTRIBUTE_READONLY: applications can read the file but cannot write to it or delete it; Wine leaves "
        "that to the host's permissions, which do not stop root";
    const Row rows[] = {
        {P(L"missing.txt"), L"r", ENOENT},
        {P(L"Missing\\x.txt"), L"w", ENOENT},
        {P(L"ro.txt"), L"w", EACCES, kReadOnlyRoot},
        {P(L"ro.txt"), L"a", EACCES, kReadOnlyRoot},
        {P(L"ro.txt"), L"r+", EACCES, kReadOnlyRoot},
        {P(L"Folder"), L"r", EACCES},
        {P(L"x.txt"), L"q", EINVAL},
        {P(L"x.txt"), L"w, ccs=UTF-7", EINVAL},
    };
    for (const auto& r : rows) {
        errno = 0;
        FILE* f = _wfopen(r.path, r.mode);
        int err = errno;
        if (f) fclose(f);
        if (r.wine && WINE_LACKS(r.wine)) continue;
        EXPECT_EQ(nullptr, f) << r.mode;
        EXPECT_EQ(r.err, err) << r.path << " " << r.mode;
    }
    errno = 0;
    FILE* x = _wfopen(P(L"ro.txt"), L"wx");  // "x": fail if the file exists
    if (x) fclose(x);
    EXPECT_EQ(MSVCRT_DIFFERS(true, false, "fopen: the \"x\" mode is the current runtime's; the older one has none"),
              x == nullptr);
    FILE* ro = _wfopen(P(L"ro.txt"), L"r");
    EXPECT_NE(nullptr, ro);
    fclose(ro);

    // _wfopen_s opens without sharing for writing; _wfopen shares reading and writing.
    FILE* a = nullptr;
    ASSERT_EQ(0, _wfopen_s(&a, P(L"secure.txt"), L"w"));
    FILE* b = nullptr;
    errno_t opened = _wfopen_s(&b, P(L"secure.txt"), L"r");
    HANDLE h = CreateFileW(P(L"secure.txt"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (b) fclose(b);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!WINE_LACKS("fopen_s: files opened by fopen_s and _wfopen_s are not sharable; Wine shares them")) {
        EXPECT_EQ(EACCES, opened);
        EXPECT_EQ(nullptr, b);
        EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    }
    fclose(a);
    a = _wfopen(P(L"shared.txt"), L"w");
    b = _wfopen(P(L"shared.txt"), L"r");
    EXPECT_NE(nullptr, a);
    EXPECT_NE(nullptr, b);
    fclose(b);
    fclose(a);
    a = _wfsopen(P(L"shared.txt"), L"r", _SH_DENYRW);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(nullptr, _wfopen(P(L"shared.txt"), L"r"));
    fclose(a);
    // A closed stream no longer holds the file.
    EXPECT_EQ(0, _wremove(P(L"shared.txt")));
}

TEST_F(CrtFileTest, RenameAndRemove) {
    Put(P(L"a.txt"), "A");
    Put(P(L"b.txt"), "B");
    errno = 0;
    EXPECT_EQ(-1, _wrename(P(L"a.txt"), P(L"b.txt")));
    EXPECT_EQ(WINE_DIFFERS(EACCES, EEXIST, "rename: EACCES when newname already exists; Wine gives EEXIST"), errno);
    EXPECT_EQ("A", Get(P(L"a.txt")));
    EXPECT_EQ("B", Get(P(L"b.txt")));
    EXPECT_EQ(0, _wrename(P(L"a.txt"), P(L"c.txt")));
    EXPECT_EQ("A", Get(P(L"c.txt")));
    EXPECT_EQ(-1, _wrename(P(L"a.txt"), P(L"d.txt")));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(0, _wunlink(P(L"c.txt")));
    EXPECT_EQ(-1, _wremove(P(L"c.txt")));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(0, _wmkdir(P(L"Dir")));
    EXPECT_EQ(-1, _wmkdir(P(L"dir")));
    EXPECT_EQ(EEXIST, errno);
    Put(P(L"Dir\\f"), "f");
    EXPECT_EQ(-1, _wrmdir(P(L"Dir")));
    EXPECT_EQ(ENOTEMPTY, errno);
    EXPECT_EQ(0, _wremove(P(L"Dir\\f")));
    EXPECT_EQ(0, _wrmdir(P(L"Dir")));
}

TEST_F(CrtFileTest, StatRecords) {
    static_assert(sizeof(((struct _stat*)nullptr)->st_size) == 4, "_stat's st_size is a 32-bit long");
    static_assert(std::is_signed<decltype(((struct _stat*)nullptr)->st_size)>::value, "signed");
    static_assert(sizeof(((struct _stat64*)nullptr)->st_size) == 8, "_stat64's st_size is 64 bits");
    static_assert(sizeof(((struct _stat*)nullptr)->st_mtime) == 8, "64-bit times");

    FILE* f = _wfopen(P(L"ten.bin"), L"wb");
    ASSERT_NE(nullptr, f);
    fwrite("0123456789", 1, 10, f);
    fflush(f);
    struct _stat st;
    ASSERT_EQ(0, _fstat(_fileno(f), &st));
    EXPECT_EQ(10, st.st_size);
    EXPECT_EQ(_S_IFREG, st.st_mode & _S_IFMT);
    fclose(f);
    struct _stat64 st64;
    ASSERT_EQ(0, _wstat64(P(L"TEN.BIN"), &st64));
    EXPECT_EQ(10, st64.st_size);
    EXPECT_EQ(_S_IREAD | _S_IWRITE, st64.st_mode & (_S_IREAD | _S_IWRITE | _S_IEXEC));

    ASSERT_TRUE(SetFileAttributesW(P(L"ten.bin"), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(0, _wstat(P(L"ten.bin"), &st));
    EXPECT_EQ(0, st.st_mode & _S_IWRITE);
    ASSERT_TRUE(CreateDirectoryW(P(L"Folder"), nullptr));
    ASSERT_EQ(0, _wstat(P(L"Folder"), &st));
    EXPECT_EQ(_S_IFDIR, st.st_mode & _S_IFMT);
    EXPECT_EQ(2u, st.st_dev);  // drive C:
    ASSERT_EQ(0, _stat("C:\\Windows\\System32", &st));
    EXPECT_EQ(-1, _wstat(P(L"missing"), &st));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_EQ(-1, _wstat(P(L"*"), &st));
}

TEST_F(CrtFileTest, AccessModes) {
    Put(P(L"rw.txt"), "x");
    Put(P(L"ro.txt"), "x");
    ASSERT_TRUE(SetFileAttributesW(P(L"ro.txt"), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryW(P(L"RoDir"), nullptr));
    ASSERT_TRUE(SetFileAttributesW(P(L"RoDir"), FILE_ATTRIBUTE_READONLY));
    struct Row {
        const wchar_t* path;
        int mode;
        int err;  // 0: allowed
    };
    const Row rows[] = {
        {P(L"rw.txt"), 0, 0},       {P(L"rw.txt"), 2, 0},      {P(L"rw.txt"), 4, 0},
        {P(L"rw.txt"), 6, 0},       {P(L"ro.txt"), 0, 0},      {P(L"ro.txt"), 2, EACCES},
        {P(L"ro.txt"), 4, 0},       {P(L"ro.txt"), 6, EACCES}, {P(L"RoDir"), 6, 0},  // folders: existence only
        {P(L"missing"), 0, ENOENT}, {P(L"rw.txt"), 1, EINVAL},
    };
    for (const auto& r : rows) {
        if (r.mode == 1 && WINE_LACKS("_access: a mode other than 0, 2, 4 and 6 is an invalid parameter (EINVAL); "
                                      "Wine allows it")) {
            continue;
        }
        errno = 0;
        EXPECT_EQ(r.err ? -1 : 0, _waccess(r.path, r.mode)) << r.path << " " << r.mode;
        EXPECT_EQ(r.err, r.err ? errno : 0) << r.path << " " << r.mode;
    }
}

TEST_F(CrtEnvironmentTest, EnvironmentCopies) {
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
    errno = 0;
    EXPECT_EQ(-1, _wputenv(L"NOEQUALS"));
    EXPECT_EQ(WINE_DIFFERS(EINVAL, 0, "_putenv: an envstring without '=' fails with errno EINVAL; Wine leaves errno"),
              errno);
}

TEST_F(CrtFolderTest, CurrentDirectoryAndFullPaths) {
    ASSERT_TRUE(CreateDirectoryW(P(L"Work"), nullptr));
    ASSERT_TRUE(CreateDirectoryW(P(L"Work\\Sub"), nullptr));
    EXPECT_EQ(0, _wchdir(P(L"work")));
    wchar_t buf[MAX_PATH];
    ASSERT_NE(nullptr, _wgetcwd(buf, MAX_PATH));
    EXPECT_STREQ(P(L"work"), buf);
    EXPECT_EQ(nullptr, _wgetcwd(buf, 4));
    EXPECT_EQ(ERANGE, errno);
    wchar_t* dyn = _wgetcwd(nullptr, 0);
    ASSERT_NE(nullptr, dyn);
    EXPECT_STREQ(P(L"work"), dyn);
    std::free(dyn);
    ASSERT_NE(nullptr, _wfullpath(buf, L"Sub\\..\\file.txt", MAX_PATH));
    EXPECT_STREQ(P(L"work\\file.txt"), buf);
    EXPECT_EQ(nullptr, _wfullpath(buf, L"file.txt", 5));
    dyn = _wfullpath(nullptr, L"x", 0);
    ASSERT_NE(nullptr, dyn);
    EXPECT_STREQ(P(L"work\\x"), dyn);
    std::free(dyn);
    EXPECT_EQ(-1, _wchdir(P(L"work\\missing")));
    EXPECT_EQ(ENOENT, errno);
    FILE* f = _wfopen(L"Sub\\rel.txt", L"w");
    ASSERT_NE(nullptr, f);
    fclose(f);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(P(L"Work\\Sub\\rel.txt")));
}

}  // namespace
