// winsim: the file-system operations behind kernel32 and the CRT - opens with sharing
// checks, deletes, folders, copies and moves.
#include "files_internal.h"

#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace winsim::files::detail {

namespace {

bool Reads(DWORD a) { return (a & (FILE_READ_DATA | FILE_EXECUTE)) != 0; }
bool Writes(DWORD a) { return (a & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0; }
bool Deletes(DWORD a) { return (a & DELETE) != 0; }
bool DataAccess(DWORD a) { return Reads(a) || Writes(a) || Deletes(a); }

// Whether an open with (a2, s2) is refused by an existing open with (a1, s1), or the
// other way round. Opens without read, write or delete rights never conflict.
bool Conflict(DWORD a1, DWORD s1, DWORD a2, DWORD s2) {
    if (!DataAccess(a1) || !DataAccess(a2)) return false;
    if (Reads(a2) && !(s1 & FILE_SHARE_READ)) return true;
    if (Writes(a2) && !(s1 & FILE_SHARE_WRITE)) return true;
    if (Deletes(a2) && !(s1 & FILE_SHARE_DELETE)) return true;
    if (Reads(a1) && !(s2 & FILE_SHARE_READ)) return true;
    if (Writes(a1) && !(s2 & FILE_SHARE_WRITE)) return true;
    if (Deletes(a1) && !(s2 & FILE_SHARE_DELETE)) return true;
    return false;
}

constexpr DWORD kCreatable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;
constexpr DWORD kAllShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsBelow(const std::string& path, const std::string& dir) {
    return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/';
}

// The key of the current directory of every live process, to refuse removing them.
bool IsSomeCurrentDirectory(Machine& m, const Resolved& r) {
    for (auto& p : m.Processes()) {
        if (p->ended || p->current_dir.empty()) continue;
        Resolved c = Resolve(m, FullPath(p->current_dir, L"C:\\"));
        if (c.exists && (c.host == r.host || IsBelow(c.host, r.host))) return true;
    }
    return false;
}

DWORD CopyBytes(const std::string& from, const std::string& to, const struct stat& st) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return Win32FromErrno(errno);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        int e = errno;
        close(in);
        return Win32FromErrno(e);
    }
    char buf[65536];
    DWORD err = 0;
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0) {
            err = Win32FromErrno(errno);
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
            if (w <= 0) {
                err = ERROR_WRITE_FAULT;
                break;
            }
            done += w;
        }
        if (err) break;
    }
    // A copy keeps the source's last-write time.
    struct timespec ts[2] = {st.st_atim, st.st_mtim};
    futimens(out, ts);
    close(in);
    close(out);
    return err;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Sharing

DWORD ShareTable::Check(const std::string& host, DWORD access, DWORD share) {
    std::lock_guard<std::mutex> g(mu_);
    auto range = open_.equal_range(host);
    for (auto it = range.first; it != range.second; ++it)
        if (Conflict(it->second->access, it->second->share, access, share)) return ERROR_SHARING_VIOLATION;
    return 0;
}

void ShareTable::Add(FileObject* f) {
    std::lock_guard<std::mutex> g(mu_);
    open_.emplace(f->host, f);
}

void ShareTable::Remove(FileObject* f) {
    std::lock_guard<std::mutex> g(mu_);
    auto range = open_.equal_range(f->host);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == f) {
            open_.erase(it);
            return;
        }
}

bool ShareTable::AnyBelow(const std::string& dir) {
    std::lock_guard<std::mutex> g(mu_);
    for (auto it = open_.upper_bound(dir); it != open_.end() && it->first.compare(0, dir.size(), dir) == 0; ++it)
        if (IsBelow(it->first, dir)) return true;
    return false;
}

FileObject::~FileObject() {
    if (table) table->Remove(this);
    if (fd >= 0) close(fd);
    if (flags & FILE_FLAG_DELETE_ON_CLOSE) {
        if (is_dir)
            rmdir(host.c_str());
        else
            unlink(host.c_str());
    }
}

DWORD MapFileAccess(DWORD a) {
    DWORD r = a & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (a & GENERIC_READ) r |= FILE_GENERIC_READ;
    if (a & GENERIC_WRITE) r |= FILE_GENERIC_WRITE;
    if (a & GENERIC_EXECUTE) r |= FILE_GENERIC_EXECUTE;
    if (a & (GENERIC_ALL | MAXIMUM_ALLOWED)) r |= FILE_ALL_ACCESS;
    return r;
}

// ---------------------------------------------------------------------------------------
// Opens

