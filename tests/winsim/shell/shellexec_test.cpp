// ShellExecuteW: programs run directly, other files through the association of
// HKEY_CLASSES_ROOT, and the error values of what cannot be opened.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/program.h"
#include "winsim/registry.h"

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_lines;

int ViewerMain(int, wchar_t**) {
    g_lines.push_back(GetCommandLineW());
    return 0;
}

struct OpenCase {
    const char* name;
    const wchar_t* verb;
    const wchar_t* file;
    INT_PTR result;       // above 32: success
    const wchar_t* line;  // the command line the viewer got ("": it did not run)
};

TEST(ShellExecute, AssociationsAndErrors) {
    auto machine = winsim::Machine::CreateInMemory();
    winsim::ProgramInfo viewer;
    viewer.file_name = L"vqviewer.exe";
    viewer.wmain = &ViewerMain;
    winsim::RegisterProgram(viewer);
    winsim::InstallProgramImage(*machine, L"C:\\Tools\\viewer.exe", L"vqviewer.exe");
    winsim::files::CreateFolders(*machine, L"C:\\Docs");
    winsim::files::WriteBytes(*machine, L"C:\\Docs\\read me.txt", "x");
    winsim::files::WriteBytes(*machine, L"C:\\Docs\\data.zzz", "x");
    winsim::Registry r(*machine);
    r.SetString(L"HKLM\\SOFTWARE\\Classes\\.txt", L"", L"txtfile");
    r.SetString(L"HKLM\\SOFTWARE\\Classes\\txtfile\\shell\\open\\command", L"", L"C:\\Tools\\viewer.exe \"%1\"");
    const OpenCase cases[] = {
        {"Program", L"open", L"C:\\Tools\\viewer.exe", 42, L"\"C:\\Tools\\viewer.exe\""},
        {"Associated", nullptr, L"C:\\Docs\\read me.txt", 42, L"C:\\Tools\\viewer.exe \"C:\\Docs\\read me.txt\""},
        {"NoAssociation", L"open", L"C:\\Docs\\data.zzz", SE_ERR_NOASSOC, L""},
        {"Missing", L"open", L"C:\\Docs\\none.txt", ERROR_FILE_NOT_FOUND, L""},
        {"OtherVerb", L"print", L"C:\\Docs\\read me.txt", SE_ERR_NOASSOC, L""},
    };
    for (const auto& c : cases) {
        g_lines.clear();
        {
            winsim::ProcessScope scope(*machine);
            INT_PTR result =
                reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, c.verb, c.file, nullptr, nullptr, SW_SHOWNORMAL));
            EXPECT_EQ(c.result > 32, result > 32) << c.name;
            if (c.result <= 32) {
                EXPECT_EQ(c.result, result) << c.name;
            }
            Sleep(1000);  // the started program runs to its end
        }
        if (c.line[0]) {
            ASSERT_EQ(1u, g_lines.size()) << c.name;
            EXPECT_EQ(std::wstring(c.line), g_lines[0]) << c.name;
        } else {
            EXPECT_TRUE(g_lines.empty()) << c.name;
        }
    }
    winsim::UnregisterProgram(L"vqviewer.exe");
}

}  // namespace
