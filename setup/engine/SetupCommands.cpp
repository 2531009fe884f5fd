// The command table of the setup script: 91 rows in a fixed order, each a keyword, its
// handler and its failure code.
#include "SetupExec.h"

#include "DbgMac.h"
#include "LibText.h"
#include "SetupCtrl.h"
#include "SetupEnv.h"
#include "SetupGlobals.h"

namespace {

unsigned Switch(SetupSwitchKind kind, unsigned uPrevious, LPCWSTR pszSection) {
    return g_pSetupCtrl ? g_pSetupCtrl->SwitchSectionFromIni(kind, pszSection, uPrevious) : 0;
}

unsigned List(SetupSwitchKind kind, LPCWSTR pszSection, int* pbQuit) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckListFromIni(kind, pszSection, pbQuit) : 0;
}

unsigned Cmd_HWID_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_HWID, p, s); }
unsigned Cmd_UILANG_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_UILANG, p, s); }
unsigned Cmd_OS_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_OS, p, s); }
unsigned Cmd_NONUNILANG_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_NONUNILANG, p, s); }
unsigned Cmd_USERGEOID_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_USERGEOID, p, s); }
unsigned Cmd_LOCATIONID_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_LOCATIONID, p, s); }
unsigned Cmd_PRECODE_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_PRECODE, p, s); }
unsigned Cmd_PARAM_SECTION(LPCWSTR, LPCWSTR s, int*, unsigned p) { return Switch(SWITCH_PARAM, p, s); }
unsigned Cmd_CHECK_NONUNILANG(LPCWSTR, LPCWSTR s, int* q, unsigned) { return List(SWITCH_NONUNILANG, s, q); }
unsigned Cmd_CHECK_UILANG(LPCWSTR, LPCWSTR s, int* q, unsigned) { return List(SWITCH_UILANG, s, q); }
unsigned Cmd_CHECK_USERGEOID(LPCWSTR, LPCWSTR s, int* q, unsigned) { return List(SWITCH_USERGEOID, s, q); }
unsigned Cmd_CHECK_LOCATIONID(LPCWSTR, LPCWSTR s, int* q, unsigned) { return List(SWITCH_LOCATIONID, s, q); }
unsigned Cmd_CHECK_PARAM(LPCWSTR, LPCWSTR s, int* q, unsigned) { return List(SWITCH_PARAM, s, q); }
unsigned Cmd_CHECK_WOW6432(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckWow6432FromIni(s, q) : 0;
}
unsigned Cmd_CHECK_VENDOR(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckVendorFromIni(s, q) : 0;
}
unsigned Cmd_CHECK_ADMINPRIVILEGE(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckAdminPrivilegeFromIni(s, q) : 0;
}
unsigned Cmd_SHOW_MSGBOX(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->ShowMsgBoxFromIni(s) : 0;
}
unsigned Cmd_CMD_ABORT(LPCWSTR, LPCWSTR, int*, unsigned) { return SETUP_ABORT_CODE; }

// System checks and timing.
LPCWSTR Script() { return g_pSetupEnv ? g_pSetupEnv->GetScriptPath() : L""; }

// A failed check ends the section.
unsigned CheckFailed(int* pbQuit, unsigned uCode) {
    if (pbQuit) *pbQuit = 1;
    return uCode;
}

