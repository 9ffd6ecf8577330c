#include "platform/crypto.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string hex(const BYTE* p, DWORD n)
{
    static const char* d = "0123456789abcdef";
    std::string s;
    for (DWORD i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

struct Ctx {
    HCRYPTPROV prov = 0;
    Ctx(const char* name = MS_DEF_PROV_A)
    {
        EXPECT_TRUE(CryptAcquireContextA(&prov, nullptr, name, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    }
    ~Ctx() { CryptReleaseContext(prov, 0); }
};

std::string md5Of(HCRYPTPROV prov, const std::vector<std::string>& pieces)
{
    HCRYPTHASH h = 0;
    EXPECT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &h));
    for (const auto& p : pieces)
        EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>(p.data()), DWORD(p.size()), 0));
    BYTE v[16];
    DWORD n = sizeof v;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, v, &n, 0));
    EXPECT_EQ(n, 16u);
    CryptDestroyHash(h);
    return hex(v, n);
}

}  // namespace

TEST(Crypto, Md5KnownAnswersAndPieces)
{
    Ctx c;
    EXPECT_EQ(md5Of(c.prov, {}), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Of(c.prov, {"abc"}), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Of(c.prov, {"a", "", "bc"}), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Crypto, HashParamsAndFinishedState)
{
    Ctx c;
    HCRYPTHASH h = 0;
    ASSERT_TRUE(CryptCreateHash(c.prov, CALG_MD5, 0, 0, &h));
    BYTE buf[16];
    DWORD n = 0;
    ASSERT_TRUE(CryptGetHashParam(h, HP_HASHVAL, nullptr, &n, 0));   // size query
    EXPECT_EQ(n, 16u);
    n = 8;
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, buf, &n, 0));
    EXPECT_EQ(cryptLastError(), CRYPT_ERR_MORE_DATA);
    EXPECT_EQ(n, 16u);
    // The too-small read did not finish the hash.
    ASSERT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    n = 16;
    ASSERT_TRUE(CryptGetHashParam(h, HP_HASHVAL, buf, &n, 0));
    EXPECT_EQ(hex(buf, 16), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_FALSE(CryptHashData(h, buf, 1, 0));
    EXPECT_EQ(cryptLastError(), NTE_BAD_HASH_STATE);
    BYTE again[16];
    n = 16;
    ASSERT_TRUE(CryptGetHashParam(h, HP_HASHVAL, again, &n, 0));
    EXPECT_EQ(0, std::memcmp(buf, again, 16));
    EXPECT_TRUE(CryptDestroyHash(h));
    EXPECT_FALSE(CryptDestroyHash(h));
}

TEST(Crypto, RefusesUnknownProvidersAlgorithmsAndHandles)
{
    HCRYPTPROV p = 1;
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, "No Such Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(p, 0u);
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, MS_DEF_PROV_A, 99, CRYPT_VERIFYCONTEXT));
    // A keyset context is taken like a verify context: no keys are stored.
    ASSERT_TRUE(CryptAcquireContextA(&p, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
    HCRYPTHASH h = 0;
    EXPECT_FALSE(CryptCreateHash(p, 0x1234, 0, 0, &h));
    EXPECT_EQ(cryptLastError(), NTE_BAD_ALGID);
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    EXPECT_FALSE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));   // released context
    EXPECT_FALSE(CryptHashData(0xDEAD, reinterpret_cast<const BYTE*>("x"), 1, 0));
    EXPECT_EQ(cryptLastError(), NTE_BAD_HASH);
    DWORD n = 0;
    EXPECT_FALSE(CryptEncrypt(0xDEAD, 0, TRUE, 0, nullptr, &n, 0));
    EXPECT_EQ(cryptLastError(), NTE_BAD_KEY);
    EXPECT_FALSE(CryptDecrypt(0xDEAD, 0, TRUE, 0, nullptr, &n));
    EXPECT_EQ(cryptLastError(), NTE_BAD_KEY);
    BYTE out[4];
    n = sizeof out;
    EXPECT_FALSE(CryptGetHashParam(0xDEAD, HP_ALGID, out, &n, 0));
    EXPECT_EQ(cryptLastError(), NTE_BAD_HASH);
    EXPECT_FALSE(CryptGetKeyParam(0xDEAD, KP_ALGID, out, &n, 0));
    EXPECT_EQ(cryptLastError(), NTE_BAD_KEY);
    Ctx c(MS_ENHANCED_PROV_A);
    HCRYPTKEY k = 1;
    EXPECT_FALSE(CryptDeriveKey(c.prov, CALG_AES_128, 0xDEAD, 0, &k));
    EXPECT_EQ(cryptLastError(), NTE_BAD_HASH);
    EXPECT_EQ(k, 0u);
}

