#include "co/CoCrypt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "co/TraceApi.h"
#include "platform/com.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "digests assume a little-endian host");

namespace {

const char* const kSource = "co_crypto";

// Nesting of VARIANT arrays that is still followed; deeper values (only
// possible with arrays that contain themselves) fail the digest.
constexpr int kMaxVariantDepth = 64;

const char* hrText(HRESULT hr)
{
    switch (hr) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_FAIL: return "E_FAIL";
    case E_INVALIDARG: return "E_INVALIDARG";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_POINTER: return "E_POINTER";
    case E_NOTIMPL: return "E_NOTIMPL";
    case STG_E_INVALIDFUNCTION: return "STG_E_INVALIDFUNCTION";
    case STG_E_ACCESSDENIED: return "STG_E_ACCESSDENIED";
    case STG_E_INVALIDPOINTER: return "STG_E_INVALIDPOINTER";
    case STG_E_READFAULT: return "STG_E_READFAULT";
    case STG_E_WRITEFAULT: return "STG_E_WRITEFAULT";
    case STG_E_MEDIUMFULL: return "STG_E_MEDIUMFULL";
    case STG_E_REVERTED: return "STG_E_REVERTED";
    default: return "unknown error";
    }
}

// One call on a stream (`text` names it in the trace). A throw is traced
// with the format `caught` (after the diagnostics report when asked for), a
// failure code with its text; either gives false.
template <class Call>
bool streamCall(const char* method, const char* text, const char* caught, bool report, Call&& call)
{
    HRESULT hr;
    try {
        hr = call();
    } catch (...) {
        if (report) callDiagnosticsReport();
        TV_TRACE(4, kSource, method, caught, text);
        return false;
    }
    if (FAILED(hr)) {
        TV_TRACE(4, kSource, method, "error calling %s hr = 0x%X (%s)", text, unsigned(hr), hrText(hr));
        return false;
    }
    return true;
}

}  // namespace

// ---- CoCryptHashData ---------------------------------------------------------

CoCryptHashData::CoCryptHashData(bool keysetMode, const char* provider, uint32_t provType, ALG_ID alg)
    : m_alg(alg)
{
    const char* method = "CoCryptHashData::CoCryptHashData()";
    BOOL acquired;
    if (keysetMode) {
        acquired = CryptAcquireContextA(&m_prov, nullptr, provider, provType, 0);
        if (!acquired)
            acquired = CryptAcquireContextA(&m_prov, nullptr, provider, provType, CRYPT_NEWKEYSET);
    } else {
        acquired = CryptAcquireContextA(&m_prov, nullptr, provider, provType, CRYPT_VERIFYCONTEXT);
    }
    if (!acquired) {
        m_prov = 0;
        TV_TRACE(4, kSource, method, "Error 0x%X during CryptAcquireContext!", cryptLastError());
        return;
    }
    if (!CryptCreateHash(m_prov, alg, 0, 0, &m_hash)) {
        m_hash = 0;
        TV_TRACE(4, kSource, method, "Error 0x%X during CryptCreateHash!", cryptLastError());
    }
}

CoCryptHashData::~CoCryptHashData()
{
    if (m_hash) CryptDestroyHash(m_hash);
    if (m_prov) CryptReleaseContext(m_prov, 0);
}

bool CoCryptHashData::hashData(const uint8_t* data, uint32_t n)
{
    return m_hash && CryptHashData(m_hash, data, n, 0);
}

bool CoCryptHashData::getHash(uint8_t* out, uint32_t* len)
{
    if (!m_hash || !out || !len) return false;
    DWORD n = *len;
    if (!CryptGetHashParam(m_hash, HP_HASHVAL, out, &n, 0)) return false;
    *len = n;
    return true;
}

bool CoCryptHashData::getHash16(uint8_t out[16])
{
    uint32_t n = 16;
    return getHash(out, &n) && n == 16;
}

