// Test helper: runs a writer / reader pair of a symbol-table part through
// each of its three written forms without a compound file: the section
// stream in text and in binary mode (on the platform's memory stream) and
// the standard streams.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "base/fs/FsSecClMem.h"

namespace sttest {

enum class Form { SectionText, SectionBinary, Stream };
inline const char* formName(Form f)
{
    return f == Form::SectionText ? "section text" : f == Form::SectionBinary ? "section binary" : "stream";
}
constexpr Form kForms[] = {Form::SectionText, Form::SectionBinary, Form::Stream};

using SecWrite = std::function<void(FsSecCl&)>;
using OsWrite = std::function<void(std::ostream&)>;
using SecRead = std::function<void(FsSecCl&)>;
using IsRead = std::function<void(std::istream&)>;

// The bytes the writer of the form produces.
inline std::string write(Form f, const SecWrite& ws, const OsWrite& wo)
{
    if (f == Form::Stream) {
        std::ostringstream os;
        wo(os);
        return os.str();
    }
    FsSecClMem s;
    s.setBinary(f == Form::SectionBinary);
    ws(s);
    EXPECT_EQ(0u, s.getError()) << formName(f);
    const uint32_t size = s.getSize();
    std::string out(size, '\0');
    s.seek(0, 0);
    if (size) s.readBytes(&out[0], size);
    return out;
}

// Feeds bytes to the reader of the form; true when the stream is still
// without error afterwards.
inline bool read(Form f, const std::string& bytes, const SecRead& rs, const IsRead& ri)
{
    if (f == Form::Stream) {
        std::istringstream is(bytes);
        ri(is);
        return !is.fail();
    }
    FsSecClMem s;
    if (!bytes.empty()) s.writeBytes(bytes.data(), uint32_t(bytes.size()));
    s.seek(0, 0);
    s.setBinary(f == Form::SectionBinary);
    rs(s);
    return !s.hasError();
}

}  // namespace sttest
