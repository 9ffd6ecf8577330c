// The small interfaces the ACX reader is written against, and the records it
// hands across them.
//
// An ACX file is an 8-byte file header followed by one root tag, a compound
// whose children are further tags. The reader (AcxReader.h) walks the file
// once, front to back, and reports:
//  - every tag to a content handler (CAcxContentHandlerBase), which decides
//    what to keep (the pre-compiler's builds a tree of AcxTag.h objects);
//  - every problem, as a small code (AcxReaderCode), to an error handler
//    (CAcxErrorHandlerBase);
//  - optionally every byte it reads to a digest object (CAcxDigestBase).
// The file itself is reached through a file system (AcxFileSystem.h).
// Handlers, file system and digest belong to the caller and must outlive
// the read.
#pragma once
#include <cstdint>

// Tag types of the file. Types above 5 are unknown and skipped.
enum AcxTagType : uint16_t {
    AcxTypeCompound = 0,
    AcxTypeUnsigned = 1,  // 1, 2, 4 or 8 bytes
    AcxTypeSigned = 2,    // 1, 2, 4 or 8 bytes
    AcxTypeString = 3,    // the characters, no terminator
    AcxTypeReal = 4,      // IEEE single (4 bytes) or double (8 bytes)
    AcxTypeEmpty = 5,     // must have length 0
};

// Kind of a value as the reader reports it and a data tag keeps it. The
// value travels in an 8-byte slot, zeroed and then filled with the payload
// bytes as they stand (little-endian, no sign extension).
enum AcxValueKind : int32_t {
    AcxKindNone = -1,
    AcxKindI8 = 1,
    AcxKindI16 = 2,
    AcxKindI32 = 3,
    AcxKindI64 = 4,
    AcxKindU8 = 5,
    AcxKindU16 = 6,
    AcxKindU32 = 7,
    AcxKindU64 = 8,
    AcxKindReal32 = 9,
    AcxKindReal64 = 10,
    AcxKindString = 12,
};

// Codes the reader passes to its error handler ("fatal" ends the read,
// "error" lets it go on).
enum AcxReaderCode : int32_t {
    AcxErrOpen = 1,               // fatal: the file could not be opened
    AcxErrRead = 2,               // fatal: short read, failed seek, a tag that does not fit, too deep
    AcxErrBusy = 3,               // fatal: read called while a read runs
    AcxErrNoFileSystem = 4,       // fatal: no file system set
    AcxErrNoContentHandler = 10,  // fatal: no content handler set
    AcxErrMagic = 11,             // fatal: the file does not start with "AcX"
    AcxErrUnknownType = 30,       // error: tag of unknown type, skipped
    AcxErrDigest = 31,            // error: the digest could not begin or end, digest off
    AcxErrNoStringBuffer = 40,    // error: no buffer for a non-empty string, skipped
    AcxErrUnsignedLength = 41,    // error: unsigned integer not 1, 2, 4 or 8 bytes, skipped
    AcxErrSignedLength = 42,      // error: signed integer not 1, 2, 4 or 8 bytes, skipped
    AcxErrRealLength = 43,        // error: real not 4 or 8 bytes, skipped
    AcxErrRootRule = 44,          // error: a tag outside the one root (id 0), or a second root
    AcxErrEmptyLength = 45,       // error: empty tag (type 5) with a payload, skipped
    AcxErrVersion = 46,           // error: the file's major version is not the reader's
    AcxErrNoDigest = 48,          // fatal: a digest was asked for without a digest object
};

// One tag as announced to the content handler.
struct AcxTagInfo {
    uint32_t length = 0;  // payload bytes after the tag header
    uint16_t type = 0;    // AcxTagType or an unknown type (11 bits)
    uint32_t id = 0;      // 21 bits; 0 marks the root
};

// The 8-byte file header as read.
struct AcxFileHeader {
    char magic[3];     // "AcX"
    uint8_t unchecked;
    uint16_t version;  // high byte is the major version
    uint8_t byteA;     // passed to the file system's headerInfo
    uint8_t byteB;
};

// Receives the tags of one read, in file order. The reader's skipTag and
// leaveCompound may be called from inside these callbacks.
class CAcxContentHandlerBase {
public:
    CAcxContentHandlerBase() = default;
    virtual ~CAcxContentHandlerBase();
    // Once, after a good file header; the file system's headerInfo answer.
    virtual void startDocument(bool headerInfo) = 0;
    // Each tag that is not a string, before its payload.
    virtual void beginTag(const AcxTagInfo& info) = 0;
    // Right after beginTag of a number tag: its kind and its 8-byte slot.
    virtual void value(int32_t kind, const uint8_t* slot) = 0;
    // Each string tag, instead of beginTag: buffer and size come preset to
    // null and 0. A buffer must have room for size + 1 bytes (the reader
    // stores a 0 after the text); size 0 skips the text.
    virtual void stringBuffer(const AcxTagInfo& info, char*& buffer, uint32_t& size) = 0;
    // The string's first n bytes are in the buffer, 0-terminated.
    virtual void stringData(const char* buffer, uint32_t n) = 0;
    // After each tag; for compounds after all their children.
    virtual void endTag(const AcxTagInfo& info) = 0;
    // Once when the read ends (also after a fatal error past the opening);
    // the result becomes the reader's finish result.
    virtual int32_t endDocument() = 0;

protected:
    int32_t m_unused = 0;
};

// Receives the reader's codes (AcxReaderCode). The reader never calls
// warning.
class CAcxErrorHandlerBase {
public:
    CAcxErrorHandlerBase() = default;
    virtual ~CAcxErrorHandlerBase();
    virtual void warning(int32_t code) = 0;
    virtual void error(int32_t code) = 0;
    virtual void fatal(int32_t code) = 0;
    // Called at the start of every read.
    virtual void reset() {}

protected:
    int32_t m_unused = 0;
};

// A digest over the bytes of a file, as the reader drives it: begin, the
// bytes in file order (the tags with id 5 or 6 left out), end. What the two
// read-outs mean is the digest's own.
class CAcxDigestBase {
public:
    virtual ~CAcxDigestBase();
    virtual bool begin() = 0;
    virtual void update(const uint8_t* bytes, uint32_t n) = 0;
    virtual bool end() = 0;
    virtual void getValue(uint32_t& a, uint32_t& b) = 0;
    virtual void getInfo(uint32_t& a, uint32_t& b) = 0;
};

// Takes tags that write themselves (AcxTag.h write, beginWrite, endWrite).
// The system itself has no writer; tests encode files through one.
class CAcxTagWriterBase {
public:
    virtual ~CAcxTagWriterBase();
    virtual void beginTag(uint32_t id, uint16_t type, uint32_t length) = 0;
    // The payload of a leaf tag: size bytes of data (a string's characters).
    virtual void value(int32_t kind, const void* data, uint32_t size) = 0;
    virtual void endTag() = 0;
};