unsigned Cmd_WAIT_OSSTARTTIME(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"WAIT_OSSTARTTIME %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->WaitForStarttime(Script(), s) ? 0 : 42;
}
unsigned Cmd_CHECK_PARTNO(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    LPCWSTR pszOem = g_pSetupEnv ? g_pSetupEnv->GetRawOEMString() : L"";
    DBGPRINT(L"cmdCHECK_PARTNO %s", pszOem);
    return g_pSetupCtrl && g_pSetupCtrl->CheckStringFromIni(Script(), s, pszOem) ? 0 : CheckFailed(q, 83);
}
unsigned Cmd_CHECK_BATTERY(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"cmdCHECK_BATTERY ");
    return g_pSetupCtrl && g_pSetupCtrl->CheckBatteryFromIni(Script(), s) ? 0 : CheckFailed(q, 84);
}
unsigned Cmd_CHECK_WMIDATA(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"cmdCHECK_WMIDATA ");
    return g_pSetupCtrl && g_pSetupCtrl->CheckWmidataFromIni(Script(), s) ? 0 : CheckFailed(q, 85);
}
// Driver installation.
unsigned Cmd_INSTALL_DRIVER(LPCWSTR, LPCWSTR s, int*, unsigned) {
    WCHAR szSection[SETUP_TEXT_CCH];
    CSetupCtrl::SectionWithOSWord(s, szSection, SETUP_TEXT_CCH);
    DBGPRINT(L"Install Driver Section=%s", szSection);
    if (!IniHasSection(Script(), szSection)) {
        DBGPRINT(L"INSTALL_DRIVER:No section %s, nothing done", szSection);
        return 11;
    }
    int bDone = g_pSetupCtrl && g_pSetupCtrl->InstallDriverFromIni(Script(), szSection);
    Sleep(5000);
    return bDone ? 0 : 11;
}
unsigned Cmd_SCAN_DEVICE(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"SCAN DEVICE %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->Refresh(Script(), s, 1) ? 0 : 25;
}
unsigned Cmd_UNINSTALL_OEMINF(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"UNINSTALL_OEMINF %s %s", Script(), s);
    WCHAR szSection[SETUP_TEXT_CCH];
    CSetupCtrl::SectionWithOSWord(s, szSection, SETUP_TEXT_CCH);
    DBGPRINT(L"Uninstall OEM Inf Section=%s", szSection);
    if (!IniHasSection(Script(), szSection)) {
        DBGPRINT(L"UNINSTALL_OEMINF:No section %s, nothing done", szSection);
        return 70;
    }
    return g_pSetupCtrl && g_pSetupCtrl->UninstallOEMInfFromIni(Script(), szSection) ? 0 : 70;
}
unsigned Cmd_DRIVER_REG(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl && g_pSetupCtrl->DriverRegFromIni(Script(), s) ? 0 : 19;
}
unsigned Cmd_INSTALL_DRVPACK(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"INSTALL_DRVPACK %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->InstallDriverPack(Script(), s) ? 0 : 71;
}
// Files and folders.
unsigned Cmd_REMOVE_FILES(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"REMOVE FILE %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->RemoveFiles(Script(), s) ? 0 : 26;
}
unsigned Cmd_COPY_FOLDERS(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"COPY FOLDER %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CopyFolders(Script(), s) ? 0 : 27;
}
unsigned Cmd_COPY_FILES_FOLDERS(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"COPY FILES FOLDERS%s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CopyFilesAndFolders(Script(), s) ? 0 : 28;
}
unsigned Cmd_REMOVE_FOLDERS(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"REMOVE FOLDERS %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->RemoveFolders(Script(), s) ? 0 : 29;
}
unsigned Cmd_CREATE_FOLDERS(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"CREATE_FOLDERS %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CreateFolders(Script(), s) ? 0 : 62;
}
unsigned Cmd_SET_ATTRIB(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"cmdSET_ATTRIB ");
    return g_pSetupCtrl && g_pSetupCtrl->SetAttribFromIni(Script(), s) ? 0 : 88;
}
unsigned Cmd_FILE_RENAME(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"cmdFILE_RENAME ");
    return g_pSetupCtrl && g_pSetupCtrl->FileRenameFromIni(Script(), s) ? 0 : 89;
}
unsigned Cmd_COPY_FILE_REPLACE(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"COPY_FILE_W_REPLACE %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CopyFileWithReplace(Script(), s) ? 0 : CheckFailed(q, 93);
}
unsigned Cmd_CHECK_FILEEXIST(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_FILEEXIST %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckFileExistFromIni(Script(), s) ? 0 : CheckFailed(q, 45);
}
unsigned Cmd_CHECK_FILERESOURCE(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_FILERESOURCE %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckFileResourceFromIni(Script(), s) ? 0 : CheckFailed(q, 41);
}
unsigned Cmd_CHECK_FILEVERSION(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_FILEVERSION %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckFileVersionFromIni(Script(), s) ? 0 : CheckFailed(q, 64);
}
unsigned Cmd_CHECK_EMPTYFOLDER(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"cmdCHECK_EMPTYFOLDER ");
    return g_pSetupCtrl && g_pSetupCtrl->CheckFolderEmptyFromIni(Script(), s) ? 0 : CheckFailed(q, 90);
}
// Registry checks and copies.
unsigned Cmd_CHECK_REGISTRY(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_REGISTRY %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckRegistryFromIni(Script(), s, 0) ? 0 : CheckFailed(q, 43);
}
unsigned Cmd_SHOW_REGDATA(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"SHOW_REGDATA %s %s", Script(), s);
    if (g_pSetupCtrl) g_pSetupCtrl->CheckRegistryFromIni(Script(), s, 1);
    return 0;
}
unsigned Cmd_CHECK_REGKEY(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_REGKEY %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckRegistryKeyFromIni(Script(), s) ? 0 : CheckFailed(q, 69);
}
unsigned Cmd_CHECK_FINDREG(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_FINDREG %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckFindRegFromIni(Script(), s) ? 0 : CheckFailed(q, 92);
}
unsigned Cmd_COPY_REGISTRIES(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"COPY_REGISTRIES %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CopyRegistries(Script(), s) ? 0 : 38;
}
// Registry imports.
unsigned Cmd_REG_FILE(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl && g_pSetupCtrl->RegFileFromIni(Script(), s) ? 0 : 12;
}
unsigned Cmd_REG_FILE_UILANG(LPCWSTR, LPCWSTR, int*, unsigned) {
    return g_pSetupCtrl && g_pSetupCtrl->RegFileOfUILanguage() ? 0 : 23;
}
unsigned Cmd_REG_INI(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl && g_pSetupCtrl->AddDelRegFromIni(Script(), s, NULL, NULL) ? 0 : 13;
}
unsigned Cmd_REG_INI_UILANG(LPCWSTR, LPCWSTR s, int*, unsigned) {
    WCHAR szLang[8];
    wsprintfW(szLang, L"%04x", g_pSetupEnv ? g_pSetupEnv->GetUILanguage() : 0);
    return g_pSetupCtrl && g_pSetupCtrl->AddDelRegFromIni(Script(), s, szLang, NULL) ? 0 : 22;
}
// Programs.
LPCWSTR SetupArguments() { return g_pSetupEnv ? g_pSetupEnv->GetArguments() : L""; }

