#include "tools/md/tavolin/CMDStrmHelper.h"

#include <algorithm>
#include <cstring>
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

MdSectionStreamBuf::MdSectionStreamBuf(IStream* stream, std::size_t size)
    : m_stream(stream), m_size(size), m_window(new char[WINDOW])
{
    setg(m_window.get(), m_window.get(), m_window.get());
}

MdSectionStreamBuf::~MdSectionStreamBuf()
{
    if (m_stream) m_stream->Release();
}

MdSectionStreamBuf::int_type MdSectionStreamBuf::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    ULONG n = 0;
    if (m_next >= m_size || FAILED(m_stream->Read(m_window.get(), ULONG(WINDOW), &n)) || n == 0)
        return traits_type::eof();
    m_next += n;
    setg(m_window.get(), m_window.get(), m_window.get() + n);
    return traits_type::to_int_type(*gptr());
}

std::streamsize MdSectionStreamBuf::xsgetn(char* s, std::streamsize n)
{
    constexpr std::streamsize kDirect = 4096;
    std::streamsize got = 0;
    while (got < n) {
        const std::streamsize held = std::min<std::streamsize>(n - got, egptr() - gptr());
        if (held > 0) {
            std::memcpy(s + got, gptr(), std::size_t(held));
            gbump(int(held));
            got += held;
            continue;
        }
        if (m_next >= m_size) break;
        if (n - got < kDirect) {
            if (traits_type::eq_int_type(underflow(), traits_type::eof())) break;
            continue;
        }
        const std::size_t want = std::min<std::size_t>(std::size_t(n - got), std::min<std::size_t>(m_size - m_next, 1u << 30));
        ULONG r = 0;
        if (FAILED(m_stream->Read(s + got, ULONG(want), &r)) || r == 0) break;
        m_next += r;
        got += std::streamsize(r);
    }
    return got;
}

MdSectionStreamBuf::pos_type MdSectionStreamBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                                         std::ios_base::openmode which)
{
    if ((which & std::ios_base::out) != 0 || (which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    off_type base = 0;
    if (dir == std::ios_base::end)
        base = off_type(m_size);
    else if (dir == std::ios_base::cur)
        base = off_type(m_next) - off_type(egptr() - gptr());
    const off_type target = base + off;
    if (target < 0 || target > off_type(m_size)) return pos_type(off_type(-1));
    LARGE_INTEGER to;
    to.QuadPart = target;
    if (FAILED(m_stream->Seek(to, STREAM_SEEK_SET, nullptr))) return pos_type(off_type(-1));
    m_next = std::size_t(target);
    setg(m_window.get(), m_window.get(), m_window.get());
    return pos_type(target);
}

MdSectionStreamBuf::pos_type MdSectionStreamBuf::seekpos(pos_type pos, std::ios_base::openmode which)
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
    return open(sectionName, read ? Take::Copy : Take::Check);
}

uint32_t CMDStrmHelper::openInPlace(const char* sectionName)
{
    return open(sectionName, Take::InPlace);
}

bool CMDStrmHelper::makeStream(std::streambuf* buf)
{
    try {
        m_buf.reset(buf);
        m_stream.reset(new std::iostream(m_buf.get()));
    } catch (...) {
        close();
        return false;
    }
    return true;
}

uint32_t CMDStrmHelper::open(const char* sectionName, Take take)
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
    if (take == Take::Check) {
        m_sectMan->CloseSect(name);
        m_size = size;
        return 0;
    }
    if (take == Take::InPlace) {
        // A clone outlives the section, which is closed so that the compiler
        // can have the working file's storage lent.
        IStream* clone = nullptr;
        MdSectionStreamBuf* buf = nullptr;
        LARGE_INTEGER start;
        start.QuadPart = 0;
        IStream* own = sec->stream();
        if (own && SUCCEEDED(own->Clone(&clone)) && clone && SUCCEEDED(clone->Seek(start, STREAM_SEEK_SET, nullptr))) {
            try {
                buf = new MdSectionStreamBuf(clone, size);
            } catch (...) {
                buf = nullptr;
            }
        }
        if (!buf && clone) clone->Release();
        m_sectMan->CloseSect(name);
        if (!buf || !makeStream(buf)) {
            reportMessage(0);
            return 0xFFFF;
        }
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

    std::unique_ptr<MdByteStreamBuf> byteBuf(new (std::nothrow) MdByteStreamBuf(buffer.get(), size));
    if (!byteBuf || !makeStream(byteBuf.release())) {
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
