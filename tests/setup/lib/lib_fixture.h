// A simulated machine with the setup program's folder, a debug log that the test reads
// back and a setup context the test controls.
#pragma once

#include <windows.h>

#include "DbgMac.h"
#include "SetupContext.h"
#include "sim_fixture.h"
#include "winsim/files.h"
#include "winsim/registry.h"

#include <memory>
#include <string>
#include <vector>

class TestContext : public CSetupContext {
public:
    LPCWSTR GetProgramPath() override { return L"C:\\Program Files\\Quarven\\Setup\\Setup.exe"; }
    LPCWSTR GetProgramFileName() override { return L"Setup.exe"; }
    LPCWSTR GetProgramName() override { return L"Setup"; }
    LPCWSTR GetProgramFolder() override { return L"C:\\Program Files\\Quarven\\Setup"; }
    LPCWSTR GetShortProgramFolder() override { return L"C:\\PROGRA~1\\Quarven\\Setup"; }
    LPCWSTR GetOemString() override { return oem.c_str(); }
    int GetWowFlag() override { return wow; }

    std::wstring oem = L"QV2010J";
    int wow = 0;
};

class TestLogHost : public CDebugLogHost {
public:
    LPCWSTR GetProgramName() override { return L"Setup"; }
    LPCWSTR GetProgramVersion() override { return L"1.0.0.1"; }
    LPCWSTR GetLogFilePath() override { return L"C:\\Program Files\\Quarven\\Setup\\Setup.log"; }
};

class LibTest : public SimTest {
protected:
    static constexpr const wchar_t* kFolder = L"C:\\Program Files\\Quarven\\Setup";

    LibTest() {
        winsim::files::CreateFolders(machine(), kFolder);
        winsim::Registry r(machine());
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugMode", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugLevel", DEBUG_LEVEL_DEBUGGER);
        g_pSetupContext = &context_;
        g_pDebugLogHost = &host_;
        dbg_ = std::make_unique<CDebugCtrl>();
        g_pDebugCtrl = dbg_.get();
    }
    ~LibTest() override {
        g_pDebugCtrl = nullptr;
        g_pDebugLogHost = nullptr;
        g_pSetupContext = nullptr;
    }

    // The texts logged since the start (or the last ClearLogs), without the program-name
    // prefix, the line end and the two header lines.
    std::vector<std::wstring> Logs() {
        std::vector<std::wstring> v;
        for (const std::wstring& l : DebugLines()) {
            std::wstring t = l;
            if (t.rfind(L"Setup:", 0) == 0) t = t.substr(6);
            if (!t.empty() && t.back() == L'\n') t.pop_back();
            if (t.rfind(L"Version ", 0) == 0 || t.rfind(L"Debug level = ", 0) == 0) continue;
            v.push_back(t);
        }
        return std::vector<std::wstring>(v.begin() + static_cast<std::ptrdiff_t>(skip_), v.end());
    }
    void ClearLogs() {
        skip_ = 0;
        skip_ = Logs().size();
    }
    bool Logged(const std::wstring& text) {
        for (const auto& l : Logs())
            if (l == text) return true;
        return false;
    }

    std::wstring InFolder(const std::wstring& name) { return std::wstring(kFolder) + L"\\" + name; }
    void PutFile(const std::wstring& path, const std::string& bytes) {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), path, bytes)) << winsim::Utf8(path);
    }
    std::string FileBytes(const std::wstring& path) {
        return winsim::files::ReadBytes(machine(), path).value_or("<none>");
    }

    TestContext context_;

private:
    TestLogHost host_;
    std::unique_ptr<CDebugCtrl> dbg_;
    size_t skip_ = 0;
};
