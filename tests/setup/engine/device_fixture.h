// The fixture of the device, modem and wireless-device command tests: a script of one
// section [S], the engine built directly, the commands run through their table rows, and
// the device tree's states read back.
#pragma once

#include "unit_fixture.h"

#include <cfgmgr32.h>

#include "device_state.h"
#include "winsim/devices.h"
#include "winsim/wireless.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

class DeviceCommandTest : public EngineUnitTest {
protected:
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Devices.ini";

    winsim::Registry reg() { return winsim::Registry(machine()); }
    winsim::DeviceTree tree() { return winsim::DeviceTree(machine()); }

    static std::string Utf16(const std::wstring& text) {
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        return bytes;
    }
    // Writes the script ([S] holds the lines), builds the engine with the arguments.
    void Start(const std::wstring& lines, const std::wstring& args = L"") {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), kScript, Utf16(L"[S]\r\n" + lines)));
        process().command_line = L"\"C:\\Program Files\\Quarven\\Setup\\Setup.exe\" " + args;
        Create();
        g_pSetupEnv->SetScriptPath(kScript);
        mark_ = Logs().size();
    }
    // The texts logged since the last Start.
    std::vector<std::wstring> Since() {
        std::vector<std::wstring> v = Logs();
        v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(mark_, v.size())));
        for (auto& l : v)
            while (!l.empty() && l.back() == L'\n') l.pop_back();
        return v;
    }
    bool LoggedSince(const std::wstring& text) {
        for (const auto& l : Since())
            if (l == text) return true;
        return false;
    }
    unsigned Run(const wchar_t* keyword, int* quit = nullptr, const wchar_t* suffix = L"") {
        const SetupCommand* row = FindSetupCommand(keyword);
        EXPECT_NE(nullptr, row);
        int q = 0;
        unsigned r = row ? row->pfnHandler(suffix, L"S", &q, 0) : 0xFFFFFFFF;
        if (quit) *quit = q;
        return r;
    }
    // A device of the Net class below the root with the hardware IDs.
    DWORD Add(const std::wstring& instance, const std::vector<std::wstring>& ids, bool attached = true,
              DWORD parent = 0) {
        winsim::DeviceSpec d;
        d.instance_id = instance;
        d.parent = parent;
        d.class_name = L"Net";
        d.class_guid = winsim::devclass::kNet;
        d.hardware_ids = ids;
        d.attached = attached;
        return tree().Add(d);
    }
    std::string NodeState(DWORD dn) { return NodeStateOf(tree(), dn); }
    void Disable(DWORD dn) { ASSERT_TRUE(DisableNode(tree(), dn)); }
    size_t Count(const std::wstring& text) {
        size_t n = 0;
        for (const auto& l : Since()) n += l == text;
        return n;
    }

    size_t mark_ = 0;
};

template <class Case>
class DeviceCommandCase : public DeviceCommandTest, public ::testing::WithParamInterface<Case> {};

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& i) {
    return i.param.name;
}
