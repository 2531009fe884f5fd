// CGobiApiCtrl: where the library is searched, what a library without its entries gives,
// connect before disconnect, and loads balanced by frees.
#include <gtest/gtest.h>
#include <windows.h>

#include "GobiApiCtrl.h"
#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/mbn.h"
#include "winsim/modules.h"

#include <memory>
#include <string>

namespace {

const std::wstring kProgramDir = L"C:\\Program Files\\Quarven\\Veltrane";
const std::wstring kInProgramDir = kProgramDir + L"\\GobiApi.dll";
const std::wstring kInX86 = L"C:\\Program Files (x86)\\Sierra Wireless Inc\\Utils\\GobiApi.dll";
const std::wstring kInProgramFiles = L"C:\\Program Files\\Sierra Wireless Inc\\Utils\\GobiApi.dll";

struct Machine {
    explicit Machine(bool image64 = true, bool program_dir = true) : m(winsim::Machine::CreateInMemory("bare")) {
        if (program_dir) winsim::files::CreateFolders(*m, kProgramDir);
        winsim::ProcessOptions o;
        o.image = kProgramDir + L"\\RVQXSVC.exe";
        o.image64 = image64;
        scope = std::make_unique<winsim::ProcessScope>(*m, o);
    }
    winsim::Modules modules() { return winsim::Modules(*m); }
    std::unique_ptr<winsim::Machine> m;
    std::unique_ptr<winsim::ProcessScope> scope;
};

enum Place { kNone = -1, kProgram = 0, kX86 = 1, kPF = 2 };

struct SearchCase {
    const char* name;
    bool image64;
    bool program_dir_exists;  // false: the short form of the program's folder cannot be formed
    bool unset_x86_env;       // ProgramFiles(x86) unset: CSIDL_PROGRAM_FILES stands in
    bool file_program, file_x86, file_pf;
    int result;
    Place loaded_from;
};

const SearchCase kSearch[] = {
    {"ProgramFolderFirst", true, true, false, true, true, true, GOBI_OK, kProgram},
    {"X86BeforeProgramFiles", true, true, false, false, true, true, GOBI_OK, kX86},
    {"ProgramFilesLast", true, true, false, false, false, true, GOBI_OK, kPF},
    {"NowhereIsNotFound", true, true, false, false, false, false, GOBI_ERR_NOT_FOUND, kNone},
    // Without the program folder's short form the search ends: 0, and nothing is loaded.
    {"NoShortFormLoadsNothing", true, false, false, false, true, true, GOBI_OK, kNone},
    {"NoShortFormAndNothingElse", true, false, false, false, false, false, GOBI_OK, kNone},
    // Without ProgramFiles(x86) a 64-bit program's second place is C:\Program Files.
    {"UnsetX86FallsBackToProgramFiles", true, true, true, false, true, false, GOBI_ERR_NOT_FOUND, kNone},
    {"UnsetX86FindsProgramFilesEarly", true, true, true, false, false, true, GOBI_OK, kPF},
    // A 32-bit program sees C:\Program Files (x86) under both names.
    {"Wow64ProgramFilesIsX86", false, true, false, false, true, false, GOBI_OK, kX86},
    {"Wow64NeverSees64BitFolder", false, true, false, false, false, true, GOBI_ERR_NOT_FOUND, kNone},
};

class GobiSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(GobiSearch, LoadsTheFirstPlaceThatExists) {
    const SearchCase& c = GetParam();
    Machine mc(c.image64, c.program_dir_exists);
    if (c.unset_x86_env) SetEnvironmentVariableW(L"ProgramFiles(x86)", NULL);
    if (c.file_program) winsim::gobi::Install(*mc.m, kInProgramDir);
    if (c.file_x86) winsim::gobi::Install(*mc.m, kInX86);
    if (c.file_pf) winsim::gobi::Install(*mc.m, kInProgramFiles);

