// The ACX import as the front end sees it, in the shape the ACX reader and
// parser will have, while that import is not built into this version:
//
//  - CMDAcxContentHandler holds the tag tree of a read ACX file; here nothing
//    is ever read, so getRootTag is null.
//  - CMDAcxAcxErrorHandler turns the reader's codes into messages 1302
//    (warning), 1301 (error) and 1300 (fatal error) with the code.
//  - CAcxReader::read and mdReadAcxFile report through the error handler
//    (fatal error kAcxNotBuilt) and answer kAcxNotBuilt; CMDAcxParser
//    answers kAcxNotBuilt for every part, which the front end turns into
//    status 0xBE11FFFF.
//
// When the ACX import is built, its classes replace this file one for one.
#pragma once
#include <cstdint>

class CmMessageHandler;
class CAcxCompoundTag;
class FsDsc;
class FsSecCl;

// Reader code and parser result of an import that is not built in.
constexpr int32_t kAcxNotBuilt = 0xFFFF;

// Receives the reader's error codes.
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

// Error handler over a message handler (not owned; null reports nothing).
class CMDAcxAcxErrorHandler : public CAcxErrorHandlerBase {
public:
    explicit CMDAcxAcxErrorHandler(CmMessageHandler* handler) : m_handler(handler) {}
    void warning(int32_t code) override;  // message 1302
    void error(int32_t code) override;    // message 1301
    void fatal(int32_t code) override;    // message 1300

private:
    void report(uint32_t msgId, int32_t code);
    CmMessageHandler* m_handler;
};

// The tag tree of one ACX file; lives as long as the COM object.
class CMDAcxContentHandler {
public:
    CMDAcxContentHandler() = default;
    ~CMDAcxContentHandler();
    CMDAcxContentHandler(const CMDAcxContentHandler&) = delete;
    CMDAcxContentHandler& operator=(const CMDAcxContentHandler&) = delete;

    // The root compound tag; null when nothing was read.
    CAcxCompoundTag* getRootTag() const { return m_root; }
    // Forgets the tree.
    void clear() { m_root = nullptr; }

private:
    CAcxCompoundTag* m_root = nullptr;
};

// Opens and reads files for the reader.
class CAcxFileSystem {
public:
    virtual ~CAcxFileSystem();
};

class CAcxReaderWriterBase {
public:
    virtual ~CAcxReaderWriterBase();
    virtual void reset();
    void setErrorHandler(CAcxErrorHandlerBase* handler) { m_errors = handler; }
    void setFileSystem(CAcxFileSystem* fileSystem) { m_fileSystem = fileSystem; }
    CAcxErrorHandlerBase* getErrorHandler() const { return m_errors; }
    CAcxFileSystem* getFileSystem() const { return m_fileSystem; }

protected:
    CAcxErrorHandlerBase* m_errors = nullptr;
    CAcxFileSystem* m_fileSystem = nullptr;
};

class CAcxReader : public CAcxReaderWriterBase {
public:
    void reset() override;
    void setContentHandler(CMDAcxContentHandler* content) { m_content = content; }
    CMDAcxContentHandler* getContentHandler() const { return m_content; }
    // Reads path into the content handler: 0 or a reader code. Without the
    // import: the fatal error kAcxNotBuilt.
    int32_t read(const char* path);

private:
    CMDAcxContentHandler* m_content = nullptr;
};

// Checks and writes the descriptor from the tag tree. Results are 0 or a
// code below 0x10000.
class CMDAcxParser {
public:
    uint32_t parseHeader(CAcxCompoundTag* root, FsDsc* descriptor);
    uint32_t parseConfiguration(CAcxCompoundTag* root, FsSecCl* cfghead);
    uint32_t parseVarExt(CAcxCompoundTag* root, FsDsc* descriptor);
};

// One read as the entry method does it: a reader with a file system and an
// error handler over the process-wide message handler, into content. The
// reader's result.
int32_t mdReadAcxFile(const char* path, CMDAcxContentHandler& content);
