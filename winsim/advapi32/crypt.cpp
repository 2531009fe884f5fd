// winsim: the CryptoAPI model (see wincrypt.h): providers, key containers in the machine's
// store, MD5/SHA-1 hashes through OpenSSL and RC4 keys derived from them.
#include <windows.h>
#include <wincrypt.h>

#include "winsim/crypt.h"
#include "winsim/kernel.h"

#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

using namespace winsim;

namespace {

struct Provider {
    const wchar_t* name;
    DWORD type;
    DWORD rc4_min, rc4_max, rc4_default;  // key lengths in bits
    bool zero_salt_40;                    // 40-bit keys get an 11-byte zero salt
};

const Provider kProviders[] = {
    {MS_DEF_PROV_W, PROV_RSA_FULL, 40, 56, 40, true},
    {MS_STRONG_PROV_W, PROV_RSA_FULL, 40, 128, 128, false},
    {MS_ENHANCED_PROV_W, PROV_RSA_FULL, 40, 128, 128, false},
    {MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, 40, 128, 128, false},
};

const Provider* DefaultProvider(DWORD type) {
    if (type == PROV_RSA_FULL) return &kProviders[1];
    if (type == PROV_RSA_AES) return &kProviders[3];
    return nullptr;
}

// RC4 as the providers run it.
class Rc4 {
public:
    void Init(const std::vector<uint8_t>& key) {
        key_ = key;
        Restart();
    }
    void Restart() {
        for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
        uint8_t j = 0;
        for (int k = 0; k < 256; ++k) {
            j = static_cast<uint8_t>(j + s_[k] + key_[static_cast<size_t>(k) % key_.size()]);
            std::swap(s_[k], s_[j]);
        }
        i_ = j_ = 0;
    }
    void Apply(uint8_t* data, size_t n) {
        for (size_t k = 0; k < n; ++k) {
            i_ = static_cast<uint8_t>(i_ + 1);
            j_ = static_cast<uint8_t>(j_ + s_[i_]);
            std::swap(s_[i_], s_[j_]);
            data[k] ^= s_[static_cast<uint8_t>(s_[i_] + s_[j_])];
        }
    }

private:
    std::vector<uint8_t> key_;
    std::array<uint8_t, 256> s_{};
    uint8_t i_ = 0, j_ = 0;
};

struct Context {
    const Provider* provider;
};

struct Hash {
    ALG_ID alg;
    EVP_MD_CTX* ctx = nullptr;
    bool finished = false;
    std::vector<uint8_t> value;
    ~Hash() {
        if (ctx) EVP_MD_CTX_free(ctx);
    }
    void Finish() {
        if (finished) return;
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        EVP_DigestFinal_ex(ctx, md, &n);
        value.assign(md, md + n);
        finished = true;
    }
};

struct Key {
    Rc4 rc4;
};

struct Injected {
    DWORD error;
    unsigned count;  // 0: every call
};

struct CryptState {
    explicit CryptState(Machine&) {}
    std::mutex mu;
    ULONG_PTR next = 0x1000;
    std::map<ULONG_PTR, std::shared_ptr<Context>> contexts;
    std::map<ULONG_PTR, std::shared_ptr<Hash>> hashes;
    std::map<ULONG_PTR, std::shared_ptr<Key>> keys;
    std::map<crypt::Step, Injected> failures;
};

CryptState& State(Machine& m) { return m.Ext<CryptState>("crypt"); }
CryptState& State() { return State(CurrentMachine()); }

// True (last error set) when a failure is injected for the step.
bool InjectedFail(crypt::Step step) {
    CryptState& s = State();
    std::lock_guard<std::mutex> g(s.mu);
    auto it = s.failures.find(step);
    if (it == s.failures.end()) return false;
    DWORD err = it->second.error;
    if (it->second.count && --it->second.count == 0) s.failures.erase(it);
    SetLastError(err);
    return true;
}

template <class T>
std::shared_ptr<T> Find(std::map<ULONG_PTR, std::shared_ptr<T>>& map, ULONG_PTR h) {
    CryptState& s = State();
    std::lock_guard<std::mutex> g(s.mu);
    auto it = map.find(h);
    return it == map.end() ? nullptr : it->second;
}

template <class T>
ULONG_PTR Add(std::map<ULONG_PTR, std::shared_ptr<T>>& map, std::shared_ptr<T> obj) {
    CryptState& s = State();
    std::lock_guard<std::mutex> g(s.mu);
    ULONG_PTR h = s.next;
    s.next += 4;
    map[h] = std::move(obj);
    return h;
}

template <class T>
bool Remove(std::map<ULONG_PTR, std::shared_ptr<T>>& map, ULONG_PTR h) {
    CryptState& s = State();
    std::lock_guard<std::mutex> g(s.mu);
    return map.erase(h) > 0;
}

const char* const kContainers = "crypt.containers";

std::string ContainerKey(const std::wstring& scope, const std::wstring& name) {
    return Utf8(Lower(scope)) + "\\" + Utf8(Lower(name));
}

DWORD Err(HRESULT hr) { return static_cast<DWORD>(hr); }

}  // namespace

