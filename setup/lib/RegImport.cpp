// Bulk registry changes through the system's own tools: a .reg file through the registry
// editor, and the ADDREG and DELREG entries of a script section through a temporary INF
// that the INF installer (rundll32 with setupapi's InstallHinfSection) applies. Both tools
// are taken from the system folder whose programs work in the registry view of the
// running command.
#include "RegCtrl.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "DbgMac.h"
#include "SetupContext.h"

namespace {

#if defined(_WIN64) || (!defined(_WIN32) && defined(__LP64__))
const int kBuild64 = 1;
#else
const int kBuild64 = 0;
#endif

#define REGIMPORT_TEXT_CCH 260
#define REGIMPORT_CMDLINE_CCH (MAX_PATH * 2 + 64)

typedef BOOL(WINAPI* PFN_IsWow64Process)(HANDLE, PBOOL);

// Whether this 32-bit program runs on a 64-bit system.
int Is32BitOn64() {
    if (kBuild64) return 0;
    HMODULE hKernel = LoadLibraryW(L"kernel32.dll");
    if (!hKernel) return 0;
    PFN_IsWow64Process pfn = reinterpret_cast<PFN_IsWow64Process>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(hKernel, "IsWow64Process")));
    BOOL bWow = FALSE;
    if (pfn && !pfn(GetCurrentProcess(), &bWow)) bWow = FALSE;
    FreeLibrary(hKernel);
    return bWow ? 1 : 0;
}

}  // namespace

