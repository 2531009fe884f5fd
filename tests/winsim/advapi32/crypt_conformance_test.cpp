// CryptoAPI as Windows has it: providers, the user's containers, MD5 against the RFC 1321
// vectors, RC4 keys from a hash by the documented derivation and the key stream.
#include "conformance.h"
#include "crypt_calls.h"

#include <wincrypt.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Hex(const char* s) {
    std::vector<uint8_t> v;
    for (; s[0] && s[1]; s += 2) v.push_back(static_cast<uint8_t>(std::stoi(std::string(s, 2), nullptr, 16)));
    return v;
}

using CryptTest = CryptCalls<ConformanceTest>;

struct ProviderCase {
    const wchar_t* name;
    DWORD type;
    HRESULT error;  // 0: acquired
};

TEST_F(CryptTest, ProvidersByNameAndType) {
    const ProviderCase cases[] = {
        {MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0},
        {L"microsoft enhanced cryptographic provider v1.0", PROV_RSA_FULL, 0},
        {MS_DEF_PROV_W, PROV_RSA_FULL, 0},
        {MS_STRONG_PROV_W, PROV_RSA_FULL, 0},
        {MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, 0},
        {NULL, PROV_RSA_FULL, 0},
        {NULL, PROV_RSA_AES, 0},
        {MS_ENH_RSA_AES_PROV_W, PROV_RSA_FULL, NTE_PROV_TYPE_NO_MATCH},
        {L"No Such Provider", PROV_RSA_FULL, NTE_KEYSET_NOT_DEF},
        {NULL, 99, NTE_PROV_TYPE_NOT_DEF},
    };
    for (const ProviderCase& c : cases) {
        HCRYPTPROV p = 0;
        BOOL ok = CryptAcquireContextW(&p, NULL, c.name, c.type, CRYPT_VERIFYCONTEXT);
        EXPECT_EQ(c.error == 0, ok != FALSE) << (c.name ? c.name : L"(null)");
        if (ok) {
            EXPECT_TRUE(CryptReleaseContext(p, 0));
        } else {
            EXPECT_EQ(static_cast<DWORD>(c.error), GetLastError());
        }
    }
}

TEST_F(CryptTest, Md5MatchesTheRfcVectors) {
    HCRYPTPROV p = Verify();
    EXPECT_EQ(Hex("d41d8cd98f00b204e9800998ecf8427e"), Md5(p, ""));
    EXPECT_EQ(Hex("900150983cd24fb0d6963f7d28e17f72"), Md5(p, "abc"));
    EXPECT_EQ(Hex("f96b697d7cb7938d525a2f31aaf161d0"), Md5(p, "message digest"));
    EXPECT_EQ(Hex("3a2d793fe57e67b7316a92609c39ec2f"), Md5(p, "GlimWarbleFenix"));
    CryptReleaseContext(p, 0);
}

TEST_F(CryptTest, HashParamsAndState) {
    HCRYPTPROV p = Verify();
    HCRYPTHASH h = 0;
    ASSERT_TRUE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));
    DWORD v = 0, n = sizeof v;
    EXPECT_TRUE(CryptGetHashParam(h, HP_ALGID, reinterpret_cast<BYTE*>(&v), &n, 0));
    EXPECT_EQ(static_cast<DWORD>(CALG_MD5), v);
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHSIZE, reinterpret_cast<BYTE*>(&v), &n, 0));
    EXPECT_EQ(16u, v);
    n = 0;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, NULL, &n, 0));
    EXPECT_EQ(16u, n);
    BYTE small[8];
    n = 8;
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, small, &n, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
    EXPECT_EQ(16u, n);
    // The value has been taken: the hash is finished.
    EXPECT_FALSE(CryptHashData(h, reinterpret_cast<const BYTE*>("x"), 1, 0));
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_HASH_STATE), GetLastError());
    EXPECT_TRUE(CryptDestroyHash(h));
    BOOL made = CryptCreateHash(p, CALG_RC4, 0, 0, &h);  // no hash algorithm
    EXPECT_EQ(WINE_DIFFERS(FALSE, TRUE,
                           "CryptCreateHash: Algid identifies the hash algorithm, NTE_BAD_ALGID for one the CSP "
                           "does not support; Wine makes a hash of a cipher"),
              made);
    if (made) {
        CryptDestroyHash(h);
    } else {
        EXPECT_EQ(static_cast<DWORD>(NTE_BAD_ALGID), GetLastError());
    }
    CryptReleaseContext(p, 0);
    EXPECT_FALSE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));
    EXPECT_EQ(WINE_DIFFERS(static_cast<DWORD>(NTE_BAD_UID), static_cast<DWORD>(ERROR_INVALID_PARAMETER),
                           "CryptCreateHash: NTE_BAD_UID when hProv does not contain a valid context handle; Wine "
                           "gives ERROR_INVALID_PARAMETER"),
              GetLastError());
}

