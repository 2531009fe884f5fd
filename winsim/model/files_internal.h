// winsim: internals of the file-system model shared by the kernel32 and CRT layers.
#pragma once

#include <windows.h>

#include "winsim/files.h"
#include "winsim/kernel.h"
#include "winsim/machine.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace winsim::files::detail {

// A Windows path resolved to the host.
struct Resolved {
    DWORD error = 0;      // set when the path cannot name an entry (a folder on the way is missing ...)
    std::wstring actual;  // "C:\..." with the on-disk names of the existing components
    std::string host;     // host path
    wchar_t drive = 0;    // 'C' or 'Z'
    bool exists = false;
    bool is_dir = false;
    bool is_root = false;
    bool trailing_sep = false;  // the path ended in a separator
    std::wstring given;         // the last component as the caller spelled it
    std::string key;            // attribute and failure key: UTF-8 of Lower(actual)
    struct stat st {};          // valid when exists
};

// Resolves a full Windows path ("C:\...", or "\\?\C:\..." taken literally) without regard
// to case. No WOW64 redirection.
Resolved Resolve(Machine& m, const std::wstring& full);
// Resolves a path as the calling thread sees it: full path against the process's current
// directory, then WOW64 redirection.
Resolved ResolveCurrent(const std::wstring& path);
// The full path (WOW64 redirection applied) that ResolveCurrent resolves.
std::wstring CurrentFullPath(const std::wstring& path);
// WOW64 redirection of a full path (without "\\?\"), for a 32-bit process; active says
// whether the thread has System32 redirection enabled.
std::wstring Wow64Redirect(const std::wstring& full, bool active);
// Whether redirection applies to the calling thread.
bool RedirectionActive();
// The thread's "redirection disabled" state (Wow64DisableWow64FsRedirection).
bool& Wow64Disabled(Thread& t);

// Entries of a host folder (without "." and ".."), in the host's order.
std::vector<std::wstring> ListNames(const std::string& host_dir);
// The short names of every entry of a folder (names: all its entries), in that order.
std::vector<std::wstring> ShortNames(const std::vector<std::wstring>& names);
// The on-disk name in host_dir that name (long or short, any case) denotes.
bool FindEntry(const std::string& host_dir, const std::wstring& name, std::wstring* found);
std::string JoinHost(const std::string& dir, const std::wstring& name);
std::wstring JoinWin(const std::wstring& dir, const std::wstring& name);
// Whether a name is usable as a Windows file name component.
bool ValidComponent(const std::wstring& name);
// Compares names as Windows sorts them here (upper-cased code units).
bool NameLess(const std::wstring& a, const std::wstring& b);

// Stored attributes (only the bits kept in the store) of key; 0 when none.
DWORD StoredAttributes(Machine& m, const std::string& key);
void StoreAttributes(Machine& m, const std::string& key, DWORD attributes);
// Forgets the attributes of key and (subtree) of every entry below it.
void DropAttributes(Machine& m, const std::string& key, bool subtree);
// Moves the attributes of from (and of the entries below it) to to.
void MoveAttributes(Machine& m, const std::string& from, const std::string& to);
// Attributes as GetFileAttributesW reports them.
DWORD ReportedAttributes(Machine& m, const Resolved& r);
constexpr DWORD kStoredMask = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_REPARSE_POINT;

// Machine time and host times.
int64_t MachineUtcMs(Machine& m);                                // milliseconds since 1601-01-01 UTC
void SetHostTimes(Machine& m, int fd, const std::string& host);  // last write = now
FILETIME ToFileTime(const struct timespec& ts);

DWORD Win32FromErrno(int e);

class FileObject;

// Open files by host path, for the sharing checks across every process of a machine.
class ShareTable {
public:
    // ERROR_SHARING_VIOLATION when an open of host with access and share conflicts with
    // an open file; 0 otherwise.
    DWORD Check(const std::string& host, DWORD access, DWORD share);
    void Add(FileObject* f);
    void Remove(FileObject* f);
    // Whether a file below the host folder dir is open.
    bool AnyBelow(const std::string& dir);

private:
    std::mutex mu_;
    std::multimap<std::string, FileObject*> open_;
};

// An open file or folder (the object behind a CreateFileW handle and a CRT stream).
class FileObject : public Waitable {
public:
    ~FileObject() override;
    const char* TypeName() const override { return "File"; }
    bool IsSignaled(const Thread*) const override { return true; }
    bool Acquire(Thread*) override { return false; }

    int fd = -1;
    bool is_dir = false;
    std::string host;
    std::wstring winpath;  // the on-disk Windows path at open time
    std::string key;
    DWORD access = 0;  // specific rights (generic rights mapped)
    DWORD share = 0;
    DWORD flags = 0;  // FILE_FLAG_*
    uint64_t pos = 0;
    bool archive_marked = false;  // FILE_ATTRIBUTE_ARCHIVE set since the last write
    std::shared_ptr<ShareTable> table;
};

struct Failure {
    unsigned ops;
    DWORD error;
};

// Per-machine state of the model that is not persisted.
struct FilesState {
    explicit FilesState(Machine&) {}
    std::shared_ptr<ShareTable> shares = std::make_shared<ShareTable>();
    std::mutex mu;
    std::map<std::string, Failure> failures;  // by key
    std::string watched;                      // host path whose changes are counted
    uint64_t watched_changes = 0;
};
FilesState& State(Machine& m);
// The injected error for op on key, or 0.
DWORD InjectedFailure(Machine& m, const std::string& key, unsigned op);

// Changes made through the model, for the caches of a file's contents (the profile
// functions keep the file they parsed last). NoteChange counts a change of host (a file, or
// a folder and everything below it; "" for a file it cannot name) when it touches the
// watched path. WatchChanges watches host instead and gives its count; ChangesOf gives the
// count of host, or nullopt when another path is watched.
void NoteChange(Machine& m, const std::string& host);
uint64_t WatchChanges(Machine& m, const std::string& host);
std::optional<uint64_t> ChangesOf(Machine& m, const std::string& host);

// Generic rights mapped to the file-specific ones.
DWORD MapFileAccess(DWORD access);

// The operations behind the API; each returns a Win32 error (0 on success).
DWORD OpenFile(Machine& m, const Resolved& r, DWORD access, DWORD share, DWORD disposition, DWORD flags_attrs,
               std::shared_ptr<FileObject>* out, bool* existed);
DWORD DeleteEntry(Machine& m, const Resolved& r);
DWORD RemoveFolder(Machine& m, const Resolved& r);
DWORD MakeFolder(Machine& m, const Resolved& r);
DWORD CopyEntry(Machine& m, const Resolved& src, const Resolved& dst, bool fail_if_exists);
DWORD MoveEntry(Machine& m, const Resolved& src, const Resolved& dst, DWORD flags);

}  // namespace winsim::files::detail
