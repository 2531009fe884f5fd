// winsim: the Windows C runtime's file functions over the file-system model.
#define WINSIM_CRT_FILE_IMPLEMENTATION
#include "winsim/crt_file.h"

#include "files_internal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <unistd.h>

using namespace winsim;
using namespace winsim::files;
using namespace winsim::files::detail;

namespace {

enum class Enc { Ansi, Utf16, Utf8 };

// The Windows mode of a stream opened by _wfopen.
struct Stream {
    bool text = true;      // CR LF translation (and CTRL+Z on ANSI input)
    bool unicode = false;  // ccs given: wide text in enc
    Enc enc = Enc::Ansi;
    bool writable = false;
    std::shared_ptr<FileObject> file;  // keeps the open in the machine's sharing table
    Machine* machine = nullptr;
    std::vector<wchar_t> pushed;  // ungetwc and read-ahead, last in first out
};

std::mutex g_mu;
std::map<FILE*, Stream>& Streams() {
    static auto* m = new std::map<FILE*, Stream>();
    return *m;
}

// The stream's mode, or null for a stream winsim did not open.
Stream* Find(FILE* f) {
    std::lock_guard<std::mutex> g(g_mu);
    auto it = Streams().find(f);
    return it == Streams().end() ? nullptr : &it->second;
}

int ErrnoFromWin32(DWORD e) {
    switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME: return ENOENT;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_CANNOT_MAKE:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EINVAL;
    }
}

int FailErrno(int e) {
    errno = e;
    return -1;
}

int FailWin32() { return FailErrno(ErrnoFromWin32(GetLastError())); }

bool Ieq(const std::wstring& a, const wchar_t* b) { return IEquals(a, b); }

std::wstring Trim(const std::wstring& s) {
    size_t a = s.find_first_not_of(L" \t");
    if (a == std::wstring::npos) return L"";
    size_t b = s.find_last_not_of(L" \t");
    return s.substr(a, b - a + 1);
}

struct Mode {
    wchar_t kind = 0;  // 'r', 'w', 'a'
    bool plus = false, binary = false, text = false, exclusive = false, temporary = false, delete_on_close = false;
    bool ccs = false;
    Enc enc = Enc::Ansi;  // the ccs encoding
    bool ccs_unicode = false;
};

bool ParseMode(const wchar_t* s, Mode* m) {
    std::wstring mode = s;
    size_t comma = mode.find(L',');
    std::wstring flags = Trim(mode.substr(0, comma));
    if (flags.empty() || (flags[0] != L'r' && flags[0] != L'w' && flags[0] != L'a')) return false;
    m->kind = flags[0];
    for (size_t i = 1; i < flags.size(); ++i) {
        switch (flags[i]) {
        case L'+':
            if (m->plus) return false;
            m->plus = true;
            break;
        case L'b':
            if (m->text || m->binary) return false;
            m->binary = true;
            break;
        case L't':
            if (m->text || m->binary) return false;
            m->text = true;
            break;
        case L'x':
            if (m->kind != L'w') return false;
            m->exclusive = true;
            break;
        case L'T': m->temporary = true; break;
        case L'D': m->delete_on_close = true; break;
        case L'c':
        case L'n':
        case L'N':
        case L'S':
        case L'R':
        case L'U': break;
        default: return false;
        }
    }
    if (comma == std::wstring::npos) return true;
    std::wstring rest = Trim(mode.substr(comma + 1));
    if (rest.compare(0, 3, L"ccs") != 0) return false;
    rest = Trim(rest.substr(3));
    if (rest.empty() || rest[0] != L'=') return false;
    std::wstring enc = Trim(rest.substr(1));
    m->ccs = true;
    if (Ieq(enc, L"UTF-16LE")) {
        m->enc = Enc::Utf16;
    } else if (Ieq(enc, L"UNICODE")) {
        m->enc = Enc::Utf16;
        m->ccs_unicode = true;
    } else if (Ieq(enc, L"UTF-8")) {
        m->enc = Enc::Utf8;
    } else {
        return false;
    }
    return !m->binary;
}

