// Text helpers of the setup library.
#pragma once

#include <windows.h>

#include <stdlib.h>
#include <string.h>

// Replaces every occurrence of pszSearch in pszText (a buffer of cchText characters) by
// pszReplace, from left to right, searching on after each inserted replacement (so a
// replacement holding the search text is not replaced again). Returns 1 when at least one
// occurrence was replaced, 0 when none was found, -1 when the result would not fit (the
// text is then left unchanged). An empty search text finds nothing.
int ReplaceAll(LPWSTR pszText, size_t cchText, LPCWSTR pszSearch, LPCWSTR pszReplace);

// 1 when the INI file has a section of that name (without regard to case), however many
// sections it has; 0 for an empty name.
int IniHasSection(LPCWSTR pszIni, LPCWSTR pszName);

// A text that grows as lines are added (the standard strings would bring the C++ library's
// stream code, and with it imports older systems lack).
struct TextBuf {
    LPWSTR p;
    size_t n, cap;
    int bFailed;
    TextBuf() : p(NULL), n(0), cap(0), bFailed(0) {}
    ~TextBuf() { free(p); }
    void Add(LPCWSTR s, size_t len) {
        if (len == 0 || bFailed) return;
        if (n + len + 1 > cap) {
            size_t c = (n + len + 1) * 2;
            LPWSTR q = static_cast<LPWSTR>(realloc(p, c * sizeof(WCHAR)));
            if (!q) {
                bFailed = 1;
                return;
            }
            p = q;
            cap = c;
        }
        memcpy(p + n, s, len * sizeof(WCHAR));
        n += len;
        p[n] = 0;
    }
    void Add(LPCWSTR s) { Add(s, (size_t)lstrlenW(s)); }
    // Adds a formatted line of at most 2047 characters; a longer one fails the text.
    void AddFormat(LPCWSTR pszFormat, ...);

private:
    TextBuf(const TextBuf&);
    TextBuf& operator=(const TextBuf&);
};
