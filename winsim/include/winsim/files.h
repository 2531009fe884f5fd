// winsim: the machine's file system - Windows paths over host folders - as other winsim
// parts and tests reach it.
//
// Drives. C: is the folder Machine::DriveRoot('C') (the machine's "drive_c"); Z: is the
// host's root "/". No other drive letter exists.
//
// Names. Windows names resolve without regard to case: each existing component of a path
// is matched against the entries of its host folder (an exact match first, then a
// case-insensitive one, then a match on the entry's short name). New entries are created
// with the case the caller gave.
//
// Short (8.3) names are derived, never stored: an entry whose long name already is a valid
// 8.3 name keeps it as its short name; any other gets "first six valid characters" + "~N"
// + "." + "first three valid characters of the extension", upper case, where N is the
// position (from 1) of the long name among the entries of the same folder that yield the
// same six-character stem and extension, in case-insensitive name order. Past ~9 the stem
// is shortened so that the name stays eight characters long (PROGR~10). Because N is
// derived, adding an entry that sorts before existing colliding ones renumbers them,
// unlike NTFS, which keeps a short name once given.
//
// Attributes. FILE_ATTRIBUTE_DIRECTORY comes from the host; read-only, hidden, system,
// archive, temporary and reparse-point are kept in the machine's store, keyed by the
// Windows path of the entry (its on-disk names) folded to lower case ("c:\windows\inf").
// Files created through the API get FILE_ATTRIBUTE_ARCHIVE as on Windows; entries made on
// the host have none (reported as FILE_ATTRIBUTE_NORMAL).
//
// WOW64. For a 32-bit process whose calling thread has redirection enabled, paths in
// C:\Windows\System32 resolve to C:\Windows\SysWOW64, except the folders that Windows
// exempts: System32\catroot, catroot2, driverstore, drivers\etc, logfiles and spool. A
// 32-bit process reaches the real System32 as C:\Windows\Sysnative.
#pragma once

#include "machine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim::files {

// ---------------------------------------------------------------------------------------
// Path forms (no file-system access unless stated)

// The full Windows path of path by the rules of GetFullPathNameW: '/' taken as '\',
// repeated separators collapsed, "." and ".." components applied, a trailing period of
// each component and trailing periods and spaces of the last one removed, relative and
// drive-relative paths resolved against current_dir. "\\?\" paths are returned as they
// are; "\\.\" device paths keep their prefix. Empty when path is empty.
std::wstring FullPath(const std::wstring& path, const std::wstring& current_dir);
// The same against the calling simulated process's current directory.
std::wstring FullPath(const std::wstring& path);

// The host path that a Windows path names - an existing entry or one that can be created
// in an existing folder; nullopt when a folder on the way is missing, the drive does not
// exist or the name is invalid. This form uses the calling process's current directory
// and the calling thread's WOW64 redirection (it must run on a simulated thread).
std::optional<std::string> HostPath(const std::wstring& winpath);
// For a full path, without a process: no redirection.
std::optional<std::string> HostPath(Machine& m, const std::wstring& full_winpath);
// The Windows path of a host path: "C:\..." inside the machine's drive C:, else "Z:\...".
std::wstring WindowsPath(Machine& m, const std::string& host_path);

// Whether name is a valid 8.3 name (1-8 characters, optionally a period and 1-3 more,
// none of the characters 8.3 names exclude, no blank).
bool IsValid83(const std::wstring& name);
// The short name of name among the entries of one folder (names holds every entry of the
// folder, name among them), by the rule above.
std::wstring ShortName(const std::vector<std::wstring>& names, const std::wstring& name);
// Whether name matches a FindFirstFileW pattern (Windows' wildcard rules: '*', '?',
// "*.*", "*." ...), without regard to case.
bool MatchPattern(const std::wstring& pattern, const std::wstring& name);

// ---------------------------------------------------------------------------------------
// Contents and attributes (full Windows paths, no redirection)

bool Exists(Machine& m, const std::wstring& full_winpath);
bool IsDirectory(Machine& m, const std::wstring& full_winpath);
// Creates the folder and every missing parent.
bool CreateFolders(Machine& m, const std::wstring& full_winpath);
// Writes a file (parents must exist); replaces what was there.
bool WriteBytes(Machine& m, const std::wstring& full_winpath, const std::string& bytes);
std::optional<std::string> ReadBytes(Machine& m, const std::wstring& full_winpath);
// The attributes GetFileAttributesW reports; INVALID_FILE_ATTRIBUTES when missing.
DWORD Attributes(Machine& m, const std::wstring& full_winpath);
// Sets the stored attributes (read-only, hidden, system, archive, temporary, reparse point).
bool SetAttributes(Machine& m, const std::wstring& full_winpath, DWORD attributes);
// Marks an entry as a reparse point (a junction or symbolic link for the programs).
bool SetReparsePoint(Machine& m, const std::wstring& full_winpath, bool on);

// ---------------------------------------------------------------------------------------
// Failure injection: operations on the entry fail with error (e.g. ERROR_SHARING_VIOLATION
// for a file in use, ERROR_ACCESS_DENIED). Kept in memory until cleared or Reset.

enum FailOp : unsigned {
    kFailOpen = 1,    // CreateFileW, _wfopen, CopyFileW's source and target
    kFailWrite = 2,   // WriteFile, SetEndOfFile, CRT writes
    kFailDelete = 4,  // DeleteFileW, RemoveDirectoryW, MoveFileExW's source, _wremove, _wrename
    kFailAll = 7,
};
void InjectFailure(Machine& m, const std::wstring& full_winpath, unsigned ops, DWORD error);
void ClearFailure(Machine& m, const std::wstring& full_winpath);
void ClearFailures(Machine& m);

// ---------------------------------------------------------------------------------------
// Operations pending until restart (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT), in the
// order they were recorded; kept in the machine's store.

struct PendingOperation {
    std::wstring source;  // full Windows path
    std::wstring target;  // empty: delete source
    DWORD flags;          // the MoveFileExW flags
};
std::vector<PendingOperation> PendingOperations(Machine& m);
// The list in the form of the registry value PendingFileRenameOperations (REG_MULTI_SZ):
// pairs "\??\source", then "\??\target" ("!\??\target" with MOVEFILE_REPLACE_EXISTING) or
// "" for a deletion.
std::vector<std::wstring> PendingFileRenameStrings(Machine& m);
void ClearPendingOperations(Machine& m);
// Carries the operations out as a restart does, then clears the list. Returns how many
// succeeded.
size_t RunPendingOperations(Machine& m);

// Folders of a user's profile (C:\Users\<user>\AppData\Local\Temp, \AppData\Roaming,
// \Desktop); the profile step creates them for every session's user.
void CreateUserProfile(Machine& m, const std::wstring& user);

}  // namespace winsim::files
