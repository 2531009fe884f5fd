#include <cstring>
#include <windows.h>
int WINAPI MultiByteToWideChar(UINT, DWORD, LPCSTR s, int n, LPWSTR w, int cw) {
    if (n < 0) n = (int)strlen(s) + 1;
    if (!w) return n;
    int k = n < cw ? n : cw;
    for (int i = 0; i < k; ++i) w[i] = (unsigned char)s[i];
    return k;
}
