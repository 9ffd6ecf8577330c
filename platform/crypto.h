// Hashing and symmetric encryption with the calling shape of the Windows
// cryptographic service, backed by OpenSSL libcrypto.
//
// Handles are opaque numbers handed out by this layer; a call with a handle
// that was never issued (or was already released) fails with NTE_BAD_* and
// never touches memory through it. Every failing call returns FALSE and
// leaves its code for cryptLastError() (per thread).
//
// Providers: the names below (or a null name) with provider type
// PROV_RSA_FULL or PROV_RSA_AES. No keys are ever stored, so key containers
// do not exist: every context behaves like a verify context, and the
// keyset flags are accepted and ignored (CRYPT_DELETEKEYSET succeeds and
// hands out no context).
//
// Hashes: CALG_MD5, CALG_SHA1, CALG_SHA_256. Once the value has been read
// (HP_HASHVAL) the hash is finished: more data fails with NTE_BAD_HASH_STATE,
// the value can be read again.
//
// Keys (CryptDeriveKey from a hash): the block ciphers CALG_AES_128/192/256,
// CALG_3DES, CALG_3DES_112, CALG_DES, CALG_DESX and CALG_RC2 in CBC mode with
// a zero IV and PKCS#5 padding on the final block, and the stream cipher
// CALG_RC4 (KP_BLOCKLEN 0, nothing added). RC2, RC4, DES and DESX come from
// OpenSSL's legacy provider, loaded once; CALG_RC5 only where OpenSSL was
// built with it. Every other identifier (CALG_SKIPJACK, CALG_TEK,
// CALG_CYLINK_MEK, CALG_SEAL, ...) and a cipher OpenSSL does not offer here
// fail with NTE_BAD_ALGID. The key bytes follow the documented derivation of
// the Windows service (for AES and 3DES from a non-SHA-2 hash, or when the
// hash is too short: the two 64-byte pads 0x36 and 0x5C xor the hash value,
// hashed and concatenated; else the first bytes of the hash). The upper 16
// bits of the flags give the key length in bits (0: the algorithm's default,
// 128 for RC2 and RC4, which take 40 to 128 in steps of 8; DES 56, 3DES_112
// 112 and 3DES 168 are also accepted). No salt is added to short keys, and
// the effective key length of RC2 is its key length.
#pragma once
#include "platform/wintypes.h"

using HCRYPTPROV = uintptr_t;
using HCRYPTHASH = uintptr_t;
using HCRYPTKEY = uintptr_t;
using ALG_ID = uint32_t;

#define MS_DEF_PROV_A "Microsoft Base Cryptographic Provider v1.0"
#define MS_ENHANCED_PROV_A "Microsoft Enhanced Cryptographic Provider v1.0"
#define MS_STRONG_PROV_A "Microsoft Strong Cryptographic Provider"
#define MS_ENH_RSA_AES_PROV_A "Microsoft Enhanced RSA and AES Cryptographic Provider"

constexpr DWORD PROV_RSA_FULL = 1;
constexpr DWORD PROV_RSA_AES = 24;

constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000u;
constexpr DWORD CRYPT_NEWKEYSET = 0x00000008u;
constexpr DWORD CRYPT_DELETEKEYSET = 0x00000010u;
constexpr DWORD CRYPT_MACHINE_KEYSET = 0x00000020u;
constexpr DWORD CRYPT_SILENT = 0x00000040u;

constexpr ALG_ID CALG_MD5 = 0x00008003u;
constexpr ALG_ID CALG_SHA1 = 0x00008004u;
constexpr ALG_ID CALG_SHA_256 = 0x0000800Cu;
constexpr ALG_ID CALG_DES = 0x00006601u;
constexpr ALG_ID CALG_RC2 = 0x00006602u;
constexpr ALG_ID CALG_3DES = 0x00006603u;
constexpr ALG_ID CALG_DESX = 0x00006604u;
constexpr ALG_ID CALG_3DES_112 = 0x00006609u;
constexpr ALG_ID CALG_SKIPJACK = 0x0000660Au;
constexpr ALG_ID CALG_TEK = 0x0000660Bu;
constexpr ALG_ID CALG_CYLINK_MEK = 0x0000660Cu;
constexpr ALG_ID CALG_RC5 = 0x0000660Du;
constexpr ALG_ID CALG_RC4 = 0x00006801u;
constexpr ALG_ID CALG_SEAL = 0x00006802u;
constexpr ALG_ID CALG_AES_128 = 0x0000660Eu;
constexpr ALG_ID CALG_AES_192 = 0x0000660Fu;
constexpr ALG_ID CALG_AES_256 = 0x00006610u;

// CryptGetHashParam
constexpr DWORD HP_ALGID = 0x0001;
constexpr DWORD HP_HASHVAL = 0x0002;
constexpr DWORD HP_HASHSIZE = 0x0004;
// CryptGetKeyParam
constexpr DWORD KP_ALGID = 7;
constexpr DWORD KP_BLOCKLEN = 8;   // in bits
constexpr DWORD KP_KEYLEN = 9;     // in bits

// Codes left for cryptLastError(). The first two carry the numbers of the
// general Windows errors (invalid parameter, more data).
constexpr DWORD CRYPT_ERR_INVALID_PARAMETER = 87;
constexpr DWORD CRYPT_ERR_MORE_DATA = 234;
constexpr DWORD NTE_BAD_UID = 0x80090001u;
constexpr DWORD NTE_BAD_HASH = 0x80090002u;
constexpr DWORD NTE_BAD_KEY = 0x80090003u;
constexpr DWORD NTE_BAD_LEN = 0x80090004u;
constexpr DWORD NTE_BAD_DATA = 0x80090005u;
constexpr DWORD NTE_BAD_ALGID = 0x80090008u;
constexpr DWORD NTE_BAD_FLAGS = 0x80090009u;
constexpr DWORD NTE_BAD_TYPE = 0x8009000Au;
constexpr DWORD NTE_BAD_HASH_STATE = 0x8009000Cu;
constexpr DWORD NTE_NO_MEMORY = 0x8009000Eu;
constexpr DWORD NTE_PROV_TYPE_NO_MATCH = 0x8009001Bu;
constexpr DWORD NTE_KEYSET_NOT_DEF = 0x80090019u;
constexpr DWORD NTE_FAIL = 0x80090020u;

BOOL CryptAcquireContextA(HCRYPTPROV* prov, const char* container, const char* provider,
                          DWORD provType, DWORD flags);
BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags);

BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
BOOL CryptHashData(HCRYPTHASH hash, const BYTE* data, DWORD len, DWORD flags);
// HP_HASHVAL: with a null buffer (or one too small) *len receives the size;
// a too small buffer fails with CRYPT_ERR_MORE_DATA.
BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* len, DWORD flags);
BOOL CryptDestroyHash(HCRYPTHASH hash);

BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID alg, HCRYPTHASH baseData, DWORD flags, HCRYPTKEY* key);
BOOL CryptGetKeyParam(HCRYPTKEY key, DWORD param, BYTE* data, DWORD* len, DWORD flags);
// In place: *len bytes of data go in, *len bytes come out. A block cipher
// takes whole blocks except on the final encryption; encryption needs room
// for one more block (bufLen) on the final call. Decryption holds the last
// block of a non-final call back (so it returns up to one block less) and
// returns it with the final call: the buffer of the final call needs room
// for one block more than *len.
BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data,
                  DWORD* len, DWORD bufLen);
BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE* data, DWORD* len);
BOOL CryptDestroyKey(HCRYPTKEY key);

// The code of the last failing call on this thread (0 after none).
DWORD cryptLastError();
