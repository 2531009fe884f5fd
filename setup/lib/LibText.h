// Text helpers of the setup library.
#pragma once

#include <windows.h>

// Replaces every occurrence of pszSearch in pszText (a buffer of cchText characters) by
// pszReplace, from left to right, searching on after each inserted replacement (so a
// replacement holding the search text is not replaced again). Returns 1 when at least one
// occurrence was replaced, 0 when none was found, -1 when the result would not fit (the
// text is then left unchanged). An empty search text finds nothing.
int ReplaceAll(LPWSTR pszText, size_t cchText, LPCWSTR pszSearch, LPCWSTR pszReplace);