// A message encrypted in pieces decrypts in other pieces to the original;
// a corrupted final block is refused.
TEST(Crypto, CipherRoundTripInPieces)
{
    for (ALG_ID alg : {CALG_AES_128, CALG_AES_256, CALG_3DES}) {
        SCOPED_TRACE(alg);
        Ctx c(MS_ENHANCED_PROV_A);
        HCRYPTHASH h = 0;
        ASSERT_TRUE(CryptCreateHash(c.prov, CALG_MD5, 0, 0, &h));
        ASSERT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("secret"), 6, 0));
        HCRYPTKEY k = 0;
        ASSERT_TRUE(CryptDeriveKey(c.prov, alg, h, 0, &k));
        BYTE w[4];
        DWORD n = 4;
        ASSERT_TRUE(CryptGetKeyParam(k, KP_BLOCKLEN, w, &n, 0));
        const DWORD bs = (w[0] | w[1] << 8) / 8;

        std::vector<BYTE> plain(5 * bs + 3);
        for (size_t i = 0; i < plain.size(); ++i) plain[i] = BYTE(i * 7 + 1);
        std::vector<BYTE> cipher;
        // Two whole blocks, then the rest with the final flag.
        std::vector<BYTE> buf(plain.begin(), plain.begin() + 2 * bs);
        n = DWORD(buf.size());
        ASSERT_TRUE(CryptEncrypt(k, 0, FALSE, 0, buf.data(), &n, DWORD(buf.size())));
        cipher.insert(cipher.end(), buf.begin(), buf.begin() + n);
        buf.assign(plain.begin() + 2 * bs, plain.end());
        n = DWORD(buf.size());
        DWORD need = n;
        ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, nullptr, &need, 0));
        EXPECT_EQ(need, 4 * bs);
        buf.resize(need);
        ASSERT_TRUE(CryptEncrypt(k, 0, TRUE, 0, buf.data(), &n, DWORD(buf.size())));
        cipher.insert(cipher.end(), buf.begin(), buf.begin() + n);
        ASSERT_EQ(cipher.size(), 6 * bs);
        EXPECT_NE(0, std::memcmp(cipher.data(), plain.data(), bs));

        std::vector<BYTE> back;
        for (size_t off = 0; off < cipher.size(); off += bs) {
            bool last = off + bs == cipher.size();
            std::vector<BYTE> piece(cipher.begin() + off, cipher.begin() + off + bs);
            piece.resize(2 * bs);
            n = bs;
            ASSERT_TRUE(CryptDecrypt(k, 0, last, 0, piece.data(), &n));
            back.insert(back.end(), piece.begin(), piece.begin() + n);
        }
        EXPECT_EQ(back, plain);

        std::vector<BYTE> bad = cipher;
        bad.back() ^= 0x55;
        bad.resize(bad.size() + bs);
        n = DWORD(cipher.size());
        EXPECT_FALSE(CryptDecrypt(k, 0, TRUE, 0, bad.data(), &n));
        EXPECT_EQ(cryptLastError(), NTE_BAD_DATA);
        // A block cipher takes whole blocks before the final call.
        n = bs - 1;
        EXPECT_FALSE(CryptEncrypt(k, 0, FALSE, 0, bad.data(), &n, DWORD(bad.size())));
        EXPECT_TRUE(CryptDestroyKey(k));
        CryptDestroyHash(h);
    }
}
