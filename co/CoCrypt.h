// Hashing of content (MD5 by default) for content versions and section
// checksums, and encryption of streams.
//
// The digests are stored in files and compared with those of later runs, so
// the bytes fed into the hash are part of the file format: integers are fed
// little-endian in the widths of 32-bit Windows.
//
// Failures never throw: they are written as trace lines (source "co_crypto")
// and answered with false.
#pragma once
#include <cstdint>

#include "platform/crypto.h"
#include "platform/storage.h"
#include "platform/variant.h"
#include "platform/wintypes.h"

class CoCryptHashData {
public:
    // With keysetMode the context is acquired for the default key container
    // (created when it is missing), else as a verify context.
    explicit CoCryptHashData(bool keysetMode = false, const char* provider = MS_DEF_PROV_A,
                             uint32_t provType = PROV_RSA_FULL, ALG_ID alg = CALG_MD5);
    virtual ~CoCryptHashData();
    CoCryptHashData(const CoCryptHashData&) = delete;
    CoCryptHashData& operator=(const CoCryptHashData&) = delete;

    bool hashData(const uint8_t* data, uint32_t n);
    // The digest; *len gives the room and receives the digest length.
    bool getHash(uint8_t* out, uint32_t* len);
    bool getHash16(uint8_t out[16]);
    // Starts a new hash of the same algorithm.
    void clear();

    bool hasHash() const { return m_hash != 0; }

protected:
    HCRYPTPROV m_prov = 0;
    HCRYPTHASH m_hash = 0;
    ALG_ID m_alg;
};

// Buffered MD5 accumulator: the digest equals the MD5 of every byte added,
// in order. After a failure of the cryptographic service every later call
// does nothing and getHashAsGUID answers false.
class CoCryptHashVariant : public CoCryptHashData {
public:
    enum { BUFSIZE = 1024 };

    CoCryptHashVariant();

    void add(const void* bytes, uint32_t n);
    void addBytes(const void* bytes, uint32_t n) { add(bytes, n); }

    // Feeds the type (VT_BYREF removed) as 4 bytes, then the value:
    // - VT_I2, VT_BOOL, VT_UI2: 2 bytes; VT_I1 sign-extended and VT_UI1
    //   zero-extended to 4 bytes; VT_I4, VT_R4, VT_ERROR, VT_UI4, VT_INT,
    //   VT_UINT: 4 bytes; VT_R8, VT_DATE, VT_CY: 8 bytes; VT_BSTR: its UTF-16
    //   units (no length, no terminator); any other type: nothing.
    // - arrays: the dimension count (4), the element type (2; 0 when
    //   unknown), per dimension the upper bound u (4) and w = -u when u is
    //   negative, else 0 (4), then the element size (4; 0 when the data
    //   cannot be accessed). The element count is the product of the w
    //   values, so only arrays whose every upper bound is negative feed
    //   elements - stored digests depend on this. No element beyond the
    //   array's real element count is ever read. Elements are fed without
    //   their type, VARIANT elements recursively.
    void addVariant(const VARIANT& v);

    // Flushes and reads the 16 digest bytes into the GUID in memory order
    // (Data1, Data2, Data3 little-endian, then Data4).
    bool getHashAsGUID(GUID* guid);

    bool isOk() const { return m_ok; }

private:
    bool flush();
    void addVariantAt(const VARIANT& v, int depth);
    void addArray(SAFEARRAY* psa, int depth);
    void addElement(VARTYPE vt, const void* data, uint32_t index, int depth);
    void addU16(uint16_t v);
    void addU32(uint32_t v);
    void addU64(uint64_t v);

    uint8_t m_buf[BUFSIZE];
    uint32_t m_fill = 0;
    bool m_ok;
};

// Hashes streams and files in blocks of BLKSIZE bytes.
class CoCryptHashStream : public CoCryptHashData {
public:
    enum { BLKSIZE = 256 };

    explicit CoCryptHashStream(bool keysetMode = false, const char* provider = MS_DEF_PROV_A,
                               uint32_t provType = PROV_RSA_FULL, ALG_ID alg = CALG_MD5);

    // From the offset to the end of the stream; false when a Seek, a Read or
    // the hash fails.
    bool hashStream(IStream* stream, int64_t offset);
    // The whole file; false when it cannot be opened or read.
    bool hashFile(const char* path);
};

// Encrypts or decrypts a stream with a key derived from the hash of key
// data. Nothing in the system stores such keys.
class CCoStreamCipher : public CoCryptHashData {
public:
    CCoStreamCipher();

    // The destination is emptied and receives the whole result.
    bool encryptStream(const uint8_t* keyData, uint32_t keyDataLen, ALG_ID hashAlg, ALG_ID cipherAlg,
                       uint32_t keyBits, IStream* src, IStream* dst, bool encrypt);
};