namespace winsim::crypt {

void InjectFailure(Machine& m, Step step, DWORD error, unsigned count) {
    CryptState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures[step] = {error, count};
}

void ClearFailures(Machine& m) {
    CryptState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures.clear();
}

bool ContainerExists(Machine& m, const std::wstring& scope, const std::wstring& name) {
    return m.store().GetInt(kContainers, ContainerKey(scope, name)).has_value();
}

void CreateContainer(Machine& m, const std::wstring& scope, const std::wstring& name) {
    m.store().SetInt(kContainers, ContainerKey(scope, name), 1);
}

void DeleteContainer(Machine& m, const std::wstring& scope, const std::wstring& name) {
    m.store().DeleteSetting(kContainers, ContainerKey(scope, name));
}

size_t OpenHandles(Machine& m) {
    CryptState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.contexts.size() + s.hashes.size() + s.keys.size();
}

}  // namespace winsim::crypt

extern "C" {

BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR container, LPCWSTR provider, DWORD type, DWORD flags) {
    if (!phProv) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *phProv = 0;
    if (InjectedFail(crypt::Step::AcquireContext)) return FALSE;
    const DWORD known =
        CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
    if (flags & ~known) return Fail(Err(NTE_BAD_FLAGS), FALSE);

    const Provider* p = nullptr;
    if (provider && *provider) {
        for (const Provider& c : kProviders)
            if (IEquals(c.name, provider)) p = &c;
        if (!p) return Fail(Err(NTE_KEYSET_NOT_DEF), FALSE);
        if (p->type != type) return Fail(Err(NTE_PROV_TYPE_NO_MATCH), FALSE);
    } else {
        p = DefaultProvider(type);
        if (!p) return Fail(Err(NTE_PROV_TYPE_NOT_DEF), FALSE);
    }

    Machine& m = CurrentMachine();
    Process& proc = CurrentProcess();
    if (!(flags & CRYPT_VERIFYCONTEXT)) {
        std::wstring scope = (flags & CRYPT_MACHINE_KEYSET) ? L"machine" : proc.user_sid;
        std::wstring name = container && *container ? container : proc.user;
        bool exists = crypt::ContainerExists(m, scope, name);
        if (flags & CRYPT_DELETEKEYSET) {
            if (!exists) return Fail(Err(NTE_BAD_KEYSET), FALSE);
            crypt::DeleteContainer(m, scope, name);
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
        if (flags & CRYPT_NEWKEYSET) {
            if (exists) return Fail(Err(NTE_EXISTS), FALSE);
            crypt::CreateContainer(m, scope, name);
        } else if (!exists) {
            return Fail(Err(NTE_BAD_KEYSET), FALSE);
        }
    } else if (container && *container) {
        return Fail(Err(NTE_BAD_FLAGS), FALSE);
    }
    auto ctx = std::make_shared<Context>();
    ctx->provider = p;
    *phProv = Add(State().contexts, ctx);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD flags) {
    if (InjectedFail(crypt::Step::ReleaseContext)) return FALSE;
    if (!Find(State().contexts, hProv)) return Fail(Err(NTE_BAD_UID), FALSE);
    if (flags) return Fail(Err(NTE_BAD_FLAGS), FALSE);
    Remove(State().contexts, hProv);
    return TRUE;
}

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID alg, HCRYPTKEY hKey, DWORD flags, HCRYPTHASH* phHash) {
    if (!phHash) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *phHash = 0;
    if (InjectedFail(crypt::Step::CreateHash)) return FALSE;
    if (!Find(State().contexts, hProv)) return Fail(Err(NTE_BAD_UID), FALSE);
    if (flags) return Fail(Err(NTE_BAD_FLAGS), FALSE);
    if (hKey) return Fail(Err(NTE_BAD_KEY), FALSE);  // keyed hashes are not modelled
    const EVP_MD* md = alg == CALG_MD5 ? EVP_md5() : alg == CALG_SHA1 ? EVP_sha1() : nullptr;
    if (!md) return Fail(Err(NTE_BAD_ALGID), FALSE);
    auto h = std::make_shared<Hash>();
    h->alg = alg;
    h->ctx = EVP_MD_CTX_new();
    if (!h->ctx || EVP_DigestInit_ex(h->ctx, md, nullptr) != 1) return Fail(Err(NTE_NO_MEMORY), FALSE);
    *phHash = Add(State().hashes, h);
    return TRUE;
}

BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* data, DWORD len, DWORD flags) {
    if (InjectedFail(crypt::Step::HashData)) return FALSE;
    auto h = Find(State().hashes, hHash);
    if (!h) return Fail(Err(NTE_BAD_HASH), FALSE);
    if (flags) return Fail(Err(NTE_BAD_FLAGS), FALSE);
    if (h->finished) return Fail(Err(NTE_BAD_HASH_STATE), FALSE);
    if (len && !data) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (len) EVP_DigestUpdate(h->ctx, data, len);
    return TRUE;
}

BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD param, BYTE* out, DWORD* len, DWORD flags) {
    if (InjectedFail(crypt::Step::GetHashParam)) return FALSE;
    auto h = Find(State().hashes, hHash);
    if (!h) return Fail(Err(NTE_BAD_HASH), FALSE);
    if (!len) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (flags) return Fail(Err(NTE_BAD_FLAGS), FALSE);
    std::vector<uint8_t> v;
    auto dword = [&v](DWORD d) {
        v.resize(4);
        std::memcpy(v.data(), &d, 4);
    };
    if (param == HP_ALGID) {
        dword(h->alg);
    } else if (param == HP_HASHSIZE) {
        dword(h->alg == CALG_MD5 ? 16 : 20);
    } else if (param == HP_HASHVAL) {
        h->Finish();
        v = h->value;
    } else {
        return Fail(Err(NTE_BAD_TYPE), FALSE);
    }
    if (!out) {
        *len = static_cast<DWORD>(v.size());
        return TRUE;
    }
    if (*len < v.size()) {
        *len = static_cast<DWORD>(v.size());
        return Fail(ERROR_MORE_DATA, FALSE);
    }
    std::memcpy(out, v.data(), v.size());
    *len = static_cast<DWORD>(v.size());
    return TRUE;
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash) {
    if (InjectedFail(crypt::Step::DestroyHash)) return FALSE;
    if (!Remove(State().hashes, hHash)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

BOOL WINAPI CryptDeriveKey(HCRYPTPROV hProv, ALG_ID alg, HCRYPTHASH hBase, DWORD flags, HCRYPTKEY* phKey) {
    if (!phKey) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *phKey = 0;
    if (InjectedFail(crypt::Step::DeriveKey)) return FALSE;
    auto ctx = Find(State().contexts, hProv);
    if (!ctx) return Fail(Err(NTE_BAD_UID), FALSE);
    auto h = Find(State().hashes, hBase);
    if (!h) return Fail(Err(NTE_BAD_HASH), FALSE);
    if (alg != CALG_RC4) return Fail(Err(NTE_BAD_ALGID), FALSE);
    DWORD low = flags & 0xFFFF;
    if (low & ~static_cast<DWORD>(CRYPT_EXPORTABLE | CRYPT_NO_SALT | CRYPT_USER_PROTECTED))
        return Fail(Err(NTE_BAD_FLAGS), FALSE);
    const Provider* p = ctx->provider;
    DWORD bits = flags >> 16;
    if (bits == 0) bits = p->rc4_default;
    if (bits < p->rc4_min || bits > p->rc4_max || bits % 8) return Fail(Err(NTE_BAD_FLAGS), FALSE);
    h->Finish();
    size_t n = bits / 8;
    if (n > h->value.size()) return Fail(Err(NTE_BAD_LEN), FALSE);
    std::vector<uint8_t> material(h->value.begin(), h->value.begin() + static_cast<std::ptrdiff_t>(n));
    if (p->zero_salt_40 && bits == 40 && !(low & CRYPT_NO_SALT)) material.resize(16, 0);
    auto key = std::make_shared<Key>();
    key->rc4.Init(material);
    *phKey = Add(State().keys, key);
    return TRUE;
}

BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey) {
    if (InjectedFail(crypt::Step::DestroyKey)) return FALSE;
    if (!Remove(State().keys, hKey)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL final, DWORD flags, BYTE* data, DWORD* len,
                         DWORD buflen) {
    if (InjectedFail(crypt::Step::Encrypt)) return FALSE;
    auto key = Find(State().keys, hKey);
    if (!key) return Fail(Err(NTE_BAD_KEY), FALSE);
    if (!len) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (flags) return Fail(Err(NTE_BAD_FLAGS), FALSE);
    if (!data) return TRUE;  // the length stays: RC4 output is as long as its input
    if (buflen < *len) return Fail(ERROR_MORE_DATA, FALSE);
    if (hHash && !CryptHashData(hHash, data, *len, 0)) return FALSE;
    key->rc4.Apply(data, *len);
    if (final) key->rc4.Restart();
    return TRUE;
}

BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL final, DWORD flags, BYTE* data, DWORD* len) {
    if (InjectedFail(crypt::Step::Decrypt)) return FALSE;
    auto key = Find(State().keys, hKey);
    if (!key) return Fail(Err(NTE_BAD_KEY), FALSE);
    if (!len || (*len && !data)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (flags) return Fail(Err(NTE_BAD_FLAGS), FALSE);
    key->rc4.Apply(data, *len);
    if (final) key->rc4.Restart();
    if (hHash && !CryptHashData(hHash, data, *len, 0)) return FALSE;
    return TRUE;
}

}  // extern "C"
