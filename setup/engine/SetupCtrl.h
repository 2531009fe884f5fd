// The setup program's command engine: the home of every script command's implementation,
// the path macros and the switch sections and list checks.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>

#include "DevCtrl.h"
#include "SetupDlgCtrl.h"
#include "ShortcutCtrl.h"

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

    // File and folder commands: 1 success, 0 failure. A failed attempt is a failure;
    // nothing to do is a success.
    int RemoveFiles(LPCWSTR pszIni, LPCWSTR pszSection);
    int CopyFolders(LPCWSTR pszIni, LPCWSTR pszSection);
    int CopyFilesAndFolders(LPCWSTR pszIni, LPCWSTR pszSection);
    int RemoveFolders(LPCWSTR pszIni, LPCWSTR pszSection);
    int CreateFolders(LPCWSTR pszIni, LPCWSTR pszSection);
    int SetAttribFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int FileRenameFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // Copies SOURCE to DESTINATION replacing the section's %KEY% texts; the destination is
    // replaced only by a whole copy, never by the source itself.
    int CopyFileWithReplace(LPCWSTR pszIni, LPCWSTR pszSection);
    // Copies a folder's tree into another (created as needed); never into the source's own
    // tree, never through junctions or symbolic links.
    int CopyFiles(LPCWSTR pszSource, LPCWSTR pszDestination);
    // Removes a folder: without force an empty one, as written; with force its contents
    // too, refusing roots, the system's and the shell's own folders, relative paths and,
    // given the script's text in pszRaw, a path whose macro expanded to nothing. Links
    // inside go as links.
    int DeleteDirectory(LPCWSTR pszFolder, int bForce, LPCWSTR pszRaw = NULL);
    // The COM port of the first present device of the section's DEV list (128 characters).
    int GetPortNoFromIni(LPWSTR pszPort, LPCWSTR pszIni, LPCWSTR pszSection);
    int ResolveReplaceValue(LPWSTR pszValue, LPCWSTR pszIni);

    // File checks: 1 when the check holds.
    int CheckFileExistFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int CheckFileResourceFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int CheckFileVersionFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int CheckFolderEmptyFromIni(LPCWSTR pszIni, LPCWSTR pszSection);

    // Registry checks (in the view of the command's WOW flag): 1 when they hold. With
    // bShow the values are shown (in a silent run too) and the result is always 1.
    int CheckRegistryFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int bShow);
    int CheckRegistryKeyFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // Registry imports through the system's tools (see CRegCtrl): 1 when applied.
    int AddDelRegFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszSubKey,
                         LPCWSTR pszRoot = NULL);
    int AddRegFromRegFile(LPCWSTR pszPath);
    // REG_FILE: the program's own .reg file without a section, else the section's REG1 ...
    // REGn beside the program; 1 when every file was imported.
    int RegFileFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // REG_FILE_UILANG: the .reg file named by the user's UI language beside the program.
    int RegFileOfUILanguage();
    // CHECK_FINDREG: searches each entry's key tree for its text value and applies the
    // entry's registry edits to the key found (same root, same view).
    int CheckFindRegFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // Depth-first search at and below the key (sub keys before the key's own values) for a
    // REG_SZ value of that name and text (exact); the found key's path relative to the
    // root goes to pszOut (SETUP_TEXT_CCH). 1 when found.
    int CheckRegistry(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszName, LPCWSTR pszValue, LPWSTR pszOut);
    // Key tree copies in the program's own view; 0 when any part failed.
    int CopyRegistries(LPCWSTR pszIni, LPCWSTR pszSection);
    int CopyRegistry(HKEY hSrcRoot, LPCWSTR pszSrcKey, HKEY hDestRoot, LPCWSTR pszDestKey);

    // Starts the programs the section lists (or its "_suffix" variant when the script has
    // one), with the setup program's arguments; a listed program that is missing is passed
    // over. 0 when the script or section is missing or a listed program would not start. *pbWantCode set when the section
    // asks for the exit code, which goes to *pdwExitCode (of the last program waited for).
    int CreateProcessFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszArgs, int* pbWantCode,
                             DWORD* pdwExitCode);
    // Opens each SHL%d of the section through the shell; 0 when the script or section is
    // missing.
    int ShellExecuteFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszArgs);
    // Runs the command line stored in the registry value with the arguments and waits for
    // its end; *pbFound tells whether the value was there. 1 when it ran.
    int CreateProcessFromReg(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszValue, LPCWSTR pszArgs, int* pbFound);
    // Runs the uninstall commands of the listed applications; 0 when a found one would not
    // start.
    int UninstApps(LPCWSTR pszIni, LPCWSTR pszSection);

    // Ends every process of the image name that can be identified: 0 when one was ended,
    // 603 when none runs, another code of the failure.
    unsigned TerminateProcessByName(LPCWSTR pszImage);
    // TPROCESS: the outcome of the last name, 4 when it failed (also when none of its
    // processes ran), else 0.
    unsigned TerminateProcessFromIni(LPCWSTR pszIni, LPCWSTR pszSection);

    // Other programs' windows. PostWinMessage posts the message every 200 ms until the
    // window (found by class or title) is gone: 0, or 37 when it was not found or is still
    // there when the budget is used up.
    unsigned PostWinMessage(LPCWSTR pszClass, LPCWSTR pszTitle, UINT uMsg, DWORD dwBudgetMs);
    unsigned CloseWindowFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned SendMessageWindowFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned WinClickFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // Clicks the listed buttons of other programs' dialogs; 1 when no attempt failed.
    int DialogUnattend(LPCWSTR pszIni, LPCWSTR pszSection);
    int ClickWinButton(LPCWSTR pszTitle, LPCWSTR pszChild);
    HWND GetChildWindowHandle(LPCWSTR pszTitle, LPCWSTR pszChild);

    // Shutdown scripts of the local group policy, kept in step in the state and the
    // policy trees; 1 when both slots were written or deleted.
    int CreateShutdownScript(LPCWSTR pszCmd, LPCWSTR pszParam);
    int DeleteShutdownScript(LPCWSTR pszCmd, LPCWSTR pszParam);
    unsigned RegistShutdownScriptFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int bCreate);
    // Restart: the prompt (0, or 61 when it failed) and the forced restart with the
    // shutdown privilege (0, or 67).
    unsigned ShowRebootDialogFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned CmdRebootFromIni();
    unsigned RestartSystem();

    // Service commands: 1 when every listed service runs in time (CHECK_SVCSTART), or every
    // change was made (CMD_SVC; an unknown operation code ends the list).
    int IsStartedSvcFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int CmdSvcFromIni(LPCWSTR pszIni, LPCWSTR pszSection);

    // Network commands. EnableBinding: 1 when every entry's paths are in the wanted state.
    // BackupNetCfgFromIni: 0 when an ID's adapter was backed up (BACKUP=1) or restored
    // (any other BACKUP), else 39. CheckNetDevIdFromIni: 0 when an ID's adapter became the current
    // one, else no adapter is current, the quit flag is set and the result is 74.
    int EnableBinding(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned BackupNetCfgFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned CheckNetDevIdFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int* pbQuit);

    // Reads a WMI value and shows it in the section's message box; 1 when it was read.
    int ShowWmidataFromIni(LPCWSTR pszIni, LPCWSTR pszSection);

    // The dialog library: the modal dialog's result, the progress dialog shown or hidden
    // (0), the string window's result; 3 when the routine's entry is missing.
    unsigned DoModalDialog(LPCWSTR pszIni, LPCWSTR pszSection, SetupDlgDesc* pDesc);
    unsigned ShowSetupDialog(LPCWSTR pszIni, LPCWSTR pszSection, SetupDlgDesc* pDesc);
    unsigned ShowStringWindow(LPCWSTR pszIni, LPCWSTR pszSection);
    // Ends the progress window; the descriptor's handles are cleared.
    void CloseProgressWindow();

    // Links: 57 (create) or 60 (delete) when any entry failed, else 0.
    unsigned CreateLinksFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned DeleteLinksFromIni(LPCWSTR pszIni, LPCWSTR pszSection);

    // INI file commands: 1 when every entry held (or was written), else 0.
    int CheckInifileFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int WriteInifileFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // A decimal number with an optional sign, read by its leading digits (none: 0),
    // clamped to 32 bits.
    static int ParseSignedDecimal(LPCWSTR pszText);

    // Driver installation: 1 success, 0 failure. The section names of INSTALL_DRIVER and
    // UNINSTALL_OEMINF carry the OS word ("_WIN7" ...) where the OS has one.
    static LPCWSTR OSWord(DWORD dwOSCode);
    static void SectionWithOSWord(LPCWSTR pszSection, LPWSTR pszOut, DWORD cchOut);
    // Copies the program's folder below Program Files (DESTDIR: a plain relative folder
    // that does not overlap the program's own) and updates the listed present devices to
    // their INFs there; with none present, stages the INFs and rescans on request.
    int InstallDriverFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // Rescans the device tree, unless (without bForce) a listed device is already there.
    int Refresh(LPCWSTR pszIni, LPCWSTR pszSection, int bForce);
    // Removes the OEM INFs of the listed IDs by class or provider; 0 also when an INF that
    // agreed would not go.
    int UninstallOEMInfFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // DRIVER_REG: edits the driver key of each listed present device (or of the node
    // DEVSHIFT steps above or below it) through a temporary INF; 0 when a present device's
    // key could not be read or its edits not applied.
    int DriverRegFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // The first present device whose hardware ID is the whole ID: 1 found (*pbApplied when
    // its edits were applied).
    int DriverRegRoutine(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszHardwareId, int nShift, int* pbApplied);
    // The driver key of the node nShift steps from the device; 0 when a step fails.
    int GetDriverRegKey(DEVINST dnDevice, LPWSTR pszOut, DWORD cchOut, int nShift);
    // Runs the section's ADDREG and DELREG entries on the key (below HKLM) through the
    // system's INF installer; 1 when there was nothing to do or the installer ran.
    int DriverAddDelRegFromInf(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey);
    // One driver package operation per listed INF; 1 when any succeeded.
    int InstallDriverPack(LPCWSTR pszIni, LPCWSTR pszSection);

    // Device commands: 0 or the row's failure code; the checks set *pbQuit when they fail.
    unsigned CheckHwidFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int* pbQuit);
    unsigned EnableDriverFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned CheckQivDevFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int* pbQuit);
    // Remove the listed devices (present or not, or present only with EXISTONLY) or their
    // drivers: 1 unless a device that was found could not be removed.
    int RemoveDriverFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    int RemoveDeviceFromIni(LPCWSTR pszIni, LPCWSTR pszSection);
    // Waits for each present listed device to start: 1 when every one of them started.
    int IsStartedFromIni(LPCWSTR pszIni, LPCWSTR pszSection);

    // Modem and wireless-device commands: 0 or the row's failure code.
    unsigned CheckModem(int* pbQuit);
    unsigned CheckWModem(int* pbQuit);
    unsigned CheckWifi(int* pbQuit);
    unsigned ModemRegion(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned TelephonyRegion(LPCWSTR pszIni, LPCWSTR pszSection);
    unsigned ModemHomol(LPCWSTR pszSuffix);
    unsigned EnableWorWModem();
    unsigned DisableIwlanAspm();
    // The access mask and log line of MODEM_HOMOL for the keyword's suffix, by the rules of
    // the x64 build (bBuild64) or of the x86 build (which asks whether it runs under WOW64).
    static REGSAM HomolAccess(LPCWSTR pszSuffix, int bBuild64, LPCWSTR* ppszLog);

    // Parses a listed number (base 16 or 10, an optional "0x" in base 16, an optional
    // sign); 1 when it held digits and fits 32 bits.
    static int ParseNumber(LPCWSTR pszText, int nBase, DWORD* pdwValue);

private:
    CSetupCtrl(const CSetupCtrl&);
    CSetupCtrl& operator=(const CSetupCtrl&);

    int MacroValue(LPCWSTR pszToken, LPCWSTR pszName, LPWSTR pszValue, DWORD cchValue);
    int SwitchMatches(SetupSwitchKind kind, LPCWSTR pszKey, unsigned uPrevious, DWORD dwLocation, DWORD* pdwParsed);

    void BindDialogLibrary();

    // The progress window, first built and last destroyed.
    CSetupDlgCtrl m_DlgCtrl;
    // The device search of the hardware-ID tests; its instance ID is %DevInstanceID%.
    CDevCtrl m_DevCtrl;
    CShortcutCtrl m_Shortcut;
    // The dialog library, loaded once and never unloaded; each entry may be missing.
    HMODULE m_hDlgLib;
    PFN_SetupDlgDoModalDlg m_pfnDoModal;
    PFN_SetupDlgShowDlg m_pfnShow;
    PFN_SetupDlgStrWin m_pfnStrWin;
};

// The setup program's command engine; null before start-up and after the exit.
extern CSetupCtrl* g_pSetupCtrl;

// The message box of a script section: MSGBOX_TITLE, the given text or MSGBOX_MSG, and
// MSGBOX_TYPE; returns the box's value, 0 when there is no message.
int ShowMsgBox(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszText);
// Whether the run's arguments hold "/reboot=suppress" (any case) or "-reboot=suppress".
int IsRebootSuppressed();
// The system's restart prompt: 0, or 61 when it failed.
unsigned ShowRebootDialog();