void CoCryptHashData::clear()
{
    if (m_hash) CryptDestroyHash(m_hash);
    m_hash = 0;
    if (!m_prov) return;
    if (!CryptCreateHash(m_prov, m_alg, 0, 0, &m_hash)) {
        m_hash = 0;
        TV_TRACE(4, kSource, "CoCryptHashData::clear()", "Error 0x%X during CryptCreateHash!",
                 cryptLastError());
    }
}

// ---- CoCryptHashVariant --------------------------------------------------------

CoCryptHashVariant::CoCryptHashVariant()
    : CoCryptHashData(false, MS_DEF_PROV_A, PROV_RSA_FULL, CALG_MD5), m_ok(hasHash())
{
}

bool CoCryptHashVariant::flush()
{
    if (m_fill && !hashData(m_buf, m_fill)) m_ok = false;
    m_fill = 0;
    return m_ok;
}

void CoCryptHashVariant::add(const void* bytes, uint32_t n)
{
    if (!m_ok || n == 0) return;
    if (uint64_t(m_fill) + n >= BUFSIZE && !flush()) return;
    if (n >= BUFSIZE) {
        if (!hashData(static_cast<const uint8_t*>(bytes), n)) m_ok = false;
    } else {
        std::memcpy(m_buf + m_fill, bytes, n);
        m_fill += n;
    }
}

void CoCryptHashVariant::addU16(uint16_t v)
{
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    add(b, 2);
}

void CoCryptHashVariant::addU32(uint32_t v)
{
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    add(b, 4);
}

void CoCryptHashVariant::addU64(uint64_t v)
{
    addU32(uint32_t(v));
    addU32(uint32_t(v >> 32));
}

bool CoCryptHashVariant::getHashAsGUID(GUID* guid)
{
    if (!m_ok || !guid || !flush()) return false;
    uint8_t d[16];
    if (!getHash16(d)) {
        m_ok = false;
        return false;
    }
    guid->Data1 = uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
    guid->Data2 = uint16_t(d[4] | d[5] << 8);
    guid->Data3 = uint16_t(d[6] | d[7] << 8);
    std::memcpy(guid->Data4, d + 8, 8);
    return true;
}

void CoCryptHashVariant::addVariant(const VARIANT& v)
{
    addVariantAt(v, 0);
}

void CoCryptHashVariant::addVariantAt(const VARIANT& v, int depth)
{
    if (!m_ok) return;
    if (depth > kMaxVariantDepth) {
        m_ok = false;
        return;
    }
    addU32(uint32_t(v.vt & ~VT_BYREF));
    if (v.vt & VT_ARRAY) {
        SAFEARRAY* psa = (v.vt & VT_BYREF) ? (v.pparray ? *v.pparray : nullptr) : v.parray;
        addArray(psa, depth);
        return;
    }
    if (v.vt & VT_BYREF) {
        VARIANT copy;
        VariantInit(&copy);
        if (SUCCEEDED(VariantCopyInd(&copy, &v)) && !(copy.vt & (VT_BYREF | VT_ARRAY)))
            addElement(copy.vt, &copy.llVal, 0, depth);
        VariantClear(&copy);
        return;
    }
    addElement(v.vt, &v.llVal, 0, depth);
}

// One value of type vt at index `index` of the data (element storage of
// that type: SHORT*, LONG*, BSTR*, VARIANT*, ...).
void CoCryptHashVariant::addElement(VARTYPE vt, const void* data, uint32_t index, int depth)
{
    switch (vt) {
    case VT_I2:
    case VT_BOOL:
    case VT_UI2:
        addU16(static_cast<const uint16_t*>(data)[index]);
        break;
    case VT_I1:
        addU32(uint32_t(int32_t(static_cast<const int8_t*>(data)[index])));
        break;
    case VT_UI1:
        addU32(static_cast<const uint8_t*>(data)[index]);
        break;
    case VT_I4:
    case VT_R4:
    case VT_ERROR:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        addU32(static_cast<const uint32_t*>(data)[index]);
        break;
    case VT_R8:
    case VT_DATE:
    case VT_CY:
        addU64(static_cast<const uint64_t*>(data)[index]);
        break;
    case VT_BSTR: {
        BSTR s = static_cast<const BSTR*>(data)[index];
        const UINT n = SysStringLen(s);
        for (UINT i = 0; i < n; ++i) addU16(uint16_t(s[i]));
        break;
    }
    case VT_VARIANT:
        addVariantAt(static_cast<const VARIANT*>(data)[index], depth + 1);
        break;
    default:
        break;
    }
}

