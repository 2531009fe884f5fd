// winsim: shlwapi.h - the shell's light-weight utility functions.
//
// Sections: string functions and formatting (below); path functions join in their own
// section.
#pragma once
#include "windows.h"

// ---------------------------------------------------------------------------------------
// Strings and formatting
//
// wnsprintfW/wvnsprintfW use user32's format rules (winsim/format.h). They write at most
// cchDest - 1 characters and always terminate (cchDest > 0); when the output does not
// fit it is truncated and -1 is returned. The comparisons fold ASCII and Latin-1 case and
// return -1, 0 or 1 (see winsim/api_string.h for the ordering). StrStrW/StrStrIW find
// nothing for an empty search string. StrDupW's copy is freed with LocalFree (a null string
// duplicates as an empty one). StrToIntW/StrToIntExW wrap around beyond 32 bits.

typedef int STIF_FLAGS;
#define STIF_DEFAULT 0x00000000L
#define STIF_SUPPORT_HEX 0x00000001L

WINSIM_BEGIN_C
int WINAPIV wnsprintfW(PWSTR pszDest, int cchDest, PCWSTR pszFmt, ...);
int WINAPI wvnsprintfW(PWSTR pszDest, int cchDest, PCWSTR pszFmt, va_list arglist);

int WINAPI StrCmpW(PCWSTR psz1, PCWSTR psz2);
int WINAPI StrCmpIW(PCWSTR psz1, PCWSTR psz2);
int WINAPI StrCmpNW(PCWSTR psz1, PCWSTR psz2, int nChar);
int WINAPI StrCmpNIW(PCWSTR psz1, PCWSTR psz2, int nChar);
PWSTR WINAPI StrStrW(PCWSTR pszFirst, PCWSTR pszSrch);
PWSTR WINAPI StrStrIW(PCWSTR pszFirst, PCWSTR pszSrch);
PWSTR WINAPI StrChrW(PCWSTR pszStart, WCHAR wMatch);
PWSTR WINAPI StrChrIW(PCWSTR pszStart, WCHAR wMatch);
PWSTR WINAPI StrRChrW(PCWSTR pszStart, PCWSTR pszEnd, WCHAR wMatch);
int WINAPI StrToIntW(PCWSTR pszSrc);
BOOL WINAPI StrToIntExW(PCWSTR pszString, STIF_FLAGS dwFlags, int* piRet);
BOOL WINAPI StrTrimW(PWSTR psz, PCWSTR pszTrimChars);
PWSTR WINAPI StrCpyNW(PWSTR pszDst, PCWSTR pszSrc, int cchMax);
PWSTR WINAPI StrDupW(PCWSTR pszSrch);
PWSTR WINAPI StrCatBuffW(PWSTR pszDest, PCWSTR pszSrc, int cchDestBuffSize);
WINSIM_END_C

#define wnsprintf wnsprintfW
#define wvnsprintf wvnsprintfW
#define StrCmp StrCmpW
#define StrCmpI StrCmpIW
#define StrCmpN StrCmpNW
#define StrCmpNI StrCmpNIW
#define StrStr StrStrW
#define StrStrI StrStrIW
#define StrChr StrChrW
#define StrChrI StrChrIW
#define StrRChr StrRChrW
#define StrToInt StrToIntW
#define StrToLong StrToIntW
#define StrToIntEx StrToIntExW
#define StrTrim StrTrimW
#define StrCpyN StrCpyNW
#define StrNCpy StrCpyNW
#define StrDup StrDupW
#define StrCatBuff StrCatBuffW

