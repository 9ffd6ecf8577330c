// How the ACX reader reaches its file: a file-system interface of open,
// close, read, write, seek, tell and size over opaque handles, and its
// implementation over the C stream functions.
//
// Results follow the C functions: open answers null on failure, read and
// write the number of elements moved, seek 0 on success, tell the position
// or -1. Failures are only results; the file system never reports through
// an error handler.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// An open file of some file system; only that file system looks inside.
class CAcxFileHandleBase {
public:
    virtual ~CAcxFileHandleBase();
};

class CAcxFileSystemBase {
public:
    virtual ~CAcxFileSystemBase();
    // A new handle, or null when the file cannot be opened (mode as fopen).
    virtual CAcxFileHandleBase* open(const char* path, const char* mode) = 0;
    // Closes and destroys the handle; -1 for a null handle.
    virtual int32_t close(CAcxFileHandleBase* handle) = 0;
    // Elements of elemSize bytes moved; 0 on any null argument or count 0.
    virtual size_t read(void* buffer, size_t elemSize, size_t count, CAcxFileHandleBase* handle) = 0;
    virtual size_t write(const void* buffer, size_t elemSize, size_t count, CAcxFileHandleBase* handle) = 0;
    // origin 0 start, 1 current, 2 end; 0 on success.
    virtual int32_t seek(CAcxFileHandleBase* handle, int64_t offset, int32_t origin) = 0;
    // The position, or -1.
    virtual int64_t tell(CAcxFileHandleBase* handle) = 0;
    // The file size, leaving the file at its start; -1 for a null handle.
    virtual int64_t size(CAcxFileHandleBase* handle) = 0;
    // What the header bytes mean to this file system; the reader passes the
    // answer to the content handler's startDocument. The base knows nothing:
    // false.
    virtual bool headerInfo(CAcxFileHandleBase* handle, uint16_t version, uint8_t byteA, uint8_t byteB);
};

// Owns one open C stream.
class CAcxFileHandle : public CAcxFileHandleBase {
public:
    explicit CAcxFileHandle(FILE* stream) : m_stream(stream) {}
    FILE* stream() const { return m_stream; }

private:
    friend class CAcxFileSystem;
    FILE* m_stream;
};

// The file system over fopen and friends; handles are CAcxFileHandle.
class CAcxFileSystem : public CAcxFileSystemBase {
public:
    CAcxFileHandleBase* open(const char* path, const char* mode) override;
    int32_t close(CAcxFileHandleBase* handle) override;
    size_t read(void* buffer, size_t elemSize, size_t count, CAcxFileHandleBase* handle) override;
    size_t write(const void* buffer, size_t elemSize, size_t count, CAcxFileHandleBase* handle) override;
    int32_t seek(CAcxFileHandleBase* handle, int64_t offset, int32_t origin) override;
    int64_t tell(CAcxFileHandleBase* handle) override;
    int64_t size(CAcxFileHandleBase* handle) override;
};
