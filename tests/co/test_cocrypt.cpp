// Hashing and the stream cipher: the bytes a VARIANT feeds, buffered adds,
// stream and file hashing, and every cipher identifier against the openssl
// command.
#include "co/CoCrypt.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "co/TraceApi.h"
#include "platform/com.h"
#include "platform/guid.h"
#include "tests/co/test_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;
using cotest::TestStream;

Bytes hexBytes(const char* hex)
{
    Bytes b;
    for (const char* p = hex; p[0] && p[1]; p += 2) {
        if (*p == ' ') {
            --p;
            continue;
        }
        b.push_back(uint8_t(std::stoul(std::string(p, 2), nullptr, 16)));
    }
    return b;
}

std::string guidOf(CoCryptHashVariant& h)
{
    GUID g{};
    EXPECT_TRUE(h.getHashAsGUID(&g));
    return tvp::guidToString(g);
}

// The digest of a VARIANT equals the digest of the bytes it should feed.
void expectFeeds(const VARIANT& v, const char* hex)
{
    CoCryptHashVariant fromVariant, fromBytes;
    fromVariant.addVariant(v);
    Bytes b = hexBytes(hex);
    fromBytes.add(b.data(), uint32_t(b.size()));
    EXPECT_EQ(guidOf(fromVariant), guidOf(fromBytes)) << hex;
}

Bytes pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 31 + 7);
    return b;
}

std::string digestText(CoCryptHashData& h)
{
    uint8_t d[16];
    EXPECT_TRUE(h.getHash16(d));
    char buf[33];
    for (int i = 0; i < 16; ++i) std::snprintf(buf + 2 * i, 3, "%02x", d[i]);
    return buf;
}

SAFEARRAY* i4Array(LONG lbound, ULONG count)
{
    SAFEARRAYBOUND b{count, lbound};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 1, &b);
    for (ULONG i = 0; i < count; ++i) {
        LONG idx = lbound + LONG(i), val = LONG(0x10 + i);
        SafeArrayPutElement(psa, &idx, &val);
    }
    return psa;
}

}  // namespace

TEST(CoCryptHashVariant, DigestLaidIntoGuid)
{
    // MD5(03 00 00 00 01 00 00 00) = 774bb35c 3c3c 0f63 5d0361d6bf0343b7
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 1;
    CoCryptHashVariant h;
    h.addVariant(v);
    EXPECT_EQ(guidOf(h), "{5CB34B77-3C3C-630F-5D03-61D6BF0343B7}");
}

TEST(CoCryptHashVariant, ScalarFeeds)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 1;
    expectFeeds(v, "03000000 01000000");

    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"ab");
    expectFeeds(v, "08000000 61006200");
    VariantClear(&v);

    v.vt = VT_I1;
    v.cVal = -2;
    expectFeeds(v, "10000000 feffffff");
    v.vt = VT_UI1;
    v.bVal = 0xFE;
    expectFeeds(v, "11000000 fe000000");
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    expectFeeds(v, "0b000000 ffff");
    v.vt = VT_UI2;
    v.uiVal = 0x1234;
    expectFeeds(v, "12000000 3412");
    v.vt = VT_R8;
    v.dblVal = 1.0;
    expectFeeds(v, "05000000 000000000000f03f");
    v.vt = VT_CY;
    v.cyVal.int64 = 0x0102030405060708LL;
    expectFeeds(v, "06000000 0807060504030201");
    v.vt = VT_R4;
    v.fltVal = 1.0f;
    expectFeeds(v, "04000000 0000803f");
    v.vt = VT_I8;   // not fed
    v.llVal = 99;
    expectFeeds(v, "14000000");
    VariantInit(&v);
    expectFeeds(v, "00000000");

    LONG target = 7;
    v.vt = VT_I4 | VT_BYREF;
    v.plVal = &target;
    expectFeeds(v, "03000000 07000000");
}

