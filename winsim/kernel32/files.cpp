// winsim: kernel32 file functions over the file-system model (files.h).
#include "files_internal.h"

#include "winsim/device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace winsim;
using namespace winsim::files;
using namespace winsim::files::detail;

namespace {

Process& Proc() { return CurrentProcess(); }
Machine& Mach() { return CurrentMachine(); }

std::shared_ptr<KObject> LookupHandle(HANDLE h) {
    if (!h || h == INVALID_HANDLE_VALUE) return nullptr;
    return Proc().Lookup(h);
}

std::shared_ptr<FileObject> FileOf(HANDLE h) { return std::dynamic_pointer_cast<FileObject>(LookupHandle(h)); }

bool StartsWith(const std::wstring& s, const wchar_t* p) { return s.compare(0, wcslen(p), p) == 0; }

// Copies s with the rule of the Get*Directory and GetTempPath family: the length without
// the terminator when it fits, else the size needed with it.
DWORD CopyOut(const std::wstring& s, LPWSTR buf, DWORD size) {
    if (buf && size > s.size()) {
        wmemcpy(buf, s.data(), s.size());
        buf[s.size()] = 0;
        return static_cast<DWORD>(s.size());
    }
    return static_cast<DWORD>(s.size() + 1);
}

void CopyName(WCHAR* dst, size_t cap, const std::wstring& s) {
    size_t n = std::min(s.size(), cap - 1);
    wmemcpy(dst, s.data(), n);
    dst[n] = 0;
}

uint64_t SizeOf(const FileObject& f) {
    struct stat st;
    if (f.is_dir) return 0;
    if (f.fd >= 0 ? fstat(f.fd, &st) != 0 : stat(f.host.c_str(), &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool StatOf(const FileObject& f, struct stat* st) {
    return f.fd >= 0 ? fstat(f.fd, st) == 0 : stat(f.host.c_str(), st) == 0;
}

// The device name of a CreateFileW path: "\\.\NAME", "\\?\NAME" that is no drive path,
// or a bare DOS device name COM1-COM9 / LPT1-LPT9 (with or without a colon).
bool DeviceName(const std::wstring& s, std::wstring* dev) {
    if (StartsWith(s, L"\\\\.\\") || StartsWith(s, L"//./")) {
        *dev = s.substr(4);
        return !dev->empty();
    }
    if (StartsWith(s, L"\\\\?\\")) {
        std::wstring rest = s.substr(4);
        bool drive = rest.size() >= 2 && rest[1] == L':';
        if (drive || StartsWith(Upper(rest), L"UNC\\") || rest.empty()) return false;
        *dev = rest;
        return true;
    }
    std::wstring u = Upper(s);
    if (!u.empty() && u.back() == L':') u.pop_back();
    if (u.size() == 4 && (StartsWith(u, L"COM") || StartsWith(u, L"LPT")) && u[3] >= L'1' && u[3] <= L'9') {
        *dev = u;
        return true;
    }
    return false;
}

HANDLE OpenDevice(const std::wstring& name, DWORD access, DWORD share, DWORD fa, bool inherit) {
    auto model = Mach().FindDevice(name);
    if (!model || !model->Present()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    auto h = std::make_shared<DeviceHandle>(model, access, share, fa & 0xFFFF0000u);
    h->owner_pid = Proc().pid;
    if (DWORD e = model->Open(Proc(), *h)) return Fail(e, INVALID_HANDLE_VALUE);
    HANDLE v = Proc().AddHandle(h, MapFileAccess(access), inherit);
    SetLastError(ERROR_SUCCESS);
    return v;
}

// Completes an OVERLAPPED record of a request finished at once.
void Complete(LPOVERLAPPED ov, DWORD status, DWORD n) {
    if (!ov) return;
    ov->Internal = status;
    ov->InternalHigh = n;
    if (ov->hEvent) SetEvent(ov->hEvent);
}

BOOL DeviceTransfer(DeviceHandle& dh, bool write, void* buf, DWORD n, LPDWORD done, LPOVERLAPPED ov) {
    DWORD got = 0;
    DWORD err = write ? dh.model->Write(dh, buf, n, &got) : dh.model->Read(dh, buf, n, &got);
    if (err == ERROR_IO_PENDING) {
        if (ov) ov->Internal = STATUS_PENDING;
        return Fail(ERROR_IO_PENDING, FALSE);
    }
    if (done) *done = got;
    Complete(ov, err ? 0xC0000001u : 0, got);
    if (err) return Fail(err, FALSE);
    return TRUE;
}

void MarkArchive(FileObject& f) {
    if (f.archive_marked) return;
    Machine& m = Mach();
    DWORD a = StoredAttributes(m, f.key);
    if (!(a & FILE_ATTRIBUTE_ARCHIVE)) StoreAttributes(m, f.key, a | FILE_ATTRIBUTE_ARCHIVE);
    f.archive_marked = true;
}

void FillFind(WIN32_FIND_DATAW* fd, const std::wstring& name, const std::wstring& alt, DWORD attrs,
              const struct stat& st) {
    std::memset(fd, 0, sizeof *fd);
    fd->dwFileAttributes = attrs;
    fd->ftCreationTime = ToFileTime(st.st_mtim);
    fd->ftLastAccessTime = ToFileTime(st.st_atim);
    fd->ftLastWriteTime = ToFileTime(st.st_mtim);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        uint64_t size = static_cast<uint64_t>(st.st_size);
        fd->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        fd->nFileSizeLow = static_cast<DWORD>(size);
    }
    if (attrs & FILE_ATTRIBUTE_REPARSE_POINT)
        fd->dwReserved0 = (attrs & FILE_ATTRIBUTE_DIRECTORY) ? IO_REPARSE_TAG_MOUNT_POINT : IO_REPARSE_TAG_SYMLINK;
    CopyName(fd->cFileName, MAX_PATH, name);
    if (!alt.empty() && alt != name) CopyName(fd->cAlternateFileName, 14, alt);
}

class FindObject : public KObject {
public:
    const char* TypeName() const override { return "Find"; }
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

// GetShortPathNameW and GetLongPathNameW: walks the path as given, replacing the
// components that need it and keeping the others (and ".", "..") as they are.
std::wstring ConvertPath(const std::wstring& in, bool to_short, DWORD* err) {
    *err = 0;
    Resolved whole = ResolveCurrent(in);
    if (whole.error) {
        *err = whole.error;
        return L"";
    }
    if (!whole.exists) {
        *err = ERROR_FILE_NOT_FOUND;
        return L"";
    }
    Machine& m = Mach();
    std::wstring s = in;
    std::replace(s.begin(), s.end(), L'/', L'\\');
    std::wstring out;
    size_t i = 0;
    if (StartsWith(s, L"\\\\?\\")) {
        out = L"\\\\?\\";
        i = 4;
    }
    std::vector<std::string> hosts;
    auto is_alpha = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
    if (s.size() >= i + 2 && is_alpha(s[i]) && s[i + 1] == L':') {
        bool rooted = s.size() > i + 2 && s[i + 2] == L'\\';
        Resolved base = Resolve(m, FullPath(s.substr(i, rooted ? 3 : 2), Proc().current_dir));
        out += s.substr(i, rooted ? 3 : 2);
        i += rooted ? 3 : 2;
        hosts.push_back(base.host);
    } else if (i < s.size() && s[i] == L'\\') {
        hosts.push_back(Resolve(m, FullPath(L"\\", Proc().current_dir)).host);
        out += L'\\';
        ++i;
    } else {
        hosts.push_back(Resolve(m, FullPath(Proc().current_dir, L"C:\\")).host);
    }
    std::wstring rest = s.substr(i);
    bool first = true;
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t end = rest.find(L'\\', pos);
        if (end == std::wstring::npos) end = rest.size();
        std::wstring c = rest.substr(pos, end - pos);
        bool sep = end < rest.size();
        pos = end + 1;
        if (c.empty()) {
            if (sep || first) continue;
            break;
        }
        std::wstring piece = c;
        if (c == L"..") {
            if (hosts.size() > 1) hosts.pop_back();
        } else if (c != L".") {
            std::wstring entry;
            if (!FindEntry(hosts.back(), c, &entry)) {
                *err = pos > rest.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
                return L"";
            }
            if (to_short)
                piece = IsValid83(c) ? c : ShortName(ListNames(hosts.back()), entry);
            else
                piece = IEquals(c, entry) ? c : entry;
            hosts.push_back(JoinHost(hosts.back(), entry));
        }
        out += piece;
        if (sep) out += L'\\';
        first = false;
    }
    return out;
}

std::wstring Hex(UINT v) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring s;
    do {
        s.insert(s.begin(), kDigits[v & 0xF]);
        v >>= 4;
    } while (v);
    return s;
}

const wchar_t kWindowsDir[] = L"C:\\Windows";
const wchar_t kSystemDir[] = L"C:\\Windows\\system32";
const wchar_t kWow64Dir[] = L"C:\\Windows\\SysWOW64";

}  // namespace

// ---------------------------------------------------------------------------------------
// Files and devices

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disp, DWORD fa,
                          HANDLE) {
    if (!name) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::wstring s = name;
    if (s.empty()) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    bool inherit = sa && sa->bInheritHandle;
    std::wstring dev;
    if (DeviceName(s, &dev)) return OpenDevice(dev, access, share, fa, inherit);
    Resolved r = ResolveCurrent(s);
    std::shared_ptr<FileObject> obj;
    bool existed = false;
    if (DWORD e = OpenFile(Mach(), r, access, share, disp, fa, &obj, &existed)) return Fail(e, INVALID_HANDLE_VALUE);
    HANDLE h = Proc().AddHandle(obj, obj->access, inherit);
    SetLastError(existed && (disp == OPEN_ALWAYS || disp == CREATE_ALWAYS) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL WINAPI ReadFile(HANDLE h, LPVOID buf, DWORD n, LPDWORD got, LPOVERLAPPED ov) {
    if (got) *got = 0;
    auto obj = LookupHandle(h);
    if (auto dh = std::dynamic_pointer_cast<DeviceHandle>(obj)) {
        if (!ov && !got) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        return DeviceTransfer(*dh, false, buf, n, got, ov);
    }
    auto f = std::dynamic_pointer_cast<FileObject>(obj);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!ov && !got) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (f->is_dir) return Fail(ERROR_INVALID_FUNCTION, FALSE);
    if (!(f->access & FILE_READ_DATA)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!buf && n) return Fail(ERROR_NOACCESS, FALSE);
    uint64_t off = ov ? (static_cast<uint64_t>(ov->OffsetHigh) << 32 | ov->Offset) : f->pos;
    DWORD done = 0;
    while (done < n) {
        ssize_t k = pread(f->fd, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(off + done));
        if (k < 0) return Fail(Win32FromErrno(errno), FALSE);
        if (k == 0) break;
        done += static_cast<DWORD>(k);
    }
    if (!ov || !(f->flags & FILE_FLAG_OVERLAPPED)) f->pos = off + done;
    if (got) *got = done;
    if (ov && done == 0 && n > 0) {
        Complete(ov, 0xC0000011u, 0);  // STATUS_END_OF_FILE
        return Fail(ERROR_HANDLE_EOF, FALSE);
    }
    Complete(ov, 0, done);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE h, LPCVOID buf, DWORD n, LPDWORD put, LPOVERLAPPED ov) {
    if (put) *put = 0;
    auto obj = LookupHandle(h);
    if (auto dh = std::dynamic_pointer_cast<DeviceHandle>(obj)) {
        if (!ov && !put) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        return DeviceTransfer(*dh, true, const_cast<void*>(buf), n, put, ov);
    }
    auto f = std::dynamic_pointer_cast<FileObject>(obj);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!ov && !put) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (f->is_dir) return Fail(ERROR_INVALID_FUNCTION, FALSE);
    if (!(f->access & (FILE_WRITE_DATA | FILE_APPEND_DATA))) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!buf && n) return Fail(ERROR_NOACCESS, FALSE);
    if (DWORD e = InjectedFailure(Mach(), f->key, kFailWrite)) return Fail(e, FALSE);
    bool append_only = !(f->access & FILE_WRITE_DATA);
    uint64_t off = f->pos;
    if (ov) {
        off = static_cast<uint64_t>(ov->OffsetHigh) << 32 | ov->Offset;
        if (off == 0xFFFFFFFFFFFFFFFFULL) append_only = true;
    }
    if (append_only) off = SizeOf(*f);
    DWORD done = 0;
    while (done < n) {
        ssize_t k = pwrite(f->fd, static_cast<const char*>(buf) + done, n - done, static_cast<off_t>(off + done));
        if (k <= 0) return Fail(k < 0 ? Win32FromErrno(errno) : ERROR_WRITE_FAULT, FALSE);
        done += static_cast<DWORD>(k);
    }
    if (!ov || !(f->flags & FILE_FLAG_OVERLAPPED)) f->pos = off + done;
    if (n) {
        SetHostTimes(Mach(), f->fd, f->host);
        MarkArchive(*f);
    }
    if (put) *put = done;
    Complete(ov, 0, done);
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE h, LONG dist, PLONG high, DWORD method) {
    auto f = FileOf(h);
    if (!f) return Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
    int64_t d = high ? static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32 |
                                            static_cast<uint32_t>(dist))
                     : static_cast<int64_t>(dist);
    int64_t base;
    switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = static_cast<int64_t>(f->pos); break;
    case FILE_END: base = static_cast<int64_t>(SizeOf(*f)); break;
    default: return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    }
    int64_t np = base + d;
    if (np < 0) return Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    if (!high && np > 0xFFFFFFFFLL) return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    f->pos = static_cast<uint64_t>(np);
    if (high) *high = static_cast<LONG>(static_cast<uint64_t>(np) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(np);
}

