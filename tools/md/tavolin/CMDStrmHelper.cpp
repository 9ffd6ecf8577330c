#include "tools/md/tavolin/CMDStrmHelper.h"

#include <new>

#include "base/cm/cmmsghdl.h"
#include "tools/md/tavolin/MdFrontEnd.h"

MdByteStreamBuf::MdByteStreamBuf(char* data, std::size_t size) : m_data(data), m_size(size)
{
    setg(m_data, m_data, m_data + m_size);
    setp(m_data, m_data + m_size);
}

MdByteStreamBuf::pos_type MdByteStreamBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                                   std::ios_base::openmode which)
{
    const bool in = (which & std::ios_base::in) != 0;
    const bool out = (which & std::ios_base::out) != 0;
    if (!in && !out) return pos_type(off_type(-1));
    off_type base;
    if (dir == std::ios_base::beg) {
        base = 0;
    } else if (dir == std::ios_base::end) {
        base = off_type(m_size);
    } else {
        // From the current position only one of the two may be asked.
        if (in && out) return pos_type(off_type(-1));
        base = in ? off_type(gptr() - m_data) : off_type(pptr() - m_data);
    }
    const off_type target = base + off;
    if (target < 0 || target > off_type(m_size)) return pos_type(off_type(-1));
    if (in) setg(m_data, m_data + target, m_data + m_size);
    if (out) {
        setp(m_data, m_data + m_size);
        for (off_type left = target; left > 0;) {
            const int step = left > 0x40000000 ? 0x40000000 : int(left);
            pbump(step);
            left -= step;
        }
    }
    return pos_type(target);
}

MdByteStreamBuf::pos_type MdByteStreamBuf::seekpos(pos_type pos, std::ios_base::openmode which)
{
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

CMDStrmHelper::CMDStrmHelper(FsSectMan* sectMan) : m_sectMan(sectMan) {}

CMDStrmHelper::~CMDStrmHelper()
{
    close();
}

void CMDStrmHelper::close()
{
    m_stream.reset();
    m_buf.reset();
    m_buffer.reset();
    m_size = 0;
}

void CMDStrmHelper::reportMessage(uint32_t id, const char* text)
{
    CmMessageHandler* handler = cmGetMessageHandler();
    if (!handler) return;
    if (text)
        handler->report(id, CmMsgArg(text));
    else
        handler->report(id);
}

uint32_t CMDStrmHelper::open(const char* sectionName, bool read)
{
    if (!m_sectMan) {
        reportMessage(0);
        return 0xFFFF;
    }
    if (m_stream) {
        reportMessage(0);
        return 4;
    }
    const char* name = sectionName ? sectionName : "";
    FsSecCl* sec = nullptr;
    const uint32_t r = m_sectMan->openSect(name, &sec, 0);
    if (r != FS_OK || !sec) {
        if (sec) m_sectMan->CloseSect(name);
        reportMessage(MdMsgStreamOpen, name);
        return r == FS_NOT_FOUND ? uint32_t(MdStatusNotFound) : uint32_t(MdStatusFailed);
    }
    sec->flush();
    const std::size_t size = sec->getSize();
    if (!read) {
        m_sectMan->CloseSect(name);
        m_size = size;
        return 0;
    }

    bool ok = true;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size ? size : 1]);
    if (!buffer) {
        m_sectMan->CloseSect(name);
        reportMessage(0);
        return 0xFFFF;
    }
    sec->seek(0, 0);
    std::size_t done = 0;
    while (done < size && !sec->hasError()) {
        const std::size_t n = size - done < FsSecCl::WINDOW_SIZE ? size - done : FsSecCl::WINDOW_SIZE;
        sec->readBytes(buffer.get() + done, uint32_t(n));
        if (!sec->hasError()) done += n;
    }
    if (sec->hasError()) ok = false;

    try {
        m_buf.reset(new MdByteStreamBuf(buffer.get(), size));
        m_stream.reset(new std::iostream(m_buf.get()));
    } catch (...) {
        close();
        m_sectMan->CloseSect(name);
        reportMessage(0);
        return 0xFFFF;
    }
    m_buffer = std::move(buffer);
    m_size = size;
    m_stream->seekg(0);
    if (m_stream->fail()) ok = false;

    m_sectMan->CloseSect(name);
    if (!ok) {
        reportMessage(MdMsgStreamRead, name);
        return uint32_t(MdStatusNotFound);
    }
    return 0;
}