unsigned Cmd_CMD_CP(LPCWSTR, LPCWSTR s, int*, unsigned) {
    int bWant = 0;
    DWORD dwExit = 0;
    if (!g_pSetupCtrl || !g_pSetupCtrl->CreateProcessFromIni(Script(), s, NULL, SetupArguments(), &bWant, &dwExit))
        return 6;
    return bWant ? dwExit : 0;
}
unsigned Cmd_CMD_REGION(LPCWSTR, LPCWSTR s, int*, unsigned) {
    LPCWSTR pszOem = g_pSetupEnv ? g_pSetupEnv->GetOEMString() : L"";
    WCHAR szRegion[2] = L"";
    if (lstrlenW(pszOem) >= 6) szRegion[0] = pszOem[5];
    return g_pSetupCtrl && g_pSetupCtrl->CreateProcessFromIni(Script(), s, szRegion, SetupArguments(), NULL, NULL) ? 0
                                                                                                                   : 7;
}
unsigned Cmd_CMD_UILANG(LPCWSTR, LPCWSTR s, int*, unsigned) {
    WCHAR szLang[8];
    wsprintfW(szLang, L"%04x", g_pSetupEnv ? g_pSetupEnv->GetUILanguage() : 0);
    return g_pSetupCtrl && g_pSetupCtrl->CreateProcessFromIni(Script(), s, szLang, SetupArguments(), NULL, NULL) ? 0
                                                                                                                 : 21;
}
unsigned Cmd_TPROCESS(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->TerminateProcessFromIni(Script(), s) : 4;
}
unsigned Cmd_CMD_SH(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl && g_pSetupCtrl->ShellExecuteFromIni(Script(), s, NULL, SetupArguments()) ? 0 : 66;
}
unsigned Cmd_UNINST_APPS(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl && g_pSetupCtrl->UninstApps(Script(), s) ? 0 : 48;
}
unsigned Cmd_CHECK_AMT(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_AMT %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckAMT() ? 0 : CheckFailed(q, 94);
}
unsigned Cmd_CMD_ZOLVI(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"CMD_ZOLVI %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CmdZolvi(Script(), s) ? 0 : 95;
}
unsigned Cmd_CMD_SLEEP(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"CMD_SLEEP %s %s", Script(), s);
    if (g_pSetupCtrl) g_pSetupCtrl->CmdSleep(Script(), s);
    return 0;
}