FILE* Open(const wchar_t* name, const wchar_t* mode_s, int shflag, int* err) {
    *err = 0;
    Mode mode;
    if (!name || !mode_s || !*name || !ParseMode(mode_s, &mode)) {
        *err = EINVAL;
        return nullptr;
    }
    bool read = mode.kind == L'r' || mode.plus;
    bool write = mode.kind != L'r' || mode.plus;
    DWORD access = (read ? GENERIC_READ : 0) | (write ? GENERIC_WRITE : 0);
    DWORD disp = mode.kind == L'r'   ? OPEN_EXISTING
                 : mode.kind == L'w' ? (mode.exclusive ? CREATE_NEW : CREATE_ALWAYS)
                                     : OPEN_ALWAYS;
    DWORD share;
    switch (shflag) {
    case _SH_DENYRW: share = 0; break;
    case _SH_DENYWR: share = FILE_SHARE_READ; break;
    case _SH_DENYRD: share = FILE_SHARE_WRITE; break;
    case _SH_DENYNO: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    case _SH_SECURE: share = write ? 0 : FILE_SHARE_READ; break;
    default: *err = EINVAL; return nullptr;
    }
    DWORD fa = (mode.temporary ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL) |
               (mode.delete_on_close ? FILE_FLAG_DELETE_ON_CLOSE : 0);
    Machine& m = CurrentMachine();
    Resolved r = ResolveCurrent(name);
    std::shared_ptr<FileObject> obj;
    bool existed = false;
    if (DWORD e = OpenFile(m, r, access, share, disp, fa, &obj, &existed)) {
        *err = ErrnoFromWin32(e);
        return nullptr;
    }
    if (obj->is_dir || obj->fd < 0) {
        *err = EACCES;
        return nullptr;
    }
    Stream st;
    st.text = !mode.binary;
    st.unicode = mode.ccs;
    st.enc = mode.ccs ? mode.enc : Enc::Ansi;
    st.writable = write;
    st.machine = &m;
    int fd = obj->fd;
    struct stat hs;
    off_t size = fstat(fd, &hs) == 0 ? hs.st_size : 0;
    off_t start = 0;
    bool truncated = mode.kind == L'w';
    if (mode.ccs) {
        unsigned char bom[3] = {0, 0, 0};
        ssize_t n = (!truncated && size > 0) ? pread(fd, bom, 3, 0) : 0;
        if (n >= 3 && bom[0] == 0xEF && bom[1] == 0xBB && bom[2] == 0xBF) {
            st.enc = Enc::Utf8;
            start = 3;
        } else if (n >= 2 && bom[0] == 0xFF && bom[1] == 0xFE) {
            st.enc = Enc::Utf16;
            start = 2;
        } else if (size > 0 && !truncated && mode.ccs_unicode) {
            // An existing file without a mark opened with ccs=UNICODE reads as UTF-8.
            st.enc = Enc::Utf8;
        } else if (write && (truncated || size == 0) && mode.kind != L'r') {
            static const unsigned char kUtf8[] = {0xEF, 0xBB, 0xBF};
            static const unsigned char kUtf16[] = {0xFF, 0xFE};
            bool ok = st.enc == Enc::Utf8 ? pwrite(fd, kUtf8, 3, 0) == 3 : pwrite(fd, kUtf16, 2, 0) == 2;
            if (!ok) {
                *err = EIO;
                return nullptr;
            }
            start = st.enc == Enc::Utf8 ? 3 : 2;
        }
    } else if (st.text && mode.kind == L'a' && size > 0) {
        // Appending in text mode drops a CTRL+Z that ends the file.
        unsigned char last = 0;
        if (pread(fd, &last, 1, size - 1) == 1 && last == 0x1A && ftruncate(fd, size - 1) != 0) {
            *err = EIO;
            return nullptr;
        }
    }
    const char* host_mode = mode.kind == L'a' ? (mode.plus ? "a+b" : "ab") : (write ? "r+b" : "rb");
    FILE* f = fdopen(fd, host_mode);
    if (!f) {
        *err = errno;
        return nullptr;
    }
    obj->fd = -1;  // the stream owns the descriptor now
    if (start) fseek(f, start, SEEK_SET);
    st.file = std::move(obj);
    std::lock_guard<std::mutex> g(g_mu);
    Streams()[f] = std::move(st);
    return f;
}

// ---------------------------------------------------------------------------------------
// Encoding

void AppendUtf8(std::string& out, uint32_t c) {
    std::wstring w(1, static_cast<wchar_t>(c));
    out += Utf8(w);
}

