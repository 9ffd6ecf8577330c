#include "tools/md/tavolin/MdLentDescriptor.h"

#include <new>

#include "tools/md/tavolin/MdStatusCodes.h"

int mdDscClassOfKind(int32_t kind)
{
    switch (kind) {
    case MdKindTO:
    case MdKindDvTO:
        return MdDscTO;
    case MdKindTP:
        return MdDscTP;
    case MdKindDv:
        return MdDscDv;
    default:
        return MdDscNone;
    }
}

MdLentDescriptor::Result MdLentDescriptor::lend(int dscClass)
{
    if (dscClass == MdDscNone) return Lent;
    if (!m_work || !m_work->getIStoragePtr(&m_storage)) {
        m_storage = nullptr;
        return NoStorage;
    }
    switch (dscClass) {
    case MdDscTO:
        m_dsc.reset(new (std::nothrow) FsTODscFile(m_storage));
        break;
    case MdDscTP:
        m_dsc.reset(new (std::nothrow) FsTPDscFile(m_storage));
        break;
    default:
        m_dsc.reset(new (std::nothrow) FsDvDscFile(m_storage));
        break;
    }
    if (!m_dsc) return NoMemory;
    // The working file's owner commits it when it closes; a commit per step
    // would write the whole working file anew each time.
    m_dsc->setCommitOnClose(false);
    return Lent;
}

void MdLentDescriptor::giveBack()
{
    if (m_dsc) {
        m_dsc->CloseFile();
        m_dsc.reset();
    }
    if (m_storage) {
        m_storage->Release();
        m_storage = nullptr;
        m_work->releaseIStoragePtr();
    }
}
