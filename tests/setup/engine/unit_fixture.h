// The engine's objects built directly in a process of a fresh machine (no entry routine):
// for what tests call one by one (macros, the WOW switch, the environment).
#pragma once

#include <windows.h>

#include "DbgMac.h"
#include "ModemCtrl.h"
#include "NetDevCtrl.h"
#include "SetupCtrl.h"
#include "SetupEnv.h"
#include "SetupExec.h"
#include "SetupGlobals.h"
#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/registry.h"

#include <memory>
#include <string>
#include <vector>

class EngineUnitTest : public SimTest {
protected:
    static constexpr const wchar_t* kFolder = L"C:\\Program Files\\Quarven\\Setup";

    explicit EngineUnitTest(const std::string& profile = "bare",
                            const std::wstring& image = L"C:\\Program Files\\Quarven\\Setup\\Setup.exe")
        : SimTest(profile, image) {
        winsim::files::CreateFolders(machine(), kFolder);
        winsim::Registry r(machine());
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugMode", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugLevel", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\OrvashTool", L"DebugMode", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\OrvashTool", L"DebugLevel", 1);
    }
    ~EngineUnitTest() override { Destroy(); }

    // Builds the global objects as the entry routine does, binding kernel32's entries.
    void Create() {
        g_pSetupEnv = new CSetupEnv();
        g_pSetupContext = g_pSetupEnv;
        g_pDebugLogHost = g_pSetupEnv;
        g_pDebugCtrl = new CDebugCtrl();
        g_pNetDevCtrl = new CNetDevCtrl();
        g_pModemCtrl = new CModemCtrl();
        g_pSetupCtrl = new CSetupCtrl();
        g_hKernel32 = LoadLibraryW(L"Kernel32.dll");
        g_pfnIsWow64Process = Bind<PFN_IsWow64Process>("IsWow64Process");
        g_pfnWow64DisableWow64FsRedirection =
            Bind<PFN_Wow64DisableWow64FsRedirection>("Wow64DisableWow64FsRedirection");
        g_pfnWow64RevertWow64FsRedirection = Bind<PFN_Wow64RevertWow64FsRedirection>("Wow64RevertWow64FsRedirection");
        g_pfnWow64EnableWow64FsRedirection = Bind<PFN_Wow64EnableWow64FsRedirection>("Wow64EnableWow64FsRedirection");
    }

    void Destroy() {
        if (g_pSetupEnv && g_pSetupEnv->GetTempIniPath()[0]) DeleteFileW(g_pSetupEnv->GetTempIniPath());
        delete g_pSetupCtrl;
        g_pSetupCtrl = nullptr;
        delete g_pModemCtrl;
        g_pModemCtrl = nullptr;
        delete g_pNetDevCtrl;
        g_pNetDevCtrl = nullptr;
        delete g_pDebugCtrl;
        g_pDebugCtrl = nullptr;
        g_pDebugLogHost = nullptr;
        g_pSetupContext = nullptr;
        delete g_pSetupEnv;
        g_pSetupEnv = nullptr;
        if (g_hKernel32) FreeLibrary(g_hKernel32);
        g_hKernel32 = nullptr;
        g_pfnIsWow64Process = nullptr;
        g_pfnWow64DisableWow64FsRedirection = nullptr;
        g_pfnWow64RevertWow64FsRedirection = nullptr;
        g_pfnWow64EnableWow64FsRedirection = nullptr;
        g_bWowFlag = 0;
    }

    // The texts logged, without the program name and the line end.
    std::vector<std::wstring> Logs() {
        std::vector<std::wstring> v;
        for (std::wstring t : DebugLines()) {
            if (t.rfind(L"Setup:", 0) == 0) t = t.substr(6);
            while (!t.empty() && (t.back() == L'\n' || t.back() == L'\r')) t.pop_back();
            v.push_back(t);
        }
        return v;
    }
    bool Logged(const std::wstring& text) {
        for (const auto& l : Logs())
            if (l == text) return true;
        return false;
    }

private:
    template <class T>
    T Bind(const char* name) {
        return reinterpret_cast<T>(reinterpret_cast<void (*)(void)>(GetProcAddress(g_hKernel32, name)));
    }
};
