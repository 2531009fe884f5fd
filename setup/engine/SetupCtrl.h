// The setup program's command engine: the home of every script command's implementation,
// the path macros and the switch sections and list checks.
#pragma once

#include <windows.h>

#include "DevCtrl.h"

#define SETUP_TEXT_CCH 260
#define SETUP_ITEM_CCH 261
// How deep switch sections may nest (the [INIT] section is level 1).
#define SETUP_MAX_SECTION_DEPTH 32
// How many sections one run may run in all, [INIT] included. The depth cap alone lets two
// matching switch lines a level run 2^32 sections, for months; a script written by hand runs
// each of its tens of sections about once (the sample runs 5). 512 leaves such scripts ten
// times that and more, and ends any other run within about half a second (each section run
// reads the script file again).
#define SETUP_MAX_SECTION_RUNS 512
// How many passes ExpandMacros makes at most (a value may bring a percent pair back).
#define SETUP_MACRO_MAX_PASSES 64

// The kinds of switch section and list check.
enum SetupSwitchKind {
    SWITCH_HWID,
    SWITCH_UILANG,
    SWITCH_OS,
    SWITCH_NONUNILANG,
    SWITCH_USERGEOID,
    SWITCH_LOCATIONID,
    SWITCH_PRECODE,
    SWITCH_PARAM
};

class CSetupCtrl {
public:
    CSetupCtrl();
    ~CSetupCtrl();

    // Path macros: replaces %ExecuteDir%, %NetInstanceGUID%, %DevInstanceID%,
    // %CSIDL_COMMON_PROGRAMS%, %CSIDL_COMMON_STARTMENU% and environment variables in the
    // text (a buffer of cchText characters), in place; the result is cut to the buffer.
    void ExpandMacros(LPWSTR pszText, DWORD cchText = SETUP_TEXT_CCH);
    // 1 when the text holds a percent sign followed later by another one; the name between
    // them goes to pszName (SETUP_TEXT_CCH characters, cut to fit).
    static int FindMacroName(LPCWSTR pszText, LPCWSTR pszMark, LPWSTR pszName);
    // Replaces every occurrence of the token (case-sensitive) by the value, scanning on
    // after each inserted value; the result is cut to the buffer. 1 when a replacement was
    // made.
    static int ReplaceAll(LPWSTR pszText, DWORD cchText, LPCWSTR pszToken, LPCWSTR pszValue);

    // The device match of the hardware-ID switch: a present device whose hardware ID
    // begins with pszHardwareId; its instance ID becomes %DevInstanceID%. 1 when found.
    int IsExist(LPCWSTR pszHardwareId);
    LPCWSTR GetDevInstanceID() const { return m_DevCtrl.GetDevInstanceId(); }

    // The country code of the current telephony location; 0 when it cannot be read.
    DWORD GetLocationID();
    // The same, 1 when it was read.
    int ReadLocationID(DWORD* pdwCountry);

    // Switch sections: run the section of every matching line of the argument section.
    unsigned SwitchSectionFromIni(SetupSwitchKind kind, LPCWSTR pszSection, unsigned uPrevious);
    // List checks: 0 at the first matching item, else quit set and the failure code.
    unsigned CheckListFromIni(SetupSwitchKind kind, LPCWSTR pszSection, int* pbQuit);
    unsigned CheckWow6432FromIni(LPCWSTR pszSection, int* pbQuit);
    unsigned CheckVendorFromIni(LPCWSTR pszSection, int* pbQuit);
    unsigned CheckAdminPrivilegeFromIni(LPCWSTR pszSection, int* pbQuit);
    unsigned ShowMsgBoxFromIni(LPCWSTR pszSection);

    // Copies the program and its encrypted script into the temporary folder and starts
    // the copy there; 0 when it was started, 91 otherwise.
    unsigned RunMyselfFromTempFolder();

    // System checks and timing: 1 when the check holds or the step was done, else 0.
    int WaitForStarttime(LPCWSTR pszIni, LPCWSTR pszSection);
    // STR1..STR<STR> of the section against the value by the section's CMPCODE; an
    // empty value or entry satisfies nothing.
    int CheckStringFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszValue);
    int CheckBatteryFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int CheckWmidataFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int CheckAMT();
    int CmdZolvi(LPCWSTR pszIni, LPCWSTR pszSection);
    int CmdSleep(LPCWSTR pszIni, LPCWSTR pszSection);
    // The sign of the first version minus the second: up to six numeric fields cut at
    // '.', ',' and ' ', each text taken to its first 24 characters; -1, 0 or 1.
    static int CompareVersion(LPCWSTR pszVersion, LPCWSTR pszRequired);

    // A command whose implementation is not part of this build: logs and gives its code.
    unsigned CommandNotAvailable(LPCWSTR pszKeyword, unsigned uCode);

    // Parses a listed number (base 16 or 10, an optional "0x" in base 16, an optional
    // sign); 1 when it held digits and fits 32 bits.
    static int ParseNumber(LPCWSTR pszText, int nBase, DWORD* pdwValue);

private:
    CSetupCtrl(const CSetupCtrl&);
    CSetupCtrl& operator=(const CSetupCtrl&);

    int MacroValue(LPCWSTR pszToken, LPCWSTR pszName, LPWSTR pszValue, DWORD cchValue);
    int SwitchMatches(SetupSwitchKind kind, LPCWSTR pszKey, unsigned uPrevious, int bHaveLocation, DWORD dwLocation,
                      DWORD* pdwParsed);

    // The device search of the hardware-ID tests; its instance ID is %DevInstanceID%.
    CDevCtrl m_DevCtrl;
};

// The setup program's command engine; null before start-up and after the exit.
extern CSetupCtrl* g_pSetupCtrl;

// The message box of a script section: MSGBOX_TITLE, the given text or MSGBOX_MSG, and
// MSGBOX_TYPE; returns the box's value, 0 when there is no message.
int ShowMsgBox(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszText);
