// Cryptographic service calls on OpenSSL libcrypto (see crypto.h).
#include "platform/crypto.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

thread_local DWORD t_lastError = 0;

BOOL fail(DWORD code)
{
    t_lastError = code;
    return FALSE;
}

BOOL ok()
{
    t_lastError = 0;
    return TRUE;
}

struct Provider {
    DWORD type;
};

struct Hash {
    ALG_ID alg = 0;
    EVP_MD_CTX* ctx = nullptr;
    bool finished = false;
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int valueLen = 0;
    ~Hash() { EVP_MD_CTX_free(ctx); }
};

struct Key {
    ALG_ID alg = 0;
    const EVP_CIPHER* cipher = nullptr;
    std::vector<unsigned char> bytes;
    EVP_CIPHER_CTX* ctx = nullptr;
    bool running = false;   // a message is under way (no final call yet)
    bool encrypting = false;
    ~Key() { EVP_CIPHER_CTX_free(ctx); }
};

// Every issued handle lives here; handles are never reused.
struct Table {
    std::mutex lock;
    uintptr_t next = 0x100;
    std::unordered_map<uintptr_t, Provider> providers;
    std::unordered_map<uintptr_t, std::unique_ptr<Hash>> hashes;
    std::unordered_map<uintptr_t, std::unique_ptr<Key>> keys;
};

Table& table()
{
    static Table* t = new Table;   // never destroyed: usable from static destructors
    return *t;
}

// The object behind a handle, or null (with the table lock held).
template <class T>
T* lookup(std::unordered_map<uintptr_t, std::unique_ptr<T>>& objects, uintptr_t handle)
{
    auto it = objects.find(handle);
    return it == objects.end() ? nullptr : it->second.get();
}

const EVP_MD* mdFor(ALG_ID alg)
{
    switch (alg) {
    case CALG_MD5: return EVP_md5();
    case CALG_SHA1: return EVP_sha1();
    case CALG_SHA_256: return EVP_sha256();
    default: return nullptr;
    }
}

// The ciphers of the identifiers. RC2, RC4, DES and DESX live in OpenSSL's
// legacy provider, which is loaded once (with the default provider beside
// it, as loading one provider explicitly stops the implicit default).
struct CipherKind {
    ALG_ID alg;
    const char* name;     // OpenSSL's name
    DWORD defaultBits;    // the key length without a request
    DWORD minBits, maxBits;
    DWORD nominalBits;    // the length also accepted for a fixed key (parity bits left out)
    bool padDerived;      // key bytes from the two pads even when the hash is long enough
};

const CipherKind kCiphers[] = {
    {CALG_DES, "DES-CBC", 64, 64, 64, 56, false},
    {CALG_3DES_112, "DES-EDE-CBC", 128, 128, 128, 112, true},
    {CALG_3DES, "DES-EDE3-CBC", 192, 192, 192, 168, true},
    {CALG_DESX, "DESX-CBC", 192, 192, 192, 192, false},
    {CALG_RC2, "RC2-CBC", 128, 40, 128, 0, false},
    {CALG_RC4, "RC4", 128, 40, 128, 0, false},
    {CALG_RC5, "RC5-CBC", 128, 40, 128, 0, false},
    {CALG_AES_128, "AES-128-CBC", 128, 128, 128, 0, true},
    {CALG_AES_192, "AES-192-CBC", 192, 192, 192, 0, true},
    {CALG_AES_256, "AES-256-CBC", 256, 256, 256, 0, true},
};

const CipherKind* cipherKind(ALG_ID alg)
{
    for (const CipherKind& k : kCiphers)
        if (k.alg == alg) return &k;
    return nullptr;
}

// The cipher of an identifier, fetched once; null when OpenSSL does not
// offer it here (the legacy provider missing, or a cipher left out of the
// build).
const EVP_CIPHER* cipherFor(ALG_ID alg)
{
    static std::once_flag once;
    static std::unordered_map<ALG_ID, EVP_CIPHER*>* fetched;
    std::call_once(once, [] {
        OSSL_PROVIDER_load(nullptr, "default");
        OSSL_PROVIDER_load(nullptr, "legacy");
        fetched = new std::unordered_map<ALG_ID, EVP_CIPHER*>;   // kept for the process
        for (const CipherKind& k : kCiphers) {
            ERR_set_mark();
            (*fetched)[k.alg] = EVP_CIPHER_fetch(nullptr, k.name, nullptr);
            ERR_pop_to_mark();
        }
    });
    auto it = fetched->find(alg);
    return it == fetched->end() ? nullptr : it->second;
}

