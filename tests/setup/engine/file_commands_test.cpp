// File and folder commands and file checks through their table rows: removals behind the
// guard, links left alone, copies (never into their own tree), the text copy that never
// harms its source, version and empty-folder checks.
#include "unit_fixture.h"

#include <shlobj.h>

#include "winsim/version.h"

#include <string>
#include <vector>

namespace {

namespace wf = winsim::files;

class FileCommandTest : public EngineUnitTest {
protected:
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Files.ini";

    void Start(const std::wstring& lines) {
        std::wstring text = L"[S]\r\n" + lines;
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        ASSERT_TRUE(wf::WriteBytes(machine(), kScript, bytes));
        if (!g_pSetupCtrl) Create();
        g_pSetupEnv->SetScriptPath(kScript);
    }
    unsigned Run(const wchar_t* keyword, int* pQuit = nullptr) {
        const SetupCommand* row = FindSetupCommand(keyword);
        EXPECT_NE(nullptr, row);
        if (!row) return 0xFFFFFFFF;
        int quit = 0;
        unsigned r = row->pfnHandler(L"", L"S", &quit, 0);
        if (pQuit) *pQuit = quit;
        return r;
    }
    void Put(const std::wstring& path, const std::string& bytes = "x") {
        wf::CreateFolders(machine(), path.substr(0, path.rfind(L'\\')));
        ASSERT_TRUE(wf::WriteBytes(machine(), path, bytes)) << winsim::Utf8(path);
    }
    bool Exists(const std::wstring& path) { return wf::Exists(machine(), path); }
    std::string Read(const std::wstring& path) { return wf::ReadBytes(machine(), path).value_or("<missing>"); }
};

// Forced removals the guard refuses: the folder stays and the row's code is given.
struct GuardCase {
    const char* name;
    const wchar_t* entry;
    const wchar_t* kept;  // a folder that must still be there
};

TEST_F(FileCommandTest, ForcedRemovalRefusesProtectedFolders) {
    wf::CreateFolders(machine(), L"C:\\Data\\Old");
    wf::CreateFolders(machine(), L"C:\\Program Files\\Other");
    Start(L"");
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring tempFolder = temp;
    const GuardCase cases[] = {
        {"drive root", L"C:\\", L"C:\\Data"},
        {"drive without slash", L"C:", L"C:\\Data"},
        {"windows", L"C:\\Windows", L"C:\\Windows"},
        {"system", L"C:\\Windows\\System32", L"C:\\Windows\\System32"},
        {"program files", L"C:\\Program Files\\", L"C:\\Program Files\\Other"},
        {"program files short name", L"C:\\PROGRA~1", L"C:\\Program Files\\Other"},
        {"profiles", L"C:\\Users", L"C:\\Users"},
        {"relative", L"Data\\Old", L"C:\\Data\\Old"},
        {"drive relative", L"C:Data\\Old", L"C:\\Data\\Old"},
        {"empty macro", L"C:\\Data\\%VQ_UNSET_FOLDER%", L"C:\\Data\\Old"},
        {"temp folder", tempFolder.c_str(), tempFolder.c_str()},
        {"share root", L"\\\\server\\share", L"C:\\Data"},
    };
    for (const auto& c : cases) {
        Start(std::wstring(L"FORCE_DELETE=1\r\nFOLDER=1\r\nFOLDER1=") + c.entry + L"\r\n");
        EXPECT_EQ(29u, Run(L"REMOVE_FOLDERS")) << c.name;
        EXPECT_TRUE(Exists(c.kept)) << c.name;
    }
}

TEST_F(FileCommandTest, ForcedRemovalTakesReadOnlyFilesAndLeavesLinkTargets) {
    Put(L"C:\\Data\\Old\\sub\\ro.txt");
    Put(L"C:\\Data\\Old\\Link\\target.txt");
    ASSERT_TRUE(wf::SetReparsePoint(machine(), L"C:\\Data\\Old\\Link", true));
    // Were the link followed, this delete would fail the command.
    wf::InjectFailure(machine(), L"C:\\Data\\Old\\Link\\target.txt", wf::kFailDelete, ERROR_ACCESS_DENIED);
    wf::SetAttributes(machine(), L"C:\\Data\\Old\\sub\\ro.txt", FILE_ATTRIBUTE_READONLY);
    Start(L"FORCE_DELETE=1\r\nFOLDER=2\r\nFOLDER1=C:\\Data\\Old\r\nFOLDER2=C:\\Data\\Missing\r\n");
    EXPECT_EQ(0u, Run(L"REMOVE_FOLDERS"));
    EXPECT_FALSE(Exists(L"C:\\Data\\Old"));
}

// Without force a path goes as written, a relative one from the current folder.
TEST_F(FileCommandTest, RemovalWithoutForceTakesOnlyEmptyFolders) {
    wf::CreateFolders(machine(), L"C:\\Data\\Empty");
    wf::CreateFolders(machine(), L"C:\\Data\\Rel");
    Put(L"C:\\Data\\Full\\a.txt");
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\Data"));
    Start(L"FOLDER=4\r\nFOLDER1=C:\\Data\\Empty\r\nFOLDER2=C:\\Data\\Full\r\nFOLDER3=Rel\r\nFOLDER4=Gone\r\n");
    EXPECT_EQ(29u, Run(L"REMOVE_FOLDERS"));
    EXPECT_FALSE(Exists(L"C:\\Data\\Empty"));
    EXPECT_FALSE(Exists(L"C:\\Data\\Rel"));
    EXPECT_TRUE(Exists(L"C:\\Data\\Full\\a.txt"));
    EXPECT_TRUE(Logged(L"Error RemoveFolders C:\\Data\\Full"));
    EXPECT_TRUE(Logged(L"Success RemoveFolders Gone"));
}

TEST_F(FileCommandTest, RemoveFiles) {
    Put(L"C:\\Data\\a.txt");
    Put(L"C:\\Data\\ro.txt");
    wf::SetAttributes(machine(), L"C:\\Data\\ro.txt", FILE_ATTRIBUTE_READONLY);
    Start(L"FILE=3\r\nFILE1=C:\\Data\\a.txt\r\nFILE2=C:\\Data\\missing.txt\r\nFILE3=C:\\Data\\ro.txt\r\n");
    EXPECT_EQ(26u, Run(L"REMOVE_FILES"));  // the read-only file could not go
    EXPECT_FALSE(Exists(L"C:\\Data\\a.txt"));
    EXPECT_TRUE(Exists(L"C:\\Data\\ro.txt"));
    EXPECT_TRUE(Logged(L"Can not find File C:\\Data\\missing.txt"));

    Put(L"C:\\Data\\b.txt");
    Start(L"REBOOTFLAG=1\r\nFILE=2\r\nFILE1=C:\\Data\\b.txt\r\nFILE2=C:\\Data\\missing.txt\r\n");
    EXPECT_EQ(0u, Run(L"REMOVE_FILES"));
    EXPECT_TRUE(Exists(L"C:\\Data\\b.txt"));
    auto ops = wf::PendingOperations(machine());
    ASSERT_EQ(1u, ops.size());
    EXPECT_EQ(L"C:\\Data\\b.txt", ops[0].source);
    EXPECT_TRUE(ops[0].target.empty());
}

TEST_F(FileCommandTest, CopyFolders) {
    Put(L"C:\\Src\\a.txt", "new");
    Put(L"C:\\Src\\deep\\b.txt", "b");
    Put(L"C:\\Src\\Setup.exe", "not me");
    Put(L"C:\\Src\\Link\\seen.txt");
    ASSERT_TRUE(wf::SetReparsePoint(machine(), L"C:\\Src\\Link", true));
    Put(L"C:\\Dest\\One\\a.txt", "old");
    Start(
        L"FOLDER=2\r\nFOLDER1_SRC=C:\\Src\r\nFOLDER1_DEST=C:\\Dest\\One\r\n"
        L"FOLDER2_SRC=C:\\Src\r\nFOLDER2_DEST=C:\\Program Files\\Quarven\\Setup\r\n");
    EXPECT_EQ(0u, Run(L"COPY_FOLDERS"));
    EXPECT_EQ("new", Read(L"C:\\Dest\\One\\a.txt"));
    EXPECT_EQ("b", Read(L"C:\\Dest\\One\\deep\\b.txt"));
    EXPECT_FALSE(Exists(L"C:\\Dest\\One\\Link"));
    // The running program is never overwritten.
    EXPECT_NE("not me", Read(L"C:\\Program Files\\Quarven\\Setup\\Setup.exe"));

    // Into its own tree: refused before anything is copied.
    Start(L"FOLDER=1\r\nFOLDER1_SRC=C:\\Src\r\nFOLDER1_DEST=C:\\Src\\deep\\copy\r\n");
    EXPECT_EQ(27u, Run(L"COPY_FOLDERS"));
    EXPECT_FALSE(Exists(L"C:\\Src\\deep\\copy"));
}

TEST_F(FileCommandTest, CopyFilesAndFolders) {
    Put(L"C:\\Program Files\\Quarven\\Setup\\drv\\x.sys", "x");
    Put(L"C:\\Data\\exist.txt", "old");
    Start(
        L"FILEFOLDER=3\r\nFILEFOLDER1_SRC=drv\\x.sys\r\nFILEFOLDER1_DEST=C:\\New\\Place\r\n"
        L"FILEFOLDER2_SRC=drv\\x.sys\r\nFILEFOLDER2_DEST=C:\\Data\\exist.txt\r\n"
        L"FILEFOLDER3_SRC=drv\r\nFILEFOLDER3_DEST=C:\\Tree\r\n");
    EXPECT_EQ(0u, Run(L"COPY_FILES_FOLDERS"));
    EXPECT_EQ("x", Read(L"C:\\New\\Place\\x.sys"));
    EXPECT_EQ("x", Read(L"C:\\Data\\exist.txt"));
    EXPECT_EQ("x", Read(L"C:\\Tree\\x.sys"));

    wf::InjectFailure(machine(), L"C:\\Data\\exist.txt", wf::kFailOpen, ERROR_SHARING_VIOLATION);
    Start(L"FILEFOLDER=1\r\nFILEFOLDER1_SRC=drv\\x.sys\r\nFILEFOLDER1_DEST=C:\\Data\\exist.txt\r\n");
    EXPECT_EQ(28u, Run(L"COPY_FILES_FOLDERS"));
}

TEST_F(FileCommandTest, CreateFoldersUnderShellFolder) {
    Start(L"FOLDER=1\r\nFOLDER1=Vendor\\Tools\r\nFOLDER1_LOCATION=17\r\n");
    EXPECT_EQ(0u, Run(L"CREATE_FOLDERS"));
    WCHAR programs[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs)));
    EXPECT_TRUE(Exists(std::wstring(programs) + L"\\Vendor\\Tools"));
}