TEST(CoCryptHashVariant, ArrayFeedsFollowTheUpperBound)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;

    // 0..3: upper bound 3 gives the words 3 and 0 and no element.
    v.parray = i4Array(0, 4);
    expectFeeds(v, "03200000 01000000 0300 03000000 00000000 04000000");
    SAFEARRAY* byRefTarget = v.parray;
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_ARRAY | VT_I4 | VT_BYREF;
    r.pparray = &byRefTarget;
    expectFeeds(r, "03200000 01000000 0300 03000000 00000000 04000000");
    VariantClear(&v);

    // -5..-2: upper bound -2 gives w = 2, so the first two elements are fed.
    v.vt = VT_ARRAY | VT_I4;
    v.parray = i4Array(-5, 4);
    expectFeeds(v, "03200000 01000000 0300 feffffff 02000000 04000000 10000000 11000000");
    VariantClear(&v);

    // -10..-8: w = 8 asks for more than the three elements there are.
    v.vt = VT_ARRAY | VT_I4;
    v.parray = i4Array(-10, 3);
    expectFeeds(v, "03200000 01000000 0300 f8ffffff 08000000 04000000 10000000 11000000 12000000");
    VariantClear(&v);

    // VARIANT elements are fed recursively, with their type.
    SAFEARRAYBOUND b{2, -2};
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreate(VT_VARIANT, 1, &b);
    VARIANT e;
    VariantInit(&e);
    e.vt = VT_I2;
    e.iVal = 5;
    LONG idx = -2;
    SafeArrayPutElement(v.parray, &idx, &e);
    expectFeeds(v, "0c200000 01000000 0c00 ffffffff 01000000 10000000 02000000 0500");
    VariantClear(&v);
}

// Adds that cross the buffer end in different ways give the digest of the
// same bytes added at once.
TEST(CoCryptHashVariant, BufferedAddsMatchOneAdd)
{
    const Bytes data = pattern(3000);
    auto digestOf = [&](std::vector<size_t> pieces) {
        CoCryptHashVariant h;
        size_t at = 0;
        for (size_t n : pieces) {
            h.add(data.data() + at, uint32_t(n));
            at += n;
        }
        return guidOf(h);
    };
    EXPECT_EQ(digestOf({1023, 1}), digestOf({1024}));
    EXPECT_EQ(digestOf({1025}), digestOf({1000, 24, 1}));
    EXPECT_EQ(digestOf({10, 1024, 1024}), digestOf({2058}));
    EXPECT_EQ(digestOf({0, 512, 0}), digestOf({512}));

    CoCryptHashData md5;
    md5.hashData(data.data(), 1025);
    EXPECT_EQ(digestText(md5), "31d56d8e673d2856b7a4eee144ee8275");
}

TEST(CoCryptHashStream, StreamsAndFiles)
{
    TestStream s(pattern(1000));
    CoCryptHashStream h;
    ASSERT_TRUE(h.hashStream(&s, 100));
    EXPECT_EQ(digestText(h), "f7a756aae47df076a032ab1adbb8f59e");

    TestStream exact(pattern(512));   // ends on a block boundary
    CoCryptHashStream h2;
    ASSERT_TRUE(h2.hashStream(&exact, 0));
    EXPECT_EQ(digestText(h2), "7ae054ce35e08f0cf41dae29cf6e28fc");

    CTraceCapture trace;
    TestStream bad(pattern(10));
    bad.failSeek = true;
    EXPECT_FALSE(CoCryptHashStream().hashStream(&bad, 0));
    bad.failSeek = false;
    bad.failRead = true;
    EXPECT_FALSE(CoCryptHashStream().hashStream(&bad, 0));
    bad.failRead = false;
    bad.throwRead = true;
    EXPECT_FALSE(CoCryptHashStream().hashStream(&bad, 0));
    EXPECT_FALSE(CoCryptHashStream().hashStream(nullptr, 0));
    auto lines = trace.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].message, "error calling hr = pIStream->Seek(Offset, STREAM_SEEK_SET, NULL) hr = 0x80030001 "
                                "(STG_E_INVALIDFUNCTION)");
    EXPECT_EQ(lines[1].message, "error calling hr = pIStream->Read(cb, BLKSIZE, &sz) hr = 0x8003001E (STG_E_READFAULT)");
    EXPECT_EQ(lines[2].message, "caught exeption calling hr = pIStream->Read(cb, BLKSIZE, &sz)");
    EXPECT_EQ(lines[2].method, "CoCryptHashStream::hashStream()");

    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tv_cocrypt_test.bin";
    {
        Bytes d = pattern(1000);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(d.data(), 1, d.size(), f);
        std::fclose(f);
    }
    CoCryptHashStream hf;
    ASSERT_TRUE(hf.hashFile(path.c_str()));
    EXPECT_EQ(digestText(hf), "2b1e78d5765de9e10495a01412a1cf22");
    std::remove(path.c_str());
    trace.clear();
    EXPECT_FALSE(CoCryptHashStream().hashFile(path.c_str()));
    ASSERT_EQ(trace.count(), 1u);
    EXPECT_EQ(trace.lines()[0].message, "Error opening " + path);
}