TEST_F(CryptTest, KnownAnswerOfTheDerivedRc4Key) {
    // The key of a 128-bit RC4 key from an MD5 hash is the hash value itself:
    // RC4(MD5("GlimWarbleFenix")) over the text, computed apart from this model.
    HCRYPTPROV p = Verify();
    HCRYPTKEY k = Rc4Key(p, "GlimWarbleFenix", 0x00800000);
    ASSERT_NE(0u, k);
    std::string text = "[INIT]\r\nCMD1=CHECK_OS\r\n";
    std::vector<uint8_t> buf(text.begin(), text.end());
    DWORD n = static_cast<DWORD>(buf.size());
    ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, buf.data(), &n, n));
    EXPECT_EQ(Hex("045d506071f99b53ab64ccc40216c2b3850469df356f61"), buf);
    ASSERT_TRUE(CryptDecrypt(k, 0, TRUE, 0, buf.data(), &n));
    EXPECT_EQ(text, std::string(buf.begin(), buf.end()));
    CryptDestroyKey(k);
    CryptReleaseContext(p, 0);
}

TEST_F(CryptTest, KeyStreamRunsOnUntilFinal) {
    HCRYPTPROV p = Verify();
    HCRYPTKEY k = Rc4Key(p, "GlimWarbleFenix", 0x00800000);
    std::vector<uint8_t> a{'[', 'I', 'N'}, b{'I', 'T', ']'};
    DWORD n = 3;
    ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, a.data(), &n, 3));
    ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, b.data(), &n, 3));
    EXPECT_EQ(Hex("045d50"), a);
    EXPECT_EQ(Hex("6071f9"), b);
    std::vector<uint8_t> c{'['};
    n = 1;
    ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, c.data(), &n, 1));  // after Final: from the start
    EXPECT_EQ(Hex("04"), c);
    n = 5;
    EXPECT_TRUE(CryptEncrypt(k, 0, TRUE, 0, NULL, &n, 0));
    EXPECT_EQ(WINE_DIFFERS(5u, 0u,
                           "CryptEncrypt: with a NULL pbData the required size of the ciphertext, the data's own for "
                           "a stream cipher, is placed in pdwDataLen; Wine gives 0"),
              n);
    n = 5;
    // (Wine would write the five bytes into the one-byte buffer.)
    if (!WINE_LACKS("CryptEncrypt: ERROR_MORE_DATA when the buffer for pbData cannot hold the encrypted data; Wine "
                    "writes past dwBufLen")) {
        EXPECT_FALSE(CryptEncrypt(k, 0, TRUE, 0, c.data(), &n, 1));
        EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
    }
    CryptDestroyKey(k);
    CryptReleaseContext(p, 0);
}

struct LengthCase {
    const wchar_t* provider;
    DWORD flags;
    bool ok;
};

