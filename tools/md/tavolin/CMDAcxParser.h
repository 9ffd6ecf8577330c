// The ACX import: carries what an ACX file says about the object being
// compiled from its tag tree (MdAcxHandlers.h) into the object's descriptor.
//
// parseHeader checks the file's header block against the descriptor head
// and completes the head with the object's own type id:
//  - every 2144 compound below the root is read in file order; its 67 and
//    150 texts must not be empty; a 2147 compound gives the object's type
//    id (2121 GUID as 32 hexadecimal digits, 2122 and 2123 its two
//    numbers as one-byte unsigned tags), a 2145 compound the type id the
//    file requires, which must be compatible with the head's type id as it
//    stands when that block ends (same GUID, required first number not
//    above the head's);
//  - a 2122 or 2123 of another type or width, and every other tag, is
//    ignored; each 2121 text is converted on its own;
//  - the head is written back only when every check passed, so a failing
//    call leaves the descriptor as it was.
// Results: 0; 30 the head's type id is still incomplete; 141 the type is not
// compatible; 0xFFFF anything else. Each failure writes one trace line at
// error level and reports one message through the process-wide message
// handler: 0 bad input or a tag of the wrong kind, 1200 a GUID text that
// does not convert, 1201 the head cannot be read or written, 1202 an
// incomplete head or an incompatible type.
//
// The import reads the tree and never changes it.
//
// The import of configurations and variable extensions (parseConfiguration,
// parseVarExt) is not built into this version: both answer
// kAcxImportNotBuilt, which the front end turns into status 0xBE11FFFF.
#pragma once
#include <cstdint>

class CAcxCompoundTag;
class FsDsc;
class FsSecCl;

// Results of the import's operations (codes below 0x10000; the front end
// ORs 0xBE110000 into them).
enum : uint32_t {
    kAcxOk = 0,
    kAcxHeadIncomplete = 30,
    kAcxNotCompatible = 141,
    kAcxFailed = 0xFFFF,
    kAcxImportNotBuilt = 0xFFFF,
};

// Messages of the import.
enum : uint32_t {
    kAcxMsgInternal = 0,
    kAcxMsgSyntax = 1200,
    kAcxMsgSectionWrite = 1201,
    kAcxMsgHeadMissing = 1202,
};

class CMDAcxParser {
public:
    CMDAcxParser() = default;
    virtual ~CMDAcxParser() = default;
    CMDAcxParser(const CMDAcxParser&) = delete;
    CMDAcxParser& operator=(const CMDAcxParser&) = delete;

    // Reports message id with no text argument (a null), a alone, or a and
    // b, through the process-wide message handler (nothing without one). It
    // does not count.
    virtual void reportError(uint32_t id, const char* a = nullptr, const char* b = nullptr);
    virtual void countError() { ++m_errorCount; }
    virtual uint32_t getErrorCount() const { return m_errorCount; }

    // The header check (file comment). root and descriptor are not owned and
    // may be null (message 0, 0xFFFF).
    uint32_t parseHeader(CAcxCompoundTag* root, FsDsc* descriptor);
    // Not built: kAcxImportNotBuilt.
    uint32_t parseConfiguration(CAcxCompoundTag* root, FsSecCl* cfghead);
    uint32_t parseVarExt(CAcxCompoundTag* root, FsDsc* descriptor);

private:
    uint32_t m_errorCount = 0;
};