// ---------------------------------------------------------------------------------------
// Paths
//
// Paths are at most MAX_PATH characters with the terminator; a result that would be
// longer makes the function fail and leaves its buffer as it was (PathCombineW empties
// its destination). Backslash is the separator ('/' counts only where noted).
// - PathIsRelativeW: FALSE when the path begins with '\' or has a drive ("C:..."), TRUE
//   otherwise (also for an empty or null path).
// - PathCombineW(dest, dir, file): a file with a drive or a UNC prefix is taken alone; a
//   file beginning with '\' goes below the root of dir; an empty file leaves dir alone;
//   otherwise dir + '\' + file. The
//   result is canonicalised ("." dropped, ".." removes the component before it but never
//   the root). PathAppendW is PathCombineW(path, path, more) after dropping the leading
//   backslashes of more (unless it is a UNC path).
// - PathFindFileNameW: the last component (a trailing backslash stays with it: "C:\dir\"
//   gives "dir\"); PathStripPathW keeps only that.
// - PathFindExtensionW: the last '.' of the last component; a blank or backslash after it
//   means none, and then the result points at the terminator. PathRemoveExtensionW cuts
//   there; PathRenameExtensionW replaces it.
// - PathRemoveFileSpecW: removes the last component and its backslash but keeps a root
//   ("C:\a" gives "C:\", "\a" gives "\"); TRUE when something was removed.
// - PathAddBackslashW / PathRemoveBackslashW: add or remove one trailing backslash (a
//   root keeps its own); both return a pointer to the terminator (or to the removed
//   backslash), PathAddBackslashW null when the path would be too long. An empty path
//   gets no backslash.
// - PathGetArgsW: what follows the first blank outside quotes, or the terminator.
// - PathQuoteSpacesW encloses a path that holds a blank in quotes; PathUnquoteSpacesW
//   removes quotes that enclose the whole path.
// - PathFileExistsW: the path names a file or a folder. PathIsDirectoryW returns
//   FILE_ATTRIBUTE_DIRECTORY for a folder, else FALSE; PathIsDirectoryEmptyW is TRUE for
//   a folder without entries.

WINSIM_BEGIN_C
BOOL WINAPI PathAppendW(LPWSTR pszPath, LPCWSTR pszMore);
LPWSTR WINAPI PathCombineW(LPWSTR pszDest, LPCWSTR pszDir, LPCWSTR pszFile);
BOOL WINAPI PathIsRelativeW(LPCWSTR pszPath);
BOOL WINAPI PathFileExistsW(LPCWSTR pszPath);
BOOL WINAPI PathIsDirectoryW(LPCWSTR pszPath);
BOOL WINAPI PathIsDirectoryEmptyW(LPCWSTR pszPath);
BOOL WINAPI PathRemoveFileSpecW(LPWSTR pszPath);
void WINAPI PathStripPathW(LPWSTR pszPath);
void WINAPI PathRemoveExtensionW(LPWSTR pszPath);
LPWSTR WINAPI PathFindExtensionW(LPCWSTR pszPath);
LPWSTR WINAPI PathFindFileNameW(LPCWSTR pszPath);
BOOL WINAPI PathRenameExtensionW(LPWSTR pszPath, LPCWSTR pszExt);
LPWSTR WINAPI PathAddBackslashW(LPWSTR pszPath);
LPWSTR WINAPI PathRemoveBackslashW(LPWSTR pszPath);
LPWSTR WINAPI PathGetArgsW(LPCWSTR pszPath);
void WINAPI PathUnquoteSpacesW(LPWSTR lpsz);
void WINAPI PathQuoteSpacesW(LPWSTR lpsz);
WINSIM_END_C

#define PathAppend PathAppendW
#define PathCombine PathCombineW
#define PathIsRelative PathIsRelativeW
#define PathFileExists PathFileExistsW
#define PathIsDirectory PathIsDirectoryW
#define PathIsDirectoryEmpty PathIsDirectoryEmptyW
#define PathRemoveFileSpec PathRemoveFileSpecW
#define PathStripPath PathStripPathW
#define PathRemoveExtension PathRemoveExtensionW
#define PathFindExtension PathFindExtensionW
#define PathFindFileName PathFindFileNameW
#define PathRenameExtension PathRenameExtensionW
#define PathAddBackslash PathAddBackslashW
#define PathRemoveBackslash PathRemoveBackslashW
#define PathGetArgs PathGetArgsW
#define PathUnquoteSpaces PathUnquoteSpacesW
#define PathQuoteSpaces PathQuoteSpacesW
