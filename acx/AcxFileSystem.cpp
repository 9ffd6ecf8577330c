// The ACX file system over the C stream functions.
#include "acx/AcxFileSystem.h"

#include <new>

namespace {

FILE* streamOf(CAcxFileHandleBase* handle)
{
    auto* h = static_cast<CAcxFileHandle*>(handle);
    return h ? h->stream() : nullptr;
}

}  // namespace

CAcxFileHandleBase::~CAcxFileHandleBase() = default;
CAcxFileSystemBase::~CAcxFileSystemBase() = default;

bool CAcxFileSystemBase::headerInfo(CAcxFileHandleBase*, uint16_t, uint8_t, uint8_t)
{
    return false;
}

CAcxFileHandleBase* CAcxFileSystem::open(const char* path, const char* mode)
{
    if (!path || !mode) return nullptr;
    FILE* f = std::fopen(path, mode);
    if (!f) return nullptr;
    // The reader asks for a few bytes at a time.
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
    auto* h = new (std::nothrow) CAcxFileHandle(f);
    if (!h) std::fclose(f);
    return h;
}

int32_t CAcxFileSystem::close(CAcxFileHandleBase* handle)
{
    if (!handle) return -1;
    auto* h = static_cast<CAcxFileHandle*>(handle);
    int32_t result = 0;
    if (h->m_stream) result = std::fclose(h->m_stream);
    delete h;
    return result;
}

size_t CAcxFileSystem::read(void* buffer, size_t elemSize, size_t count, CAcxFileHandleBase* handle)
{
    FILE* f = streamOf(handle);
    if (!f || !buffer || count == 0) return 0;
    // A handle serves one reader on one thread: the stream lock is not needed.
    return fread_unlocked(buffer, elemSize, count, f);
}

size_t CAcxFileSystem::write(const void* buffer, size_t elemSize, size_t count, CAcxFileHandleBase* handle)
{
    FILE* f = streamOf(handle);
    if (!f || !buffer || count == 0) return 0;
    return std::fwrite(buffer, elemSize, count, f);
}

int32_t CAcxFileSystem::seek(CAcxFileHandleBase* handle, int64_t offset, int32_t origin)
{
    FILE* f = streamOf(handle);
    if (!f) return -1;
    return fseeko(f, off_t(offset), origin);
}

int64_t CAcxFileSystem::tell(CAcxFileHandleBase* handle)
{
    FILE* f = streamOf(handle);
    if (!f) return -1;
    return int64_t(ftello(f));
}

int64_t CAcxFileSystem::size(CAcxFileHandleBase* handle)
{
    FILE* f = streamOf(handle);
    if (!f) return -1;
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    const int64_t end = int64_t(ftello(f));
    if (fseeko(f, 0, SEEK_SET) != 0) return -1;
    return end - int64_t(ftello(f));
}
