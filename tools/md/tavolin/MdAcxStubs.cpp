#include "tools/md/tavolin/MdAcxStubs.h"

#include "base/cm/cmmsghdl.h"
#include "co/TraceApi.h"

namespace {
const char kTraceFile[] = "tools/md/tavolin/mdacx";
}

CAcxErrorHandlerBase::~CAcxErrorHandlerBase() = default;

void CMDAcxAcxErrorHandler::report(uint32_t msgId, int32_t code)
{
    if (m_handler) m_handler->report(msgId, CmMsgArg(code));
}

void CMDAcxAcxErrorHandler::warning(int32_t code)
{
    report(1302, code);
}

void CMDAcxAcxErrorHandler::error(int32_t code)
{
    report(1301, code);
}

void CMDAcxAcxErrorHandler::fatal(int32_t code)
{
    report(1300, code);
}

CMDAcxContentHandler::~CMDAcxContentHandler() = default;

CAcxFileSystem::~CAcxFileSystem() = default;

CAcxReaderWriterBase::~CAcxReaderWriterBase() = default;

void CAcxReaderWriterBase::reset()
{
    m_errors = nullptr;
    m_fileSystem = nullptr;
}

void CAcxReader::reset()
{
    CAcxReaderWriterBase::reset();
    m_content = nullptr;
}

int32_t CAcxReader::read(const char* path)
{
    if (m_errors) m_errors->reset();
    TV_TRACE(3, kTraceFile, "CAcxReader::read", "ACX import is not built into this version; %s not read",
             path ? path : "(null)");
    if (m_errors) m_errors->fatal(kAcxNotBuilt);
    return kAcxNotBuilt;
}

uint32_t CMDAcxParser::parseHeader(CAcxCompoundTag*, FsDsc*)
{
    return uint32_t(kAcxNotBuilt);
}

uint32_t CMDAcxParser::parseConfiguration(CAcxCompoundTag*, FsSecCl*)
{
    return uint32_t(kAcxNotBuilt);
}

uint32_t CMDAcxParser::parseVarExt(CAcxCompoundTag*, FsDsc*)
{
    return uint32_t(kAcxNotBuilt);
}

int32_t mdReadAcxFile(const char* path, CMDAcxContentHandler& content)
{
    CAcxReader reader;
    CAcxFileSystem fileSystem;
    CMDAcxAcxErrorHandler errors(cmGetMessageHandler());
    reader.setFileSystem(&fileSystem);
    reader.setErrorHandler(&errors);
    reader.setContentHandler(&content);
    return reader.read(path);
}
