// The ACX reader: one pass from the front of the file to its end, every tag
// reported to the content handler and every problem to the error handler
// (AcxInterfaces.h). No tree of its own, no look-ahead.
//
// File layout (little-endian): 8-byte file header ("AcX", one unchecked
// byte, u16 version with the major version in the high byte, two bytes for
// the file system's headerInfo), then tags. A tag header is 3 bytes
// (b0: long-form flag in bit 7, length bits 0-6; b1: id bits 0-7; b2: id
// bits 8-12 in bits 0-4, type bits 0-2 in bits 5-7) or, with the flag, 7:
// b3 b4 add length bits 7-22, b5 type bits 3-10, b6 id bits 13-20. The
// length counts the payload after the header.
//
// Use: setFileSystem, setErrorHandler, setContentHandler, then read(path).
// read answers false only without an error handler; every other outcome
// goes to the handlers. After a fatal code the read ends and, once the
// file is open, the content handler's endDocument runs.
//
// Rules on damaged files that the format leaves open, all ending the read
// with the fatal AcxErrRead:
//  - a tag inside a compound that does not fit in the bytes the compound
//    has left;
//  - compounds nested deeper than kMaxDepth levels (the root is level 1);
//  - a string, or a skipped payload, longer than the bytes left in the file
//    (nothing is allocated for it).
// A compound of length 0 has no children. Bytes after the root tag are
// never read.
#pragma once
#include <cstdint>

#include "acx/AcxFileSystem.h"
#include "acx/AcxInterfaces.h"

// Error handler and file system.
class CAcxReaderWriterBase {
public:
    CAcxReaderWriterBase() = default;
    CAcxReaderWriterBase(const CAcxReaderWriterBase&) = delete;
    CAcxReaderWriterBase& operator=(const CAcxReaderWriterBase&) = delete;
    virtual ~CAcxReaderWriterBase() = 0;
    // Clears error handler and file system.
    virtual void reset();
    virtual void setErrorHandler(CAcxErrorHandlerBase* handler) { m_errors = handler; }
    virtual void setFileSystem(CAcxFileSystemBase* fileSystem) { m_fileSystem = fileSystem; }
    virtual CAcxFileSystemBase* getFileSystem() const { return m_fileSystem; }
    virtual CAcxFileHandleBase* getFileHandle() const { return nullptr; }
    virtual CAcxErrorHandlerBase* getErrorHandler() const { return m_errors; }
    virtual int32_t endRead() = 0;

protected:
    CAcxErrorHandlerBase* m_errors = nullptr;
    CAcxFileSystemBase* m_fileSystem = nullptr;
};

// Adds the content handler and the reading operations.
class CAcxReaderBase : public CAcxReaderWriterBase {
public:
    // Clears the content handler too.
    void reset() override;
    // Ends the running read: finish.
    int32_t endRead() override { return finish(); }
    virtual void setContentHandler(CAcxContentHandlerBase* handler) { m_content = handler; }
    virtual CAcxContentHandlerBase* getContentHandler() const { return m_content; }
    virtual bool read(const char* path) = 0;
    virtual void skipTag() = 0;
    virtual void leaveCompound() = 0;
    virtual int32_t finish() = 0;

protected:
    CAcxContentHandlerBase* m_content = nullptr;
};

class CAcxReader : public CAcxReaderBase {
public:
    enum State : int32_t {
        Idle = 0,
        Running = 1,
        SkipTag = 2,        // the current tag's payload is skipped
        LeaveCompound = 3,  // the rest of the current compound is skipped
        Finishing = 4,
        Finished = 5,
        Aborting = 6,
    };
    static constexpr uint16_t kVersion = 0x0200;
    // Compound levels a file may nest (the root counts as one).
    static constexpr int32_t kMaxDepth = 256;

    CAcxReader();
    ~CAcxReader() override;

    // Clears handlers, file system, handle and digest; state Idle.
    void reset() override;
    void setFileSystem(CAcxFileSystemBase* fileSystem) override;
    CAcxFileHandleBase* getFileHandle() const override { return m_handle; }
    // Reads the file at path (opened "rb" through the file system, unless a
    // handle was attached). False only without an error handler.
    bool read(const char* path) override;
    // From a callback: skip the current tag's payload (no effect once finished).
    void skipTag() override;
    // From a callback: skip the rest of the current compound; its endTag
    // still comes.
    void leaveCompound() override;
    // Ends the reading: digest end, closes an own handle, endDocument; its result.
    int32_t finish() override;
    // Reads from an open handle of fileSystem instead of opening the path;
    // the reader neither opens nor closes it. False when a file system is
    // already set or an argument is null.
    virtual bool attachFile(CAcxFileSystemBase* fileSystem, CAcxFileHandleBase* handle);

    // Feeds the next read to digest (kind 5, 6 or -1); false, and no digest,
    // for a null object, a running read or another kind.
    bool enableDigest(CAcxDigestBase* digest, int32_t kind);
    void disableDigest() { m_digestOn = false; }
    // The digest's read-outs; both 0 while the digest is off.
    void getDigestValue(uint32_t& a, uint32_t& b);
    void getDigestInfo(uint32_t& a, uint32_t& b);

    int32_t state() const { return m_state; }

protected:
    CAcxDigestBase* m_digest = nullptr;
    bool m_digestOn = false;

private:
    void readTags(uint32_t remaining);
    bool readTagHeader(AcxTagInfo& info, uint32_t& headerSize);
    bool fetch(void* buffer, uint32_t n);
    bool readBytes(void* buffer, uint32_t n);
    bool skipBytes(uint32_t n);
    bool readNumber(const AcxTagInfo& info, int32_t kind, int32_t errorCode);
    bool readString(const AcxTagInfo& info, char* buffer, uint32_t size);
    bool fitsFile(uint32_t n) const;
    void error(int32_t code);
    void setError(int32_t code);
    bool stopped() const { return m_state == Finished; }

    CAcxFileHandleBase* m_handle = nullptr;
    bool m_external = false;
    int32_t m_state = Idle;
    int32_t m_depth = 0;
    int32_t m_rootCount = 0;
    int32_t m_tagId = -1;
    int32_t m_digestKind = -1;
    int64_t m_pos = 0;       // bytes of the file consumed so far
    int64_t m_fileEnd = -1;  // size of the file, -1 when unknown
};
