// Encrypting and decrypting the setup script: the whole file through RC4 under a key
// derived from the MD5 hash of a pass phrase, with the CryptoAPI.
#pragma once

#include <windows.h>

// The pass phrase of every call site.
#define CRYPT_PASS_PHRASE "GlimWarbleFenix"

class CCryptCtrl {
public:
    CCryptCtrl() {}
    ~CCryptCtrl() {}

    // Source to destination, encrypting (bEncrypt non-zero) or decrypting. 0 written;
    // 1 source not opened; 2 the source's size not had, a short read, or no memory for
    // it; 3 / 4 EncryptStrm failed encrypting / decrypting; 5 destination not opened, a
    // failed or short write or a failed close (a partial destination is removed). The
    // destination is opened only after the data has been transformed.
    int EncryptFile(LPCWSTR pszSource, LPCWSTR pszDestination, LPCSTR pszPassPhrase, int bEncrypt);
    // Transforms the buffer in place. 0 done; 1 context, 2 hash, 3 hashing, 4 key,
    // 5 encryption, 6 decryption failed.
    unsigned EncryptStrm(BYTE* pBuffer, DWORD cbLength, LPCSTR pszPassPhrase, int bEncrypt);
};
