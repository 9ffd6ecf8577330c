// The pre-compiler's side of the ACX reader: a content handler that keeps
// the whole file as a tree of tag objects, an error handler that turns the
// reader's codes into messages, and the one read the entry method does.
//
//  - CMDAcxContentHandler builds one tree per object: every compound,
//    number and string tag becomes one tag with the file's id, in file order
//    under its parent; empty tags (type 5) and unknown types leave nothing.
//    The first compound becomes the root (owned; deleting the handler
//    deletes the tree). A tag that arrives outside every compound (before
//    the root, or a further top-level tag after it) leaves nothing either.
//  - CMDAcxAcxErrorHandler reports message 1302 (warning), 1301 (error) or
//    1300 (fatal error) with the code in place of "%i", through a message
//    handler that it does not own (null reports nothing).
#pragma once
#include <cstdint>

#include "acx/AcxInterfaces.h"
#include "acx/AcxTag.h"

class CmMessageHandler;

class CMDAcxContentHandler : public CAcxContentHandlerBase {
public:
    CMDAcxContentHandler() = default;
    ~CMDAcxContentHandler() override;
    CMDAcxContentHandler(const CMDAcxContentHandler&) = delete;
    CMDAcxContentHandler& operator=(const CMDAcxContentHandler&) = delete;

    void startDocument(bool) override {}
    // Compounds (type 0) and numbers (1, 2, 4) become tags.
    void beginTag(const AcxTagInfo& info) override;
    // Kind and slot into the number tag just created.
    void value(int32_t kind, const uint8_t* slot) override;
    // A string tag with a buffer for the whole payload (none for length 0;
    // null when it cannot be allocated, which the reader reports).
    void stringBuffer(const AcxTagInfo& info, char*& buffer, uint32_t& size) override;
    void stringData(const char*, uint32_t) override {}
    // A compound's end: its parent receives the next tags.
    void endTag(const AcxTagInfo& info) override;
    int32_t endDocument() override { return 0; }

    // The root compound; null when the file held none.
    CAcxCompoundTag* getRootTag() const { return m_root; }
    // Deletes the tree.
    void clear();

private:
    CAcxCompoundTag* m_root = nullptr;     // owned
    CAcxCompoundTag* m_current = nullptr;  // receives new children
};

class CMDAcxAcxErrorHandler : public CAcxErrorHandlerBase {
public:
    explicit CMDAcxAcxErrorHandler(CmMessageHandler* handler) : m_handler(handler) {}
    void warning(int32_t code) override;  // message 1302
    void error(int32_t code) override;    // message 1301
    void fatal(int32_t code) override;    // message 1300
    // A fatal error ended a read (reported or not).
    bool hadFatal() const { return m_fatal; }
    // The code of the first fatal error; 0 when there was none.
    int32_t fatalCode() const { return m_fatalCode; }

private:
    void report(uint32_t msgId, int32_t code);
    CmMessageHandler* m_handler;
    bool m_fatal = false;
    int32_t m_fatalCode = 0;
};

// The entry method's read: a reader over the stdio file system and an error
// handler over the process-wide message handler, into content. False only
// when the reader could not run at all. fatal, when given, tells whether a
// fatal error (message 1300) ended the read: the file is missing or cut, and
// the tree holds at most a part of it. A file that cannot be opened (fatal
// error 1) is also named: message 100 with the path (mdReportFile).
bool mdReadAcxFile(const char* path, CMDAcxContentHandler& content, bool* fatal = nullptr);