BOOL WINAPI SetFilePointerEx(HANDLE h, LARGE_INTEGER dist, PLARGE_INTEGER out, DWORD method) {
    auto f = FileOf(h);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    int64_t base;
    switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = static_cast<int64_t>(f->pos); break;
    case FILE_END: base = static_cast<int64_t>(SizeOf(*f)); break;
    default: return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    int64_t np = base + dist.QuadPart;
    if (np < 0) return Fail(ERROR_NEGATIVE_SEEK, FALSE);
    f->pos = static_cast<uint64_t>(np);
    if (out) out->QuadPart = np;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE h, LPDWORD high) {
    auto f = FileOf(h);
    if (!f) {
        if (std::dynamic_pointer_cast<DeviceHandle>(LookupHandle(h)))
            return Fail(ERROR_INVALID_FUNCTION, INVALID_FILE_SIZE);
        return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    }
    uint64_t size = SizeOf(*f);
    if (high) *high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL WINAPI GetFileSizeEx(HANDLE h, PLARGE_INTEGER size) {
    auto f = FileOf(h);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!size) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    size->QuadPart = static_cast<LONGLONG>(SizeOf(*f));
    return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE h) {
    auto f = FileOf(h);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (f->is_dir || !(f->access & FILE_WRITE_DATA)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (DWORD e = InjectedFailure(Mach(), f->key, kFailWrite)) return Fail(e, FALSE);
    if (ftruncate(f->fd, static_cast<off_t>(f->pos)) != 0) return Fail(Win32FromErrno(errno), FALSE);
    SetHostTimes(Mach(), f->fd, f->host);
    MarkArchive(*f);
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE h) {
    auto obj = LookupHandle(h);
    if (std::dynamic_pointer_cast<DeviceHandle>(obj)) return TRUE;
    auto f = std::dynamic_pointer_cast<FileObject>(obj);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(f->access & (FILE_WRITE_DATA | FILE_APPEND_DATA))) return Fail(ERROR_ACCESS_DENIED, FALSE);
    return TRUE;
}

