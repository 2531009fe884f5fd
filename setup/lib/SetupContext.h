// What the setup library needs from the script engine: the program's paths and names, the
// machine's OEM string, the per-command WOW flag, the script's path macros and the
// progress dialog's status line. The engine's environment object implements it and sets
// g_pSetupContext; without one the library uses the running module's paths, an empty OEM
// string, a clear WOW flag, no macros and no status line.
#pragma once

#include <windows.h>

class CSetupContext {
public:
    // Full path of the running program.
    virtual LPCWSTR GetProgramPath() = 0;
    // The program's file name with its extension ("Setup.exe").
    virtual LPCWSTR GetProgramFileName() = 0;
    // The program's file name without its extension ("Setup").
    virtual LPCWSTR GetProgramName() = 0;
    // The program's folder, long form, without a trailing backslash.
    virtual LPCWSTR GetProgramFolder() = 0;
    // The program's folder in its short (8.3) form.
    virtual LPCWSTR GetShortProgramFolder() = 0;
    // The machine's OEM string (with a forced region applied).
    virtual LPCWSTR GetOemString() = 0;
    // Non-zero while the running command works in the other registry view.
    virtual int GetWowFlag() = 0;
    // Expands the script's path macros in the text (a buffer of cchText characters), in
    // place; the result is cut to the buffer.
    virtual void ExpandMacros(LPWSTR pszText, DWORD cchText) {
        (void)pszText;
        (void)cchText;
    }
    // Shows a step of the work in the progress dialog (caption and detail).
    virtual void ShowStatus(LPCWSTR pszCaption, LPCWSTR pszDetail) {
        (void)pszCaption;
        (void)pszDetail;
    }

protected:
    ~CSetupContext() {}
};

// Set by the setup program once its environment object exists; null before.
extern CSetupContext* g_pSetupContext;

// g_pSetupContext, or the default context of the running module.
CSetupContext* GetSetupContext();

// Joins a relative path to the program's folder (long form) into out (MAX_PATH
// characters); an absolute path is copied. 0 when the result does not fit.
int MakeProgramPath(LPCWSTR pszPath, LPWSTR pszOut);
