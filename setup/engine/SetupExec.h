// The section executor and the command table of the setup script.
#pragma once

#include <windows.h>

#define SETUP_MAX_COMMANDS 64
#define SETUP_COMMAND_COUNT 91
// The result that ends the whole run.
#define SETUP_ABORT_CODE 75

// Every command's handler: (suffix with its dot or empty, argument section, quit flag in
// and out, previous result) -> 0 for success or the command's failure code.
typedef unsigned (*SetupCommandHandler)(LPCWSTR pszSuffix, LPCWSTR pszSection, int* pbQuit, unsigned uPrevious);

struct SetupCommand {
    LPCWSTR pszKeyword;
    SetupCommandHandler pfnHandler;
    unsigned uCode;
};

// The command table in row order; *pnCount receives the number of rows.
const SetupCommand* GetSetupCommandTable(int* pnCount);
// The row of a keyword (case-insensitive, first row first), or null.
const SetupCommand* FindSetupCommand(LPCWSTR pszKeyword);

// Runs the commands of a section; the mask of failed commands, or with nReturnCmd > 0 the
// result of that command when its handler ran (else the mask).
unsigned ExecuteSection(LPCWSTR pszSection, int nReturnCmd);
// Runs one command; its result after REVERSE (which, like IGNORE_EXIT, applies to every
// keyword holding "CHECK_", one that did not run included). *pbRan (when given) tells
// whether a handler ran: an unknown keyword and a command its suffix skips did not run.
unsigned DispatchCommand(LPCWSTR pszCommand, LPCWSTR pszSection, int* pbQuit, unsigned uPrevious, int* pbRan = NULL);
// The WOW switch around a command (bBefore 1 ahead of it, 0 after); 0 skips the command.
int SwitchWowMode(LPCWSTR pszSuffix, int bBefore);
// How deep sections are nested now (0 outside every section).
int GetSectionDepth();
// How many sections this run has run so far, [INIT] included (counted from the outermost
// section's start).
int GetSectionRuns();
// Whether the run's arguments ask for silence ("/s", "/S", "-s", "-S" anywhere).
int IsSilentRun();
// The two builds' rules of the WOW switch (SwitchWowMode uses the one of this build).
int SwitchWowModeX64(LPCWSTR pszSuffix, int bBefore);
int SwitchWowModeX86(LPCWSTR pszSuffix, int bBefore);
