// What the debug-log object needs from the program that owns it: the program's name and
// version for the log lines, and the path of its log file. The setup program's environment
// object provides them.
#pragma once

#include <windows.h>

class CDebugLogHost {
public:
    // The program's file name without its extension ("Setup").
    virtual LPCWSTR GetProgramName() = 0;
    // The FileVersion string of the program's version resource.
    virtual LPCWSTR GetProgramVersion() = 0;
    // The program's path with the extension ".log".
    virtual LPCWSTR GetLogFilePath() = 0;

protected:
    ~CDebugLogHost() {}
};

// Set by the program's entry routine once its environment object exists.
extern CDebugLogHost* g_pDebugLogHost;
