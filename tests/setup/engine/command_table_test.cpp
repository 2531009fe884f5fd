// The command table is a contract with the scripts: every keyword, its row and its code.
#include <gtest/gtest.h>

#include "SetupExec.h"

#include <string>
#include <wchar.h>

namespace {

struct Row {
    const wchar_t* keyword;
    unsigned code;
};

const Row kRows[] = {
    {L"CHECK_WOW6432", 3},
    {L"TPROCESS", 4},
    {L"CHECK_VENDOR", 5},
    {L"CMD_CP", 6},
    {L"CMD_REGION", 7},
    {L"CHECK_MODEM", 8},
    {L"CHECK_WMODEM", 9},
    {L"CHECK_WIFI", 10},
    {L"INSTALL_DRIVER", 11},
    {L"REG_FILE", 12},
    {L"REG_INI", 13},
    {L"MODEM_REGION", 14},
    {L"MODEM_HOMOL", 15},
    {L"TELEPHONY_REGION", 16},
    {L"ENABLE_WOR_WMODEM", 17},
    {L"DISABLE_IWLAN_ASPM", 18},
    {L"DRIVER_REG", 19},
    {L"CHECK_HWID", 20},
    {L"CMD_UILANG", 21},
    {L"REG_INI_UILANG", 22},
    {L"REG_FILE_UILANG", 23},
    {L"REMOVE_DRIVER", 24},
    {L"SCAN_DEVICE", 25},
    {L"REMOVE_FILES", 26},
    {L"COPY_FOLDERS", 27},
    {L"COPY_FILES_FOLDERS", 28},
    {L"REMOVE_FOLDERS", 29},
    {L"HWID_SECTION", 30},
    {L"UILANG_SECTION", 31},
    {L"OS_SECTION", 32},
    {L"REMOVE_DEVICE", 33},
    {L"ENABLE_BINDING", 34},
    {L"DOMODAL_DIALOG", 35},
    {L"SHOW_DIALOG", 36},
    {L"CLOSE_WINDOW", 37},
    {L"COPY_REGISTRIES", 38},
    {L"BACKUP_NETCFG", 39},
    {L"CHECK_DEVSTART", 40},
    {L"CHECK_FILERESOURCE", 41},
    {L"WAIT_OSSTARTTIME", 42},
    {L"CHECK_REGISTRY", 43},
    {L"CHECK_SVCSTART", 44},
    {L"CHECK_FILEEXIST", 45},
    {L"CHECK_ADMINPRIVILEGE", 47},
    {L"UNINST_APPS", 48},
    {L"CHECK_QIVDEV", 49},
    {L"NONUNILANG_SECTION", 50},
    {L"USERGEOID_SECTION", 51},
    {L"LOCATIONID_SECTION", 52},
    {L"CHECK_NONUNILANG", 53},
    {L"CHECK_UILANG", 54},
    {L"CHECK_USERGEOID", 55},
    {L"CHECK_LOCATIONID", 56},
    {L"CREATE_LINK", 57},
    {L"SHOW_MSGBOX", 58},
    {L"SENDMSG_WINDOW", 59},
    {L"DELETE_LINK", 60},
    {L"SHOW_REBOOTDIALOG", 61},
    {L"CREATE_FOLDERS", 62},
    {L"CHECK_FILEVERSION", 64},
    {L"PRECODE_SECTION", 65},
    {L"CMD_SH", 66},
    {L"CMD_REBOOT", 67},
    {L"ENABLE_DRIVER", 68},
    {L"CHECK_REGKEY", 69},
    {L"UNINSTALL_OEMINF", 70},
    {L"INSTALL_DRVPACK", 71},
    {L"MACRO_WINCLICK", 72},
    {L"CMD_SVC", 73},
    {L"CHECK_NETDEVID", 74},
    {L"CMD_ABORT", 75},
    {L"PARAM_SECTION", 0},
    {L"CHECK_PARAM", 76},
    {L"CREATE_SHUTDOWNSCRIPT", 78},
    {L"DELETE_SHUTDOWNSCRIPT", 79},
    {L"SHOW_STRWIN", 80},
    {L"CHECK_INIFILE", 81},
    {L"WRITE_INIFILE", 82},
    {L"CHECK_PARTNO", 83},
    {L"CHECK_BATTERY", 84},
    {L"CHECK_WMIDATA", 85},
    {L"SHOW_WMIDATA", 86},
    {L"SHOW_REGDATA", 87},
    {L"SET_ATTRIB", 88},
    {L"FILE_RENAME", 89},
    {L"CHECK_EMPTYFOLDER", 90},
    {L"CHECK_FINDREG", 92},
    {L"COPY_FILE_REPLACE", 93},
    {L"CHECK_AMT", 94},
    {L"CMD_ZOLVI", 95},
    {L"CMD_SLEEP", 96},
};

TEST(CommandTable, RowsInOrderWithTheirCodes) {
    int count = 0;
    const SetupCommand* table = GetSetupCommandTable(&count);
    ASSERT_EQ(91, count);
    ASSERT_EQ(sizeof(kRows) / sizeof(kRows[0]), static_cast<size_t>(count));
    int checks = 0;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(std::wstring(kRows[i].keyword), table[i].pszKeyword) << "row " << i;
        EXPECT_EQ(kRows[i].code, table[i].uCode) << "row " << i;
        EXPECT_NE(nullptr, table[i].pfnHandler) << "row " << i;
        checks += std::wstring(table[i].pszKeyword).find(L"CHECK_") != std::wstring::npos;
    }
    EXPECT_EQ(28, checks);
}

struct LookupCase {
    const wchar_t* text;
    int row;  // -1: no row
};

const LookupCase kLookups[] = {
    {L"CHECK_HWID", 17}, {L"check_hwid", 17}, {L"Cmd_Sleep", 90}, {L"CHECK_HWID.WOW32", -1},
    {L"CHECK_HWI", -1},  {L"", -1},           {L" CMD_SH", -1},   {L"CHECK_WOW6432", 0},
};

TEST(CommandTable, LookupIgnoresCaseAndWantsTheWholeKeyword) {
    int count = 0;
    const SetupCommand* table = GetSetupCommandTable(&count);
    for (const auto& c : kLookups) {
        const SetupCommand* row = FindSetupCommand(c.text);
        if (c.row < 0)
            EXPECT_EQ(nullptr, row) << std::string(c.text, c.text + wcslen(c.text));
        else
            EXPECT_EQ(&table[c.row], row) << std::string(c.text, c.text + wcslen(c.text));
    }
}

}  // namespace

#include "unit_fixture.h"

namespace {

class EveryCommand : public EngineUnitTest {};

// Every row of the table runs its own handler: none of them is a stand-in that only says it
// is missing, even with an empty argument section.
TEST_F(EveryCommand, HasItsHandler) {
    Create();
    int count = 0;
    const SetupCommand* table = GetSetupCommandTable(&count);
    ASSERT_GT(count, 0);
    for (int i = 0; i < count; ++i) {
        int quit = 0;
        table[i].pfnHandler(L"", L"", &quit, 0);
    }
    for (const auto& l : Logs()) EXPECT_EQ(std::wstring::npos, l.find(L"Command not available")) << winsim::Utf8(l);
}

}  // namespace
