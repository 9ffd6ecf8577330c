// The ACX reader: file header, the recursive walk over the tags, skipping,
// the digest feed and the end of a read.
#include "acx/AcxReader.h"

#include <algorithm>
#include <cstring>

namespace {

// Value kind of a number tag by its length, 0 for a length the type does
// not have.
int32_t kindBySize(uint32_t length, int32_t k1, int32_t k2, int32_t k4, int32_t k8)
{
    switch (length) {
    case 1: return k1;
    case 2: return k2;
    case 4: return k4;
    case 8: return k8;
    default: return 0;
    }
}

}  // namespace

CAcxReaderWriterBase::~CAcxReaderWriterBase() = default;

void CAcxReaderWriterBase::reset()
{
    m_errors = nullptr;
    m_fileSystem = nullptr;
}

void CAcxReaderBase::reset()
{
    CAcxReaderWriterBase::reset();
    m_content = nullptr;
}

CAcxReader::CAcxReader()
{
    reset();
}

CAcxReader::~CAcxReader()
{
    if (m_handle && !m_external && m_fileSystem) m_fileSystem->close(m_handle);
}

void CAcxReader::reset()
{
    CAcxReaderBase::reset();
    m_tagId = -1;
    m_state = Idle;
    m_depth = 0;
    m_rootCount = 0;
    m_handle = nullptr;
    m_digestOn = false;
    m_digest = nullptr;
    m_external = false;
}

void CAcxReader::setFileSystem(CAcxFileSystemBase* fileSystem)
{
    CAcxReaderBase::setFileSystem(fileSystem);
}

bool CAcxReader::attachFile(CAcxFileSystemBase* fileSystem, CAcxFileHandleBase* handle)
{
    if (m_fileSystem || !fileSystem || !handle) return false;
    m_fileSystem = fileSystem;
    m_handle = handle;
    m_external = true;
    return true;
}

bool CAcxReader::enableDigest(CAcxDigestBase* digest, int32_t kind)
{
    if (!digest || m_state != Idle || (kind != 5 && kind != 6 && kind != -1)) return false;
    m_digest = digest;
    m_digestKind = kind;
    m_digestOn = true;
    return true;
}

void CAcxReader::getDigestValue(uint32_t& a, uint32_t& b)
{
    a = b = 0;
    if (m_digestOn && m_digest) m_digest->getValue(a, b);
}

void CAcxReader::getDigestInfo(uint32_t& a, uint32_t& b)
{
    a = b = 0;
    if (m_digestOn && m_digest) m_digest->getInfo(a, b);
}

void CAcxReader::skipTag()
{
    if (m_state != Finished) m_state = SkipTag;
}

void CAcxReader::leaveCompound()
{
    if (m_state != Finished) m_state = LeaveCompound;
}

void CAcxReader::error(int32_t code)
{
    if (m_errors) m_errors->error(code);
}

void CAcxReader::setError(int32_t code)
{
    m_state = Aborting;
    if (m_errors) m_errors->fatal(code);
    finish();
}

int32_t CAcxReader::finish()
{
    if (m_state == Idle || m_state == Finishing) return m_state;
    m_state = Finishing;
    if (m_digestOn && m_digest && !m_digest->end()) {
        error(AcxErrDigest);
        m_digestOn = false;
    }
    if (m_handle && !m_external && m_fileSystem) m_fileSystem->close(m_handle);
    m_handle = nullptr;
    m_depth = 0;
    m_rootCount = 0;
    const int32_t result = m_content ? m_content->endDocument() : 0;
    m_state = Finished;
    return result;
}

