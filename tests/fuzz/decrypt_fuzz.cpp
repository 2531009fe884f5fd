// Script decryption over any bytes.
#include "CryptCtrl.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::Sim sim;
    const wchar_t* kDat = L"C:\\Program Files\\Quarven\\Setup\\Setup.dat";
    const wchar_t* kIni = L"C:\\Program Files\\Quarven\\Setup\\Setup.ini";
    sim.Put(kDat, data, size);
    CCryptCtrl crypt;
    crypt.EncryptFile(kDat, kIni, CRYPT_PASS_PHRASE, 0);
    DeleteFileW(kIni);
    return 0;
}
