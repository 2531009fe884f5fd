// CryptoAPI calls the CryptoAPI tests share: a verify-only provider, an MD5 digest and an
// RC4 key derived from a pass phrase, over any test fixture.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

template <class Base>
class CryptCalls : public Base {
protected:
    HCRYPTPROV Verify(LPCWSTR provider = MS_ENHANCED_PROV_W, DWORD type = PROV_RSA_FULL) {
        HCRYPTPROV p = 0;
        EXPECT_TRUE(CryptAcquireContextW(&p, NULL, provider, type, CRYPT_VERIFYCONTEXT));
        return p;
    }
    std::vector<uint8_t> Md5(HCRYPTPROV p, const std::string& data) {
        HCRYPTHASH h = 0;
        EXPECT_TRUE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));
        EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0));
        std::vector<uint8_t> v(16);
        DWORD n = 16;
        EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, v.data(), &n, 0));
        EXPECT_EQ(16u, n);
        CryptDestroyHash(h);
        return v;
    }
    // An RC4 key derived from the MD5 of phrase.
    HCRYPTKEY Rc4Key(HCRYPTPROV p, const std::string& phrase, DWORD flags, HCRYPTHASH* keep = nullptr) {
        HCRYPTHASH h = 0;
        EXPECT_TRUE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));
        EXPECT_TRUE(
            CryptHashData(h, reinterpret_cast<const BYTE*>(phrase.data()), static_cast<DWORD>(phrase.size()), 0));
        HCRYPTKEY k = 0;
        BOOL ok = CryptDeriveKey(p, CALG_RC4, h, flags, &k);
        if (keep)
            *keep = h;
        else
            CryptDestroyHash(h);
        return ok ? k : 0;
    }
};
