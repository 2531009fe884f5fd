// A fresh simulated machine per test on which the real Setup program runs as a process:
// the test writes the script, encrypts it beside the program, runs the entry with a
// command line and reads back the exit code, the log lines and the files left behind.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include "CryptCtrl.h"
#include "winsim/files.h"
#include "winsim/machine.h"
#include "winsim/program.h"
#include "winsim/registry.h"

#include <memory>
#include <string>
#include <vector>

#include "SetupGlobals.h"
#include "winsim/msgbox.h"

// The program's resource table, built from its resource header for the tests.
std::shared_ptr<const winsim::ResourceTable> SetupTestResources();

struct SetupRun {
    int code = -1;
    DWORD pid = 0;
    uint64_t start_ms = 0, end_ms = 0;
    std::vector<std::wstring> logs;  // the texts logged, without the program name and line end

    // Logged and IndexOf match whole lines, but an entry beginning with "MARK_" stands for a
    // mark: the script's command CMD_SLEEP whose argument section has that name (none such:
    // it sleeps its default second), logged as "CMD_SLEEP <script> MARK_...".
    static bool Matches(const std::wstring& line, const std::wstring& entry) {
        if (entry.rfind(L"MARK_", 0) != 0) return line == entry;
        const std::wstring tail = L" " + entry;
        return line.rfind(L"CMD_SLEEP ", 0) == 0 && line.size() > tail.size() &&
               line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    }
    bool Logged(const std::wstring& text) const { return IndexOf(text) >= 0; }
    bool LoggedPrefix(const std::wstring& prefix) const {
        for (const auto& l : logs)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    }
    int Count(const std::wstring& text) const {
        int n = 0;
        for (const auto& l : logs) n += l == text;
        return n;
    }
    // Position of the first line that matches text, or -1.
    int IndexOf(const std::wstring& text) const {
        for (size_t i = 0; i < logs.size(); ++i)
            if (Matches(logs[i], text)) return static_cast<int>(i);
        return -1;
    }
};

class EngineTest : public ::testing::Test {
protected:
    static constexpr const wchar_t* kFolder = L"C:\\Program Files\\Quarven\\Setup";
    static constexpr const wchar_t* kImage = L"C:\\Program Files\\Quarven\\Setup\\Setup.exe";
    static constexpr const wchar_t* kIni = L"C:\\Program Files\\Quarven\\Setup\\Setup.ini";
    static constexpr const wchar_t* kDat = L"C:\\Program Files\\Quarven\\Setup\\Setup.dat";