DWORD WINAPI GetFileType(HANDLE h) {
    auto obj = LookupHandle(h);
    if (!obj) return Fail<DWORD>(ERROR_INVALID_HANDLE, FILE_TYPE_UNKNOWN);
    SetLastError(ERROR_SUCCESS);
    if (std::dynamic_pointer_cast<FileObject>(obj)) return FILE_TYPE_DISK;
    if (std::dynamic_pointer_cast<DeviceHandle>(obj)) return FILE_TYPE_CHAR;
    return FILE_TYPE_UNKNOWN;
}

BOOL WINAPI GetFileTime(HANDLE h, LPFILETIME created, LPFILETIME accessed, LPFILETIME written) {
    auto f = FileOf(h);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    struct stat st;
    if (!StatOf(*f, &st)) return Fail(Win32FromErrno(errno), FALSE);
    if (created) *created = ToFileTime(st.st_mtim);
    if (accessed) *accessed = ToFileTime(st.st_atim);
    if (written) *written = ToFileTime(st.st_mtim);
    return TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info) {
    auto f = FileOf(h);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!info) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    struct stat st;
    if (!StatOf(*f, &st)) return Fail(Win32FromErrno(errno), FALSE);
    std::memset(info, 0, sizeof *info);
    Resolved r = Resolve(Mach(), f->winpath);
    DWORD a = StoredAttributes(Mach(), f->key) | (f->is_dir ? FILE_ATTRIBUTE_DIRECTORY : 0);
    info->dwFileAttributes = r.is_root ? ReportedAttributes(Mach(), r) : (a ? a : FILE_ATTRIBUTE_NORMAL);
    info->ftCreationTime = ToFileTime(st.st_mtim);
    info->ftLastAccessTime = ToFileTime(st.st_atim);
    info->ftLastWriteTime = ToFileTime(st.st_mtim);
    info->dwVolumeSerialNumber = f->winpath.size() && (f->winpath[0] == L'Z') ? 0x5A5A0001u : 0x1C3E5A7Bu;
    uint64_t size = f->is_dir ? 0 : static_cast<uint64_t>(st.st_size);
    info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(size);
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    info->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
    info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Attributes, folders, copies and moves