    auto* gobi = new CGobiApiCtrl;
    EXPECT_EQ(c.result, gobi->Load());
    EXPECT_EQ(c.loaded_from != kNone, gobi->IsLoaded() != FALSE);
    EXPECT_EQ(c.loaded_from != kNone ? 1 : 0, mc.modules().LoadCount(L"GobiApi.dll"));
    std::wstring path = gobi->LibraryPath();
    switch (c.loaded_from) {
    case kProgram: {
        WCHAR shortDir[MAX_PATH];
        ASSERT_NE(0u, GetShortPathNameW(kProgramDir.c_str(), shortDir, MAX_PATH));
        EXPECT_EQ(std::wstring(shortDir) + L"\\GobiApi.dll", path);
        EXPECT_NE(kInProgramDir, path);  // the short form, not the long one
        break;
    }
    case kX86: EXPECT_EQ(kInX86, path); break;
    case kPF: EXPECT_EQ(kInProgramFiles, path); break;
    case kNone: break;
    }
    gobi->Unload();
    delete gobi;
    EXPECT_FALSE(mc.modules().IsLoaded(mc.scope->process(), L"GobiApi.dll"));
}

INSTANTIATE_TEST_SUITE_P(Places, GobiSearch, ::testing::ValuesIn(kSearch),
                         [](const auto& info) { return std::string(info.param.name); });

struct EntryCase {
    const char* name;
    winsim::gobi::Variant variant;
    int result;
    int connects, disconnects;  // calls made by Connect
};

const EntryCase kEntries[] = {
    {"Both", winsim::gobi::Variant::Full, GOBI_OK, 1, 1},
    {"NoConnect", winsim::gobi::Variant::NoConnect, GOBI_ERR_NO_CONNECT, 0, 0},
    {"NoDisconnect", winsim::gobi::Variant::NoDisconnect, GOBI_ERR_NO_DISCONNECT, 1, 0},
    {"NoEntries", winsim::gobi::Variant::NoEntries, GOBI_ERR_NO_CONNECT, 0, 0},
};

class GobiEntries : public ::testing::TestWithParam<EntryCase> {};

// A library without an entry stays loaded until Unload, and Connect calls what is bound.
TEST_P(GobiEntries, ConnectCallsWhatIsBoundAndUnloadFrees) {
    const EntryCase& c = GetParam();
    Machine mc;
    winsim::gobi::SetVariant(*mc.m, c.variant);
    winsim::gobi::Install(*mc.m, kInX86);
    CGobiApiCtrl gobi;
    EXPECT_EQ(c.result, gobi.Load());
    EXPECT_TRUE(gobi.IsLoaded());
    EXPECT_EQ(0, gobi.Connect());
    EXPECT_EQ(c.connects, winsim::gobi::ConnectCalls(*mc.m));
    EXPECT_EQ(c.disconnects, winsim::gobi::DisconnectCalls(*mc.m));
    EXPECT_EQ(GOBI_OK, gobi.Unload());
    EXPECT_EQ(1, mc.modules().LoadCount(L"GobiApi.dll"));
    EXPECT_EQ(1, mc.modules().FreeCount(L"GobiApi.dll"));
    EXPECT_FALSE(mc.modules().IsLoaded(mc.scope->process(), L"GobiApi.dll"));
}

INSTANTIATE_TEST_SUITE_P(Variants, GobiEntries, ::testing::ValuesIn(kEntries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GobiApiCtrl, ConnectsBeforeDisconnectingWithNullArguments) {
    Machine mc;
    winsim::gobi::Install(*mc.m, kInProgramFiles);
    winsim::gobi::SetResults(*mc.m, 1, 2);  // results are not used
    CGobiApiCtrl gobi;
    ASSERT_EQ(GOBI_OK, gobi.Load());
    EXPECT_EQ(0, gobi.Connect());
    auto calls = winsim::gobi::Calls(*mc.m);
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("QCWWANConnect", calls[0].entry);
    EXPECT_TRUE(calls[0].null_args);
    EXPECT_EQ("QCWWANDisconnect", calls[1].entry);
    gobi.Unload();
}

// The connect thread's cycle: load, connect, unload for every request; nothing is called
// once the library is gone, and a second Unload reports that nothing was loaded.
TEST(GobiApiCtrl, EachRequestLoadsAndUnloads) {
    Machine mc;
    winsim::gobi::Install(*mc.m, kInX86);
    CGobiApiCtrl gobi;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(GOBI_OK, gobi.Load());
        gobi.Connect();
        EXPECT_EQ(GOBI_OK, gobi.Unload());
    }
    EXPECT_EQ(GOBI_ERR_NOT_LOADED, gobi.Unload());
    gobi.Connect();
    EXPECT_EQ(3, winsim::gobi::ConnectCalls(*mc.m));
    EXPECT_EQ(3, winsim::gobi::DisconnectCalls(*mc.m));
    EXPECT_EQ(3, mc.modules().LoadCount(L"GobiApi.dll"));
    EXPECT_EQ(3, mc.modules().FreeCount(L"GobiApi.dll"));
}

TEST(GobiApiCtrl, FailedLoadLeavesNothingToCall) {
    Machine mc;
    winsim::gobi::Install(*mc.m, kInX86);
    mc.modules().SetLoadFailure(L"GobiApi.dll", ERROR_ACCESS_DENIED);
    CGobiApiCtrl gobi;
    EXPECT_EQ(GOBI_ERR_NOT_FOUND, gobi.Load());
    EXPECT_FALSE(gobi.IsLoaded());
    gobi.Connect();
    EXPECT_EQ(0, winsim::gobi::ConnectCalls(*mc.m));
    EXPECT_EQ(GOBI_ERR_NOT_LOADED, gobi.Unload());
    EXPECT_EQ(0, mc.modules().FreeCount(L"GobiApi.dll"));
}

// A second Load without Unload frees the first library instead of leaking it; a Load that
// then fails leaves no entry of the freed library behind.
TEST(GobiApiCtrl, LoadAgainFreesTheEarlierLibrary) {
    Machine mc;
    winsim::gobi::Install(*mc.m, kInX86);
    CGobiApiCtrl gobi;
    ASSERT_EQ(GOBI_OK, gobi.Load());
    ASSERT_EQ(GOBI_OK, gobi.Load());
    EXPECT_EQ(2, mc.modules().LoadCount(L"GobiApi.dll"));
    EXPECT_EQ(1, mc.modules().FreeCount(L"GobiApi.dll"));
    ASSERT_TRUE(DeleteFileW(kInX86.c_str()));
    EXPECT_EQ(GOBI_ERR_NOT_FOUND, gobi.Load());
    EXPECT_FALSE(mc.modules().IsLoaded(mc.scope->process(), L"GobiApi.dll"));
    gobi.Connect();
    EXPECT_EQ(0, winsim::gobi::ConnectCalls(*mc.m));
}

TEST(GobiApiCtrl, TabletHasTheLibraryWhereTheSearchFindsIt) {
    auto m = winsim::Machine::CreateInMemory("tablet");
    winsim::files::CreateFolders(*m, kProgramDir);
    winsim::ProcessOptions o;
    o.image = kProgramDir + L"\\RVQXSVC.exe";
    winsim::ProcessScope scope(*m, o);
    CGobiApiCtrl gobi;
    EXPECT_EQ(GOBI_OK, gobi.Load());
    EXPECT_EQ(std::wstring(winsim::gobi::kGobiTabletPath), gobi.LibraryPath());
    gobi.Connect();
    gobi.Unload();
    EXPECT_EQ(1, winsim::gobi::ConnectCalls(*m));
}

}  // namespace
