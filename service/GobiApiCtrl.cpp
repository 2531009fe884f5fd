// CGobiApiCtrl: the module vendor's library bound at run time.
#include "GobiApiCtrl.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

namespace {

// Where the library lies below a Program Files folder.
const WCHAR kProgramFilesSubPath[] = L"Sierra Wireless Inc\\Utils\\" GOBIAPI_DLL_NAME;

// Appends "\" (when missing) and name to path; FALSE when it does not fit.
BOOL AppendPath(LPWSTR path, DWORD cch, LPCWSTR name) {
    size_t len = 0;
    if (FAILED(StringCchLengthW(path, cch, &len))) return FALSE;
    if (len == 0 || path[len - 1] != L'\\') {
        if (FAILED(StringCchCatW(path, cch, L"\\"))) return FALSE;
    }
    return SUCCEEDED(StringCchCatW(path, cch, name));
}

}  // namespace

CGobiApiCtrl::CGobiApiCtrl() : m_bLoaded(FALSE), m_hModule(NULL), m_pfnConnect(NULL), m_pfnDisconnect(NULL) {
    m_szLibPath[0] = L'\0';
}

CGobiApiCtrl::~CGobiApiCtrl() {}

void CGobiApiCtrl::Clear() {
    m_bLoaded = FALSE;
    m_hModule = NULL;
    m_pfnConnect = NULL;
    m_pfnDisconnect = NULL;
}

int CGobiApiCtrl::ProgramFolderPath(LPWSTR out, DWORD cch) const {
    WCHAR image[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, image, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return GOBI_ERR_NO_MODULE_PATH;
    LPWSTR slash = NULL;
    for (LPWSTR p = image; *p; ++p) {
        if (*p == L'\\') slash = p;
    }
    if (!slash) return GOBI_ERR_NO_MODULE_PATH;
    *slash = L'\0';
    // The folder in its short form; when that cannot be formed the search ends there.
    DWORD s = GetShortPathNameW(image, out, cch);
    if (s == 0 || s >= cch || !AppendPath(out, cch, GOBIAPI_DLL_NAME)) return GOBI_NO_SHORT_FOLDER;
    return GOBI_OK;
}

BOOL CGobiApiCtrl::ProgramFilesPath(LPCWSTR envName, LPWSTR out, DWORD cch) const {
    DWORD n = GetEnvironmentVariableW(envName, out, cch);
    if (n == 0 || n >= cch) {
        if (FAILED(SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES, NULL, SHGFP_TYPE_CURRENT, out))) return FALSE;
    }
    return AppendPath(out, cch, kProgramFilesSubPath);
}

int CGobiApiCtrl::Load() {
    if (m_bLoaded) Unload();
    Clear();
    m_szLibPath[0] = L'\0';

    WCHAR places[3][MAX_PATH];
    BOOL formed[3] = {TRUE, FALSE, FALSE};
    int folder = ProgramFolderPath(places[0], MAX_PATH);
    if (folder == GOBI_NO_SHORT_FOLDER) return GOBI_OK;  // nothing loaded
    if (folder != GOBI_OK) return folder;
    formed[1] = ProgramFilesPath(L"ProgramFiles(x86)", places[1], MAX_PATH);
    formed[2] = ProgramFilesPath(L"ProgramFiles", places[2], MAX_PATH);

    int found = -1;
    for (int i = 0; i < 3 && found < 0; ++i) {
        if (formed[i] && PathFileExistsW(places[i])) found = i;
    }
    if (found < 0) return GOBI_ERR_NOT_FOUND;
    StringCchCopyW(m_szLibPath, MAX_PATH, places[found]);

    HMODULE h = LoadLibraryW(m_szLibPath);
    if (!h) return GOBI_ERR_NOT_FOUND;
    m_hModule = h;
    m_bLoaded = TRUE;

    m_pfnConnect =
        reinterpret_cast<PFN_QCWWANConnect>(reinterpret_cast<void (*)(void)>(GetProcAddress(h, GOBIAPI_CONNECT_NAME)));
    if (!m_pfnConnect) return GOBI_ERR_NO_CONNECT;
    m_pfnDisconnect = reinterpret_cast<PFN_QCWWANDisconnect>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(h, GOBIAPI_DISCONNECT_NAME)));
    if (!m_pfnDisconnect) return GOBI_ERR_NO_DISCONNECT;
    return GOBI_OK;
}

int CGobiApiCtrl::Connect() {
    if (!m_bLoaded || !m_hModule) return 0;
    if (m_pfnConnect) m_pfnConnect(NULL, NULL);
    if (m_pfnDisconnect) m_pfnDisconnect();
    return 0;
}

int CGobiApiCtrl::Unload() {
    if (!m_bLoaded) {
        Clear();
        return GOBI_ERR_NOT_LOADED;
    }
    if (m_hModule) FreeLibrary(m_hModule);
    Clear();
    return GOBI_OK;
}