int CRegCtrl::SystemProgramPath(LPCWSTR pszName, int bWindowsFolder, int b64Build, LPWSTR pszOut) {
    REGSAM view = CRegCtrl::ViewMask(0, GetSetupContext()->GetWowFlag(), b64Build);
    int bWant32 = (view & KEY_WOW64_32KEY) || (view == 0 && !b64Build);
    // The x86 build takes the Windows folder's program as it is.
    if (bWindowsFolder && !b64Build) bWant32 = 0;
    WCHAR szFolder[MAX_PATH];
    UINT n = 0;
    if (bWant32 && (b64Build || Is32BitOn64())) n = GetSystemWow64DirectoryW(szFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        n = bWindowsFolder ? GetWindowsDirectoryW(szFolder, MAX_PATH) : GetSystemDirectoryW(szFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    int r = wnsprintfW(pszOut, MAX_PATH, L"%s\\%s", szFolder, pszName);
    return r > 0 && r < MAX_PATH - 1;
}

namespace {

// Starts the program (no creation flags) and waits for its end; 0 when it did not start.
int RunAndWait(LPCWSTR pszApp, LPWSTR pszCmdLine, LPCWSTR pszFolder, LPCWSTR pszWaitLog, LPCWSTR pszErrorLog) {
    STARTUPINFOW si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    if (!CreateProcessW(pszApp, pszCmdLine, NULL, NULL, FALSE, 0, NULL, pszFolder && pszFolder[0] ? pszFolder : NULL,
                        &si, &pi)) {
        DBGPRINT(pszErrorLog, (int)GetLastError(), pszCmdLine);
        return 0;
    }
    DBGPRINT(pszWaitLog);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 1;
}

void ReadKey(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszFormat, int n, LPWSTR pszOut) {
    WCHAR szKey[64];
    wnsprintfW(szKey, 64, pszFormat, n);
    GetPrivateProfileStringW(pszSection, szKey, L"", pszOut, REGIMPORT_TEXT_CCH, pszIni);
}

// 1 when a text of the script holds a macro that expands to nothing.
int HasEmptyMacro(LPCWSTR pszRaw) {
    for (LPCWSTR p = wcschr(pszRaw, L'%'); p;) {
        LPCWSTR pEnd = wcschr(p + 1, L'%');
        if (!pEnd) break;
        int n = (int)(pEnd - p) + 1;
        if (n > 2 && n < REGIMPORT_TEXT_CCH) {
            WCHAR szToken[REGIMPORT_TEXT_CCH];
            lstrcpynW(szToken, p, n + 1);
            GetSetupContext()->ExpandMacros(szToken, REGIMPORT_TEXT_CCH);
            if (!szToken[0]) return 1;
        }
        p = wcschr(pEnd + 1, L'%');
    }
    return 0;
}

// Whether a sub key names a key at least two levels below its root.
int IsDeepEnough(LPCWSTR pszSubKey) {
    int nLevels = 0, bInName = 0;
    for (LPCWSTR p = pszSubKey; *p; ++p) {
        if (*p == L'\\') {
            bInName = 0;
        } else if (!bInName) {
            bInName = 1;
            ++nLevels;
        }
    }
    return nLevels >= 2;
}

int IsInfRoot(LPCWSTR pszRoot) {
    static const LPCWSTR kRoots[] = {L"HKLM", L"HKCU", L"HKCR", L"HKU", L"HKR"};
    for (size_t i = 0; i < sizeof(kRoots) / sizeof(kRoots[0]); ++i)
        if (!lstrcmpiW(pszRoot, kRoots[i])) return 1;
    return 0;
}

// The flags field: empty, or a number in decimal or "0x" hexadecimal.
int IsInfFlags(LPCWSTR pszFlags) {
    LPCWSTR p = pszFlags;
    int bHex = p[0] == L'0' && (p[1] == L'x' || p[1] == L'X');
    if (bHex) p += 2;
    if (bHex && !*p) return 0;
    for (; *p; ++p) {
        int bDigit = *p >= L'0' && *p <= L'9';
        if (bHex) bDigit = bDigit || (*p >= L'a' && *p <= L'f') || (*p >= L'A' && *p <= L'F');
        if (!bDigit) return 0;
    }
    return 1;
}

// Creates a fresh file in the temporary folder with a name of its own and writes the text
// to it as UTF-16LE; its path in pszPath (MAX_PATH). 0 when that failed (nothing is left).
int WriteFreshInf(const TextBuf& text, LPWSTR pszPath) {
    WCHAR szTemp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, szTemp);
    if (n == 0 || n >= MAX_PATH - 32) return 0;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    for (unsigned uTry = 0; uTry < 64 && hFile == INVALID_HANDLE_VALUE; ++uTry) {
        wnsprintfW(pszPath, MAX_PATH, L"%sVqAddDel%X_%u.inf", szTemp, (unsigned)GetCurrentProcessId(),
                   (unsigned)(GetTickCount() + uTry));
        hFile = CreateFileW(pszPath, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (hFile == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"ERR:AddDelRegFromIni:_tfopen() error");
        return 0;
    }
    // A byte-order mark, then the text as little-endian code units whatever the host's
    // wchar_t.
    DWORD cb = (DWORD)((text.n + 1) * 2);
    BYTE* pBytes = static_cast<BYTE*>(malloc(cb));
    BOOL bWrote = FALSE;
    if (pBytes) {
        pBytes[0] = 0xFF;
        pBytes[1] = 0xFE;
        for (size_t i = 0; i < text.n; ++i) {
            pBytes[2 + i * 2] = (BYTE)(text.p[i] & 0xFF);
            pBytes[3 + i * 2] = (BYTE)((text.p[i] >> 8) & 0xFF);
        }
        DWORD cbWritten = 0;
        bWrote = WriteFile(hFile, pBytes, cb, &cbWritten, NULL) && cbWritten == cb;
        free(pBytes);
    }
    BOOL bClosed = CloseHandle(hFile);
    if (!bWrote || !bClosed) {
        DBGPRINT(L"ERR:AddDelRegFromIni:fclose() error");
        DeleteFileW(pszPath);
        return 0;
    }
    return 1;
}

}  // namespace

LPCWSTR CRegCtrl::InfEscape(LPCWSTR pszText, int bQuoted, LPWSTR pszOut) {
    size_t n = 0;
    for (LPCWSTR p = pszText; *p && n + 2 < REGCTRL_INF_ESCAPED_CCH; ++p) {
        if (*p == L'%' || (bQuoted && *p == L'"')) pszOut[n++] = *p;
        pszOut[n++] = *p;
    }
    pszOut[n] = 0;
    return pszOut;
}

void CRegCtrl::AddInfValue(TextBuf& line, LPCWSTR pszFlags, LPCWSTR pszValue) {
    if (!pszValue[0]) return;
    // The value type of the flags: the low bit and the high word.
    DWORD dwFlags = 0;
    LPCWSTR p = pszFlags;
    int nBase = p[0] == L'0' && (p[1] == L'x' || p[1] == L'X') ? 16 : 10;
    if (nBase == 16) p += 2;
    for (; *p; ++p) {
        int d = *p >= L'0' && *p <= L'9' ? *p - L'0' : -1;
        if (nBase == 16 && *p >= L'a' && *p <= L'f') d = *p - L'a' + 10;
        if (nBase == 16 && *p >= L'A' && *p <= L'F') d = *p - L'A' + 10;
        if (d < 0) {
            // Not a number: the value goes as written, as the flags do.
            nBase = 0;
            break;
        }
        dwFlags = dwFlags * (DWORD)nBase + (DWORD)d;
    }
    DWORD dwType = dwFlags & 0xFFFF0001;
    int bText = nBase && (dwType == 0 || dwType == 0x00020000);
    int bList = nBase && dwType == 0x00010000;
    WCHAR szEscaped[REGCTRL_INF_ESCAPED_CCH];
    if (!bText && !bList) {
        line.Add(InfEscape(pszValue, 0, szEscaped));
        return;
    }
    WCHAR szItem[REGCTRL_TEXT_CCH];
    for (LPCWSTR pszItem = pszValue;;) {
        LPCWSTR pszEnd = bList ? wcschr(pszItem, L',') : NULL;
        if (!pszEnd) pszEnd = pszItem + lstrlenW(pszItem);
        LPCWSTR pszFrom = pszItem, pszTo = pszEnd;
        if (bList) {
            while (pszFrom < pszTo && (*pszFrom == L' ' || *pszFrom == L'\t')) ++pszFrom;
            while (pszTo > pszFrom && (pszTo[-1] == L' ' || pszTo[-1] == L'\t')) --pszTo;
        }
        int n = (int)(pszTo - pszFrom);
        lstrcpynW(szItem, pszFrom, (n < REGCTRL_TEXT_CCH ? n : REGCTRL_TEXT_CCH - 1) + 1);
        line.Add(L"\"");
        line.Add(InfEscape(szItem, 1, szEscaped));
        line.Add(L"\"");
        if (!*pszEnd) break;
        line.Add(L",");
        pszItem = pszEnd + 1;
    }
}

BOOL CRegCtrl::RunRegInf(const TextBuf& sAdd, const TextBuf& sDel, LPCWSTR pszCmdLog, LPCWSTR pszWaitLog,
                         LPCWSTR pszErrorLog) {
    TextBuf sInf;
    sInf.Add(L"[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n[DefaultInstall]\r\n");
    if (sAdd.n) sInf.Add(L"AddReg = Add.reg\r\n");
    if (sDel.n) sInf.Add(L"DelReg = Del.reg\r\n");
    if (sAdd.n) {
        sInf.Add(L"\r\n[Add.reg]\r\n");
        sInf.Add(sAdd.p, sAdd.n);
    }
    if (sDel.n) {
        sInf.Add(L"\r\n[Del.reg]\r\n");
        sInf.Add(sDel.p, sDel.n);
    }
    WCHAR szInf[MAX_PATH];
    if (sAdd.bFailed || sDel.bFailed || sInf.bFailed || !WriteFreshInf(sInf, szInf)) return FALSE;
    DBGPRINT(L"Create Inf file=%s", szInf);

    int bRan = 0;
    WCHAR szProgram[MAX_PATH], szCmdLine[REGIMPORT_CMDLINE_CCH];
    if (SystemProgramPath(L"rundll32.exe", 0, kBuild64, szProgram)) {
        wnsprintfW(szCmdLine, REGIMPORT_CMDLINE_CCH, L"\"%s\" setupapi,InstallHinfSection DefaultInstall 128 %s",
                   szProgram, szInf);
        DBGPRINT(pszCmdLog, szCmdLine);
        bRan = RunAndWait(szProgram, szCmdLine, NULL, pszWaitLog, pszErrorLog);
    }
    DeleteFileW(szInf);
    return bRan;
}

BOOL CRegCtrl::AddDelRegFromIni(LPCWSTR pszIniPath, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszSubKey,
                                LPCWSTR pszRoot) {
    DBGPRINT(L"AddDelRegFromIni:Start");
    if (!pszIniPath || GetFileAttributesW(pszIniPath) == INVALID_FILE_ATTRIBUTES) {
        DBGPRINT(L"AddDelRegFromIni:Error cound not find %s", pszIniPath ? pszIniPath : L"");
        return FALSE;
    }
    if (!pszSection || !pszSection[0]) {
        DBGPRINT(L"AddDelRegFromIni:Error Section name iregal");
        return FALSE;
    }
    WCHAR szSection[REGIMPORT_TEXT_CCH];
    lstrcpynW(szSection, pszSection, REGIMPORT_TEXT_CCH);
    if (pszSuffix && pszSuffix[0]) {
        WCHAR szCandidate[REGIMPORT_TEXT_CCH];
        int n = wnsprintfW(szCandidate, REGIMPORT_TEXT_CCH, L"%s_%s", pszSection, pszSuffix);
        if (n > 0 && n < REGIMPORT_TEXT_CCH - 1 && IniHasSection(pszIniPath, szCandidate))
            lstrcpyW(szSection, szCandidate);
    }
    DBGPRINT(L"AddDelRegFromIni:SectionName=%s", szSection);
    int nAdd = (int)GetPrivateProfileIntW(szSection, L"ADDREG", 0, pszIniPath);
    int nDel = (int)GetPrivateProfileIntW(szSection, L"DELREG", 0, pszIniPath);
    if (nAdd <= 0 && nDel <= 0) {
        DBGPRINT(L"ERR:AddDelRegFromIni:nAddReg || nDelReg <= 0 return FALSE");
        return FALSE;
    }
    if (pszSubKey && !pszSubKey[0]) pszSubKey = NULL;
    if (pszRoot && !pszRoot[0]) pszRoot = NULL;
    CSetupContext* pContext = GetSetupContext();
    int bRefused = 0;
    TextBuf sAdd, sDel;
    WCHAR szEsc1[REGCTRL_INF_ESCAPED_CCH], szEsc2[REGCTRL_INF_ESCAPED_CCH];
    int nAddLines = 0, nDelLines = 0;
    for (int i = 1; i <= nAdd; ++i) {
        WCHAR szRoot[REGIMPORT_TEXT_CCH], szSubKey[REGIMPORT_TEXT_CCH], szName[REGIMPORT_TEXT_CCH],
            szFlags[REGIMPORT_TEXT_CCH], szValue[REGIMPORT_TEXT_CCH];
        ReadKey(pszIniPath, szSection, L"ADDREG%d_ROOT", i, szRoot);
        ReadKey(pszIniPath, szSection, L"ADDREG%d_SUBKEY", i, szSubKey);
        ReadKey(pszIniPath, szSection, L"ADDREG%d_ENTRYNAME", i, szName);
        ReadKey(pszIniPath, szSection, L"ADDREG%d_FLAGS", i, szFlags);
        ReadKey(pszIniPath, szSection, L"ADDREG%d_VALUE", i, szValue);
        if (pszRoot) lstrcpynW(szRoot, pszRoot, REGIMPORT_TEXT_CCH);
        if (pszSubKey) lstrcpynW(szSubKey, pszSubKey, REGIMPORT_TEXT_CCH);
        int bEmptyMacro = HasEmptyMacro(szValue) || HasEmptyMacro(szSubKey);
        pContext->ExpandMacros(szValue, REGIMPORT_TEXT_CCH);
        pContext->ExpandMacros(szSubKey, REGIMPORT_TEXT_CCH);
        if (bEmptyMacro || !IsInfRoot(szRoot) || !IsInfFlags(szFlags)) {
            DBGPRINT(L"ERR:AddDelRegFromIni:Refused ADDREG%d %s, \"%s\",\"%s\"", i, szRoot, szSubKey, szName);
            bRefused = 1;
            continue;
        }
        sAdd.AddFormat(L"%s, \"%s\",\"%s\",%s,", szRoot, CRegCtrl::InfEscape(szSubKey, 1, szEsc1),
                       CRegCtrl::InfEscape(szName, 1, szEsc2), szFlags);
        CRegCtrl::AddInfValue(sAdd, szFlags, szValue);
        sAdd.Add(L" \r\n");
        ++nAddLines;
        DBGPRINT(L"%s, \"%s\",\"%s\",%s,%s\n", szRoot, szSubKey, szName, szFlags, szValue);
        pContext->ShowStatus(L"Adding Registry...", szName);
    }
    for (int i = 1; i <= nDel; ++i) {
        WCHAR szRoot[REGIMPORT_TEXT_CCH], szSubKey[REGIMPORT_TEXT_CCH], szName[REGIMPORT_TEXT_CCH];
        ReadKey(pszIniPath, szSection, L"DELREG%d_ROOT", i, szRoot);
        ReadKey(pszIniPath, szSection, L"DELREG%d_SUBKEY", i, szSubKey);
        ReadKey(pszIniPath, szSection, L"DELREG%d_ENTRYNAME", i, szName);
        if (pszRoot) lstrcpynW(szRoot, pszRoot, REGIMPORT_TEXT_CCH);
        if (pszSubKey) lstrcpynW(szSubKey, pszSubKey, REGIMPORT_TEXT_CCH);
        int bEmptyMacro = HasEmptyMacro(szSubKey);
        pContext->ExpandMacros(szSubKey, REGIMPORT_TEXT_CCH);
        // A whole root or first-level key is never deleted; a value in one may be.
        if (bEmptyMacro || (!szName[0] && !IsDeepEnough(szSubKey)) || !IsInfRoot(szRoot)) {
            DBGPRINT(L"ERR:AddDelRegFromIni:Refused DELREG%d %s, \"%s\",\"%s\"", i, szRoot, szSubKey, szName);
            bRefused = 1;
            continue;
        }
        if (szName[0])
            sDel.AddFormat(L"%s, \"%s\",\"%s\"\r\n", szRoot, CRegCtrl::InfEscape(szSubKey, 1, szEsc1),
                   CRegCtrl::InfEscape(szName, 1, szEsc2));
        else
            sDel.AddFormat(L"%s, \"%s\" \r\n", szRoot, CRegCtrl::InfEscape(szSubKey, 1, szEsc1));
        ++nDelLines;
        DBGPRINT(L"INI LINE=%s, \"%s\",\"%s\"\n", szRoot, szSubKey, szName);
        pContext->ShowStatus(L"Deleting Registry...", szName);
    }
    if (nAddLines == 0 && nDelLines == 0) {
        DBGPRINT(L"ERR:AddDelRegFromIni:No entry to apply");
        return FALSE;
    }
    int bRan = RunRegInf(sAdd, sDel, L"AddDelRegFromIni:chRegCmdLine=%s",
                         L"AddDelRegFromIni:Waiting for the end of process",
                         L"ERR:AddDelRegFromIni:CreateProcess() Error %d %s");
    DBGPRINT(L"AddDelRegFromIni:End");
    return bRan && !bRefused;
}

BOOL CRegCtrl::AddRegFromRegFile(LPCWSTR pszPath) {
    DBGPRINT(L"AddRegFromRegFile:Start");
    DWORD dwAttr = pszPath ? GetFileAttributesW(pszPath) : INVALID_FILE_ATTRIBUTES;
    if (dwAttr == INVALID_FILE_ATTRIBUTES || (dwAttr & FILE_ATTRIBUTE_DIRECTORY)) {
        DBGPRINT(L"AddRegFromRegFile:Error could not find %s.", pszPath ? pszPath : L"");
        return FALSE;
    }
    WCHAR szProgram[MAX_PATH], szCmdLine[REGIMPORT_CMDLINE_CCH];
    if (!SystemProgramPath(L"regedit.exe", 1, kBuild64, szProgram)) return FALSE;
    wnsprintfW(szCmdLine, REGIMPORT_CMDLINE_CCH, L"\"%s\" /s \"%s\"", szProgram, pszPath);
    DBGPRINT(L"AddRegFromRegFile:CMD=%s", szCmdLine);
    int bRan = RunAndWait(szProgram, szCmdLine, NULL, L"AddRegFromRegFile:Waiting for the end of process",
                          L"ERR:AddRegFromRegFile:CreateProcess() Error %d %s");
    DBGPRINT(L"AddRegFromRegFile:End");
    return bRan ? TRUE : FALSE;
}