bool CAcxReader::read(const char* path)
{
    if (!m_errors) return false;
    if (!m_fileSystem) {
        m_errors->fatal(AcxErrNoFileSystem);
        return true;
    }
    if (m_state != Idle) {
        m_errors->fatal(AcxErrBusy);
        return true;
    }
    if (!m_content) {
        m_errors->fatal(AcxErrNoContentHandler);
        return true;
    }
    m_state = Running;
    m_errors->reset();

    // The whole read as one block so that every way out meets the end below.
    do {
        if (!m_external) {
            m_handle = m_fileSystem->open(path, "rb");
            if (!m_handle) {
                m_errors->fatal(AcxErrOpen);
                break;
            }
        }
        // Where the file ends, for the lengths that must fit in it; a file
        // system that cannot tell leaves the end unknown.
        m_pos = m_fileSystem->tell(m_handle);
        m_fileEnd = -1;
        if (m_pos >= 0 && m_fileSystem->seek(m_handle, 0, 2) == 0) {
            const int64_t end = m_fileSystem->tell(m_handle);
            if (m_fileSystem->seek(m_handle, m_pos, 0) != 0) {
                setError(AcxErrRead);
                break;
            }
            if (end >= m_pos) m_fileEnd = end;
        }
        if (m_pos < 0) m_pos = 0;

        if (m_digestOn) {
            if (!m_digest) {
                m_errors->fatal(AcxErrNoDigest);
                break;
            }
            if (!m_digest->begin()) {
                error(AcxErrDigest);
                m_digestOn = false;
            }
        }
        if (stopped()) break;

        uint8_t raw[8];
        m_tagId = -1;
        if (!readBytes(raw, 8)) break;
        AcxFileHeader header;
        std::memcpy(header.magic, raw, 3);
        header.unchecked = raw[3];
        header.version = uint16_t(raw[4] | raw[5] << 8);
        header.byteA = raw[6];
        header.byteB = raw[7];
        if (std::memcmp(header.magic, "AcX", 3) != 0) {
            setError(AcxErrMagic);
            break;
        }
        if ((header.version >> 8) != (kVersion >> 8)) error(AcxErrVersion);

        if (!stopped())
            m_content->startDocument(
                m_fileSystem->headerInfo(m_handle, header.version, header.byteA, header.byteB));
        if (!stopped()) {
            m_tagId = -1;
            m_depth = 0;
            readTags(0);
        }
        if (!stopped()) finish();
    } while (false);

    // A read that ended before finish (no digest object) still gives its
    // file back.
    if (m_handle && !m_external) m_fileSystem->close(m_handle);
    m_handle = nullptr;
    m_state = Idle;
    return true;
}

void CAcxReader::readTags(uint32_t remaining)
{
    for (;;) {
        AcxTagInfo info;
        uint32_t headerSize = 0;
        if (!readTagHeader(info, headerSize)) return;
        m_tagId = int32_t(info.id);
        const uint32_t size = headerSize + info.length;
        // Inside a compound a tag must fit in what its parent has left.
        if (m_depth > 0 && size > remaining) {
            setError(AcxErrRead);
            return;
        }
        if (info.id == 0) {
            ++m_rootCount;
            remaining = size;
        }
        if ((m_depth == 0 && info.id != 0) || m_rootCount != 1) error(AcxErrRootRule);
        if (stopped()) return;
        // At the top level without a root the count wraps and the reading
        // goes on to the end of the file.
        remaining -= size;

        char* buffer = nullptr;
        uint32_t bufferSize = 0;
        if (info.type == AcxTypeString) {
            if (!fitsFile(info.length)) {
                setError(AcxErrRead);
                return;
            }
            m_content->stringBuffer(info, buffer, bufferSize);
            if (stopped()) return;
            if (bufferSize == 0 || m_state == SkipTag) {
                m_state = SkipTag;
                bufferSize = 0;
            } else if (!buffer) {
                error(AcxErrNoStringBuffer);
                if (stopped()) return;
                m_state = SkipTag;
            }
        } else {
            m_content->beginTag(info);
            if (stopped()) return;
        }

        if (m_state == SkipTag) {
            if (!skipBytes(info.length)) return;
            m_content->endTag(info);
            if (stopped()) return;
            m_state = Running;
        } else {
            if (m_state == LeaveCompound) return;
            bool ok = true;
            switch (info.type) {
            case AcxTypeCompound:
                // A compound of length 0 has no children to read.
                if (info.length > 0) {
                    if (m_depth >= kMaxDepth) {
                        setError(AcxErrRead);
                        return;
                    }
                    ++m_depth;
                    const int64_t p0 = m_pos;
                    readTags(info.length);
                    --m_depth;
                    if (m_state == LeaveCompound) {
                        const int64_t used = m_pos - p0;
                        if (used < 0 || used > int64_t(info.length)) {
                            setError(AcxErrRead);
                            return;
                        }
                        if (!skipBytes(uint32_t(info.length - used))) return;
                        m_state = Running;
                    }
                }
                break;
            case AcxTypeUnsigned:
                ok = readNumber(info, kindBySize(info.length, AcxKindU8, AcxKindU16, AcxKindU32, AcxKindU64),
                                AcxErrUnsignedLength);
                break;
            case AcxTypeSigned:
                ok = readNumber(info, kindBySize(info.length, AcxKindI8, AcxKindI16, AcxKindI32, AcxKindI64),
                                AcxErrSignedLength);
                break;
            case AcxTypeString:
                ok = readString(info, buffer, bufferSize);
                break;
            case AcxTypeReal:
                ok = readNumber(info, kindBySize(info.length, 0, 0, AcxKindReal32, AcxKindReal64), AcxErrRealLength);
                break;
            case AcxTypeEmpty:
                if (info.length != 0) {
                    error(AcxErrEmptyLength);
                    ok = !stopped() && skipBytes(info.length);
                }
                break;
            default:
                error(AcxErrUnknownType);
                ok = !stopped() && skipBytes(info.length);
                break;
            }
            if (!ok) return;
            if (stopped() || m_state == LeaveCompound) return;
            m_content->endTag(info);
            if (stopped() || m_state == LeaveCompound) return;
        }
        if (remaining == 0) return;
    }
}

