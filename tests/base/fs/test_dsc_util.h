// Helpers of the descriptor, object-file and section tests: sections over
// memory streams and the raw bytes behind them.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "base/fs/FsSecCl.h"
#include "platform/com.h"
#include "platform/storage.h"

namespace dsctest {

inline ComPtr<IStream> memStream(const std::string& bytes = std::string())
{
    ComPtr<IStream> s;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &s));
    if (!bytes.empty()) {
        ULONG written = 0;
        EXPECT_EQ(S_OK, s->Write(bytes.data(), ULONG(bytes.size()), &written));
        EXPECT_EQ(bytes.size(), written);
    }
    return s;
}

// Every byte of the stream.
inline std::string streamBytes(IStream* s)
{
    STATSTG st{};
    EXPECT_EQ(S_OK, s->Stat(&st, STATFLAG_NONAME));
    LARGE_INTEGER zero{};
    EXPECT_EQ(S_OK, s->Seek(zero, STREAM_SEEK_SET, nullptr));
    std::string out(size_t(st.cbSize.QuadPart), '\0');
    ULONG got = 0;
    if (!out.empty()) {
        EXPECT_EQ(S_OK, s->Read(&out[0], ULONG(out.size()), &got));
    }
    out.resize(got);
    return out;
}

// The bytes a section has written so far.
inline std::string sectionBytes(FsSecCl& sec)
{
    sec.flush();
    return streamBytes(sec.stream());
}

// Attaches a section to a new memory stream holding the bytes.
template <class T>
void attachMem(T& sec, const std::string& bytes = std::string(), uint32_t mode = FS_MODE_WRITE)
{
    ComPtr<IStream> s = memStream(bytes);
    ASSERT_EQ(0u, sec.attach(s, mode));
}

}  // namespace dsctest
