// winsim: shell32's IsUserAnAdmin (the machine's administrator setting, winsim/osinfo.h) and
// SHGetFolderPathW (the special folders of the calling process's user and bitness).
#include <windows.h>
#include <shlobj.h>

#include "winsim/osinfo.h"

#include <algorithm>
#include <cwchar>
#include <string>

using namespace winsim;

namespace {

void CopyText(WCHAR* out, size_t cch, const std::wstring& s) {
    size_t n = std::min(s.size(), cch - 1);
    std::wmemcpy(out, s.data(), n);
    out[n] = 0;
}

}  // namespace

extern "C" {

BOOL WINAPI IsUserAnAdmin(void) {
    Process& p = CurrentProcess();
    if (p.session == 0 || IEquals(p.user, L"SYSTEM")) return TRUE;
    return os::IsUserAdmin(p.machine, p.user) ? TRUE : FALSE;
}

HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR out) {
    if (!out) return E_INVALIDARG;
    Process& p = CurrentProcess();
    bool create = (csidl & CSIDL_FLAG_CREATE) != 0;
    int id = csidl & ~CSIDL_FLAG_MASK;
    std::wstring profile = p.GetEnv(L"USERPROFILE");
    std::wstring pd = L"C:\\ProgramData";
    std::wstring start = L"\\Microsoft\\Windows\\Start Menu";
    std::wstring path;
    switch (id) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: path = profile + L"\\Desktop"; break;
    case CSIDL_PERSONAL: path = profile + L"\\Documents"; break;
    case CSIDL_APPDATA: path = profile + L"\\AppData\\Roaming"; break;
    case CSIDL_LOCAL_APPDATA: path = profile + L"\\AppData\\Local"; break;
    case CSIDL_STARTMENU: path = profile + L"\\AppData\\Roaming" + start; break;
    case CSIDL_PROGRAMS: path = profile + L"\\AppData\\Roaming" + start + L"\\Programs"; break;
    case CSIDL_STARTUP: path = profile + L"\\AppData\\Roaming" + start + L"\\Programs\\Startup"; break;
    case CSIDL_PROFILE: path = profile; break;
    case CSIDL_COMMON_STARTMENU: path = pd + start; break;
    case CSIDL_COMMON_PROGRAMS: path = pd + start + L"\\Programs"; break;
    case CSIDL_COMMON_STARTUP: path = pd + start + L"\\Programs\\Startup"; break;
    case CSIDL_COMMON_APPDATA: path = pd; break;
    case CSIDL_COMMON_DESKTOPDIRECTORY: path = L"C:\\Users\\Public\\Desktop"; break;
    case CSIDL_COMMON_DOCUMENTS: path = L"C:\\Users\\Public\\Documents"; break;
    case CSIDL_WINDOWS: path = L"C:\\Windows"; break;
    case CSIDL_FONTS: path = L"C:\\Windows\\Fonts"; break;
    case CSIDL_SYSTEM: path = p.image64 ? L"C:\\Windows\\system32" : L"C:\\Windows\\SysWOW64"; break;
    case CSIDL_SYSTEMX86: path = L"C:\\Windows\\SysWOW64"; break;
    case CSIDL_PROGRAM_FILES: path = p.image64 ? L"C:\\Program Files" : L"C:\\Program Files (x86)"; break;
    case CSIDL_PROGRAM_FILESX86: path = L"C:\\Program Files (x86)"; break;
    case CSIDL_PROGRAM_FILES_COMMON:
        path = p.image64 ? L"C:\\Program Files\\Common Files" : L"C:\\Program Files (x86)\\Common Files";
        break;
    default: return E_INVALIDARG;
    }
    DWORD attr = GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!create) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        for (size_t pos = path.find(L'\\', 3);; pos = path.find(L'\\', pos + 1)) {
            CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
            if (pos == std::wstring::npos) break;
        }
        attr = GetFileAttributesW(path.c_str());
        if (attr == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    }
    if (path.size() >= MAX_PATH) return E_INVALIDARG;
    CopyText(out, MAX_PATH, path);
    return S_OK;
}

}  // extern "C"
