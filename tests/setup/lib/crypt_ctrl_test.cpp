// Script encryption: the round trip, the known answer of the documented key derivation,
// files that cannot be read or written, the key container, and each CryptoAPI failure.
#include "CryptCtrl.h"
#include "lib_fixture.h"
#include "winsim/crypt.h"

#include <wincrypt.h>

#include <string>
#include <vector>

namespace {

// RC4 written apart from the CryptoAPI model.
std::string Rc4(const std::vector<uint8_t>& key, const std::string& data) {
    uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[static_cast<size_t>(i) % key.size()]) & 255;
        std::swap(s[i], s[j]);
    }
    std::string out = data;
    for (size_t k = 0, i = 0, j = 0; k < out.size(); ++k) {
        i = (i + 1) & 255;
        j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        out[k] = static_cast<char>(out[k] ^ s[(s[i] + s[j]) & 255]);
    }
    return out;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// MD5("GlimWarbleFenix") (RFC 1321; the CryptoAPI model's MD5 is checked against the RFC's
// own vectors).
const std::vector<uint8_t> kPhraseMd5 = {0x3a, 0x2d, 0x79, 0x3f, 0xe5, 0x7e, 0x67, 0xb7,
                                         0x31, 0x6a, 0x92, 0x60, 0x9c, 0x39, 0xec, 0x2f};

TEST(Rc4Reference, MatchesThePublishedVectors) {
    EXPECT_EQ(std::string("\xbb\xf3\x16\xe8\xd9\x40\xaf\x0a\xd3", 9), Rc4(Bytes("Key"), "Plaintext"));
    EXPECT_EQ(std::string("\x45\xa0\x1f\x64\x5f\xc3\x5b\x38\x35\x52\x54\x4b\x9b\xf5", 14),
              Rc4(Bytes("Secret"), "Attack at dawn"));
}

class CryptCtrlTest : public LibTest {
protected:
    ~CryptCtrlTest() override { EXPECT_EQ(0u, winsim::crypt::OpenHandles(machine())); }

    std::wstring ini = InFolder(L"Setup.ini");
    std::wstring dat = InFolder(L"Setup.dat");
    std::wstring out = InFolder(L"Out.ini");
    CCryptCtrl cc;
};

std::string Script() {
    std::string s = "[INIT]\r\nCMD1=CHECK_OS\r\n";
    for (int i = 0; i < 300; ++i) s += "KEY" + std::to_string(i) + "=value " + std::to_string(i * 7) + "\r\n";
    return s;
}

TEST_F(CryptCtrlTest, EncryptsToTheKnownAnswerAndBack) {
    std::string plain = Script();
    PutFile(ini, plain);
    ASSERT_EQ(0, cc.EncryptFile(ini.c_str(), dat.c_str(), CRYPT_PASS_PHRASE, 1));
    std::string enc = FileBytes(dat);
    EXPECT_EQ(plain.size(), enc.size());
    EXPECT_EQ(Rc4(kPhraseMd5, plain), enc);  // the key is the 16-byte MD5 value, no salt
    ASSERT_EQ(0, cc.EncryptFile(dat.c_str(), out.c_str(), CRYPT_PASS_PHRASE, 0));
    EXPECT_EQ(plain, FileBytes(out));
}

TEST_F(CryptCtrlTest, AScriptEncryptedElsewhereDecrypts) {
    std::string plain = "[INIT]\r\nCMD1=CHECK_OS\r\n";
    PutFile(dat,
            std::string("\x04\x5d\x50\x60\x71\xf9\x9b\x53\xab\x64\xcc\xc4\x02\x16\xc2\xb3\x85\x04\x69\xdf\x35\x6f\x61",
                        23));
    ASSERT_EQ(0, cc.EncryptFile(dat.c_str(), out.c_str(), CRYPT_PASS_PHRASE, 0));
    EXPECT_EQ(plain, FileBytes(out));
}

TEST_F(CryptCtrlTest, EmptyFileGivesAnEmptyFile) {
    PutFile(ini, "");
    EXPECT_EQ(0, cc.EncryptFile(ini.c_str(), dat.c_str(), CRYPT_PASS_PHRASE, 1));
    EXPECT_EQ("", FileBytes(dat));
}

TEST_F(CryptCtrlTest, MissingSourceLeavesTheDestination) {
    PutFile(dat, "old");
    EXPECT_EQ(1, cc.EncryptFile(ini.c_str(), dat.c_str(), CRYPT_PASS_PHRASE, 1));
    EXPECT_EQ("old", FileBytes(dat));
    EXPECT_TRUE(Logged(L"Error: _tfopen() source file " + ini + L" \n"));
}