TEST(CCoStreamCipher, RoundTripThroughStreams)
{
    const uint8_t key[] = "not a stored key";
    for (size_t size : {0u, 15u, 992u, 2500u}) {
        SCOPED_TRACE(size);
        TestStream plain(pattern(size)), cipher({}), back({});
        CCoStreamCipher c;
        ASSERT_TRUE(c.encryptStream(key, sizeof key, CALG_MD5, CALG_3DES, 0, &plain, &cipher, true));
        EXPECT_EQ(cipher.m_data.size(), (size / 8 + 1) * 8);
        ASSERT_TRUE(c.encryptStream(key, sizeof key, CALG_MD5, CALG_3DES, 0, &cipher, &back, false));
        EXPECT_EQ(back.m_data, plain.m_data);
    }
    TestStream plain(pattern(100)), out({});
    EXPECT_FALSE(CCoStreamCipher().encryptStream(key, sizeof key, CALG_MD5, 0x1234, 0, &plain, &out, true));

    // A failing or throwing stream stops the run with a trace line in the
    // method's own words.
    CTraceCapture trace;
    out.failSeek = true;
    EXPECT_FALSE(CCoStreamCipher().encryptStream(key, sizeof key, CALG_MD5, CALG_3DES, 0, &plain, &out, true));
    out.failSeek = false;
    plain.throwRead = true;
    EXPECT_FALSE(CCoStreamCipher().encryptStream(key, sizeof key, CALG_MD5, CALG_3DES, 0, &plain, &out, true));
    auto lines = trace.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].message, "error calling pDst->Seek(li,STREAM_SEEK_SET, 0) hr = 0x80030001 (STG_E_INVALIDFUNCTION)");
    EXPECT_EQ(lines[1].message, "caught exception calling pSrc->Read(pBuffer, dwDataBufLen, &lenRead)");
    EXPECT_EQ(lines[1].method, "CCoStreamCipher::encryptStream");
}

namespace {

std::string toHex(const Bytes& b)
{
    std::string s;
    char buf[3];
    for (uint8_t x : b) {
        std::snprintf(buf, sizeof buf, "%02x", x);
        s += buf;
    }
    return s;
}

Bytes md5Bytes(const Bytes& in)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    EXPECT_EQ(EVP_Digest(in.data(), in.size(), out.data(), &len, EVP_md5(), nullptr), 1);
    out.resize(len);
    return out;
}

// What the openssl command makes of a file with the key in hexadecimal and
// a zero IV; empty when the command cannot be run.
Bytes opensslEnc(const char* cipher, const Bytes& key, const Bytes& plain, bool& ran)
{
    const char* dir = std::getenv("TMPDIR");
    const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/tv_cipher_" + std::to_string(::getpid());
    const std::string in = base + ".in", out = base + ".out";
    std::FILE* f = std::fopen(in.c_str(), "wb");
    if (!f) return {};
    if (!plain.empty()) std::fwrite(plain.data(), 1, plain.size(), f);
    std::fclose(f);
    const std::string cmd = std::string("openssl enc -") + cipher + " -provider legacy -provider default -K " +
                            toHex(key) + (std::string(cipher) == "rc4" ? "" : " -iv 0000000000000000") +
                            " -in '" + in + "' -out '" + out + "' 2>/dev/null";
    ran = std::system(cmd.c_str()) == 0;
    Bytes result;
    if (ran && (f = std::fopen(out.c_str(), "rb"))) {
        for (int c; (c = std::fgetc(f)) != EOF;) result.push_back(uint8_t(c));
        std::fclose(f);
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    return result;
}

}  // namespace