// Services.
unsigned Cmd_CHECK_SVCSTART(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    return g_pSetupCtrl && g_pSetupCtrl->IsStartedSvcFromIni(Script(), s) ? 0 : CheckFailed(q, 44);
}
unsigned Cmd_CMD_SVC(LPCWSTR, LPCWSTR s, int*, unsigned) {
    if (g_pDebugCtrl) g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, L"Command service... ", L"");
    return g_pSetupCtrl && g_pSetupCtrl->CmdSvcFromIni(Script(), s) ? 0 : 73;
}

// Network.
unsigned Cmd_ENABLE_BINDING(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"ENABLE_BINDING %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->EnableBinding(Script(), s) ? 0 : 34;
}
unsigned Cmd_BACKUP_NETCFG(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->BackupNetCfgFromIni(Script(), s) : 39;
}
unsigned Cmd_CHECK_NETDEVID(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckNetDevIdFromIni(Script(), s, q) : CheckFailed(q, 74);
}

// The dialog library's dialogs; none in a silent run.
unsigned Cmd_DOMODAL_DIALOG(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"DOMODAL_DIALOG %s %s", Script(), s);
    if (IsSilentRun()) {
        DBGPRINT(L"DOMODAL_DIALOG was skipped due to silentmode");
        return 0;
    }
    if (!g_pSetupCtrl || g_pSetupCtrl->DoModalDialog(Script(), s, &g_SetupDlgDesc) != IDCANCEL) return 0;
    return CheckFailed(q, 35);
}
unsigned Cmd_SHOW_DIALOG(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"SHOW_DIALOG %s %s", Script(), s);
    if (IsSilentRun()) {
        DBGPRINT(L"SHOW_DIALOG was skipped due to silentmode");
        return 0;
    }
    return g_pSetupCtrl && g_pSetupCtrl->ShowSetupDialog(Script(), s, &g_SetupDlgDesc) == 0 ? 0 : 36;
}
unsigned Cmd_SHOW_STRWIN(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"SHOW_STRWIN %s %s", Script(), s);
    if (IsSilentRun()) {
        DBGPRINT(L"SHOW_STRWIN was skipped due to silentmode");
        return 0;
    }
    return g_pSetupCtrl && g_pSetupCtrl->ShowStringWindow(Script(), s) == 0 ? 0 : 80;
}

// Other programs' windows, shutdown scripts and INI files.
unsigned Cmd_CLOSE_WINDOW(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"CLOSE_WINDOW %s %s", Script(), s);
    return g_pSetupCtrl ? g_pSetupCtrl->CloseWindowFromIni(Script(), s) : 0;
}
unsigned Cmd_SENDMSG_WINDOW(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"SENDMSG_WINDOW %s %s", Script(), s);
    return g_pSetupCtrl ? g_pSetupCtrl->SendMessageWindowFromIni(Script(), s) : 59;
}
unsigned Cmd_MACRO_WINCLICK(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->WinClickFromIni(Script(), s) : 72;
}
unsigned Cmd_CREATE_SHUTDOWNSCRIPT(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->RegistShutdownScriptFromIni(Script(), s, 1) : 78;
}
unsigned Cmd_DELETE_SHUTDOWNSCRIPT(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->RegistShutdownScriptFromIni(Script(), s, 0) : 79;
}
unsigned Cmd_SHOW_WMIDATA(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"cmdSHOW_WMIDATA ");
    return g_pSetupCtrl && g_pSetupCtrl->ShowWmidataFromIni(Script(), s) ? 0 : 86;
}
unsigned Cmd_SHOW_REBOOTDIALOG(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->ShowRebootDialogFromIni(Script(), s) : 61;
}
unsigned Cmd_CMD_REBOOT(LPCWSTR, LPCWSTR, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CmdRebootFromIni() : 67;
}
unsigned Cmd_CREATE_LINK(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"CREATE_LINK %s %s", Script(), s);
    return g_pSetupCtrl ? g_pSetupCtrl->CreateLinksFromIni(Script(), s) : 57;
}
unsigned Cmd_DELETE_LINK(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"DELETE_LINK %s %s", Script(), s);
    return g_pSetupCtrl ? g_pSetupCtrl->DeleteLinksFromIni(Script(), s) : 60;
}
unsigned Cmd_CHECK_INIFILE(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_INIFILE %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->CheckInifileFromIni(Script(), s) ? 0 : CheckFailed(q, 81);
}
unsigned Cmd_WRITE_INIFILE(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"WRITE_INIFILE %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->WriteInifileFromIni(Script(), s) ? 0 : CheckFailed(q, 82);
}

