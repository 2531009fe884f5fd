#include "SetupContext.h"

#include <shlwapi.h>

CSetupContext* g_pSetupContext = NULL;

namespace {

// The running module's paths, read again at every call (a test machine may run several
// programs in one host process).
class CModuleContext : public CSetupContext {
public:
    CModuleContext() { m_szPath[0] = m_szFileName[0] = m_szName[0] = m_szFolder[0] = m_szShortFolder[0] = 0; }
    LPCWSTR GetProgramPath() override { return Fill()->m_szPath; }
    LPCWSTR GetProgramFileName() override { return Fill()->m_szFileName; }
    LPCWSTR GetProgramName() override { return Fill()->m_szName; }
    LPCWSTR GetProgramFolder() override { return Fill()->m_szFolder; }
    LPCWSTR GetShortProgramFolder() override { return Fill()->m_szShortFolder; }
    LPCWSTR GetOemString() override { return L""; }
    int GetWowFlag() override { return 0; }

private:
    CModuleContext* Fill() {
        DWORD n = GetModuleFileNameW(NULL, m_szPath, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) {
            m_szPath[0] = 0;
            return this;
        }
        lstrcpynW(m_szFileName, PathFindFileNameW(m_szPath), MAX_PATH);
        lstrcpynW(m_szName, m_szFileName, MAX_PATH);
        PathRemoveExtensionW(m_szName);
        lstrcpynW(m_szFolder, m_szPath, MAX_PATH);
        PathRemoveFileSpecW(m_szFolder);
        DWORD s = GetShortPathNameW(m_szFolder, m_szShortFolder, MAX_PATH);
        if (s == 0 || s >= MAX_PATH) lstrcpynW(m_szShortFolder, m_szFolder, MAX_PATH);
        return this;
    }

    WCHAR m_szPath[MAX_PATH];
    WCHAR m_szFileName[MAX_PATH];
    WCHAR m_szName[MAX_PATH];
    WCHAR m_szFolder[MAX_PATH];
    WCHAR m_szShortFolder[MAX_PATH];
};

}  // namespace

CSetupContext* GetSetupContext() {
    if (g_pSetupContext) return g_pSetupContext;
    static CModuleContext s_module;
    return &s_module;
}

int MakeProgramPath(LPCWSTR pszPath, LPWSTR pszOut) {
    if (!pszPath || !pszOut) return 0;
    if (!PathIsRelativeW(pszPath)) {
        if (lstrlenW(pszPath) >= MAX_PATH) return 0;
        lstrcpynW(pszOut, pszPath, MAX_PATH);
        return 1;
    }
    WCHAR szJoined[MAX_PATH];
    LPCWSTR pszFolder = GetSetupContext()->GetProgramFolder();
    if (lstrlenW(pszFolder) >= MAX_PATH) return 0;
    lstrcpynW(szJoined, pszFolder, MAX_PATH);
    if (!PathAppendW(szJoined, pszPath)) return 0;
    lstrcpynW(pszOut, szJoined, MAX_PATH);
    return 1;
}
