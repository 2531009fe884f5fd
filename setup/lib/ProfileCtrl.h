// Reading INI and INF files: names relative to the program's folder, values cut at their
// first ';', and %name% tokens replaced from the string section of the UI language.
#pragma once

#include <windows.h>

#include "LibList.h"

#define PROFILE_KEY_CCH 264
#define PROFILE_VALUE_CCH 504
#define PROFILE_READ_CCH 260
#define PROFILE_NAMES_CCH 1024
#define PROFILE_SECTION_CCH 20480
#define PROFILE_FIELD_CCH 512
#define PROFILE_TOKEN_CCH 260
// Substitution passes over one text before it stops (a value that refers to itself).
#define PROFILE_MAX_PASSES 64

struct ProfileEntry {
    WCHAR szKey[PROFILE_KEY_CCH];
    WCHAR szValue[PROFILE_VALUE_CCH];
};
typedef CRecordList<ProfileEntry> CProfileEntryList;

class CProfileCtrl {
public:
    CProfileCtrl();
    ~CProfileCtrl();

    // -1 takes the user's UI language; returns the language now held.
    int SetLanguage(int nLanguage);
    int GetLanguage() const { return m_nLanguage; }
    // Keeps the file (a relative name is taken in the program's folder, short form); 1
    // when it exists.
    int Open(LPCWSTR pszFile);
    int Open(LPCWSTR pszFile, int nLanguage);
    LPCWSTR GetFilePath() const { return m_szFilePath; }

    int HasSection(LPCWSTR pszSection);
    // A value of cchOut characters cut at its first ';', substituted on request; 1 when a
    // value was read.
    int GetString(LPCWSTR pszSection, LPCWSTR pszKey, LPWSTR pszOut, DWORD cchOut, int bSubstitute);
    static int StripComment(LPWSTR pszText);
    // Replaces the %name% tokens of the text (a buffer of cchText characters); 1 when a
    // token was found in the string section.
    int Substitute(LPWSTR pszText, DWORD cchText);
    int GetKeyValues(LPCWSTR pszSection, CProfileEntryList* pList, int bSubstitute);
    int GetSectionLines(LPCWSTR pszSection, CTextList* pList, int bSubstitute, LPCWSTR pszSeparators, int nField);
    // The n-th field (from 1) of the text, fields cut at any separator character.
    static int GetField(LPCWSTR pszText, LPCWSTR pszSeparators, int nField, LPWSTR pszOut, DWORD cchOut);
    static CTextList* Split(CTextList* pList, LPCWSTR pszText, LPCWSTR pszSeparator);
    // Writes into an existing file (null: the kept one); 0 when the file does not exist or
    // the write failed.
    int WriteString(LPCWSTR pszSection, LPCWSTR pszKey, LPCWSTR pszValue, LPCWSTR pszFile);

private:
    CProfileCtrl(const CProfileCtrl&);
    CProfileCtrl& operator=(const CProfileCtrl&);

    int m_nLanguage;
    WCHAR m_szFilePath[MAX_PATH + 1];
    WCHAR m_szProgramFolder[MAX_PATH];
    WCHAR m_szShortProgramFolder[MAX_PATH];
};