// Relative paths count from the current folder, their first piece included.
TEST_F(FileCommandTest, CreateFoldersRelativeToTheCurrentFolder) {
    wf::CreateFolders(machine(), L"C:\\Work");
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\Work"));
    Start(L"FOLDER=3\r\nFOLDER1=relfolder\r\nFOLDER2=rel\\deeper\r\nFOLDER3=\\Rooted\\Here\r\n");
    EXPECT_EQ(0u, Run(L"CREATE_FOLDERS"));
    for (const wchar_t* made : {L"C:\\Work\\relfolder", L"C:\\Work\\rel\\deeper", L"C:\\Rooted\\Here"})
        EXPECT_TRUE(Exists(made)) << winsim::Utf8(made);
    EXPECT_TRUE(Logged(L"CreateFolders:CreateDirectory Success=relfolder"));
}

TEST_F(FileCommandTest, AttributesAndRenames) {
    Put(L"C:\\Program Files\\Quarven\\Setup\\a.txt", "a");
    Put(L"C:\\Program Files\\Quarven\\Setup\\b.txt", "b");
    Start(L"FILE=2\r\nFILE1_NAME=a.txt\r\nFILE1_VALUE=3\r\nFILE2_NAME=missing.txt\r\nFILE2_VALUE=1\r\n");
    EXPECT_EQ(88u, Run(L"SET_ATTRIB"));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              wf::Attributes(machine(), L"C:\\Program Files\\Quarven\\Setup\\a.txt"));
    // Onto an existing name: refused, both files kept.
    Start(L"FILE=1\r\nFILE1_NAME=b.txt\r\nFILE1_RENAME=a.txt\r\n");
    EXPECT_EQ(89u, Run(L"FILE_RENAME"));
    EXPECT_EQ("a", Read(L"C:\\Program Files\\Quarven\\Setup\\a.txt"));
    EXPECT_EQ("b", Read(L"C:\\Program Files\\Quarven\\Setup\\b.txt"));
}