DWORD WINAPI GetFileAttributesW(LPCWSTR name) {
    if (!name || !*name)
        return Fail<DWORD>(name ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
    Resolved r = ResolveCurrent(name);
    if (r.error) return Fail<DWORD>(r.error, INVALID_FILE_ATTRIBUTES);
    if (!r.exists) return Fail<DWORD>(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    if (r.trailing_sep && !r.is_dir) return Fail<DWORD>(ERROR_INVALID_NAME, INVALID_FILE_ATTRIBUTES);
    return ReportedAttributes(Mach(), r);
}

BOOL WINAPI GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID out) {
    if (level != GetFileExInfoStandard || !out) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!name || !*name) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    Resolved r = ResolveCurrent(name);
    if (r.error) return Fail(r.error, FALSE);
    if (!r.exists) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    if (r.trailing_sep && !r.is_dir) return Fail(ERROR_INVALID_NAME, FALSE);
    auto* d = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(out);
    std::memset(d, 0, sizeof *d);
    d->dwFileAttributes = ReportedAttributes(Mach(), r);
    d->ftCreationTime = ToFileTime(r.st.st_mtim);
    d->ftLastAccessTime = ToFileTime(r.st.st_atim);
    d->ftLastWriteTime = ToFileTime(r.st.st_mtim);
    if (!r.is_dir) {
        uint64_t size = static_cast<uint64_t>(r.st.st_size);
        d->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        d->nFileSizeLow = static_cast<DWORD>(size);
    }
    return TRUE;
}

BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attrs) {
    if (!name || !*name) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    Resolved r = ResolveCurrent(name);
    if (r.error) return Fail(r.error, FALSE);
    if (!r.exists) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    if (r.is_root) return TRUE;
    constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;
    DWORD keep = StoredAttributes(Mach(), r.key) & FILE_ATTRIBUTE_REPARSE_POINT;
    StoreAttributes(Mach(), r.key, (attrs & kSettable) | keep);
    return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR name) {
    if (!name || !*name) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    if (DWORD e = DeleteEntry(Mach(), ResolveCurrent(name))) return Fail(e, FALSE);
    return TRUE;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
    if (!name || !*name) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    if (DWORD e = MakeFolder(Mach(), ResolveCurrent(name))) return Fail(e, FALSE);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR name) {
    if (!name || !*name) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    if (DWORD e = RemoveFolder(Mach(), ResolveCurrent(name))) return Fail(e, FALSE);
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists) {
    if (!from || !to) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!*from || !*to) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    if (DWORD e = CopyEntry(Mach(), ResolveCurrent(from), ResolveCurrent(to), fail_if_exists != FALSE))
        return Fail(e, FALSE);
    return TRUE;
}

BOOL WINAPI MoveFileW(LPCWSTR from, LPCWSTR to) { return MoveFileExW(from, to, MOVEFILE_COPY_ALLOWED); }

BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (!from) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!*from) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    Resolved src = ResolveCurrent(from);
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        if (flags & MOVEFILE_COPY_ALLOWED) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        if (src.error) return Fail(src.error, FALSE);
        if (!src.exists) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
        std::wstring target;
        if (to && *to) {
            Resolved dst = ResolveCurrent(to);
            if (dst.error) return Fail(dst.error, FALSE);
            target = dst.actual;
        }
        Machine& m = Mach();
        std::lock_guard<std::recursive_mutex> g(m.store().mutex());
        Stmt s(m.store().db(), "INSERT INTO file_pending (source, target, flags) VALUES (?, ?, ?)");
        s.Bind(1, Utf8(src.actual)).Bind(2, Utf8(target)).Bind(3, static_cast<int64_t>(flags)).Run();
        return TRUE;
    }
    if (!to) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!*to) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    if (DWORD e = MoveEntry(Mach(), src, ResolveCurrent(to), flags)) return Fail(e, FALSE);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Find handles

HANDLE WINAPI FindFirstFileW(LPCWSTR name, LPWIN32_FIND_DATAW out) {
    if (!name || !out) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::wstring s = name;
    if (s.empty()) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::replace(s.begin(), s.end(), L'/', L'\\');
    bool literal = StartsWith(s, L"\\\\?\\");
    size_t cut = s.find_last_of(L'\\');
    std::wstring dir, pattern;
    if (cut == std::wstring::npos) {
        bool drive_rel = s.size() >= 2 && s[1] == L':';
        dir = drive_rel ? s.substr(0, 2) : L".";
        pattern = drive_rel ? s.substr(2) : s;
    } else {
        dir = s.substr(0, cut + 1);
        pattern = s.substr(cut + 1);
    }
    bool wild = pattern.find_first_of(L"*?") != std::wstring::npos;
    if (!wild && !literal)
        while (!pattern.empty() && (pattern.back() == L'.' || pattern.back() == L' ')) pattern.pop_back();
    if (pattern.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    Resolved rd = ResolveCurrent(dir);
    if (rd.error) return Fail(rd.error, INVALID_HANDLE_VALUE);
    if (!rd.exists || !rd.is_dir) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    Machine& m = Mach();
    auto find = std::make_shared<FindObject>();
    if (!rd.is_root) {
        for (const wchar_t* dots : {L".", L".."}) {
            if (!MatchPattern(pattern, dots)) continue;
            WIN32_FIND_DATAW fd;
            FillFind(&fd, dots, L"", ReportedAttributes(m, rd), rd.st);
            find->entries.push_back(fd);
        }
    }
    std::vector<std::wstring> names = ListNames(rd.host);
    std::sort(names.begin(), names.end(), NameLess);
    std::vector<std::wstring> shorts = ShortNames(names);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::wstring& n = names[i];
        const std::wstring& alt = shorts[i];
        if (!MatchPattern(pattern, n) && (alt == n || !MatchPattern(pattern, alt))) continue;
        struct stat st;
        std::string host = JoinHost(rd.host, n);
        if (stat(host.c_str(), &st) != 0 && lstat(host.c_str(), &st) != 0) continue;
        DWORD a = StoredAttributes(m, Utf8(Lower(JoinWin(rd.actual, n))));
        if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
        WIN32_FIND_DATAW fd;
        FillFind(&fd, n, alt, a ? a : FILE_ATTRIBUTE_NORMAL, st);
        find->entries.push_back(fd);
    }
    if (find->entries.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    *out = find->entries[0];
    find->next = 1;
    HANDLE h = Proc().AddHandle(find, 0);
    SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL WINAPI FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW out) {
    auto find = std::dynamic_pointer_cast<FindObject>(LookupHandle(h));
    if (!find) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!out) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (find->next >= find->entries.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
    *out = find->entries[find->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE h) {
    if (!std::dynamic_pointer_cast<FindObject>(LookupHandle(h))) return Fail(ERROR_INVALID_HANDLE, FALSE);
    Proc().CloseHandleValue(h);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Path forms

DWORD WINAPI GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buf, LPWSTR* file_part) {
    if (file_part) *file_part = nullptr;
    if (!name) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    if (!*name) return Fail<DWORD>(ERROR_INVALID_NAME, 0);
    std::wstring full = FullPath(name);
    DWORD n = CopyOut(full, buf, size);
    if (n == full.size() && file_part) {
        size_t cut = full.find_last_of(L'\\');
        if (cut != std::wstring::npos && cut + 1 < full.size()) *file_part = buf + cut + 1;
    }
    return n;
}

DWORD WINAPI GetShortPathNameW(LPCWSTR in, LPWSTR out, DWORD size) {
    if (!in) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    if (!*in) return Fail<DWORD>(ERROR_PATH_NOT_FOUND, 0);
    DWORD err;
    std::wstring s = ConvertPath(in, true, &err);
    if (err) return Fail<DWORD>(err, 0);
    return CopyOut(s, out, size);
}

DWORD WINAPI GetLongPathNameW(LPCWSTR in, LPWSTR out, DWORD size) {
    if (!in) return Fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    if (!*in) return Fail<DWORD>(ERROR_PATH_NOT_FOUND, 0);
    DWORD err;
    std::wstring s = ConvertPath(in, false, &err);
    if (err) return Fail<DWORD>(err, 0);
    return CopyOut(s, out, size);
}

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buf) {
    std::wstring path;
    for (const wchar_t* var : {L"TMP", L"TEMP", L"USERPROFILE"}) {
        bool found = false;
        std::wstring v = Proc().GetEnv(var, &found);
        if (found && !v.empty()) {
            path = v;
            break;
        }
    }
    if (path.empty()) path = kWindowsDir;
    path = FullPath(path);
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return CopyOut(path, buf, size);
}

UINT WINAPI GetTempFileNameW(LPCWSTR dir, LPCWSTR prefix, UINT unique, LPWSTR out) {
    if (!dir || !out) return Fail<UINT>(ERROR_INVALID_PARAMETER, 0);
    std::wstring base = dir;
    if (base.size() > MAX_PATH - 14) return Fail<UINT>(ERROR_BUFFER_OVERFLOW, 0);
    std::wstring pre = prefix ? std::wstring(prefix).substr(0, 3) : L"";
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
    auto name = [&](UINT u) { return base + pre + Hex(u) + L".tmp"; };
    unique &= 0xFFFF;
    if (unique) {
        CopyName(out, MAX_PATH, name(unique));
        SetLastError(ERROR_SUCCESS);
        return unique;
    }
    Resolved rd = ResolveCurrent(base);
    if (!rd.exists || !rd.is_dir) return Fail<UINT>(ERROR_DIRECTORY, 0);
    Machine& m = Mach();
    UINT counter = static_cast<UINT>(m.store().GetInt("files", "temp_counter", 0));
    for (int tries = 0; tries < 0xFFFF; ++tries) {
        counter = counter % 0xFFFF + 1;
        std::wstring candidate = name(counter);
        std::shared_ptr<FileObject> obj;
        DWORD e =
            OpenFile(m, ResolveCurrent(candidate), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, &obj, nullptr);
        if (e == ERROR_FILE_EXISTS) continue;
        m.store().SetInt("files", "temp_counter", counter);
        if (e) return Fail<UINT>(e, 0);
        CopyName(out, MAX_PATH, candidate);
        SetLastError(ERROR_SUCCESS);
        return counter;
    }
    return Fail<UINT>(ERROR_FILE_EXISTS, 0);
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR name) {
    if (!name) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!*name) return Fail(ERROR_INVALID_NAME, FALSE);
    Resolved r = ResolveCurrent(name);
    if (r.error) return Fail(r.error, FALSE);
    if (!r.exists) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    if (!r.is_dir) return Fail(ERROR_DIRECTORY, FALSE);
    std::wstring full = FullPath(name);
    DWORD err;
    std::wstring long_form = ConvertPath(full, false, &err);
    if (err || long_form.empty()) long_form = full;
    if (long_form.size() > 3 && long_form.back() == L'\\') long_form.pop_back();
    Proc().current_dir = long_form;
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// System folders and drives

UINT WINAPI GetWindowsDirectoryW(LPWSTR buf, UINT size) { return CopyOut(kWindowsDir, buf, size); }
UINT WINAPI GetSystemWindowsDirectoryW(LPWSTR buf, UINT size) { return CopyOut(kWindowsDir, buf, size); }
UINT WINAPI GetSystemDirectoryW(LPWSTR buf, UINT size) { return CopyOut(kSystemDir, buf, size); }
UINT WINAPI GetSystemWow64DirectoryW(LPWSTR buf, UINT size) { return CopyOut(kWow64Dir, buf, size); }

UINT WINAPI GetDriveTypeW(LPCWSTR root) {
    std::wstring s = root ? root : FullPath(L"\\");
    if (StartsWith(s, L"\\\\?\\")) s = s.substr(4);
    bool drive = s.size() >= 2 && s[1] == L':' && (s.size() == 2 || (s.size() == 3 && (s[2] == L'\\' || s[2] == L'/')));
    if (!drive) return DRIVE_NO_ROOT_DIR;
    return Mach().DriveRoot(s[0]).empty() ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
}

BOOL WINAPI GetDiskFreeSpaceExW(LPCWSTR dir, PULARGE_INTEGER caller_free, PULARGE_INTEGER total,
                                PULARGE_INTEGER total_free) {
    Resolved r = ResolveCurrent(dir && *dir ? dir : Proc().current_dir);
    if (r.error) return Fail(r.error, FALSE);
    if (!r.exists || !r.is_dir) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    // A 256 GiB volume with half of it free.
    if (caller_free) caller_free->QuadPart = 137438953472ULL;
    if (total) total->QuadPart = 274877906944ULL;
    if (total_free) total_free->QuadPart = 137438953472ULL;
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// WOW64 redirection (a 64-bit process has none to change: ERROR_INVALID_FUNCTION)

BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* old) {
    Thread& t = CurrentThread();
    if (t.process->image64) return Fail(ERROR_INVALID_FUNCTION, FALSE);
    if (!old) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    bool& disabled = Wow64Disabled(t);
    *old = reinterpret_cast<PVOID>(static_cast<uintptr_t>(disabled ? 1 : 0));
    disabled = true;
    return TRUE;
}

BOOL WINAPI Wow64RevertWow64FsRedirection(PVOID old) {
    Thread& t = CurrentThread();
    if (t.process->image64) return Fail(ERROR_INVALID_FUNCTION, FALSE);
    Wow64Disabled(t) = old != nullptr;
    return TRUE;
}

BOOLEAN WINAPI Wow64EnableWow64FsRedirection(BOOLEAN enable) {
    Thread& t = CurrentThread();
    if (t.process->image64) return Fail<BOOLEAN>(ERROR_INVALID_FUNCTION, FALSE);
    Wow64Disabled(t) = !enable;
    return TRUE;
}