// The long form widens each field of the short header by the bytes that
// follow it, above the bits the short form already has: the length by b3
// and b4 above its 7 bits (23 bits), the id by b6 above its 13 bits (21
// bits), and the type by b5 above its 3 bits, so b5 is shifted left by 3
// and the type is 11 contiguous bits. Shifting b5 by 8 would leave bits
// 3 to 7 of the type empty, and types 8 to 2047, which the long form is
// there to carry, could not be read.
bool CAcxReader::readTagHeader(AcxTagInfo& info, uint32_t& headerSize)
{
    uint8_t h[7];
    if (!fetch(h, 3)) {
        setError(AcxErrRead);
        return false;
    }
    info.length = h[0] & 0x7Fu;
    info.id = uint32_t(h[2] & 0x1F) << 8 | h[1];
    info.type = uint16_t(h[2] >> 5);
    headerSize = 3;
    if (h[0] & 0x80) {
        if (!fetch(h + 3, 4)) {
            setError(AcxErrRead);
            return false;
        }
        info.length |= (uint32_t(h[4]) << 8 | h[3]) << 7;
        info.type = uint16_t(info.type | h[5] << 3);
        info.id |= uint32_t(h[6]) << 13;
        headerSize = 7;
    }
    if (m_digestOn && info.id != 5 && info.id != 6) m_digest->update(h, headerSize);
    return true;
}

bool CAcxReader::fetch(void* buffer, uint32_t n)
{
    const size_t got = m_fileSystem->read(buffer, 1, n, m_handle);
    m_pos += int64_t(got);
    return got == n;
}

bool CAcxReader::readBytes(void* buffer, uint32_t n)
{
    if (n == 0) return true;
    if (!fetch(buffer, n)) {
        setError(AcxErrRead);
        return false;
    }
    if (m_digestOn && m_tagId != 5 && m_tagId != 6) m_digest->update(static_cast<const uint8_t*>(buffer), n);
    return true;
}

bool CAcxReader::fitsFile(uint32_t n) const
{
    return m_fileEnd < 0 || int64_t(n) <= m_fileEnd - m_pos;
}

bool CAcxReader::skipBytes(uint32_t n)
{
    if (n == 0) return true;
    // A seek past the end would succeed: a payload the file does not hold
    // is a short file.
    if (!fitsFile(n)) {
        setError(AcxErrRead);
        return false;
    }
    if (!m_digestOn || m_tagId == 5 || m_tagId == 6) {
        if (m_fileSystem->seek(m_handle, n, 1) != 0) {
            setError(AcxErrRead);
            return false;
        }
        m_pos += n;
        return true;
    }
    uint8_t chunk[256];
    while (n > 0) {
        const uint32_t step = std::min<uint32_t>(n, sizeof chunk);
        if (!readBytes(chunk, step)) return false;
        n -= step;
    }
    return true;
}

bool CAcxReader::readNumber(const AcxTagInfo& info, int32_t kind, int32_t errorCode)
{
    if (kind == 0) {
        error(errorCode);
        return !stopped() && skipBytes(info.length);
    }
    uint8_t slot[8] = {};
    if (!readBytes(slot, info.length)) return false;
    m_content->value(kind, slot);
    return true;
}

bool CAcxReader::readString(const AcxTagInfo& info, char* buffer, uint32_t size)
{
    const uint32_t n = std::min(info.length, size);
    if (!readBytes(buffer, n)) return false;
    buffer[n] = 0;
    if (!skipBytes(info.length - n)) return false;
    m_content->stringData(buffer, n);
    return true;
}