// Devices.
unsigned Cmd_CHECK_HWID(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckHwidFromIni(Script(), s, q) : CheckFailed(q, 20);
}
unsigned Cmd_ENABLE_DRIVER(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->EnableDriverFromIni(Script(), s) : 68;
}
unsigned Cmd_REMOVE_DRIVER(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"REMOVE_DRIVER %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->RemoveDriverFromIni(Script(), s) ? 0 : 24;
}
unsigned Cmd_REMOVE_DEVICE(LPCWSTR, LPCWSTR s, int*, unsigned) {
    DBGPRINT(L"REMOVE_DEVICE %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->RemoveDeviceFromIni(Script(), s) ? 0 : 33;
}
unsigned Cmd_CHECK_DEVSTART(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    DBGPRINT(L"CHECK_DEVSTART %s %s", Script(), s);
    return g_pSetupCtrl && g_pSetupCtrl->IsStartedFromIni(Script(), s) ? 0 : CheckFailed(q, 40);
}
unsigned Cmd_CHECK_QIVDEV(LPCWSTR, LPCWSTR s, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckQivDevFromIni(Script(), s, q) : CheckFailed(q, 49);
}
// Modem and wireless devices.
unsigned Cmd_CHECK_MODEM(LPCWSTR, LPCWSTR, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckModem(q) : CheckFailed(q, 8);
}
unsigned Cmd_CHECK_WMODEM(LPCWSTR, LPCWSTR, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckWModem(q) : CheckFailed(q, 9);
}
unsigned Cmd_CHECK_WIFI(LPCWSTR, LPCWSTR, int* q, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->CheckWifi(q) : CheckFailed(q, 10);
}
unsigned Cmd_MODEM_REGION(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->ModemRegion(Script(), s) : 14;
}
unsigned Cmd_TELEPHONY_REGION(LPCWSTR, LPCWSTR s, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->TelephonyRegion(Script(), s) : 16;
}
unsigned Cmd_MODEM_HOMOL(LPCWSTR x, LPCWSTR, int*, unsigned) { return g_pSetupCtrl ? g_pSetupCtrl->ModemHomol(x) : 15; }
unsigned Cmd_ENABLE_WOR_WMODEM(LPCWSTR, LPCWSTR, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->EnableWorWModem() : 17;
}
unsigned Cmd_DISABLE_IWLAN_ASPM(LPCWSTR, LPCWSTR, int*, unsigned) {
    return g_pSetupCtrl ? g_pSetupCtrl->DisableIwlanAspm() : 18;
}

const SetupCommand g_Commands[SETUP_COMMAND_COUNT] = {
    {L"CHECK_WOW6432", Cmd_CHECK_WOW6432, 3},
    {L"TPROCESS", Cmd_TPROCESS, 4},
    {L"CHECK_VENDOR", Cmd_CHECK_VENDOR, 5},
    {L"CMD_CP", Cmd_CMD_CP, 6},
    {L"CMD_REGION", Cmd_CMD_REGION, 7},
    {L"CHECK_MODEM", Cmd_CHECK_MODEM, 8},
    {L"CHECK_WMODEM", Cmd_CHECK_WMODEM, 9},
    {L"CHECK_WIFI", Cmd_CHECK_WIFI, 10},
    {L"INSTALL_DRIVER", Cmd_INSTALL_DRIVER, 11},
    {L"REG_FILE", Cmd_REG_FILE, 12},
    {L"REG_INI", Cmd_REG_INI, 13},
    {L"MODEM_REGION", Cmd_MODEM_REGION, 14},
    {L"MODEM_HOMOL", Cmd_MODEM_HOMOL, 15},
    {L"TELEPHONY_REGION", Cmd_TELEPHONY_REGION, 16},
    {L"ENABLE_WOR_WMODEM", Cmd_ENABLE_WOR_WMODEM, 17},
    {L"DISABLE_IWLAN_ASPM", Cmd_DISABLE_IWLAN_ASPM, 18},
    {L"DRIVER_REG", Cmd_DRIVER_REG, 19},
    {L"CHECK_HWID", Cmd_CHECK_HWID, 20},
    {L"CMD_UILANG", Cmd_CMD_UILANG, 21},
    {L"REG_INI_UILANG", Cmd_REG_INI_UILANG, 22},
    {L"REG_FILE_UILANG", Cmd_REG_FILE_UILANG, 23},
    {L"REMOVE_DRIVER", Cmd_REMOVE_DRIVER, 24},
    {L"SCAN_DEVICE", Cmd_SCAN_DEVICE, 25},
    {L"REMOVE_FILES", Cmd_REMOVE_FILES, 26},
    {L"COPY_FOLDERS", Cmd_COPY_FOLDERS, 27},
    {L"COPY_FILES_FOLDERS", Cmd_COPY_FILES_FOLDERS, 28},
    {L"REMOVE_FOLDERS", Cmd_REMOVE_FOLDERS, 29},
    {L"HWID_SECTION", Cmd_HWID_SECTION, 30},
    {L"UILANG_SECTION", Cmd_UILANG_SECTION, 31},
    {L"OS_SECTION", Cmd_OS_SECTION, 32},
    {L"REMOVE_DEVICE", Cmd_REMOVE_DEVICE, 33},
    {L"ENABLE_BINDING", Cmd_ENABLE_BINDING, 34},
    {L"DOMODAL_DIALOG", Cmd_DOMODAL_DIALOG, 35},
    {L"SHOW_DIALOG", Cmd_SHOW_DIALOG, 36},
    {L"CLOSE_WINDOW", Cmd_CLOSE_WINDOW, 37},
    {L"COPY_REGISTRIES", Cmd_COPY_REGISTRIES, 38},
    {L"BACKUP_NETCFG", Cmd_BACKUP_NETCFG, 39},
    {L"CHECK_DEVSTART", Cmd_CHECK_DEVSTART, 40},
    {L"CHECK_FILERESOURCE", Cmd_CHECK_FILERESOURCE, 41},
    {L"WAIT_OSSTARTTIME", Cmd_WAIT_OSSTARTTIME, 42},
    {L"CHECK_REGISTRY", Cmd_CHECK_REGISTRY, 43},
    {L"CHECK_SVCSTART", Cmd_CHECK_SVCSTART, 44},
    {L"CHECK_FILEEXIST", Cmd_CHECK_FILEEXIST, 45},
    {L"CHECK_ADMINPRIVILEGE", Cmd_CHECK_ADMINPRIVILEGE, 47},
    {L"UNINST_APPS", Cmd_UNINST_APPS, 48},
    {L"CHECK_QIVDEV", Cmd_CHECK_QIVDEV, 49},
    {L"NONUNILANG_SECTION", Cmd_NONUNILANG_SECTION, 50},
    {L"USERGEOID_SECTION", Cmd_USERGEOID_SECTION, 51},
    {L"LOCATIONID_SECTION", Cmd_LOCATIONID_SECTION, 52},
    {L"CHECK_NONUNILANG", Cmd_CHECK_NONUNILANG, 53},
    {L"CHECK_UILANG", Cmd_CHECK_UILANG, 54},
    {L"CHECK_USERGEOID", Cmd_CHECK_USERGEOID, 55},
    {L"CHECK_LOCATIONID", Cmd_CHECK_LOCATIONID, 56},
    {L"CREATE_LINK", Cmd_CREATE_LINK, 57},
    {L"SHOW_MSGBOX", Cmd_SHOW_MSGBOX, 58},
    {L"SENDMSG_WINDOW", Cmd_SENDMSG_WINDOW, 59},
    {L"DELETE_LINK", Cmd_DELETE_LINK, 60},
    {L"SHOW_REBOOTDIALOG", Cmd_SHOW_REBOOTDIALOG, 61},
    {L"CREATE_FOLDERS", Cmd_CREATE_FOLDERS, 62},
    {L"CHECK_FILEVERSION", Cmd_CHECK_FILEVERSION, 64},
    {L"PRECODE_SECTION", Cmd_PRECODE_SECTION, 65},
    {L"CMD_SH", Cmd_CMD_SH, 66},
    {L"CMD_REBOOT", Cmd_CMD_REBOOT, 67},
    {L"ENABLE_DRIVER", Cmd_ENABLE_DRIVER, 68},
    {L"CHECK_REGKEY", Cmd_CHECK_REGKEY, 69},
    {L"UNINSTALL_OEMINF", Cmd_UNINSTALL_OEMINF, 70},
    {L"INSTALL_DRVPACK", Cmd_INSTALL_DRVPACK, 71},
    {L"MACRO_WINCLICK", Cmd_MACRO_WINCLICK, 72},
    {L"CMD_SVC", Cmd_CMD_SVC, 73},
    {L"CHECK_NETDEVID", Cmd_CHECK_NETDEVID, 74},
    {L"CMD_ABORT", Cmd_CMD_ABORT, 75},
    {L"PARAM_SECTION", Cmd_PARAM_SECTION, 0},
    {L"CHECK_PARAM", Cmd_CHECK_PARAM, 76},
    {L"CREATE_SHUTDOWNSCRIPT", Cmd_CREATE_SHUTDOWNSCRIPT, 78},
    {L"DELETE_SHUTDOWNSCRIPT", Cmd_DELETE_SHUTDOWNSCRIPT, 79},
    {L"SHOW_STRWIN", Cmd_SHOW_STRWIN, 80},
    {L"CHECK_INIFILE", Cmd_CHECK_INIFILE, 81},
    {L"WRITE_INIFILE", Cmd_WRITE_INIFILE, 82},
    {L"CHECK_PARTNO", Cmd_CHECK_PARTNO, 83},
    {L"CHECK_BATTERY", Cmd_CHECK_BATTERY, 84},
    {L"CHECK_WMIDATA", Cmd_CHECK_WMIDATA, 85},
    {L"SHOW_WMIDATA", Cmd_SHOW_WMIDATA, 86},
    {L"SHOW_REGDATA", Cmd_SHOW_REGDATA, 87},
    {L"SET_ATTRIB", Cmd_SET_ATTRIB, 88},
    {L"FILE_RENAME", Cmd_FILE_RENAME, 89},
    {L"CHECK_EMPTYFOLDER", Cmd_CHECK_EMPTYFOLDER, 90},
    {L"CHECK_FINDREG", Cmd_CHECK_FINDREG, 92},
    {L"COPY_FILE_REPLACE", Cmd_COPY_FILE_REPLACE, 93},
    {L"CHECK_AMT", Cmd_CHECK_AMT, 94},
    {L"CMD_ZOLVI", Cmd_CMD_ZOLVI, 95},
    {L"CMD_SLEEP", Cmd_CMD_SLEEP, 96},
};

}  // namespace

const SetupCommand* GetSetupCommandTable(int* pnCount) {
    if (pnCount) *pnCount = SETUP_COMMAND_COUNT;
    return g_Commands;
}

const SetupCommand* FindSetupCommand(LPCWSTR pszKeyword) {
    if (!pszKeyword) return NULL;
    for (int i = 0; i < SETUP_COMMAND_COUNT; ++i)
        if (lstrcmpiW(g_Commands[i].pszKeyword, pszKeyword) == 0) return &g_Commands[i];
    return NULL;
}