void AppendUtf16(std::string& out, uint32_t c) {
    auto unit = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        unit(0xD800 | (c >> 10));
        unit(0xDC00 | (c & 0x3FF));
    } else {
        unit(c > 0x10FFFF ? 0xFFFD : c);
    }
}

// The bytes of c on s; false when the stream's encoding cannot hold it.
bool Encode(const Stream* s, wchar_t wc, std::string& out) {
    uint32_t c = static_cast<uint32_t>(wc);
    if (!s) {
        AppendUtf8(out, c);
        return true;
    }
    if (!s->text) {
        AppendUtf16(out, c);
        return true;
    }
    if (s->unicode) {
        if (c == L'\n') {
            if (s->enc == Enc::Utf16)
                AppendUtf16(out, L'\r');
            else
                out += '\r';
        }
        if (s->enc == Enc::Utf16)
            AppendUtf16(out, c);
        else
            AppendUtf8(out, c);
        return true;
    }
    if (c > 0xFF) return false;
    if (c == L'\n') out += '\r';
    out += static_cast<char>(c);
    return true;
}

bool WriteOut(FILE* f, Stream* s, const std::string& bytes) {
    if (s && s->file) {
        if (DWORD e = InjectedFailure(*s->machine, s->file->key, kFailWrite)) {
            errno = ErrnoFromWin32(e);
            return false;
        }
    }
    return bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

// Reads one character as the stream's encoding gives it, before CR LF translation.
wint_t ReadRaw(FILE* f, Stream* s) {
    if (s && !s->pushed.empty()) {
        wchar_t c = s->pushed.back();
        s->pushed.pop_back();
        return static_cast<wint_t>(c);
    }
    Enc enc = !s ? Enc::Utf8 : !s->text ? Enc::Utf16 : s->unicode ? s->enc : Enc::Ansi;
    if (enc == Enc::Ansi) {
        int b = getc(f);
        if (b == EOF) return WEOF;
        if (b == 0x1A && s && s->text) {
            ungetc(b, f);
            return WEOF;
        }
        return static_cast<wint_t>(b);
    }
    if (enc == Enc::Utf16) {
        auto unit = [&]() -> int {
            int lo = getc(f);
            if (lo == EOF) return -1;
            int hi = getc(f);
            if (hi == EOF) return -1;
            return lo | (hi << 8);
        };
        int u = unit();
        if (u < 0) return WEOF;
        if (u >= 0xD800 && u <= 0xDBFF) {
            int v = unit();
            if (v >= 0xDC00 && v <= 0xDFFF) return static_cast<wint_t>(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
            if (v >= 0 && s) s->pushed.push_back(static_cast<wchar_t>(v));
        }
        return static_cast<wint_t>(u);
    }
    int b = getc(f);
    if (b == EOF) return WEOF;
    int n = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (n < 0) return 0xFFFD;
    uint32_t c = n == 0 ? b : n == 1 ? (b & 0x1F) : n == 2 ? (b & 0x0F) : (b & 0x07);
    for (int i = 0; i < n; ++i) {
        int k = getc(f);
        if (k == EOF) return 0xFFFD;
        if ((k & 0xC0) != 0x80) {
            ungetc(k, f);
            return 0xFFFD;
        }
        c = (c << 6) | (k & 0x3F);
    }
    return static_cast<wint_t>(c);
}

wint_t ReadChar(FILE* f, Stream* s) {
    wint_t c = ReadRaw(f, s);
    if (c == L'\r' && s && s->text) {
        wint_t next = ReadRaw(f, s);
        if (next == L'\n') return L'\n';
        if (next != WEOF) s->pushed.push_back(static_cast<wchar_t>(next));
    }
    return c;
}

// Stores the machine's time as the last-write time of a stream that could write.
void Touch(FILE* f, Stream* s) {
    if (s && s->writable && s->machine) SetHostTimes(*s->machine, fileno(f), "");
}

void FillStat(const Resolved& r, DWORD attrs, struct _stat64* out) {
    std::memset(out, 0, sizeof *out);
    unsigned short mode = _S_IREAD;
    if (!(attrs & FILE_ATTRIBUTE_READONLY)) mode |= _S_IWRITE;
    if (r.is_dir) {
        mode = static_cast<unsigned short>(mode | _S_IFDIR | _S_IEXEC);
    } else {
        mode |= _S_IFREG;
        std::wstring low = Lower(r.actual);
        for (const wchar_t* ext : {L".exe", L".com", L".bat", L".cmd"})
            if (low.size() > 4 && low.compare(low.size() - 4, 4, ext) == 0) mode |= _S_IEXEC;
    }
    // The owner's bits repeated for group and others.
    mode = static_cast<unsigned short>(mode | ((mode & 0x1C0) >> 3) | ((mode & 0x1C0) >> 6));
    out->st_mode = mode;
    out->st_dev = out->st_rdev = static_cast<_dev_t>(r.drive ? r.drive - L'A' : 0);
    out->st_nlink = 1;
    out->st_size = r.is_dir ? 0 : static_cast<long long>(r.st.st_size);
    out->st_atime = r.st.st_atim.tv_sec;
    out->st_mtime = r.st.st_mtim.tv_sec;
    out->st_ctime = r.st.st_mtim.tv_sec;
}

int StatPath(const std::wstring& path, struct _stat64* out) {
    if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos) return FailErrno(ENOENT);
    Resolved r = ResolveCurrent(path);
    if (r.error || !r.exists || (r.trailing_sep && !r.is_dir)) return FailErrno(ENOENT);
    FillStat(r, ReportedAttributes(CurrentMachine(), r), out);
    return 0;
}

int To32(const struct _stat64& s, struct _stat* out) {
    if (s.st_size > 0x7FFFFFFF) return FailErrno(EOVERFLOW);
    out->st_dev = s.st_dev;
    out->st_ino = s.st_ino;
    out->st_mode = s.st_mode;
    out->st_nlink = s.st_nlink;
    out->st_uid = s.st_uid;
    out->st_gid = s.st_gid;
    out->st_rdev = s.st_rdev;
    out->st_size = static_cast<_off_t>(s.st_size);
    out->st_atime = s.st_atime;
    out->st_mtime = s.st_mtime;
    out->st_ctime = s.st_ctime;
    return 0;
}

std::wstring Narrow(const char* s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    if (n <= 0) return L"";
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

int FStat(int fd, struct _stat64* out) {
    struct stat hs;
    if (fd < 0 || fstat(fd, &hs) != 0) return FailErrno(EBADF);
    Resolved r;
    r.exists = true;
    r.is_dir = S_ISDIR(hs.st_mode);
    r.st = hs;
    DWORD attrs = 0;
    {
        std::lock_guard<std::mutex> g(g_mu);
        for (auto& [f, s] : Streams())
            if (fileno(f) == fd && s.file) {
                r.actual = s.file->winpath;
                r.drive = s.file->winpath.empty() ? 0 : s.file->winpath[0];
                r.key = s.file->key;
                break;
            }
    }
    if (!r.key.empty()) attrs = StoredAttributes(CurrentMachine(), r.key);
    FillStat(r, attrs, out);
    if (!S_ISDIR(hs.st_mode) && !S_ISREG(hs.st_mode)) out->st_mode = _S_IFCHR | _S_IREAD | _S_IWRITE;
    return 0;
}

// Per-process copies of the values _wgetenv returned.
struct EnvCopies {
    std::map<std::wstring, std::unique_ptr<std::wstring>> values;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Streams

FILE* _wfopen(const wchar_t* name, const wchar_t* mode) {
    int err;
    FILE* f = Open(name, mode, _SH_DENYNO, &err);
    if (!f) errno = err;
    return f;
}

errno_t _wfopen_s(FILE** out, const wchar_t* name, const wchar_t* mode) {
    if (!out) return errno = EINVAL;
    int err;
    *out = Open(name, mode, _SH_SECURE, &err);
    if (!*out) errno = err;
    return *out ? 0 : err;
}

FILE* _wfsopen(const wchar_t* name, const wchar_t* mode, int shflag) {
    int err;
    FILE* f = Open(name, mode, shflag, &err);
    if (!f) errno = err;
    return f;
}

int _fileno(FILE* f) { return f ? fileno(f) : FailErrno(EINVAL); }

wint_t winsim_fputwc(wchar_t c, FILE* f) {
    if (!f) {
        errno = EINVAL;
        return WEOF;
    }
    Stream* s = Find(f);
    std::string bytes;
    if (!Encode(s, c, bytes)) {
        errno = EILSEQ;
        return WEOF;
    }
    if (!WriteOut(f, s, bytes)) return WEOF;
    return static_cast<wint_t>(c);
}

int winsim_fputws(const wchar_t* str, FILE* f) {
    if (!str || !f) return FailErrno(EINVAL);
    Stream* s = Find(f);
    std::string bytes;
    bool ok = true;
    for (const wchar_t* p = str; *p; ++p)
        if (!Encode(s, *p, bytes)) {
            ok = false;
            break;
        }
    if (!WriteOut(f, s, bytes)) return static_cast<int>(WEOF);
    if (!ok) {
        errno = EILSEQ;
        return static_cast<int>(WEOF);
    }
    return 0;
}

wint_t winsim_fgetwc(FILE* f) {
    if (!f) {
        errno = EINVAL;
        return WEOF;
    }
    return ReadChar(f, Find(f));
}

wchar_t* winsim_fgetws(wchar_t* str, int n, FILE* f) {
    if (!str || n <= 0 || !f) {
        errno = EINVAL;
        return nullptr;
    }
    Stream* s = Find(f);
    int i = 0;
    while (i < n - 1) {
        wint_t c = ReadChar(f, s);
        if (c == WEOF) break;
        str[i++] = static_cast<wchar_t>(c);
        if (c == L'\n') break;
    }
    if (i == 0) return nullptr;
    str[i] = 0;
    return str;
}

wint_t winsim_ungetwc(wint_t c, FILE* f) {
    if (c == WEOF || !f) return WEOF;
    Stream* s = Find(f);
    if (!s) {
        std::string bytes;
        AppendUtf8(bytes, c);
        if (bytes.size() != 1) return WEOF;
        return ungetc(static_cast<unsigned char>(bytes[0]), f) == EOF ? WEOF : c;
    }
    s->pushed.push_back(static_cast<wchar_t>(c));
    clearerr(f);
    return c;
}

int winsim_fflush(FILE* f) {
    int rc = fflush(f);
    if (f) Touch(f, Find(f));
    return rc;
}

int winsim_fclose(FILE* f) {
    if (!f) return FailErrno(EINVAL);
    Stream st;
    bool ours = false;
    {
        std::lock_guard<std::mutex> g(g_mu);
        auto it = Streams().find(f);
        if (it != Streams().end()) {
            st = std::move(it->second);
            Streams().erase(it);
            ours = true;
        }
    }
    if (ours) {
        fflush(f);
        Touch(f, &st);
        // A write failure injected on the file also fails the close of a writable stream,
        // as a buffered write that cannot be flushed does.
        if (st.writable && st.file) {
            if (DWORD e = InjectedFailure(*st.machine, st.file->key, kFailWrite)) {
                fclose(f);
                errno = ErrnoFromWin32(e);
                return EOF;
            }
        }
    }
    return fclose(f);
}

// ---------------------------------------------------------------------------------------
// Files and folders

int _wremove(const wchar_t* path) {
    if (!path) return FailErrno(EINVAL);
    return DeleteFileW(path) ? 0 : FailWin32();
}

int _wunlink(const wchar_t* path) { return _wremove(path); }

int _wrename(const wchar_t* from, const wchar_t* to) {
    if (!from || !to) return FailErrno(EINVAL);
    if (MoveFileExW(from, to, MOVEFILE_COPY_ALLOWED)) return 0;
    DWORD e = GetLastError();
    // The documented errno for a target that exists is EACCES.
    return FailErrno(e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? EACCES : ErrnoFromWin32(e));
}

int _waccess(const wchar_t* path, int mode) {
    if (!path || (mode & ~6)) return FailErrno(EINVAL);
    Resolved r = ResolveCurrent(path);
    if (r.error || !r.exists) return FailErrno(ENOENT);
    if ((mode & 2) && !r.is_dir && (StoredAttributes(CurrentMachine(), r.key) & FILE_ATTRIBUTE_READONLY))
        return FailErrno(EACCES);
    return 0;
}

int _wstat64(const wchar_t* path, struct _stat64* out) {
    if (!path || !out) return FailErrno(EINVAL);
    return StatPath(path, out);
}

int _wstat(const wchar_t* path, struct _stat* out) {
    if (!path || !out) return FailErrno(EINVAL);
    struct _stat64 s;
    if (StatPath(path, &s) != 0) return -1;
    return To32(s, out);
}

int _stat64(const char* path, struct _stat64* out) {
    if (!path || !out) return FailErrno(EINVAL);
    return StatPath(Narrow(path), out);
}

int _stat(const char* path, struct _stat* out) {
    if (!path || !out) return FailErrno(EINVAL);
    struct _stat64 s;
    if (StatPath(Narrow(path), &s) != 0) return -1;
    return To32(s, out);
}

int _fstat(int fd, struct _stat* out) {
    if (!out) return FailErrno(EINVAL);
    struct _stat64 s;
    if (FStat(fd, &s) != 0) return -1;
    return To32(s, out);
}

int _wmkdir(const wchar_t* dir) {
    if (!dir) return FailErrno(EINVAL);
    return CreateDirectoryW(dir, nullptr) ? 0 : FailWin32();
}

int _wrmdir(const wchar_t* dir) {
    if (!dir) return FailErrno(EINVAL);
    return RemoveDirectoryW(dir) ? 0 : FailWin32();
}

wchar_t* _wgetcwd(wchar_t* buf, int maxlen) {
    const std::wstring& cwd = CurrentProcess().current_dir;
    size_t need = cwd.size() + 1;
    if (!buf) {
        size_t n = std::max(need, maxlen > 0 ? static_cast<size_t>(maxlen) : 0);
        buf = static_cast<wchar_t*>(std::malloc(n * sizeof(wchar_t)));
        if (!buf) {
            errno = ENOMEM;
            return nullptr;
        }
    } else if (maxlen <= 0 || need > static_cast<size_t>(maxlen)) {
        errno = ERANGE;
        return nullptr;
    }
    wmemcpy(buf, cwd.c_str(), need);
    return buf;
}

int _wchdir(const wchar_t* dir) {
    if (!dir) return FailErrno(EINVAL);
    return SetCurrentDirectoryW(dir) ? 0 : FailErrno(ENOENT);
}

wchar_t* _wfullpath(wchar_t* abs, const wchar_t* rel, size_t max) {
    std::wstring full = rel && *rel ? FullPath(rel) : CurrentProcess().current_dir;
    size_t need = full.size() + 1;
    if (!abs) {
        abs = static_cast<wchar_t*>(std::malloc(std::max<size_t>(need, _MAX_PATH) * sizeof(wchar_t)));
        if (!abs) {
            errno = ENOMEM;
            return nullptr;
        }
    } else if (need > max) {
        errno = ERANGE;
        return nullptr;
    }
    wmemcpy(abs, full.c_str(), need);
    return abs;
}

wchar_t* _wgetenv(const wchar_t* name) {
    if (!name) {
        errno = EINVAL;
        return nullptr;
    }
    Process& p = CurrentProcess();
    bool found = false;
    std::wstring v = p.GetEnv(name, &found);
    auto& slot = p.ext["crt.env"];
    if (!slot) slot = std::make_shared<EnvCopies>();
    auto& copies = static_cast<EnvCopies*>(slot.get())->values;
    std::wstring key = Lower(name);
    if (!found) {
        copies.erase(key);
        return nullptr;
    }
    auto& copy = copies[key];
    // The copy stays (and keeps its address) while the value stays the same.
    if (!copy || *copy != v) copy = std::make_unique<std::wstring>(v);
    return &(*copy)[0];
}

int _wputenv(const wchar_t* s) {
    if (!s) return FailErrno(EINVAL);
    const wchar_t* eq = wcschr(s, L'=');
    if (!eq || eq == s) return FailErrno(EINVAL);
    std::wstring name(s, static_cast<size_t>(eq - s));
    if (!eq[1])
        CurrentProcess().UnsetEnv(name);
    else
        CurrentProcess().SetEnv(name, eq + 1);
    return 0;
}

errno_t _wputenv_s(const wchar_t* name, const wchar_t* value) {
    if (!name || !*name || !value || wcschr(name, L'=')) return errno = EINVAL;
    if (!*value)
        CurrentProcess().UnsetEnv(name);
    else
        CurrentProcess().SetEnv(name, value);
    return 0;
}