TEST(CCoStreamCipher, EveryOfferedIdentifierRoundTrips)
{
    const uint8_t key[] = "not a stored key";
    const struct { ALG_ID alg; uint32_t keyBits; size_t block; } offered[] = {
        {CALG_AES_128, 0, 16}, {CALG_AES_192, 0, 16}, {CALG_AES_256, 0, 16}, {CALG_3DES, 0, 8},
        {CALG_3DES_112, 0, 8}, {CALG_DES, 0, 8}, {CALG_DESX, 0, 8},    {CALG_RC2, 0, 8},
        {CALG_RC2, 40, 8},     {CALG_RC4, 0, 0}, {CALG_RC4, 56, 0},
    };
    Bytes previous;
    for (const auto& c : offered) {
        SCOPED_TRACE(testing::Message() << std::hex << c.alg << " " << std::dec << c.keyBits);
        TestStream plain(pattern(2500)), cipher({}), back({});
        CCoStreamCipher cc;
        ASSERT_TRUE(cc.encryptStream(key, sizeof key, CALG_MD5, c.alg, c.keyBits, &plain, &cipher, true));
        EXPECT_EQ(cipher.m_data.size(), c.block ? (2500 / c.block + 1) * c.block : 2500);
        EXPECT_NE(cipher.m_data, previous);
        previous = cipher.m_data;
        ASSERT_TRUE(cc.encryptStream(key, sizeof key, CALG_MD5, c.alg, c.keyBits, &cipher, &back, false));
        EXPECT_EQ(back.m_data, plain.m_data);
    }

    // Identifiers OpenSSL does not offer fail with the method's trace line.
    CTraceCapture trace;
    for (ALG_ID alg : {CALG_SKIPJACK, CALG_TEK, CALG_CYLINK_MEK, CALG_SEAL, ALG_ID(0x1234)}) {
        TestStream plain(pattern(10)), out({});
        EXPECT_FALSE(CCoStreamCipher().encryptStream(key, sizeof key, CALG_MD5, alg, 0, &plain, &out, true));
    }
    ASSERT_EQ(trace.count(), 5u);
    EXPECT_EQ(trace.lines()[0].message, "Error creating Key");
    EXPECT_EQ(trace.lines()[0].method, "CCoStreamCipher::encryptStream");
    // A key length RC4 does not take.
    TestStream plain(pattern(10)), out({});
    EXPECT_FALSE(CCoStreamCipher().encryptStream(key, sizeof key, CALG_MD5, CALG_RC4, 130, &plain, &out, true));
}

// On a known key the cipher agrees with the openssl command: RC4 keys are the
// first bytes of the MD5 of the key data, AES keys the MD5 of the key data
// xor the 0x36 pad.
TEST(CCoStreamCipher, AgreesWithTheOpensslCommand)
{
    const Bytes keyData = {'k', 'n', 'o', 'w', 'n', ' ', 'k', 'e', 'y'};
    const Bytes digest = md5Bytes(keyData);
    Bytes pad(64, 0x36);
    for (size_t i = 0; i < digest.size(); ++i) pad[i] ^= digest[i];
    const Bytes aesKey = md5Bytes(pad);

    const struct { ALG_ID alg; const char* name; Bytes key; } cases[] = {
        {CALG_RC4, "rc4", digest},
        {CALG_AES_128, "aes-128-cbc", aesKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (size_t size : {0u, 17u, 3000u}) {
            TestStream plain(pattern(size)), cipher({});
            ASSERT_TRUE(CCoStreamCipher().encryptStream(keyData.data(), uint32_t(keyData.size()), CALG_MD5, c.alg, 0,
                                                        &plain, &cipher, true));
            bool ran = false;
            const Bytes expected = opensslEnc(c.name, c.key, plain.m_data, ran);
            if (!ran) GTEST_SKIP() << "the openssl command cannot encrypt with " << c.name;
            EXPECT_EQ(toHex(cipher.m_data), toHex(expected)) << size;
        }
    }
}
