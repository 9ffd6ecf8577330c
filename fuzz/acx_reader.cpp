// Feeds arbitrary bytes to the ACX reader with the pre-compiler's content
// handler. The first byte steers: bit 0 puts a good file header in front
// (random bytes rarely start with "AcX"), bit 1 turns a digest on, bits 2-3
// let the handler call skipTag or leaveCompound now and then, bits 4-7 pick
// when. Every read must end in the Idle state with the file given back,
// never crash, hang or allocate beyond the size of the input, and the tree
// it leaves must be walkable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "acx/AcxReader.h"
#include "tests/acx/AcxTestWriter.h"
#include "tools/md/tavolin/MdAcxHandlers.h"

namespace {

class SteeringHandler : public CMDAcxContentHandler {
public:
    SteeringHandler(CAcxReader& reader, uint8_t control) : m_reader(reader), m_control(control) {}
    void beginTag(const AcxTagInfo& info) override
    {
        CMDAcxContentHandler::beginTag(info);
        steer();
    }
    void endTag(const AcxTagInfo& info) override
    {
        CMDAcxContentHandler::endTag(info);
        steer();
    }

private:
    void steer()
    {
        if (++m_calls % (2 + (m_control >> 4)) != 0) return;
        if (m_control & 4) m_reader.skipTag();
        if (m_control & 8) m_reader.leaveCompound();
    }
    CAcxReader& m_reader;
    uint8_t m_control;
    unsigned m_calls = 0;
};

struct Quiet : CAcxErrorHandlerBase {
    void warning(int32_t) override {}
    void error(int32_t) override {}
    void fatal(int32_t) override {}
};

struct SumDigest : CAcxDigestBase {
    bool begin() override { return true; }
    void update(const uint8_t* b, uint32_t n) override
    {
        for (uint32_t i = 0; i < n; ++i) sum += b[i];
    }
    bool end() override { return true; }
    void getValue(uint32_t& a, uint32_t& b) override { a = sum, b = 0; }
    void getInfo(uint32_t& a, uint32_t& b) override { a = b = 0; }
    uint32_t sum = 0;
};

// Visits every tag once; the tree may not be deeper than the reader allows.
size_t walk(CAcxCompoundTag* c, int depth)
{
    if (depth > CAcxReader::kMaxDepth + 1) std::abort();
    size_t n = 1;
    CAcxTagBase* t = nullptr;
    for (bool more = c->getFirst(t); more; more = c->getNext(t)) {
        if (t->getParent() != c) std::abort();
        if (auto* sub = dynamic_cast<CAcxCompoundTag*>(t))
            n += walk(sub, depth + 1);
        else
            ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t control = data[0];
    acxtest::Bytes bytes;
    if (control & 1) bytes = acxtest::fileHeader();
    bytes.insert(bytes.end(), data + 1, data + size);

    acxtest::MemFileSystem fs(bytes);
    CAcxReader reader;
    SteeringHandler content(reader, control);
    Quiet errors;
    SumDigest digest;
    acxtest::wireReader(reader, fs, errors, content);
    if (control & 2) reader.enableDigest(&digest, -1);
    if (!reader.read("fuzz.acx") || reader.state() != CAcxReader::Idle || fs.opened != fs.closed) std::abort();
    if (CAcxCompoundTag* root = content.getRootTag()) {
        // A tag takes at least 3 bytes of the file.
        if (walk(root, 1) > bytes.size() / 3 + 1) std::abort();
    }
    return 0;
}
