// Reader of one temporary section stream: copies the whole stream of the
// working file into memory and hands it to a section compiler as a standard
// input-output stream. The section itself is closed again at once, so the
// compiler can open the descriptor's sections freely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <streambuf>

#include "base/fs/FsSectMan.h"

// Messages of the reader.
enum : uint32_t {
    MdMsgStreamOpen = 1101,  // "Stream %s konnte nicht geöffnet werden"
    MdMsgStreamRead = 1102,  // "beim lesen von Stream %s ist ein Fehler aufgetreten"
};

// A stream buffer over a fixed byte buffer of the caller: reads and writes
// go to the same bytes, positions can be moved in both directions, nothing
// grows.
class MdByteStreamBuf : public std::streambuf {
public:
    MdByteStreamBuf(char* data, std::size_t size);

protected:
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    char* m_data;
    std::size_t m_size;
};

// A read-only stream buffer over a stream of the working file, through a
// window of fixed size: a compiler reads a section of any size while only
// the window is held beside the working file. Takes the stream (a clone of
// its own, so that its position is nobody else's).
class MdSectionStreamBuf : public std::streambuf {
public:
    static constexpr std::size_t WINDOW = 65536;

    MdSectionStreamBuf(IStream* stream, std::size_t size);
    ~MdSectionStreamBuf() override;
    MdSectionStreamBuf(const MdSectionStreamBuf&) = delete;
    MdSectionStreamBuf& operator=(const MdSectionStreamBuf&) = delete;

protected:
    int_type underflow() override;
    // A read of a few KB or more past what the window holds goes from the
    // stream straight into the reader's buffer (a scanner's read would
    // otherwise copy every byte twice).
    std::streamsize xsgetn(char* s, std::streamsize n) override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    IStream* m_stream;
    std::size_t m_size;
    std::size_t m_next = 0;  // position of the stream's byte after the window
    std::unique_ptr<char[]> m_window;
};

class CMDStrmHelper {
public:
    // sectMan: the working file's section manager (not owned; may be null).
    explicit CMDStrmHelper(FsSectMan* sectMan);
    virtual ~CMDStrmHelper();
    CMDStrmHelper(const CMDStrmHelper&) = delete;
    CMDStrmHelper& operator=(const CMDStrmHelper&) = delete;

    // Reads the named section into memory. 0 success; 0xFFFF no section
    // manager (message 0); 4 a stream is open already (message 0);
    // 0xBE11001B the section does not exist (message 1101) or cannot be read
    // (message 1102, the stream stays open with what was read);
    // 0xBE11FFFF any other failure to open it (message 1101). With read
    // false the section is only checked as above and its size taken, not
    // read: no stream is open afterwards.
    uint32_t open(const char* sectionName, bool read = true);
    // As open with read, but the stream reads the section in place through
    // a window (MdSectionStreamBuf) instead of a copy: for a reader that
    // only reads, while nobody writes the section.
    uint32_t openInPlace(const char* sectionName);
    // The stream of the open section, positioned for reading; null when
    // nothing is open.
    std::iostream* getStream() const { return m_stream.get(); }
    // Size in bytes of the open (or only checked) section.
    std::size_t size() const { return m_size; }
    // Drops the stream and its bytes.
    void close();

    // Reports id through the process-wide message handler, with text as
    // the first argument when given; nothing when no handler is installed.
    static void reportMessage(uint32_t id, const char* text = nullptr);

private:
    enum class Take { Check, Copy, InPlace };
    uint32_t open(const char* sectionName, Take take);
    // Makes the stream over buf; false (everything dropped) when it cannot.
    bool makeStream(std::streambuf* buf);

    FsSectMan* m_sectMan;
    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<std::streambuf> m_buf;
    std::unique_ptr<std::iostream> m_stream;
    std::size_t m_size = 0;
};
