// The debug-log and settings object.
#include "DbgMac.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <stdarg.h>
#include <stdio.h>

#include "RegRead.h"

CDebugCtrl* g_pDebugCtrl = NULL;
CDebugLogHost* g_pDebugLogHost = NULL;

namespace {

// Line buffers: the text (512) with the program name and a time stamp before it.
const int kLineCch = DEBUG_TEXT_CCH + MAX_PATH + 64;

LPCWSTR ProgramName() { return g_pDebugLogHost ? g_pDebugLogHost->GetProgramName() : L""; }
LPCWSTR ProgramVersion() { return g_pDebugLogHost ? g_pDebugLogHost->GetProgramVersion() : L""; }
LPCWSTR LogFilePath() { return g_pDebugLogHost ? g_pDebugLogHost->GetLogFilePath() : NULL; }

// Bounded formatting: the text is cut at the buffer, never overrun, always terminated.
void Format(LPWSTR pszOut, int cch, LPCWSTR pszFormat, va_list args) {
    pszOut[0] = L'\0';
    wvnsprintfW(pszOut, cch, pszFormat, args);
    pszOut[cch - 1] = L'\0';
}

void FormatLine(LPWSTR pszOut, int cch, LPCWSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    Format(pszOut, cch, pszFormat, args);
    va_end(args);
}

}  // namespace

CDebugCtrl::CDebugCtrl() : m_bEnabled(0), m_nLevel(0), m_bFileHeader(0), m_bDebuggerHeader(0) {
    InitializeCriticalSection(&m_csFile);
    DWORD dwValue = 0;
    if (GetDebugRegValue(L"DebugMode", &dwValue) && dwValue == 1) m_bEnabled = 1;
    dwValue = 0;
    if (GetDebugRegValue(L"DebugLevel", &dwValue)) m_nLevel = (int)dwValue;
    dwValue = 0;
    if (GetDebugRegValue(L"TestMode", &dwValue) && dwValue == 1) Print(L"Test mode is enabled.\n");
}

CDebugCtrl::~CDebugCtrl() { DeleteCriticalSection(&m_csFile); }

int CDebugCtrl::ReadDebugSetting(LPCWSTR pszKey, LPCWSTR pszName, DWORD* pdwValue) {
    // Whatever the type, up to 4 bytes; a shorter value reads as its bytes.
    DWORD dwValue = 0;
    if (RegReadDword(HKEY_LOCAL_MACHINE, pszKey, KEY_READ, pszName, REGREAD_ANY_TYPE | REGREAD_SHORT_DWORD, &dwValue) !=
        ERROR_SUCCESS)
        return 0;
    *pdwValue = dwValue;
    return 1;
}

int CDebugCtrl::GetDebugRegValue(LPCWSTR pszName, DWORD* pdwValue) {
    return ReadDebugSetting(DEBUG_SETTINGS_KEY_SETUP, pszName, pdwValue);
}

void CDebugCtrl::Print(LPCWSTR pszFormat, ...) {
    if (!m_bEnabled) return;

    WCHAR szText[DEBUG_TEXT_CCH];
    va_list args;
    va_start(args, pszFormat);
    Format(szText, DEBUG_TEXT_CCH, pszFormat, args);
    va_end(args);

    LPCWSTR pszName = ProgramName();
    if (m_nLevel & DEBUG_LEVEL_DEBUGGER) WriteDebugger(pszName, szText);
    if (m_nLevel & DEBUG_LEVEL_LOGFILE) WriteLogFile(pszName, szText);
}

void CDebugCtrl::WriteDebugger(LPCWSTR pszName, LPCWSTR pszText) {
    WCHAR szLine[kLineCch];
    if (!m_bDebuggerHeader) {
        FormatLine(szLine, kLineCch, L"%s:Version %s Debug mode is enabled.\n", pszName, ProgramVersion());
        OutputDebugStringW(szLine);
        FormatLine(szLine, kLineCch, L"%s:Debug level = %d.\n", pszName, m_nLevel);
        OutputDebugStringW(szLine);
        m_bDebuggerHeader = 1;
    }
    FormatLine(szLine, kLineCch, L"%s:%s\n", pszName, pszText);
    OutputDebugStringW(szLine);
}

void CDebugCtrl::WriteLogFile(LPCWSTR pszName, LPCWSTR pszText) {
    LPCWSTR pszPath = LogFilePath();
    if (!pszPath || !*pszPath) return;

    WCHAR szLine[kLineCch];
    FormatLine(szLine, kLineCch, L"%s:%s\n", pszName, pszText);
    SYSTEMTIME st;
    GetLocalTime(&st);

    // One writer at a time, so that lines never interleave and the header goes in once.
    EnterCriticalSection(&m_csFile);
    FILE* fp = _wfopen(pszPath, L"a+t,ccs=UTF-16LE");
    if (fp) {
        WCHAR szOut[kLineCch + 32];
        if (!m_bFileHeader) {
            FormatLine(szOut, kLineCch + 32, L"[%d:%d:%d:%d] %s:Version %s Debug mode is enabled.\n", st.wHour,
                       st.wMinute, st.wSecond, st.wMilliseconds, pszName, ProgramVersion());
            fputws(szOut, fp);
            FormatLine(szOut, kLineCch + 32, L"[%d:%d:%d:%d] %s:Debug level = %d.\n", st.wHour, st.wMinute, st.wSecond,
                       st.wMilliseconds, pszName, m_nLevel);
            fputws(szOut, fp);
            m_bFileHeader = 1;
        }
        FormatLine(szOut, kLineCch + 32, L"[%d:%d:%d:%d] %s", st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
                   szLine);
        fputws(szOut, fp);
        fclose(fp);
    }
    LeaveCriticalSection(&m_csFile);
}

void CDebugCtrl::SetStatusText(const SetupDlgDesc* pDesc, LPCWSTR pszCaption, LPCWSTR pszDetail) {
    if (!pDesc || !pDesc->hProgressBar) return;
    if (!pszCaption || !*pszCaption) return;
    SendMessageW(pDesc->hProgressBar, PBM_STEPIT, 0, 0);
    if (pDesc->hCaption) SendMessageW(pDesc->hCaption, WM_SETTEXT, 0, (LPARAM)pszCaption);
    if (pDesc->hDetail) SendMessageW(pDesc->hDetail, WM_SETTEXT, 0, (LPARAM)pszDetail);
}
