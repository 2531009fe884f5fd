// winsim: the Windows C runtime's file functions (_wfopen and Windows text-mode and
// Unicode streams, _wstat, _waccess, _wgetenv ...), as the system's code finds them in the
// CRT headers on Windows.
//
// Streams opened by _wfopen are host FILE streams in binary mode over the mapped host
// file; winsim keeps each stream's Windows mode beside it (text or binary, the ccs
// encoding) and the wide-character functions below - which system code reaches under
// their standard names - translate as the Microsoft CRT does:
//   - binary ("b"): each WCHAR is written and read as two bytes (UTF-16LE), no translation;
//   - text without ccs (the default): one byte per WCHAR 0-255 (the "C" locale; other
//     characters fail with EILSEQ), "\n" written as CR LF, CR LF read as "\n", CTRL+Z
//     read as the end of the file;
//   - ", ccs=UTF-16LE" / "UNICODE" / "UTF-8": text in that encoding with CR LF
//     translation; a byte-order mark is written to a new or truncated file and skipped on
//     reading, and a mark found in an existing file decides the encoding.
// fread/fwrite and the narrow functions stay the host's (bytes as they are); a write
// failure injected on the file (files.h, kFailWrite) fails the wide writes and the fclose
// of a writable stream, as a buffered write that cannot be flushed does. Streams not
// opened by _wfopen (stdout ...) get UTF-8 without translation.
#pragma once

#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <wchar.h>

// The Windows CRT's stat records name their time fields plainly; the host's macros of the
// same names go.
#undef st_atime
#undef st_mtime
#undef st_ctime

#ifndef _MAX_PATH
#define _MAX_PATH 260
#endif

// Sharing modes of _wfsopen.
#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40
#define _SH_SECURE 0x80

// Mode bits of the stat records (the Windows CRT's values).
#define _S_IFMT 0xF000
#define _S_IFDIR 0x4000
#define _S_IFCHR 0x2000
#define _S_IFIFO 0x1000
#define _S_IFREG 0x8000
#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080
#define _S_IEXEC 0x0040

#ifdef __cplusplus
extern "C" {
#endif

typedef int errno_t;
typedef unsigned short _ino_t;
typedef unsigned int _dev_t;
typedef int _off_t;  // a Windows long: 32 bits
typedef long long __time64_t;

// struct _stat is the Windows CRT's _stat64i32: 64-bit times, a signed 32-bit size.
struct _stat {
    _dev_t st_dev;
    _ino_t st_ino;
    unsigned short st_mode;
    short st_nlink;
    short st_uid;
    short st_gid;
    _dev_t st_rdev;
    _off_t st_size;
    __time64_t st_atime;
    __time64_t st_mtime;
    __time64_t st_ctime;
};

struct _stat64 {
    _dev_t st_dev;
    _ino_t st_ino;
    unsigned short st_mode;
    short st_nlink;
    short st_uid;
    short st_gid;
    _dev_t st_rdev;
    long long st_size;
    __time64_t st_atime;
    __time64_t st_mtime;
    __time64_t st_ctime;
};

FILE* _wfopen(const wchar_t* filename, const wchar_t* mode);
errno_t _wfopen_s(FILE** stream, const wchar_t* filename, const wchar_t* mode);
FILE* _wfsopen(const wchar_t* filename, const wchar_t* mode, int shflag);
int _fileno(FILE* stream);

int _wremove(const wchar_t* path);
int _wunlink(const wchar_t* path);
int _wrename(const wchar_t* oldname, const wchar_t* newname);
int _waccess(const wchar_t* path, int mode);
int _wstat(const wchar_t* path, struct _stat* buffer);
int _wstat64(const wchar_t* path, struct _stat64* buffer);
int _stat(const char* path, struct _stat* buffer);
int _stat64(const char* path, struct _stat64* buffer);
int _fstat(int fd, struct _stat* buffer);
int _wmkdir(const wchar_t* dirname);
int _wrmdir(const wchar_t* dirname);
wchar_t* _wgetcwd(wchar_t* buffer, int maxlen);
int _wchdir(const wchar_t* dirname);
wchar_t* _wfullpath(wchar_t* abs_path, const wchar_t* rel_path, size_t max_length);
wchar_t* _wgetenv(const wchar_t* varname);
int _wputenv(const wchar_t* envstring);
errno_t _wputenv_s(const wchar_t* varname, const wchar_t* value_string);

// The standard wide stream functions with the Windows behaviour (mapped below).
wint_t winsim_fputwc(wchar_t c, FILE* stream);
int winsim_fputws(const wchar_t* str, FILE* stream);
wint_t winsim_fgetwc(FILE* stream);
wchar_t* winsim_fgetws(wchar_t* str, int n, FILE* stream);
wint_t winsim_ungetwc(wint_t c, FILE* stream);
int winsim_fclose(FILE* stream);
int winsim_fflush(FILE* stream);

#ifdef __cplusplus
}  // extern "C"
namespace std {
using ::winsim_fclose;
using ::winsim_fflush;
using ::winsim_fgetwc;
using ::winsim_fgetws;
using ::winsim_fputwc;
using ::winsim_fputws;
using ::winsim_ungetwc;
}  // namespace std
#endif

#ifndef WINSIM_CRT_FILE_IMPLEMENTATION
#undef fputwc
#undef fputws
#undef fgetwc
#undef fgetws
#undef ungetwc
#undef getwc
#undef putwc
#undef fclose
#undef fflush
#define fputwc winsim_fputwc
#define putwc winsim_fputwc
#define fputws winsim_fputws
#define fgetwc winsim_fgetwc
#define getwc winsim_fgetwc
#define fgetws winsim_fgetws
#define ungetwc winsim_ungetwc
#define fclose winsim_fclose
#define fflush winsim_fflush
// The host's wide printf to a stream reads "%s" as a narrow string; the Windows runtime's
// reads a wide one. winsim does not offer it (format the text with _snwprintf and write
// it with fputws), so a call must not reach the host's silently.
#pragma GCC poison fwprintf vfwprintf
#endif
