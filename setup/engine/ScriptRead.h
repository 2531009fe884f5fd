// Reads of a command's own section of the decrypted script: a text or a number with its
// default (also when the command names no section), and the numbered keys of its lists.
#pragma once

#include <windows.h>
#include <shlwapi.h>

namespace script {

inline void ReadText(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey, LPCWSTR pszDefault, LPWSTR pszOut,
                     DWORD cchOut) {
    lstrcpynW(pszOut, pszDefault, (int)cchOut);
    if (!pszIni || !pszSection || !pszSection[0]) return;
    GetPrivateProfileStringW(pszSection, pszKey, pszDefault, pszOut, cchOut, pszIni);
}

inline int ReadInt(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey, int nDefault) {
    if (!pszIni || !pszSection || !pszSection[0]) return nDefault;
    return (int)GetPrivateProfileIntW(pszSection, pszKey, nDefault, pszIni);
}

// A numbered key into a buffer of 64 characters: FILE%d, FOLDER%d_SRC, REG%d_KEY ...
inline void NumberedKey(LPWSTR pszKey, LPCWSTR pszFormat, int n) { wnsprintfW(pszKey, 64, pszFormat, n); }

}  // namespace script