// The text copy: the source never changes; the destination changes only by a whole copy.
struct ReplaceCase {
    const char* name;
    const wchar_t* lines;
    unsigned code;
    const char* dest;  // the destination afterwards (written as text: CR LF line ends)
};

TEST_F(FileCommandTest, CopyFileWithReplace) {
    const std::wstring kFiles = L"SOURCE=C:\\Data\\in.txt\r\nDESTINATION=C:\\Data\\out.txt\r\n";
    // A section longer than 260 characters.
    const std::wstring kLong = L"PAD=" + std::wstring(300, L'p') + L"\r\n%NAME%=Bo\r\n";
    const ReplaceCase cases[] = {
        {"environment value", L"%NAME%=%VQ_NAME%\r\n%X%=y\r\n", 0, "port=y name=Ada\r\n"},
        {"long section", kLong.c_str(), 0, "port=%X% name=Bo\r\n"},
        {"unset variable", L"%NAME%=%VQ_NOT_SET%\r\n", 93, "before"},
        {"no port keeps the value", L"%X%=%PORTNO%\r\n", 0, "port=%PORTNO% name=%NAME%\r\n"},
    };
    Start(L"");
    SetEnvironmentVariableW(L"VQ_NAME", L"Ada");
    for (const auto& c : cases) {
        Put(L"C:\\Data\\in.txt", "port=%X% name=%NAME%\n");
        Put(L"C:\\Data\\out.txt", "before");
        Start(kFiles + c.lines);
        int quit = 0;
        EXPECT_EQ(c.code, Run(L"COPY_FILE_REPLACE", &quit)) << c.name;
        EXPECT_EQ(c.code != 0, quit != 0) << c.name;
        EXPECT_EQ("port=%X% name=%NAME%\n", Read(L"C:\\Data\\in.txt")) << c.name;
        EXPECT_EQ(c.dest, Read(L"C:\\Data\\out.txt")) << c.name;
    }
    // The same file on both sides, also by another spelling.
    Start(L"SOURCE=C:\\Data\\in.txt\r\nDESTINATION=C:\\DATA\\.\\IN.TXT\r\n%X%=1\r\n");
    EXPECT_EQ(93u, Run(L"COPY_FILE_REPLACE"));
    EXPECT_EQ("port=%X% name=%NAME%\n", Read(L"C:\\Data\\in.txt"));
}