bool isStreamCipher(const EVP_CIPHER* c)
{
    return EVP_CIPHER_get_block_size(c) == 1;
}

bool knownProvider(const char* name)
{
    if (!name) return true;
    static const char* const names[] = {MS_DEF_PROV_A, MS_ENHANCED_PROV_A, MS_STRONG_PROV_A,
                                        MS_ENH_RSA_AES_PROV_A};
    for (const char* n : names)
        if (std::strcmp(name, n) == 0) return true;
    return false;
}

// Finishes the hash once; afterwards the value stays readable.
bool finish(Hash& h)
{
    if (h.finished) return true;
    if (EVP_DigestFinal_ex(h.ctx, h.value, &h.valueLen) != 1) return false;
    h.finished = true;
    return true;
}

bool putParam(const void* src, DWORD n, BYTE* data, DWORD* len)
{
    if (!data) {
        *len = n;
        return ok();
    }
    if (*len < n) {
        *len = n;
        return fail(CRYPT_ERR_MORE_DATA);
    }
    std::memcpy(data, src, n);
    *len = n;
    return ok();
}

bool putDword(DWORD v, BYTE* data, DWORD* len)
{
    BYTE b[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
    return putParam(b, 4, data, len);
}

}  // namespace

DWORD cryptLastError()
{
    return t_lastError;
}

BOOL CryptAcquireContextA(HCRYPTPROV* prov, const char* container, const char* provider,
                          DWORD provType, DWORD flags)
{
    if (!prov) return fail(CRYPT_ERR_INVALID_PARAMETER);
    *prov = 0;
    const DWORD known = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET |
                        CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
    if (flags & ~known) return fail(NTE_BAD_FLAGS);
    if (provType != PROV_RSA_FULL && provType != PROV_RSA_AES) return fail(NTE_BAD_TYPE);
    if (!knownProvider(provider)) return fail(NTE_KEYSET_NOT_DEF);
    if (provider && provType == PROV_RSA_AES && std::strcmp(provider, MS_ENH_RSA_AES_PROV_A) != 0)
        return fail(NTE_PROV_TYPE_NO_MATCH);
    if (flags & CRYPT_DELETEKEYSET) return ok();   // nothing is ever stored
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    uintptr_t h = t.next++;
    t.providers.emplace(h, Provider{provType});
    *prov = h;
    return ok();
}

BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags)
{
    if (flags) return fail(NTE_BAD_FLAGS);
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (t.providers.erase(prov) == 0) return fail(NTE_BAD_UID);
    return ok();
}

BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash)
{
    if (!hash) return fail(CRYPT_ERR_INVALID_PARAMETER);
    *hash = 0;
    if (flags) return fail(NTE_BAD_FLAGS);
    if (key) return fail(NTE_BAD_KEY);   // keyed hashes are not offered
    const EVP_MD* md = mdFor(alg);
    if (!md) return fail(NTE_BAD_ALGID);
    auto h = std::make_unique<Hash>();
    h->alg = alg;
    h->ctx = EVP_MD_CTX_new();
    if (!h->ctx || EVP_DigestInit_ex(h->ctx, md, nullptr) != 1) return fail(NTE_NO_MEMORY);
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (!t.providers.count(prov)) return fail(NTE_BAD_UID);
    uintptr_t id = t.next++;
    t.hashes.emplace(id, std::move(h));
    *hash = id;
    return ok();
}

BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD len, DWORD flags)
{
    if (flags) return fail(NTE_BAD_FLAGS);
    if (len && !data) return fail(CRYPT_ERR_INVALID_PARAMETER);
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    Hash* h = lookup(t.hashes, hash);
    if (!h) return fail(NTE_BAD_HASH);
    if (h->finished) return fail(NTE_BAD_HASH_STATE);
    if (len && EVP_DigestUpdate(h->ctx, data, len) != 1) return fail(NTE_FAIL);
    return ok();
}

BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* len, DWORD flags)
{
    if (!len) return fail(CRYPT_ERR_INVALID_PARAMETER);
    if (flags) return fail(NTE_BAD_FLAGS);
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    Hash* h = lookup(t.hashes, hash);
    if (!h) return fail(NTE_BAD_HASH);
    switch (param) {
    case HP_ALGID: return putDword(h->alg, data, len);
    case HP_HASHSIZE: return putDword(DWORD(EVP_MD_CTX_get_size(h->ctx)), data, len);
    case HP_HASHVAL: {
        DWORD size = DWORD(EVP_MD_CTX_get_size(h->ctx));
        if (!data) {
            *len = size;
            return ok();
        }
        if (*len < size) {
            *len = size;
            return fail(CRYPT_ERR_MORE_DATA);
        }
        if (!finish(*h)) return fail(NTE_FAIL);
        return putParam(h->value, h->valueLen, data, len);
    }
    default: return fail(NTE_BAD_TYPE);
    }
}

BOOL CryptDestroyHash(HCRYPTHASH hash)
{
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (t.hashes.erase(hash) == 0) return fail(NTE_BAD_HASH);
    return ok();
}

BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID alg, HCRYPTHASH baseData, DWORD flags, HCRYPTKEY* key)
{
    if (!key) return fail(CRYPT_ERR_INVALID_PARAMETER);
    *key = 0;
    const CipherKind* kind = cipherKind(alg);
    const EVP_CIPHER* cipher = cipherFor(alg);
    if (!kind || !cipher) return fail(NTE_BAD_ALGID);
    DWORD bits = flags >> 16;
    if (!bits || (kind->nominalBits && bits == kind->nominalBits)) bits = kind->defaultBits;
    if (bits < kind->minBits || bits > kind->maxBits || bits % 8) return fail(NTE_BAD_FLAGS);
    const DWORD keyBytes = bits / 8;

    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (!t.providers.count(prov)) return fail(NTE_BAD_UID);
    Hash* found = lookup(t.hashes, baseData);
    if (!found) return fail(NTE_BAD_HASH);
    Hash& h = *found;
    if (!finish(h)) return fail(NTE_FAIL);

    auto k = std::make_unique<Key>();
    k->alg = alg;
    k->cipher = cipher;
    const bool sha2 = h.alg == CALG_SHA_256;
    if (keyBytes <= h.valueLen && (sha2 || !kind->padDerived)) {
        k->bytes.assign(h.value, h.value + keyBytes);
    } else {
        // The two pads xor the hash value, each hashed with the same algorithm.
        const EVP_MD* md = mdFor(h.alg);
        unsigned char pad[2][64];
        std::vector<unsigned char> material;
        for (int p = 0; p < 2; ++p) {
            std::memset(pad[p], p == 0 ? 0x36 : 0x5C, 64);
            for (unsigned i = 0; i < h.valueLen && i < 64; ++i) pad[p][i] ^= h.value[i];
            unsigned char out[EVP_MAX_MD_SIZE];
            unsigned int outLen = 0;
            if (EVP_Digest(pad[p], 64, out, &outLen, md, nullptr) != 1) return fail(NTE_FAIL);
            material.insert(material.end(), out, out + outLen);
        }
        if (material.size() < keyBytes) return fail(NTE_BAD_LEN);
        k->bytes.assign(material.begin(), material.begin() + keyBytes);
    }
    k->ctx = EVP_CIPHER_CTX_new();
    if (!k->ctx) return fail(NTE_NO_MEMORY);
    uintptr_t id = t.next++;
    t.keys.emplace(id, std::move(k));
    *key = id;
    return ok();
}

