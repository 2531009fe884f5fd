// The setup program's layer over the registry functions. While the running command's WOW
// flag is set, every open and create works in the registry view that is not the program's
// own (x64 build: the 32-bit view; x86 build: the 64-bit view).
#pragma once

#include <windows.h>

#include "LibText.h"

#define REGCTRL_TEXT_CCH 260
#define REGCTRL_INF_ESCAPED_CCH (REGCTRL_TEXT_CCH * 2)

class CRegCtrl {
public:
    CRegCtrl() {}
    ~CRegCtrl() {}

    int WriteRegBIN(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, const BYTE* pData, DWORD cbData);
    int WriteRegSZ(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, LPCWSTR pszText);
    // Reads a text of at most 259 characters into pszOut (REGCTRL_TEXT_CCH characters);
    // pszOut is untouched on failure.
    int ReadRegSZ(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, LPWSTR pszOut);
    // Reads at most 4 bytes of any type into *pdwOut.
    int ReadRegDW(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, DWORD* pdwOut);
    int IsRegKey(HKEY hRoot, LPCWSTR pszSubKey);
    int CreateRegKey(HKEY hRoot, LPCWSTR pszSubKey);
    // Deletes a key without sub keys, always in the program's own view.
    int DeleteRegKey(HKEY hRoot, LPCWSTR pszSubKey);

    // Copies every sub key and value of the source key into the destination key (created
    // as needed), in the program's own registry view, opening each level from its parent
    // so that depth has no path limit. 0 when the source cannot be opened, the destination
    // cannot be created, the destination lies inside the source, or any part failed; the
    // parts that could be copied are copied.
    static int CopyRegistry(HKEY hSrcRoot, LPCWSTR pszSrcKey, HKEY hDestRoot, LPCWSTR pszDestKey);

    // Applies the ADDREG and DELREG entries of an INI section (its "_suffix" variant when
    // the file has one and pszSuffix is given) through the system's INF installer, in the
    // view of the running command; pszSubKey, when given, replaces every entry's sub key
    // (and pszRoot, when given, every entry's root). Entries with a macro that came out
    // empty, a root the INF format does not know or (ADDREG) flags that are no number are
    // refused, and so is a DELREG of a whole root or a whole key right below one. 1 when the
    // INF was run and no entry was refused; the installer's own outcome is not known.
    static BOOL AddDelRegFromIni(LPCWSTR pszIniPath, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszSubKey,
                                 LPCWSTR pszRoot = NULL);
    // Runs the system's INF installer, from the system folder whose copy works in the view
    // of the running command, on a temporary INF (a fresh file with a name of its own,
    // deleted afterwards) whose DefaultInstall applies the AddReg lines and the DelReg lines
    // (either may be empty); the three logs are the command line's (%s), the wait's and a
    // failed start's (%d, %s). 1 when the installer ran.
    static BOOL RunRegInf(const TextBuf& sAdd, const TextBuf& sDel, LPCWSTR pszCmdLog, LPCWSTR pszWaitLog,
                          LPCWSTR pszErrorLog);
    // A text for an INF field into pszOut (REGCTRL_INF_ESCAPED_CCH characters): percent
    // signs doubled (no string key can be meant) and, inside quotes (bQuoted), quotes
    // doubled.
    static LPCWSTR InfEscape(LPCWSTR pszText, int bQuoted, LPWSTR pszOut);
    // Appends an AddReg value for the flags field to an INF line, so that the registry
    // gets it whole whatever it holds: a text (REG_SZ, REG_EXPAND_SZ) as one quoted field,
    // a multi-string as one quoted field per comma-separated item (blanks around an item
    // go), numbers and bytes as they are written; an empty value adds nothing.
    static void AddInfValue(TextBuf& line, LPCWSTR pszFlags, LPCWSTR pszValue);
    // The full path of a system program (into pszOut, MAX_PATH) that works in the registry
    // view of the running command, for the x64 build (b64Build) or the x86 build: the
    // 32-bit copy of the WOW64 system folder when that view is the 32-bit one of a 64-bit
    // system, else the native one of the system folder, or of the Windows folder
    // (bWindowsFolder), which the x86 build always takes as it is. 0 when it does not fit.
    static int SystemProgramPath(LPCWSTR pszName, int bWindowsFolder, int b64Build, LPWSTR pszOut);
    // Imports a .reg file with the system's registry editor, in the view of the running
    // command, and waits for its end. 0 when the file does not exist or the editor would
    // not start.
    static BOOL AddRegFromRegFile(LPCWSTR pszPath);

    // The access mask for base (KEY_READ, KEY_WRITE, or 0 for the view bits alone) with
    // the WOW flag, for the x64 build (b64Build non-zero) or the x86 build.
    static REGSAM ViewMask(REGSAM samBase, int bWow, int b64Build);
    // The same for this build and the running command's WOW flag.
    static REGSAM CurrentMask(REGSAM samBase);
};
