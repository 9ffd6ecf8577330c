// The pre-compiler's ACX content and error handlers.
#include "tools/md/tavolin/MdAcxHandlers.h"

#include <new>

#include "acx/AcxReader.h"
#include "base/cm/cmmsghdl.h"
#include "tools/md/tavolin/MdFrontEnd.h"

CMDAcxContentHandler::~CMDAcxContentHandler()
{
    clear();
}

void CMDAcxContentHandler::clear()
{
    delete m_root;
    m_root = nullptr;
    m_current = nullptr;
}

void CMDAcxContentHandler::beginTag(const AcxTagInfo& info)
{
    switch (int16_t(info.type)) {
    case AcxTypeCompound: {
        // Once the root has ended there is nothing to hang a compound on.
        if (m_root && !m_current) return;
        auto* tag = new CAcxCompoundTag(info.id);
        if (!m_root)
            m_root = tag;
        else
            m_current->addChild(tag);
        m_current = tag;
        break;
    }
    case AcxTypeUnsigned:
    case AcxTypeSigned:
    case AcxTypeReal:
        if (m_current) m_current->addChild(new CAcxDataTag(info.id));
        break;
    default:
        break;
    }
}

void CMDAcxContentHandler::value(int32_t kind, const uint8_t* slot)
{
    CAcxTagBase* last = nullptr;
    if (!m_current || !m_current->getLast(last)) return;
    if (auto* data = dynamic_cast<CAcxDataTag*>(last)) data->setValue(kind, slot);
}

void CMDAcxContentHandler::stringBuffer(const AcxTagInfo& info, char*& buffer, uint32_t& size)
{
    if (info.type != AcxTypeString || !m_current) return;
    auto* tag = new CAcxStringTag(info.id);
    m_current->addChild(tag);
    buffer = tag->allocate(info.length);
    size = info.length;
}

void CMDAcxContentHandler::endTag(const AcxTagInfo& info)
{
    if (info.type != AcxTypeCompound || !m_current) return;
    m_current = dynamic_cast<CAcxCompoundTag*>(m_current->getParent());
}

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
    if (!m_fatal) m_fatalCode = code;
    m_fatal = true;
    report(1300, code);
}

bool mdReadAcxFile(const char* path, CMDAcxContentHandler& content, bool* fatal)
{
    // The file system outlives the reader, which gives back a file still
    // open when an exception ends the read.
    CAcxFileSystem fileSystem;
    CMDAcxAcxErrorHandler errors(cmGetMessageHandler());
    CAcxReader reader;
    reader.setFileSystem(&fileSystem);
    reader.setErrorHandler(&errors);
    reader.setContentHandler(&content);
    const bool ran = reader.read(path);
    if (fatal) *fatal = errors.hadFatal();
    // "ACX Fatal Error 1" does not say which file is missing.
    if (errors.fatalCode() == AcxErrOpen) mdReportFile(path);
    return ran;
}
