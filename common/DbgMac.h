// Debug output: the debug-log and settings object and the macro every routine logs with.
//
// The object reads its settings from HKLM (DebugMode 1 turns logging on; DebugLevel bit 0
// sends lines to the debugger, bit 1 appends them to the program's log file in UTF-16LE)
// and formats Windows wide printf-style texts ("%s" is a wide string).
#pragma once

#include <windows.h>

#include "DebugHost.h"
#include "SetupDlgDesc.h"

// Settings keys under HKEY_LOCAL_MACHINE, one per program.
#define DEBUG_SETTINGS_KEY_SETUP L"SOFTWARE\\Quarven\\OrvashTool"
#define DEBUG_SETTINGS_KEY_SERVICE L"SOFTWARE\\Quarven\\WirelessAPL\\Sorbelt"

#define DEBUG_LEVEL_DEBUGGER 0x1
#define DEBUG_LEVEL_LOGFILE 0x2
#define DEBUG_TEXT_CCH 512

class CDebugCtrl {
public:
    CDebugCtrl();
    ~CDebugCtrl();

    // Logs one message (a Windows wide format and its arguments).
    void Print(LPCWSTR pszFormat, ...);
    // Steps the progress bar and shows caption and detail in the progress dialog.
    void SetStatusText(const SetupDlgDesc* pDesc, LPCWSTR pszCaption, LPCWSTR pszDetail);
    // Reads a DWORD setting of the setup program; 1 when it was read.
    int GetDebugRegValue(LPCWSTR pszName, DWORD* pdwValue);

    // The settings reader shared by the programs: a 4-byte value under HKLM\pszKey.
    static int ReadDebugSetting(LPCWSTR pszKey, LPCWSTR pszName, DWORD* pdwValue);

private:
    CDebugCtrl(const CDebugCtrl&);
    CDebugCtrl& operator=(const CDebugCtrl&);

    void WriteDebugger(LPCWSTR pszName, LPCWSTR pszText);
    void WriteLogFile(LPCWSTR pszName, LPCWSTR pszText);

    int m_bEnabled;             // DebugMode is 1
    int m_nLevel;               // DebugLevel as read (0 when missing)
    int m_bFileHeader;          // the two header lines are in the log file
    int m_bDebuggerHeader;      // the two header lines went to the debugger
    CRITICAL_SECTION m_csFile;  // the file part of Print runs on two threads
};

// The setup program's one debug-log object (null in programs that have none).
extern CDebugCtrl* g_pDebugCtrl;

// Logs through the debug-log object when it exists.
#define DBGPRINT(...)                                       \
    do {                                                    \
        if (g_pDebugCtrl) g_pDebugCtrl->Print(__VA_ARGS__); \
    } while (0)
