// The CryptoAPI model: where containers are kept, the user's default container and injected
// failures (crypt_conformance_test.cpp states the API as Windows has it).
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include "crypt_calls.h"
#include "winsim/crypt.h"
#include "winsim/machine.h"

#include <string>
#include <vector>

namespace {

class CryptTest : public CryptCalls<::testing::Test> {
protected:
    ~CryptTest() override { EXPECT_EQ(0u, winsim::crypt::OpenHandles(*machine)); }

    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
};

TEST_F(CryptTest, ContainersArePerUserAndPersist) {
    HCRYPTPROV p = 0;
    EXPECT_FALSE(CryptAcquireContextW(&p, L"Container", MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0));
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_KEYSET), GetLastError());
    EXPECT_EQ(0u, p);
    EXPECT_TRUE(CryptAcquireContextW(&p, L"Container", NULL, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    const std::wstring sid = scope.process().user_sid;
    EXPECT_TRUE(winsim::crypt::ContainerExists(*machine, sid, L"container"));
    EXPECT_FALSE(winsim::crypt::ContainerExists(*machine, L"machine", L"Container"));
    // Shared by the providers of the type, created once.
    EXPECT_TRUE(CryptAcquireContextW(&p, L"CONTAINER", MS_ENHANCED_PROV_W, PROV_RSA_FULL, 0));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    EXPECT_FALSE(CryptAcquireContextW(&p, L"Container", NULL, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_EQ(static_cast<DWORD>(NTE_EXISTS), GetLastError());
    // The machine's containers are apart.
    EXPECT_FALSE(CryptAcquireContextW(&p, L"Container", NULL, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET));
    // Deleting.
    EXPECT_TRUE(CryptAcquireContextW(&p, L"Container", NULL, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
    EXPECT_FALSE(winsim::crypt::ContainerExists(*machine, sid, L"Container"));
    // A null name is the user's.
    EXPECT_TRUE(CryptAcquireContextW(&p, NULL, NULL, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    EXPECT_TRUE(winsim::crypt::ContainerExists(*machine, sid, scope.process().user));
}

TEST_F(CryptTest, InjectedFailuresCountDown) {
    using winsim::crypt::Step;
    winsim::crypt::InjectFailure(*machine, Step::AcquireContext, ERROR_NOT_ENOUGH_MEMORY, 1);
    HCRYPTPROV p = 0;
    EXPECT_FALSE(CryptAcquireContextW(&p, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    p = Verify();
    winsim::crypt::InjectFailure(*machine, Step::Encrypt, static_cast<DWORD>(NTE_FAIL));
    HCRYPTKEY k = Rc4Key(p, "abc", 0);
    BYTE b = 0;
    DWORD n = 1;
    EXPECT_FALSE(CryptEncrypt(k, 0, TRUE, 0, &b, &n, 1));
    EXPECT_FALSE(CryptEncrypt(k, 0, TRUE, 0, &b, &n, 1));  // until cleared
    EXPECT_EQ(static_cast<DWORD>(NTE_FAIL), GetLastError());
    EXPECT_EQ(0, b);
    winsim::crypt::ClearFailures(*machine);
    EXPECT_TRUE(CryptEncrypt(k, 0, TRUE, 0, &b, &n, 1));
    CryptDestroyKey(k);
    CryptReleaseContext(p, 0);
}

TEST_F(CryptTest, WhatTheModelLeavesOutOrSettles) {
    HCRYPTPROV p = 0;
    ASSERT_TRUE(CryptAcquireContextW(&p, NULL, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    HCRYPTHASH h = 0;
    EXPECT_FALSE(CryptCreateHash(p, 0x8001, 0, 0, &h));  // MD2: MD5 is the only hash of the model
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_ALGID), GetLastError());
    ASSERT_TRUE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));
    EXPECT_TRUE(CryptDestroyHash(h));
    EXPECT_FALSE(CryptDestroyHash(h));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    ASSERT_TRUE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));
    HCRYPTKEY k = 0;
    EXPECT_FALSE(CryptDeriveKey(p, CALG_RC4, h, CRYPT_CREATE_SALT, &k));  // no bits left for a salt
    EXPECT_EQ(static_cast<DWORD>(NTE_BAD_FLAGS), GetLastError());
    CryptDestroyHash(h);
    CryptReleaseContext(p, 0);
}
}  // namespace