void CoCryptHashVariant::addArray(SAFEARRAY* psa, int depth)
{
    const UINT dims = psa ? SafeArrayGetDim(psa) : 0;
    addU32(dims);
    VARTYPE vt = 0;
    if (!psa || FAILED(SafeArrayGetVartype(psa, &vt))) vt = 0;
    addU16(vt);

    // Each bound is queried into the same word, so it ends up holding the
    // upper bound; the count taken from it is what stored digests reflect.
    uint32_t count = 1;
    uint64_t realCount = 1;
    for (UINT d = 1; d <= dims; ++d) {
        LONG word = 0;
        SafeArrayGetLBound(psa, d, &word);
        SafeArrayGetUBound(psa, d, &word);
        const uint32_t w = word < 0 ? 0u - uint32_t(word) : 0u;
        addU32(uint32_t(word));
        addU32(w);
        count *= w;
        // The real extent, so that no element past the data is read.
        LONG lb = 0, ub = -1;
        if (FAILED(SafeArrayGetLBound(psa, d, &lb)) || FAILED(SafeArrayGetUBound(psa, d, &ub)) || ub < lb)
            realCount = 0;
        else
            realCount *= uint64_t(int64_t(ub) - lb + 1);
    }

    void* data = nullptr;
    const bool accessed = psa && SUCCEEDED(SafeArrayAccessData(psa, &data));
    const uint32_t elemSize = accessed ? psa->cbElements : 0;
    addU32(elemSize);
    if (accessed && data && elemSize && count && dims) {
        const uint64_t n = std::min<uint64_t>(count, realCount);
        for (uint64_t i = 0; i < n && m_ok; ++i) addElement(vt, data, uint32_t(i), depth);
    }
    if (accessed) SafeArrayUnaccessData(psa);
}

// ---- CoCryptHashStream ---------------------------------------------------------

CoCryptHashStream::CoCryptHashStream(bool keysetMode, const char* provider, uint32_t provType, ALG_ID alg)
    : CoCryptHashData(keysetMode, provider, provType, alg)
{
}

bool CoCryptHashStream::hashStream(IStream* stream, int64_t offset)
{
    const char* method = "CoCryptHashStream::hashStream()";
    if (!stream || !hasHash()) return false;
    auto call = [method](const char* text, auto&& f) {
        return streamCall(method, text, "caught exeption calling %s", true, f);
    };
    LARGE_INTEGER li;
    li.QuadPart = offset;
    if (!call("hr = pIStream->Seek(Offset, STREAM_SEEK_SET, NULL)",
              [&] { return stream->Seek(li, STREAM_SEEK_SET, nullptr); }))
        return false;
    uint8_t block[BLKSIZE];
    for (;;) {
        ULONG sz = 0;
        if (!call("hr = pIStream->Read(cb, BLKSIZE, &sz)", [&] { return stream->Read(block, BLKSIZE, &sz); }))
            return false;
        if (sz > BLKSIZE) sz = BLKSIZE;   // a stream that claims more than it was asked for
        if (sz && !hashData(block, sz)) return false;
        if (sz < BLKSIZE) return true;
    }
}

bool CoCryptHashStream::hashFile(const char* path)
{
    if (!path) return false;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        TV_TRACE(4, kSource, "CoCryptHashStream::hashFile()", "Error opening %s", path);
        return false;
    }
    uint8_t block[BLKSIZE];
    bool ok = hasHash();
    while (ok) {
        size_t n = std::fread(block, 1, BLKSIZE, f);
        if (n && !hashData(block, uint32_t(n))) ok = false;
        if (n < BLKSIZE) {
            if (std::ferror(f)) ok = false;
            break;
        }
    }
    std::fclose(f);
    return ok;
}

// ---- CCoStreamCipher -------------------------------------------------------------