// Version checks: every comparison code against a file of version 1.2.0.0.
struct VersionCheckCase {
    const wchar_t* code;
    const wchar_t* version;
    bool holds;
};

TEST_F(FileCommandTest, CheckFileVersionCodes) {
    Put(L"C:\\Data\\v.dll");
    winsim::version::VersionInfo info =
        winsim::version::VersionInfo::WithStrings({0x0409, 1200}, {{L"FileVersion", L"1, 2, 0, 0"}});
    ASSERT_TRUE(winsim::version::Attach(machine(), L"C:\\Data\\v.dll", info));
    const VersionCheckCase cases[] = {
        {L"==", L"1.2", true},  {L"==", L"1.3", false},     {L"!=", L"1.3", true},    {L"!=", L"1.2.0.0", false},
        {L"<=", L"1.2", true},  {L"<=", L"1.1.9.9", false}, {L"<", L"1.10", true},    {L"<", L"1.2", false},
        {L">=", L"1.2", true},  {L">=", L"1.2.0.1", false}, {L">", L"1.1.9.9", true}, {L">", L"1.2", false},
        {L"=>", L"1.2", false},
    };
    for (const auto& c : cases) {
        Start(std::wstring(L"FILE=1\r\nFILE1_NAME=C:\\Data\\v.dll\r\nFILE1_VERSION=") + c.version +
              L"\r\nFILE1_CMPCODE=" + c.code + L"\r\n");
        int quit = 0;
        EXPECT_EQ(c.holds ? 0u : 64u, Run(L"CHECK_FILEVERSION", &quit))
            << winsim::Utf8(c.code) << " " << winsim::Utf8(c.version);
        EXPECT_EQ(!c.holds, quit != 0);
    }
}

struct EmptyFolderCase {
    const char* name;
    const wchar_t* lines;
    bool holds;
};

TEST_F(FileCommandTest, FileAndFolderChecks) {
    Put(L"C:\\Only\\desktop.ini");
    Put(L"C:\\Mixed\\Desktop.ini");
    wf::CreateFolders(machine(), L"C:\\Empty");
    Put(L"C:\\Program Files\\Quarven\\Setup\\here.txt");
    const EmptyFolderCase cases[] = {
        {"excepted only", L"PATH=C:\\Only\\\r\nEXCEPTFILE=1\r\nEXCEPTFILE1=desktop.ini\r\n", true},
        {"case differs", L"PATH=C:\\Mixed\r\nEXCEPTFILE=1\r\nEXCEPTFILE1=desktop.ini\r\n", false},
        {"empty", L"PATH=C:\\Empty\r\n", true},
        {"not empty", L"PATH=C:\\Only\r\n", false},
        {"missing", L"PATH=C:\\Missing\r\n", false},
        {"missing excepted", L"PATH=C:\\Missing\r\nEXCEPTFILE=1\r\nEXCEPTFILE1=x\r\n", false},
    };
    for (const auto& c : cases) {
        Start(c.lines);
        EXPECT_EQ(c.holds ? 0u : 90u, Run(L"CHECK_EMPTYFOLDER")) << c.name;
    }
    // Every entry is tested; a relative one is in the program's folder.
    Start(L"FILE=2\r\nFILE1=missing.txt\r\nFILE2=here.txt\r\n");
    int quit = 0;
    EXPECT_EQ(45u, Run(L"CHECK_FILEEXIST", &quit));
    EXPECT_EQ(1, quit);
    EXPECT_TRUE(Logged(L"CSetupCtrl::CheckFileExistFromIni:Exist C:\\Program Files\\Quarven\\Setup\\here.txt"));
}

}  // namespace
