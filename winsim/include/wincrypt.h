// winsim: the CryptoAPI's base functions - provider contexts with key containers, hashes
// (MD5, SHA-1) and RC4 keys derived from a hash.
//
// Providers (by name, each of one type):
//   "Microsoft Base Cryptographic Provider v1.0"   PROV_RSA_FULL  RC4 40-56 bits, default 40
//   "Microsoft Strong Cryptographic Provider"      PROV_RSA_FULL  RC4 40-128 bits, default 128
//   "Microsoft Enhanced Cryptographic Provider v1.0" PROV_RSA_FULL RC4 40-128 bits, default 128
//   "Microsoft Enhanced RSA and AES Cryptographic Provider" PROV_RSA_AES  RC4 40-128, default 128
// A null provider name takes the type's default provider (PROV_RSA_FULL: the Strong
// provider; PROV_RSA_AES: the AES provider). An unknown name fails with NTE_KEYSET_NOT_DEF,
// a name of another type with NTE_PROV_TYPE_NO_MATCH, an unknown type with
// NTE_PROV_TYPE_NOT_DEF.
//
// Key containers belong to the calling process's user (CRYPT_MACHINE_KEYSET: to the
// machine) and are kept in the machine's store; the RSA providers share them. A null
// container name is the user's name. Opening a missing container fails with
// NTE_BAD_KEYSET; CRYPT_NEWKEYSET creates it (NTE_EXISTS when it exists);
// CRYPT_DELETEKEYSET deletes it; CRYPT_VERIFYCONTEXT needs none.
//
// CryptDeriveKey(CALG_RC4): the key length in bits is the upper 16 bits of dwFlags (0:
// the provider's default); a length outside the provider's range fails with NTE_BAD_FLAGS.
// The key is the first length/8 bytes of the completed hash value (the hash can take no
// more data afterwards). The base provider's 40-bit key carries an 11-byte zero salt, so
// that its RC4 key is 16 bytes; the other keys carry no salt. CRYPT_CREATE_SALT is not
// supported (NTE_BAD_FLAGS). Only CALG_RC4 keys exist (other algorithms: NTE_BAD_ALGID).
//
// CryptEncrypt/CryptDecrypt of RC4 keys: the data keeps its length; the key stream goes
// on across calls and starts again after a call with Final TRUE. A null pbData reports the
// length only; a buffer shorter than the data fails with ERROR_MORE_DATA. A hash handle,
// when given, hashes the plain text.
//
// Every function sets the thread's last error when it fails (NTE_* codes as DWORDs, or
// ERROR_INVALID_HANDLE / ERROR_INVALID_PARAMETER / ERROR_MORE_DATA). Tests make any of
// them fail through winsim/crypt.h.
#pragma once
#include "windows.h"

typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTKEY;
typedef ULONG_PTR HCRYPTHASH;
typedef unsigned int ALG_ID;

#define PROV_RSA_FULL 1
#define PROV_RSA_AES 24

#define MS_DEF_PROV_W L"Microsoft Base Cryptographic Provider v1.0"
#define MS_ENHANCED_PROV_W L"Microsoft Enhanced Cryptographic Provider v1.0"
#define MS_STRONG_PROV_W L"Microsoft Strong Cryptographic Provider"
#define MS_ENH_RSA_AES_PROV_W L"Microsoft Enhanced RSA and AES Cryptographic Provider"
#define MS_DEF_PROV MS_DEF_PROV_W
#define MS_ENHANCED_PROV MS_ENHANCED_PROV_W
#define MS_STRONG_PROV MS_STRONG_PROV_W
#define MS_ENH_RSA_AES_PROV MS_ENH_RSA_AES_PROV_W

#define CRYPT_VERIFYCONTEXT 0xF0000000
#define CRYPT_NEWKEYSET 0x00000008
#define CRYPT_DELETEKEYSET 0x00000010
#define CRYPT_MACHINE_KEYSET 0x00000020
#define CRYPT_SILENT 0x00000040

#define CRYPT_EXPORTABLE 0x00000001
#define CRYPT_USER_PROTECTED 0x00000002
#define CRYPT_CREATE_SALT 0x00000004
#define CRYPT_NO_SALT 0x00000010

#define ALG_CLASS_HASH (4 << 13)
#define ALG_CLASS_DATA_ENCRYPT (3 << 13)
#define ALG_TYPE_ANY 0
#define ALG_TYPE_STREAM (4 << 9)
#define ALG_SID_MD5 3
#define ALG_SID_SHA1 4
#define ALG_SID_RC4 1
#define CALG_MD5 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_MD5)
#define CALG_SHA1 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_SHA1)
#define CALG_SHA CALG_SHA1
#define CALG_RC4 (ALG_CLASS_DATA_ENCRYPT | ALG_TYPE_STREAM | ALG_SID_RC4)

#define HP_ALGID 0x0001
#define HP_HASHVAL 0x0002
#define HP_HASHSIZE 0x0004

#ifndef NTE_BAD_UID
#define NTE_BAD_UID ((HRESULT)0x80090001L)
#endif
#ifndef NTE_BAD_HASH_STATE
#define NTE_BAD_HASH_STATE ((HRESULT)0x8009000CL)
#endif
#ifndef NTE_NO_MEMORY
#define NTE_NO_MEMORY ((HRESULT)0x8009000EL)
#endif
#ifndef NTE_PROV_TYPE_NO_MATCH
#define NTE_PROV_TYPE_NO_MATCH ((HRESULT)0x8009001BL)
#endif

WINSIM_BEGIN_C
BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider, DWORD dwProvType,
                                 DWORD dwFlags);
BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash);
BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags);
BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags);
BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash);
BOOL WINAPI CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags, HCRYPTKEY* phKey);
BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey);
BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen,
                         DWORD dwBufLen);
BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen);
WINSIM_END_C

#define CryptAcquireContext CryptAcquireContextW
