// winsim: shell32's ShellExecuteW over the file associations of HKEY_CLASSES_ROOT and
// CreateProcessW.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>

namespace {

HINSTANCE Result(INT_PTR code) { return reinterpret_cast<HINSTANCE>(code); }

std::wstring DefaultValue(const std::wstring& key) {
    WCHAR text[1024];
    DWORD cb = sizeof(text);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &cb) != ERROR_SUCCESS)
        return L"";
    return text;
}

void ReplaceAll(std::wstring& s, const std::wstring& token, const std::wstring& value) {
    for (size_t i = s.find(token); i != std::wstring::npos; i = s.find(token, i + value.size()))
        s.replace(i, token.size(), value);
}

}  // namespace

extern "C" {

HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, INT) {
    if (verb && *verb && lstrcmpiW(verb, L"open") != 0) return Result(SE_ERR_NOASSOC);
    if (!file || !*file) return Result(ERROR_FILE_NOT_FOUND);
    WCHAR full[MAX_PATH * 2];
    if (!GetFullPathNameW(file, MAX_PATH * 2, full, nullptr)) return Result(ERROR_FILE_NOT_FOUND);
    DWORD attrs = GetFileAttributesW(full);
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return Result(ERROR_FILE_NOT_FOUND);
    std::wstring parameters = params ? params : L"";
    std::wstring ext = PathFindExtensionW(full);
    std::wstring cmdline;
    std::wstring app;
    if (!lstrcmpiW(ext.c_str(), L".exe") || !lstrcmpiW(ext.c_str(), L".com")) {
        app = full;
        cmdline = L"\"" + app + L"\"" + (parameters.empty() ? L"" : L" " + parameters);
    } else {
        std::wstring cls = ext.empty() ? L"" : DefaultValue(ext);
        cmdline = cls.empty() ? L"" : DefaultValue(cls + L"\\shell\\open\\command");
        if (cmdline.empty()) return Result(SE_ERR_NOASSOC);
        if (cmdline.find(L"%1") == std::wstring::npos) cmdline += L" \"%1\"";
        ReplaceAll(cmdline, L"%*", parameters);
        ReplaceAll(cmdline, L"%1", full);
    }
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring buffer = cmdline;
    if (!CreateProcessW(app.empty() ? nullptr : app.c_str(), &buffer[0], nullptr, nullptr, FALSE, 0, nullptr,
                        dir && *dir ? dir : nullptr, &si, &pi))
        return Result(GetLastError() == ERROR_ACCESS_DENIED ? SE_ERR_ACCESSDENIED : ERROR_BAD_FORMAT);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return Result(42);
}

}  // extern "C"
