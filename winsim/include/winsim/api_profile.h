// winsim: kernel32 initialization-file (profile) functions (included by winbase.h).
//
// Files. A file name without a folder ("setup.ini") names a file in the Windows folder; any
// other name is a path as CreateFileW takes it. A file is read in UTF-16LE when it starts
// with the byte-order mark FF FE, in UTF-8 after EF BB BF, else in the ANSI code page
// (1252). WritePrivateProfileStringW writes the file back in the encoding it was read in
// (a new file is ANSI) with CRLF line ends; characters that the ANSI code page lacks are
// written as '?'.
//
// Reading. Section and key names are compared without regard to case and with the blanks
// (space and tab) around them removed; when a name occurs twice, the first wins (the later
// section or key is never seen). A section runs from its "[name]" line to the next line
// that begins with '['. Lines whose first non-blank character is ';' are comments; there
// are no comments after a value. A value loses the blanks around it and then one pair of
// matching quotes (' or ") around the whole value. A line without '=' is a key with an
// empty value.
//
// GetPrivateProfileStringW: a null section lists the section names, a null key the key
// names of the section, each name terminated, the list ending in an extra null. A value
// that does not fit is cut and terminated; the result is then nSize - 1. A list that does
// not fit is cut and ends in two nulls; the result is then nSize - 2. A missing file,
// section or key gives the default (null: empty) without its trailing blanks and sets
// ERROR_FILE_NOT_FOUND.
//
// GetPrivateProfileIntW reads the value as RtlUnicodeStringToInteger does with base 0:
// blanks, an optional sign, then decimal digits, or hexadecimal after "0x", octal after
// "0o", binary after "0b", up to the first other character ("102abc" is 102). A negative
// number comes back as the bits of the signed value ("-1" gives 0xFFFFFFFF; 16-bit
// Windows returned 0 for a negative value, which the current documentation no longer
// says). A missing or empty value gives nDefault.
//
// GetPrivateProfileSectionW returns the section's lines (comments and blank lines left
// out) as "key=value" with the blanks around key and value removed and quotes kept, or
// the trimmed line when it has no '='.
//
// WritePrivateProfileStringW: a null key deletes the section with all its lines, a null
// value deletes the key's line; otherwise an existing key's line is replaced by
// "key=value", a new key is added after the section's last entry and a new section is
// added at the end of the file. A missing file is created (not for a deletion).
#pragma once
#include "../winbase.h"

WINSIM_BEGIN_C
DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault, LPWSTR lpReturnedString,
                                      DWORD nSize, LPCWSTR lpFileName);
UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName);
DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName);
BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString, LPCWSTR lpFileName);
WINSIM_END_C

#define GetPrivateProfileString GetPrivateProfileStringW
#define GetPrivateProfileInt GetPrivateProfileIntW
#define GetPrivateProfileSection GetPrivateProfileSectionW
#define GetPrivateProfileSectionNames GetPrivateProfileSectionNamesW
#define WritePrivateProfileString WritePrivateProfileStringW
