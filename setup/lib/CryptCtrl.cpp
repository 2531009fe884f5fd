#include "CryptCtrl.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <wincrypt.h>

#include "DbgMac.h"

namespace {

const WCHAR kContainer[] = L"Container";
const WCHAR kProvider[] = L"Microsoft Enhanced Cryptographic Provider v1.0";
const DWORD kKeyFlags = 0x00800000;  // 128-bit key, no salt, not exportable

}  // namespace

int CCryptCtrl::EncryptFile(LPCWSTR pszSource, LPCWSTR pszDestination, LPCSTR pszPassPhrase, int bEncrypt) {
    FILE* fpSource = _wfopen(pszSource, L"rb");
    if (!fpSource) {
        DBGPRINT(L"Error: _tfopen() source file %s \n", pszSource);
        return 1;
    }
    struct _stat st;
    if (_fstat(_fileno(fpSource), &st) != 0 || st.st_size < 0) {
        // The source stays open: every caller ends the run on this result.
        DBGPRINT(L"Error: fstat() source file %s \n", pszSource);
        return 2;
    }
    size_t cbSize = static_cast<size_t>(st.st_size);
    BYTE* pBuffer = static_cast<BYTE*>(malloc(cbSize ? cbSize : 1));
    if (!pBuffer || fread(pBuffer, 1, cbSize, fpSource) != cbSize) {
        DBGPRINT(L"Error: fstat() source file %s \n", pszSource);
        free(pBuffer);
        fclose(fpSource);
        return 2;
    }
    fclose(fpSource);

    unsigned uCode = EncryptStrm(pBuffer, static_cast<DWORD>(cbSize), pszPassPhrase, bEncrypt);
    if (uCode != 0) {
        if (bEncrypt)
            DBGPRINT(L"EncryptError: EncryptStrm(...TRUE) %d \n", uCode);
        else
            DBGPRINT(L"DecryptError: EncryptStrm(...FALSE) %d \n", uCode);
        free(pBuffer);
        return bEncrypt ? 3 : 4;
    }

    FILE* fpDestination = _wfopen(pszDestination, L"wb");
    if (!fpDestination) {
        DBGPRINT(L"Error: _tfopen() destination file %s \n", pszDestination);
        free(pBuffer);
        return 5;
    }
    int bWritten = fwrite(pBuffer, 1, cbSize, fpDestination) == cbSize;
    int bClosed = fclose(fpDestination) == 0;
    free(pBuffer);
    if (!bWritten || !bClosed) {
        // Never leave a truncated script behind.
        DBGPRINT(L"Error: _tfopen() destination file %s \n", pszDestination);
        _wremove(pszDestination);
        return 5;
    }
    return 0;
}

unsigned CCryptCtrl::EncryptStrm(BYTE* pBuffer, DWORD cbLength, LPCSTR pszPassPhrase, int bEncrypt) {
    LPCWSTR pszWhat = bEncrypt ? L"Encrypt" : L"Decrypt";
    HCRYPTPROV hProv = 0;
    HCRYPTHASH hHash = 0;
    HCRYPTKEY hKey = 0;
    unsigned uCode = 0;

    if (!CryptAcquireContextW(&hProv, kContainer, kProvider, PROV_RSA_FULL, 0)) {
        hProv = 0;
        if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET) ||
            !CryptAcquireContextW(&hProv, kContainer, NULL, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
            hProv = 0;
            DBGPRINT(L"%s Error code %d: CryptAcquireContext\n", pszWhat, GetLastError());
            return 1;
        }
    }
    if (!CryptCreateHash(hProv, CALG_MD5, 0, 0, &hHash)) {
        hHash = 0;
        DBGPRINT(L"%s Error %d: CryptCreateHash\n", pszWhat, GetLastError());
        uCode = 2;
    } else if (!CryptHashData(hHash, reinterpret_cast<const BYTE*>(pszPassPhrase),
                              static_cast<DWORD>(strlen(pszPassPhrase)), 0)) {
        DBGPRINT(L"%s Error %d: CryptHashData\n", pszWhat, GetLastError());
        uCode = 3;
    } else if (!CryptDeriveKey(hProv, CALG_RC4, hHash, kKeyFlags, &hKey)) {
        hKey = 0;
        DBGPRINT(L"%s Error %d: CryptDeriveKey\n", pszWhat, GetLastError());
        uCode = 4;
    } else if (bEncrypt) {
        DWORD cb = cbLength;
        if (!CryptEncrypt(hKey, 0, TRUE, 0, pBuffer, &cb, cbLength)) {
            DBGPRINT(L"%s Error %d: CryptEncrypt\n", pszWhat, GetLastError());
            uCode = 5;
        }
    } else {
        DWORD cb = cbLength;
        if (!CryptDecrypt(hKey, 0, TRUE, 0, pBuffer, &cb)) {
            DBGPRINT(L"%s Error %d: CryptDecrypt\n", pszWhat, GetLastError());
            uCode = 6;
        }
    }

    if (hHash) CryptDestroyHash(hHash);
    if (hKey) CryptDestroyKey(hKey);
    CryptReleaseContext(hProv, 0);
    return uCode;
}