TEST_F(CryptTest, KeyLengthsByProvider) {
    const LengthCase cases[] = {
        {MS_ENHANCED_PROV_W, 0x00800000, true},  {MS_ENHANCED_PROV_W, 0x00280000, true},
        {MS_ENHANCED_PROV_W, 0, true},           {MS_ENHANCED_PROV_W, 0x01000000, false},
        {MS_ENHANCED_PROV_W, 0x00200000, false}, {MS_DEF_PROV_W, 0x00800000, false},
        {MS_DEF_PROV_W, 0x00280000, true},       {MS_DEF_PROV_W, 0x00380000, true},
    };
    for (const LengthCase& c : cases) {
        HCRYPTPROV p = Verify(c.provider);
        HCRYPTKEY k = Rc4Key(p, "x", c.flags);
        EXPECT_EQ(c.ok, k != 0) << c.provider << " " << std::hex << c.flags;
        if (!c.ok) {
            EXPECT_EQ(WINE_DIFFERS(static_cast<DWORD>(NTE_BAD_FLAGS), static_cast<DWORD>(NTE_BAD_DATA),
                                   "CryptDeriveKey: NTE_BAD_FLAGS when dwFlags (its upper 16 bits are the key "
                                   "length) is not valid; Wine gives NTE_BAD_DATA"),
                      GetLastError());
        }
        if (k) CryptDestroyKey(k);
        CryptReleaseContext(p, 0);
    }
}

TEST_F(CryptTest, ShortKeysAndTheBaseProvidersSalt) {
    // A 40-bit key of the base provider is the first 5 hash bytes and 11 zero bytes.
    HCRYPTPROV p = Verify(MS_DEF_PROV_W);
    HCRYPTKEY k = Rc4Key(p, "GlimWarbleFenix", 0x00280000);
    std::vector<uint8_t> buf{'a', 'b', 'c'};
    DWORD n = 3;
    ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, buf.data(), &n, 3));
    EXPECT_EQ(Hex("425035"), buf);
    CryptDestroyKey(k);
    CryptReleaseContext(p, 0);
}

TEST_F(CryptTest, DerivedHashIsFinished) {
    HCRYPTPROV p = Verify();
    HCRYPTHASH h = 0;
    HCRYPTKEY k = Rc4Key(p, "abc", 0x00800000, &h);
    EXPECT_FALSE(CryptHashData(h, reinterpret_cast<const BYTE*>("x"), 1, 0));
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_HASH_STATE), GetLastError());
    HCRYPTKEY bad = 0;
    EXPECT_FALSE(CryptDeriveKey(p, CALG_MD5, h, 0, &bad));
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_ALGID), GetLastError());
    CryptDestroyHash(h);
    CryptDestroyKey(k);
    EXPECT_FALSE(CryptDestroyKey(k));
    EXPECT_FALSE(CryptReleaseContext(p, 1));
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_FLAGS), GetLastError());
    CryptReleaseContext(p, 0);
}

TEST_F(CryptTest, ContainersOfTheUser) {
    const std::wstring name = L"vqconf-" + std::to_wstring(GetCurrentProcessId()) + L"-Container";
    std::wstring upper = name;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    HCRYPTPROV p = 0;
    EXPECT_FALSE(CryptAcquireContextW(&p, name.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0));
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_KEYSET), GetLastError());
    EXPECT_EQ(0u, p);
    ASSERT_TRUE(CryptAcquireContextW(&p, name.c_str(), NULL, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    // Shared by the providers of the type, created once.
    EXPECT_TRUE(CryptAcquireContextW(&p, upper.c_str(), MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    EXPECT_FALSE(CryptAcquireContextW(&p, name.c_str(), NULL, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_EQ(static_cast<DWORD>(NTE_EXISTS), GetLastError());
    // The machine's containers are apart.
    EXPECT_FALSE(CryptAcquireContextW(&p, name.c_str(), NULL, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET));
    EXPECT_TRUE(CryptAcquireContextW(&p, name.c_str(), NULL, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
    EXPECT_FALSE(CryptAcquireContextW(&p, name.c_str(), NULL, PROV_RSA_FULL, 0));
}

}  // namespace
