// Reads of single registry values into fixed buffers: a DWORD, a text, and one entry of a
// numbered list (a prefix followed by a number in decimal, as the hardware-ID lists are
// kept).
//
// The readers of the programs differ in the value types they take and in what a value too
// long for them means; the flags carry each reader's rule. Every read returns
// ERROR_SUCCESS or why it failed, and writes its output only when it succeeds.
#pragma once

#include <windows.h>

// Value types taken; a read names at least one.
#define REGREAD_SZ 0x0001         // REG_SZ
#define REGREAD_EXPAND_SZ 0x0002  // REG_EXPAND_SZ, taken as it is stored (not expanded)
#define REGREAD_DWORD 0x0004      // REG_DWORD
#define REGREAD_ANY_TYPE 0x0080   // every type, its data taken as it is
#define REGREAD_TEXT (REGREAD_SZ | REGREAD_EXPAND_SZ)

// DWORD reads: a value of fewer than 4 bytes is taken and replaces only its own leading
// bytes of the output. Without it the value must have 4 bytes.
#define REGREAD_SHORT_DWORD 0x0100
// Text reads: the value must end with its terminator or leave room for one within the
// characters read (else ERROR_MORE_DATA). Without it a value that fills them is taken whole.
#define REGREAD_TERMINATED 0x0200
// Text reads: a text longer than the output is cut to it. Without it such a text fails with
// ERROR_INSUFFICIENT_BUFFER.
#define REGREAD_CUT 0x0400

// The most characters a text read takes.
#define REGREAD_MAX_CCH 1024
// The longest value name of a numbered list, with its number and terminator.
#define REGREAD_LIST_NAME_CCH MAX_PATH

// Reads a 4-byte value into *pdwValue. ERROR_INVALID_DATA: a type or size the flags do not
// take.
LONG RegReadDword(HKEY hKey, LPCWSTR pszName, DWORD dwFlags, DWORD* pdwValue);
// The same on the key pszSubKey below hRoot, opened with samDesired for the read and closed
// again; the open's error when it cannot be opened.
LONG RegReadDword(HKEY hRoot, LPCWSTR pszSubKey, REGSAM samDesired, LPCWSTR pszName, DWORD dwFlags, DWORD* pdwValue);

// Reads a value of at most cchRead characters (up to REGREAD_MAX_CCH; a longer one gives
// ERROR_MORE_DATA) and copies its text, up to its first null character, into pszOut of
// cchOut characters, always terminated. ERROR_INVALID_DATA: a type the flags do not take.
LONG RegReadText(HKEY hKey, LPCWSTR pszName, DWORD dwFlags, DWORD cchRead, LPWSTR pszOut, DWORD cchOut);

// RegReadText of the value named pszPrefix followed by n in decimal. ERROR_INVALID_PARAMETER
// when that name does not fit REGREAD_LIST_NAME_CCH.
LONG RegReadListEntry(HKEY hKey, LPCWSTR pszPrefix, DWORD n, DWORD dwFlags, DWORD cchRead, LPWSTR pszOut, DWORD cchOut);