CCoStreamCipher::CCoStreamCipher() : CoCryptHashData(false, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CALG_MD5) {}

bool CCoStreamCipher::encryptStream(const uint8_t* keyData, uint32_t keyDataLen, ALG_ID hashAlg,
                                    ALG_ID cipherAlg, uint32_t keyBits, IStream* src, IStream* dst,
                                    bool encrypt)
{
    const char* method = "CCoStreamCipher::encryptStream";
    if (!m_prov || !src || !dst) return false;

    HCRYPTHASH hash = 0;
    HCRYPTKEY key = 0;
    auto release = [&] {
        if (key) CryptDestroyKey(key);
        if (hash) CryptDestroyHash(hash);
    };
    if (!CryptCreateHash(m_prov, hashAlg, 0, 0, &hash) || !CryptHashData(hash, keyData, keyDataLen, 0)) {
        TV_TRACE(4, kSource, method, "Error hasing key data");
        release();
        return false;
    }
    if (!CryptDeriveKey(m_prov, cipherAlg, hash, keyBits << 16, &key)) {
        TV_TRACE(4, kSource, method, "Error creating Key");
        release();
        return false;
    }
    BYTE lenBytes[4];
    DWORD lenSize = sizeof lenBytes;
    if (!CryptGetKeyParam(key, KP_BLOCKLEN, lenBytes, &lenSize, 0)) {
        TV_TRACE(4, kSource, method, "Error getting BlockLen");
        release();
        return false;
    }
    const DWORD blockLen =
        (DWORD(lenBytes[0]) | DWORD(lenBytes[1]) << 8 | DWORD(lenBytes[2]) << 16 | DWORD(lenBytes[3]) << 24) / 8;
    // Whole blocks per read, with room for the padding block.
    const DWORD dwDataBufLen = blockLen > 1 ? 1000 - 1000 % blockLen : 1000;
    std::vector<BYTE> buffer(dwDataBufLen + blockLen);
    BYTE* pBuffer = buffer.data();

    auto call = [method](const char* text, auto&& f) {
        return streamCall(method, text, "caught exception calling %s", false, f);
    };

    LARGE_INTEGER li;
    li.QuadPart = 0;
    ULARGE_INTEGER uli;
    uli.QuadPart = 0;
    bool ok = call("pDst->Seek(li,STREAM_SEEK_SET, 0)", [&] { return dst->Seek(li, STREAM_SEEK_SET, nullptr); }) &&
              call("pSrc->Seek(li,STREAM_SEEK_SET, 0)", [&] { return src->Seek(li, STREAM_SEEK_SET, nullptr); }) &&
              call("pDst->SetSize(uli)", [&] { return dst->SetSize(uli); });
    bool final = false;
    while (ok && !final) {
        ULONG lenRead = 0;
        ok = call("pSrc->Read(pBuffer, dwDataBufLen, &lenRead)",
                  [&] { return src->Read(pBuffer, dwDataBufLen, &lenRead); });
        if (!ok) break;
        if (lenRead > dwDataBufLen) lenRead = dwDataBufLen;
        final = lenRead < dwDataBufLen;
        DWORD dwCryptDataLen = lenRead;
        const BOOL done = encrypt ? CryptEncrypt(key, 0, final, 0, pBuffer, &dwCryptDataLen, DWORD(buffer.size()))
                                  : CryptDecrypt(key, 0, final, 0, pBuffer, &dwCryptDataLen);
        if (!done) {
            TV_TRACE(4, kSource, method, "Error encrypting data");
            ok = false;
            break;
        }
        ULONG cbWritten = 0;
        ok = call("pDst->Write(pBuffer, dwCryptDataLen, &cbWritten)",
                  [&] { return dst->Write(pBuffer, dwCryptDataLen, &cbWritten); });
        if (ok && cbWritten != dwCryptDataLen) {
            TV_TRACE(4, kSource, method, "error calling %s: %u of %u bytes written",
                     "pDst->Write(pBuffer, dwCryptDataLen, &cbWritten)", unsigned(cbWritten),
                     unsigned(dwCryptDataLen));
            ok = false;
        }
    }
    release();
    return ok;
}