DWORD OpenFile(Machine& m, const Resolved& r, DWORD access, DWORD share, DWORD disp, DWORD fa,
               std::shared_ptr<FileObject>* out, bool* existed) {
    if (existed) *existed = false;
    if (r.error) return r.error;
    if (disp < CREATE_NEW || disp > TRUNCATE_EXISTING) return ERROR_INVALID_PARAMETER;
    bool maximum = (access & MAXIMUM_ALLOWED) != 0;
    access = MapFileAccess(access);
    if (DWORD e = InjectedFailure(m, r.key, kFailOpen)) return e;
    auto obj = std::make_shared<FileObject>();
    obj->host = r.host;
    obj->winpath = r.actual;
    obj->key = r.key;
    obj->share = share;
    obj->flags = fa & 0xFFFF0000u;
    ShareTable& shares = *State(m).shares;
    if (r.exists && r.is_dir) {
        if (!(fa & FILE_FLAG_BACKUP_SEMANTICS)) return ERROR_ACCESS_DENIED;
        if (disp == CREATE_NEW) return ERROR_FILE_EXISTS;
        if (disp == CREATE_ALWAYS || disp == TRUNCATE_EXISTING) return ERROR_ACCESS_DENIED;
        if (DWORD e = shares.Check(r.host, access, share)) return e;
        obj->is_dir = true;
        if (existed) *existed = true;
    } else if (r.exists) {
        if (r.trailing_sep) return ERROR_INVALID_NAME;
        if (disp == CREATE_NEW) return ERROR_FILE_EXISTS;
        DWORD attrs = StoredAttributes(m, r.key);
        if (attrs & FILE_ATTRIBUTE_READONLY) {
            if (maximum) access &= ~(FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | DELETE);
            if (Writes(access) || disp == CREATE_ALWAYS || disp == TRUNCATE_EXISTING ||
                (fa & FILE_FLAG_DELETE_ON_CLOSE))
                return ERROR_ACCESS_DENIED;
        }
        DWORD hidden_system = attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (disp == CREATE_ALWAYS && (hidden_system & ~fa)) return ERROR_ACCESS_DENIED;
        if (disp == TRUNCATE_EXISTING && !(access & FILE_WRITE_DATA)) return ERROR_INVALID_PARAMETER;
        if (DWORD e = shares.Check(r.host, access, share)) return e;
        bool truncate = disp == CREATE_ALWAYS || disp == TRUNCATE_EXISTING;
        obj->fd = open(r.host.c_str(), ((Writes(access) || truncate) ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (obj->fd < 0 && (Reads(access) || Writes(access) || truncate)) return Win32FromErrno(errno);
        if (truncate) {
            if (ftruncate(obj->fd, 0) != 0) return Win32FromErrno(errno);
            SetHostTimes(m, obj->fd, r.host);
        }
        if (disp == CREATE_ALWAYS) {
            StoreAttributes(m, r.key,
                            (fa & kCreatable) | FILE_ATTRIBUTE_ARCHIVE | (attrs & FILE_ATTRIBUTE_REPARSE_POINT));
            obj->archive_marked = true;
        }
        if (existed) *existed = true;
    } else {
        if (disp == OPEN_EXISTING || disp == TRUNCATE_EXISTING) return ERROR_FILE_NOT_FOUND;
        if (r.trailing_sep || r.is_root) return ERROR_INVALID_NAME;
        obj->fd = open(r.host.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (obj->fd < 0) return Win32FromErrno(errno);
        SetHostTimes(m, obj->fd, r.host);
        StoreAttributes(m, r.key, (fa & kCreatable) | FILE_ATTRIBUTE_ARCHIVE);
        obj->archive_marked = true;
    }
    obj->access = access;
    obj->table = State(m).shares;
    obj->table->Add(obj.get());
    *out = std::move(obj);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Deletes and folders

DWORD DeleteEntry(Machine& m, const Resolved& r) {
    if (r.error) return r.error;
    if (!r.exists) return ERROR_FILE_NOT_FOUND;
    if (r.is_dir) return ERROR_ACCESS_DENIED;
    if (r.trailing_sep) return ERROR_INVALID_NAME;
    if (DWORD e = InjectedFailure(m, r.key, kFailDelete)) return e;
    if (StoredAttributes(m, r.key) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (DWORD e = State(m).shares->Check(r.host, DELETE, kAllShare)) return e;
    if (unlink(r.host.c_str()) != 0) return Win32FromErrno(errno);
    NoteChange(m, r.host);
    DropAttributes(m, r.key, false);
    return 0;
}

DWORD RemoveFolder(Machine& m, const Resolved& r) {
    if (r.error) return r.error;
    if (!r.exists) return ERROR_FILE_NOT_FOUND;
    if (!r.is_dir) return ERROR_DIRECTORY;
    if (r.is_root) return ERROR_ACCESS_DENIED;
    if (DWORD e = InjectedFailure(m, r.key, kFailDelete)) return e;
    if (StoredAttributes(m, r.key) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
    if (DWORD e = State(m).shares->Check(r.host, DELETE, kAllShare)) return e;
    if (IsSomeCurrentDirectory(m, r)) return ERROR_SHARING_VIOLATION;
    // A junction or folder link goes as the link, whatever the folder it points at holds;
    // the machine keeps no target apart, so what was seen through the link goes with it.
    if (StoredAttributes(m, r.key) & FILE_ATTRIBUTE_REPARSE_POINT) {
        std::error_code ec;
        NoteChange(m, r.host);
        std::filesystem::remove_all(r.host, ec);
        if (ec) return Win32FromErrno(ec.value());
        DropAttributes(m, r.key, true);
        return 0;
    }
    if (rmdir(r.host.c_str()) != 0)
        return errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : Win32FromErrno(errno);
    DropAttributes(m, r.key, true);
    return 0;
}

DWORD MakeFolder(Machine& m, const Resolved& r) {
    if (r.error) return r.error;
    if (r.exists) return ERROR_ALREADY_EXISTS;
    if (mkdir(r.host.c_str(), 0777) != 0) return Win32FromErrno(errno);
    DropAttributes(m, r.key, true);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Copies and moves

DWORD CopyEntry(Machine& m, const Resolved& src, const Resolved& dst, bool fail_if_exists) {
    if (src.error) return src.error;
    if (!src.exists) return ERROR_FILE_NOT_FOUND;
    if (src.is_dir) return ERROR_ACCESS_DENIED;
    if (dst.error) return dst.error;
    if (DWORD e = InjectedFailure(m, src.key, kFailOpen)) return e;
    if (DWORD e = InjectedFailure(m, dst.key, kFailOpen)) return e;
    ShareTable& shares = *State(m).shares;
    if (DWORD e = shares.Check(src.host, FILE_GENERIC_READ, kAllShare)) return e;
    if (dst.exists) {
        if (dst.is_dir) return ERROR_ACCESS_DENIED;
        if (fail_if_exists) return ERROR_FILE_EXISTS;
        if (dst.host == src.host) return ERROR_SHARING_VIOLATION;
        if (StoredAttributes(m, dst.key) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
            return ERROR_ACCESS_DENIED;
        if (DWORD e = shares.Check(dst.host, FILE_GENERIC_WRITE, 0)) return e;
    } else if (dst.trailing_sep || dst.is_root) {
        return ERROR_INVALID_NAME;
    }
    if (DWORD e = InjectedFailure(m, dst.key, kFailWrite)) return e;
    NoteChange(m, dst.host);
    if (DWORD e = CopyBytes(src.host, dst.host, src.st)) return e;
    StoreAttributes(m, dst.key,
                    (StoredAttributes(m, src.key) & ~FILE_ATTRIBUTE_REPARSE_POINT) | FILE_ATTRIBUTE_ARCHIVE);
    return 0;
}

DWORD MoveEntry(Machine& m, const Resolved& src, const Resolved& dst, DWORD flags) {
    if (src.error) return src.error;
    if (!src.exists) return ERROR_FILE_NOT_FOUND;
    if (src.is_root) return ERROR_ACCESS_DENIED;
    if (dst.error) return dst.error;
    if (dst.is_root) return ERROR_ACCESS_DENIED;
    if (DWORD e = InjectedFailure(m, src.key, kFailDelete)) return e;
    bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    if (src.drive != dst.drive) {
        if (src.is_dir || !(flags & MOVEFILE_COPY_ALLOWED)) return ERROR_NOT_SAME_DEVICE;
        if (dst.exists && !replace) return ERROR_ALREADY_EXISTS;
        if (DWORD e = CopyEntry(m, src, dst, false)) return e;
        return DeleteEntry(m, src);
    }
    ShareTable& shares = *State(m).shares;
    bool same = src.host == dst.host || src.key == dst.key;
    if (dst.exists && !same) {
        if (!replace) return ERROR_ALREADY_EXISTS;
        if (dst.is_dir || src.is_dir) return ERROR_ACCESS_DENIED;
        if (StoredAttributes(m, dst.key) & FILE_ATTRIBUTE_READONLY) return ERROR_ACCESS_DENIED;
        if (DWORD e = shares.Check(dst.host, DELETE, kAllShare)) return e;
    }
    if (DWORD e = shares.Check(src.host, DELETE, kAllShare)) return e;
    if (src.is_dir) {
        if (shares.AnyBelow(src.host)) return ERROR_ACCESS_DENIED;
        if (IsBelow(dst.host, src.host)) return ERROR_SHARING_VIOLATION;
    }
    std::string target = dst.host;
    if (same) {
        // A change of case only: the entry takes the new spelling.
        target = target.substr(0, target.rfind('/') + 1) + Utf8(dst.given);
        if (target == src.host) return 0;
    }
    NoteChange(m, src.host);
    NoteChange(m, target);
    if (rename(src.host.c_str(), target.c_str()) != 0) return Win32FromErrno(errno);
    if (src.key != dst.key) MoveAttributes(m, src.key, dst.key);
    return 0;
}

}  // namespace winsim::files::detail