TEST_F(CryptCtrlTest, UnwritableDestination) {
    PutFile(ini, "data");
    std::wstring nowhere = L"C:\\NoSuchFolder\\Setup.dat";
    EXPECT_EQ(5, cc.EncryptFile(ini.c_str(), nowhere.c_str(), CRYPT_PASS_PHRASE, 1));
    EXPECT_TRUE(Logged(L"Error: _tfopen() destination file " + nowhere + L" \n"));
}

TEST_F(CryptCtrlTest, FailedWriteRemovesThePartialDestination) {
    PutFile(ini, Script());
    PutFile(dat, "previous");
    winsim::files::InjectFailure(machine(), dat, winsim::files::kFailWrite, ERROR_DISK_FULL);
    EXPECT_EQ(5, cc.EncryptFile(ini.c_str(), dat.c_str(), CRYPT_PASS_PHRASE, 1));
    winsim::files::ClearFailures(machine());
    EXPECT_FALSE(winsim::files::Exists(machine(), dat));
}

TEST_F(CryptCtrlTest, CreatesTheContainerOnFirstUse) {
    const std::wstring sid = process().user_sid;
    ASSERT_FALSE(winsim::crypt::ContainerExists(machine(), sid, L"Container"));
    BYTE b[2] = {'a', 'b'};
    EXPECT_EQ(0u, cc.EncryptStrm(b, 2, CRYPT_PASS_PHRASE, 1));
    EXPECT_TRUE(winsim::crypt::ContainerExists(machine(), sid, L"Container"));
    EXPECT_EQ(0u, cc.EncryptStrm(b, 2, CRYPT_PASS_PHRASE, 0));  // now opened as it is
    EXPECT_EQ('a', b[0]);
}

struct FailCase {
    winsim::crypt::Step step;
    int encrypt;
    unsigned code;
    const wchar_t* log;  // %d is the injected error
};

TEST_F(CryptCtrlTest, EachCryptoApiFailureHasItsCode) {
    using winsim::crypt::Step;
    const FailCase cases[] = {
        {Step::AcquireContext, 1, 1, L"Encrypt Error code %d: CryptAcquireContext\n"},
        {Step::CreateHash, 1, 2, L"Encrypt Error %d: CryptCreateHash\n"},
        {Step::HashData, 0, 3, L"Decrypt Error %d: CryptHashData\n"},
        {Step::DeriveKey, 1, 4, L"Encrypt Error %d: CryptDeriveKey\n"},
        {Step::Encrypt, 1, 5, L"Encrypt Error %d: CryptEncrypt\n"},
        {Step::Decrypt, 0, 6, L"Decrypt Error %d: CryptDecrypt\n"},
    };
    PutFile(ini, "plain");
    for (const FailCase& c : cases) {
        winsim::crypt::InjectFailure(machine(), c.step, static_cast<DWORD>(NTE_FAIL));
        WCHAR want[128];
        wsprintfW(want, c.log, static_cast<int>(NTE_FAIL));
        BYTE b[3] = {1, 2, 3};
        EXPECT_EQ(c.code, cc.EncryptStrm(b, 3, CRYPT_PASS_PHRASE, c.encrypt)) << c.code;
        EXPECT_TRUE(Logged(want)) << c.code;
        EXPECT_EQ(1, b[0]);
        // Through the file: 3 or 4 by the direction, the destination untouched.
        ClearLogs();
        EXPECT_EQ(c.encrypt ? 3 : 4, cc.EncryptFile(ini.c_str(), out.c_str(), CRYPT_PASS_PHRASE, c.encrypt));
        WCHAR line[64];
        wsprintfW(
            line,
            c.encrypt ? L"EncryptError: EncryptStrm(...TRUE) %d \n" : L"DecryptError: EncryptStrm(...FALSE) %d \n",
            c.code);
        EXPECT_TRUE(Logged(line)) << c.code;
        EXPECT_FALSE(winsim::files::Exists(machine(), out));
        winsim::crypt::ClearFailures(machine());
        ClearLogs();
    }
}

TEST_F(CryptCtrlTest, KeysetFallbackOnlyForAMissingKeyset) {
    using winsim::crypt::Step;
    // The named provider's open fails with another error: no second try.
    winsim::crypt::InjectFailure(machine(), Step::AcquireContext, ERROR_ACCESS_DENIED, 1);
    BYTE b[1] = {0};
    EXPECT_EQ(1u, cc.EncryptStrm(b, 1, CRYPT_PASS_PHRASE, 1));
    EXPECT_TRUE(Logged(L"Encrypt Error code 5: CryptAcquireContext\n"));
    // The container exists but the first open says it is missing: the creating open
    // then finds it and fails too.
    winsim::crypt::CreateContainer(machine(), process().user_sid, L"Container");
    winsim::crypt::InjectFailure(machine(), Step::AcquireContext, static_cast<DWORD>(NTE_BAD_KEYSET), 1);
    EXPECT_EQ(1u, cc.EncryptStrm(b, 1, CRYPT_PASS_PHRASE, 1));
}

}  // namespace
