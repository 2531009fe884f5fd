// Shortcut files below the shell's special folders: made through the shell link object,
// deleted as plain files. Keeps no state.
#pragma once

#include <windows.h>

class CShortcutCtrl {
public:
    CShortcutCtrl() {}
    ~CShortcutCtrl() {}

    // A link at the shell folder (a CSIDL value) joined with the sub-path, folders made on
    // the way; a relative target is taken in the program's folder, and the working folder
    // is the target's folder as written. 1 when saved; 0 also when the shell folder cannot
    // be found.
    int CreateLinkFileFromIni(int nFolder, LPCWSTR pszSubPath, LPCWSTR pszTarget, LPCWSTR pszArguments);
    int CreateShellLink(LPCWSTR pszLinkPath, LPCWSTR pszTarget, LPCWSTR pszArguments, LPCWSTR pszWorkingDir,
                        int nShowCmd);
    // 1 when the file was deleted; 0 when the shell folder or the file is missing, or it
    // cannot be deleted.
    int DeleteLinkFile(int nFolder, LPCWSTR pszSubPath);

private:
    // The shell folder joined with the sub-path into pszOut (MAX_PATH characters).
    static int LinkPath(int nFolder, LPCWSTR pszSubPath, LPWSTR pszOut);
};
