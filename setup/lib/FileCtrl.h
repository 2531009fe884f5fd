// File operations of the setup commands: version resource strings, existence, attributes,
// renaming with paths relative to the program's folder, and copying a text file while
// replacing placeholders.
#pragma once

#include <windows.h>

#include "LibList.h"

#define FILECTRL_TEXT_CCH 260
// Pieces of a line that CopyTextReplace reads at a time, and the room a piece has to grow
// by its replacements.
#define FILECTRL_PIECE_CCH 100
#define FILECTRL_WORK_CCH 2048

struct ReplacePair {
    WCHAR szSearch[FILECTRL_TEXT_CCH];
    WCHAR szReplace[FILECTRL_TEXT_CCH];
};
typedef CRecordList<ReplacePair> CReplaceList;

class CFileCtrl {
public:
    CFileCtrl() {}
    ~CFileCtrl() {}

    // A string of the file's version resource, from its first translation, into pszOut of
    // cchOut characters (cut to fit); 1 when found.
    int GetFileResource(LPCWSTR pszFile, LPCWSTR pszEntry, LPWSTR pszOut, DWORD cchOut = FILECTRL_TEXT_CCH);
    int GetFileVersion(LPCWSTR pszFile, LPWSTR pszOut, DWORD cchOut = FILECTRL_TEXT_CCH);
    // True for folders too.
    int IsFileExist(LPCWSTR pszPath);
    // A relative path is taken in the program's folder; 0 when the path does not fit.
    int SetAttrib(LPCWSTR pszPath, DWORD dwAttributes);
    // Fails when the new name exists; relative paths as for SetAttrib.
    int FileRename(LPCWSTR pszOldPath, LPCWSTR pszNewPath);
    // Copies an 8-bit text file, the pairs applied to each piece of up to 99 characters in
    // list order. 0 when a file cannot be opened, a piece grows beyond the room it has, a
    // write fails or a close fails (a partial destination is then removed).
    int CopyTextReplace(const CReplaceList* pList, LPCWSTR pszSource, LPCWSTR pszDestination);
};