    explicit EngineTest(const std::string& profile = "bare") : machine_(winsim::Machine::CreateInMemory(profile)) {
        winsim::files::CreateFolders(machine(), kFolder);
        winsim::InstallProgramImage(machine(), kImage, L"Setup.exe");
        winsim::Registry r(machine());
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugMode", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugLevel", 1);
        // The same for a 32-bit Setup, which reads the 32-bit view.
        r.SetDword(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\OrvashTool", L"DebugMode", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\WOW6432Node\\Quarven\\OrvashTool", L"DebugLevel", 1);
    }

    winsim::Machine& machine() { return *machine_; }

    // The script as UTF-16LE text with a byte-order mark.
    static std::string Utf16File(const std::wstring& text) {
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
        return bytes;
    }

    void PutFile(const std::wstring& path, const std::string& bytes) {
        ASSERT_TRUE(winsim::files::WriteBytes(machine(), path, bytes)) << winsim::Utf8(path);
    }
    bool FileExists(const std::wstring& path) { return winsim::files::Exists(machine(), path); }

    // Writes the plain script beside the program (Setup.ini).
    void WritePlainScript(const std::wstring& text) { PutFile(kIni, Utf16File(text)); }

    // Writes the script encrypted beside the program (Setup.dat) and removes the plain one.
    void WriteScript(const std::wstring& text) {
        WritePlainScript(text);
        {
            winsim::ProcessOptions tool;
            tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
            winsim::ProcessScope scope(machine(), tool);
            CCryptCtrl crypt;
            ASSERT_EQ(0, crypt.EncryptFile(kIni, kDat, CRYPT_PASS_PHRASE, 1));
            DeleteFileW(kIni);
        }
    }

    // The program as the machine starts it from an image file that names "Setup.exe".
    static winsim::ProgramInfo SetupProgram() {
        winsim::ProgramInfo info;
        info.file_name = L"Setup.exe";
        info.default_folder = kFolder;
        info.wwinmain = &SetupWinMain;
        info.resources = SetupTestResources();
        return info;
    }

    // Waits until the process has ended; its exit code.
    DWORD WaitForProcess(DWORD pid) {
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
        winsim::ProcessScope scope(machine(), tool);
        HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
        if (!p) {
            // Already gone from the process list: its record still tells.
            auto proc = machine().FindProcess(pid);
            return proc && proc->ended ? proc->exit_code : static_cast<DWORD>(-1);
        }
        WaitForSingleObject(p, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(p, &code);
        CloseHandle(p);
        return code;
    }

    // The texts a process logged.
    std::vector<std::wstring> LogsOf(DWORD pid, const std::wstring& prefix) {
        std::vector<std::wstring> v;
        for (const auto& l : machine().DebugOutput()) {
            if (l.pid != pid) continue;
            std::wstring t = l.text;
            if (t.rfind(prefix, 0) == 0) t = t.substr(prefix.size());
            while (!t.empty() && (t.back() == L'\n' || t.back() == L'\r')) t.pop_back();
            v.push_back(t);
        }
        return v;
    }

    // Runs Setup with the arguments (after the program name) as a new process.
    SetupRun Run(const std::wstring& args = L"", bool image64 = true, const std::wstring& image = kImage) {
        winsim::ProcessOptions o;
        o.image = image;
        o.image64 = image64;
        o.command_line = winsim::QuoteArgument(image) + (args.empty() ? L"" : L" " + args);
        auto p = machine().CreateProcess(o);
        winsim::ProgramInfo info = SetupProgram();
        SetupRun run;
        run.pid = p->pid;
        run.start_ms = machine().NowMs();
        run.code = winsim::RunProgram(machine(), p, info);
        run.end_ms = machine().NowMs();
        std::wstring prefix = image.substr(image.rfind(L'\\') + 1);
        prefix = prefix.substr(0, prefix.rfind(L'.')) + L":";
        run.logs = LogsOf(run.pid, prefix);
        return run;
    }

    // Files in the temporary folder of session 1's user.
    std::vector<std::wstring> TempFiles() {
        std::vector<std::wstring> names;
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
        winsim::ProcessScope scope(machine(), tool);
        WCHAR folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        std::wstring pattern = std::wstring(folder) + L"*";
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return names;
    }

    std::wstring TempFolder() {
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
        winsim::ProcessScope scope(machine(), tool);
        WCHAR folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        return folder;
    }

    // Another process of the machine that holds the named mutex until ReleaseHolder.
    void HoldMutex(const std::wstring& name) {
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\holder.exe";
        winsim::ProcessScope scope(machine(), tool);
        holder_pid_ = GetCurrentProcessId();
        CreateMutexW(nullptr, FALSE, name.c_str());
        CreateEventW(nullptr, TRUE, FALSE, L"EngineTestRelease");
        HANDLE t = CreateThread(
            nullptr, 0,
            [](LPVOID) -> DWORD {
                HANDLE e = OpenEventW(SYNCHRONIZE, FALSE, L"EngineTestRelease");
                WaitForSingleObject(e, INFINITE);
                CloseHandle(e);
                return 0;
            },
            nullptr, 0, nullptr);
        CloseHandle(t);
    }
    void ReleaseHolder() {
        if (!holder_pid_) return;
        winsim::ProcessOptions tool;
        tool.image = L"C:\\Windows\\System32\\winsimtest.exe";
        winsim::ProcessScope scope(machine(), tool);
        HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, holder_pid_);
        HANDLE e = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"EngineTestRelease");
        SetEvent(e);
        CloseHandle(e);
        if (p) {
            WaitForSingleObject(p, INFINITE);
            CloseHandle(p);
        }
        holder_pid_ = 0;
    }
    ~EngineTest() override { ReleaseHolder(); }

private:
    std::unique_ptr<winsim::Machine> machine_;
    DWORD holder_pid_ = 0;
};