BOOL CryptGetKeyParam(HCRYPTKEY key, DWORD param, BYTE* data, DWORD* len, DWORD flags)
{
    if (!len) return fail(CRYPT_ERR_INVALID_PARAMETER);
    if (flags) return fail(NTE_BAD_FLAGS);
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    const Key* k = lookup(t.keys, key);
    if (!k) return fail(NTE_BAD_KEY);
    const EVP_CIPHER* c = k->cipher;
    switch (param) {
    case KP_ALGID: return putDword(k->alg, data, len);
    // A stream cipher has no blocks: 0.
    case KP_BLOCKLEN:
        return putDword(isStreamCipher(c) ? 0 : DWORD(EVP_CIPHER_get_block_size(c)) * 8, data, len);
    case KP_KEYLEN: return putDword(DWORD(k->bytes.size()) * 8, data, len);
    default: return fail(NTE_BAD_TYPE);
    }
}

namespace {

// One step of a message: the update and, for the final call, the padding.
BOOL cipherStep(HCRYPTKEY key, bool encrypt, BOOL final, BYTE* data, DWORD* len, DWORD bufLen,
                bool checkRoom)
{
    if (!len || (*len && !data && !checkRoom)) return fail(CRYPT_ERR_INVALID_PARAMETER);
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    Key* found = lookup(t.keys, key);
    if (!found) return fail(NTE_BAD_KEY);
    Key& k = *found;
    const EVP_CIPHER* c = k.cipher;
    const DWORD bs = DWORD(EVP_CIPHER_get_block_size(c));
    const DWORD n = *len;
    if ((!final || !encrypt) && n % bs != 0) return fail(NTE_BAD_DATA);
    if (checkRoom) {
        // A block cipher pads the final block; a stream cipher adds nothing.
        const DWORD need = final && bs > 1 ? (n / bs + 1) * bs : n;
        if (!data || bufLen < need) {
            *len = need;
            return data ? fail(CRYPT_ERR_MORE_DATA) : ok();
        }
    }
    if (k.running && k.encrypting != encrypt) return fail(NTE_BAD_DATA);
    if (!k.running) {
        static const unsigned char zeroIv[EVP_MAX_IV_LENGTH] = {0};
        const int enc = encrypt ? 1 : 0;
        // The key length first (RC2 and RC4 take several; RC2 also as its
        // effective length), then key and IV.
        const int keyBits = int(k.bytes.size() * 8);
        bool set = EVP_CipherInit_ex(k.ctx, c, nullptr, nullptr, nullptr, enc) == 1 &&
                   EVP_CIPHER_CTX_set_key_length(k.ctx, int(k.bytes.size())) == 1;
        if (set && k.alg == CALG_RC2)
            set = EVP_CIPHER_CTX_ctrl(k.ctx, EVP_CTRL_SET_RC2_KEY_BITS, keyBits, nullptr) == 1;
        if (!set || EVP_CipherInit_ex(k.ctx, nullptr, nullptr, k.bytes.data(), zeroIv, enc) != 1)
            return fail(NTE_FAIL);
        k.running = true;
        k.encrypting = encrypt;
    }
    std::vector<unsigned char> out(n + 2 * bs);
    int produced = 0, tail = 0;
    bool good = EVP_CipherUpdate(k.ctx, out.data(), &produced, data, int(n)) == 1;
    if (good && final) good = EVP_CipherFinal_ex(k.ctx, out.data() + produced, &tail) == 1;
    if (final || !good) k.running = false;
    if (!good) return fail(NTE_BAD_DATA);
    const DWORD total = DWORD(produced + tail);
    if (total) std::memcpy(data, out.data(), total);
    *len = total;
    return ok();
}

}  // namespace

BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data,
                  DWORD* len, DWORD bufLen)
{
    if (hash) return fail(NTE_BAD_HASH);
    if (flags) return fail(NTE_BAD_FLAGS);
    return cipherStep(key, true, final, data, len, bufLen, true);
}

BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* len)
{
    if (hash) return fail(NTE_BAD_HASH);
    if (flags) return fail(NTE_BAD_FLAGS);
    return cipherStep(key, false, final, data, len, 0, false);
}

BOOL CryptDestroyKey(HCRYPTKEY key)
{
    Table& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (t.keys.erase(key) == 0) return fail(NTE_BAD_KEY);
    return ok();
}
