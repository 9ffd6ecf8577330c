// The ACX file in words (see acx_words.h): its first tag as the reader finds
// it, and what the reader's codes say of it.
#include "host/acx_words.h"

#include <sys/stat.h>

#include <string>

#include "acx/AcxFileSystem.h"
#include "host/status_words.h"

namespace {

// Takes the first tag the reader announces and ends the read there.
class FirstTagHandler : public CAcxContentHandlerBase {
public:
    explicit FirstTagHandler(CAcxReader& reader) : m_reader(reader) {}
    void startDocument(bool) override {}
    void beginTag(const AcxTagInfo& info) override { take(info); }
    void value(int32_t, const uint8_t*) override {}
    void stringBuffer(const AcxTagInfo& info, char*&, uint32_t&) override { take(info); }
    void stringData(const char*, uint32_t) override {}
    void endTag(const AcxTagInfo&) override {}
    int32_t endDocument() override { return 0; }
    HostAcxFirstTag first;

private:
    void take(const AcxTagInfo& info)
    {
        first.found = true;
        first.info = info;
        m_reader.finish();
    }
    CAcxReader& m_reader;
};

// The pre-compiler's reader has said what went wrong already.
class QuietAcxErrors : public CAcxErrorHandlerBase {
public:
    void warning(int32_t) override {}
    void error(int32_t) override {}
    void fatal(int32_t) override {}
};

}  // namespace

HostAcxFirstTag hostAcxFirstTag(const std::string& acx)
{
    // A device is not read again: it may give other bytes, or wait for them.
    struct stat st;
    if (::stat(acx.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return HostAcxFirstTag();
    CAcxFileSystem files;
    QuietAcxErrors errors;
    CAcxReader reader;
    FirstTagHandler first(reader);
    reader.setFileSystem(&files);
    reader.setErrorHandler(&errors);
    reader.setContentHandler(&first);
    reader.read(acx.c_str());
    return first.first;
}

std::string hostAcxTypeWords(uint16_t type)
{
    switch (type) {
    case AcxTypeUnsigned: return "an unsigned number";
    case AcxTypeSigned: return "a signed number";
    case AcxTypeString: return "a string";
    case AcxTypeReal: return "a real number";
    case AcxTypeEmpty: return "an empty tag";
    }
    return "a tag of the unknown type " + std::to_string(type);
}

std::string hostAcxCodeWords(uint32_t message, int32_t code, const std::string& acx, const HostAcxFirstTag& first)
{
    // A file that does not begin with its root tag: the reader takes every
    // tag for one beside the root, and looks for the root to the file's end.
    if (first.found && first.info.id != 0) {
        if (message == 1301 && code == AcxErrRootRule)
            return "begins with a tag of id " + std::to_string(first.info.id) + ", not with its root tag (id 0)";
        if (message == 1300 && code == AcxErrRead)
            return "has no root tag (id 0) at its start: the reader looked for one to the file's end";
    }
    static const struct {
        uint32_t message;
        int32_t code;
        const char* words;
    } kCodes[] = {
        {1300, 3, "was not read: a read of the reader was still running"},
        {1300, 4, "was not read: the reader had no file system"},
        {1300, 10, "was not read: the reader had no content handler"},
        {1300, 11, "is not an ACX file: no \"AcX\" mark at its start"},
        {1300, 48, "was not read: a digest was asked for without a digest object"},
        {1301, 30, "holds a tag of an unknown type (skipped)"},
        {1301, 31, "could not be digested (read without its digest)"},
        {1301, 40, "holds a text that could not be held in memory (skipped)"},
        {1301, 41, "holds an unsigned number that is not 1, 2, 4 or 8 bytes long (skipped)"},
        {1301, 42, "holds a signed number that is not 1, 2, 4 or 8 bytes long (skipped)"},
        {1301, 43, "holds a real number that is not 4 or 8 bytes long (skipped)"},
        {1301, 44, "holds a tag beside its root tag (id 0), or a second root tag"},
        {1301, 45, "holds an empty tag with a length (skipped)"},
        {1301, 46, "is of another major format version than 2"},
    };
    struct stat st;
    const bool found = ::stat(acx.c_str(), &st) == 0;
    if (message == 1300 && code == 1) {
        // The reader only says that it could not open the file.
        return "cannot be opened" + hostOpenWords(acx);
    }
    if (message == 1300 && code == 2) {
        // A directory opens for reading and gives no byte.
        if (found && S_ISDIR(st.st_mode)) return "cannot be read: a directory";
        if (found && S_ISREG(st.st_mode) && st.st_size == 0) return "is empty";
        return "ends early: a header or a tag is cut short";
    }
    for (const auto& c : kCodes)
        if (c.message == message && c.code == code) return c.words;
    return "gave the reader's code " + std::to_string(code);
}
