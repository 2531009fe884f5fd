// CGobiApiCtrl: binds the module vendor's library GobiApi.dll at run time and triggers a
// connect followed by a disconnect (the Gobi connect thread loads, connects and unloads
// for each request).
#pragma once

#include <windows.h>

#include "GobiApi.h"

// Results of CGobiApiCtrl::Load and CGobiApiCtrl::Unload.
enum {
    GOBI_OK = 0,                  // loaded and both entries bound / unloaded
    GOBI_ERR_NOT_FOUND = 2,       // no library found or loadable, or no Program Files folder
    GOBI_ERR_NO_CONNECT = 3,      // the library lacks QCWWANConnect (it stays loaded)
    GOBI_ERR_NO_DISCONNECT = 4,   // the library lacks QCWWANDisconnect (it stays loaded)
    GOBI_ERR_NO_MODULE_PATH = 5,  // the program's own path is unknown
    GOBI_ERR_NOT_LOADED = 6,      // Unload without a loaded library
    GOBI_NO_SHORT_FOLDER = -1     // (inside Load) the program folder has no short form
};

class CGobiApiCtrl {
public:
    CGobiApiCtrl();
    virtual ~CGobiApiCtrl();  // does not unload: each request unloads

    // Finds the library (the program's folder in its short form, then the Program Files
    // folders) and binds both entries. A library already loaded is unloaded first. When the
    // short form of the program's folder cannot be formed the result is 0 and nothing is
    // loaded.
    int Load();
    // QCWWANConnect, then QCWWANDisconnect, each only when bound in a loaded library;
    // their results are not used. Always 0.
    int Connect();
    // FreeLibrary of a loaded library; clears the handle and both entries.
    int Unload();

    BOOL IsLoaded() const { return m_bLoaded; }
    LPCWSTR LibraryPath() const { return m_szLibPath; }

private:
    // Builds the candidate path of one search place into out (MAX_PATH). The program's
    // folder: GOBI_OK, GOBI_ERR_NO_MODULE_PATH, or GOBI_NO_SHORT_FOLDER when its short form
    // cannot be formed. A Program Files place: FALSE when it cannot be formed.
    int ProgramFolderPath(LPWSTR out, DWORD cch) const;
    BOOL ProgramFilesPath(LPCWSTR envName, LPWSTR out, DWORD cch) const;
    void Clear();

    BOOL m_bLoaded;
    WCHAR m_szLibPath[MAX_PATH];
    HMODULE m_hModule;
    PFN_QCWWANConnect m_pfnConnect;
    PFN_QCWWANDisconnect m_pfnDisconnect;
};
