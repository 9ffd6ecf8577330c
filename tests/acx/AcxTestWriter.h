// Encodes ACX files for the tests, the fuzz seeds and the benchmark: tag
// headers in both forms, tags of every type, whole files, and the damage a
// reader must survive (wrong lengths, forced header forms, cut files, deep
// nesting). Every ACX test file is made here; none comes from elsewhere.
//
// Also: a writer over the tag objects (CAcxTagWriterBase), a model tree of
// random tags with its encoding, a file system over bytes in memory
// that can fail its seek or tell on purpose, and the wiring of a reader.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "acx/AcxFileSystem.h"
#include "acx/AcxInterfaces.h"
#include "acx/AcxReader.h"
#include "acx/AcxTag.h"

namespace acxtest {

using Bytes = std::vector<uint8_t>;

enum class Form { Auto, Short, Long };

// Hands the reader its file system and its two handlers.
inline void wireReader(CAcxReaderBase& reader, CAcxFileSystemBase& fs, CAcxErrorHandlerBase& errors,
                       CAcxContentHandlerBase& content)
{
    reader.setFileSystem(&fs);
    reader.setErrorHandler(&errors);
    reader.setContentHandler(&content);
}

inline void append(Bytes& to, const Bytes& from)
{
    to.insert(to.end(), from.begin(), from.end());
}

// Header fields are cut to their width, so that a forced form can carry
// damage (a short form for a length of 200 keeps its low 7 bits).
inline Bytes tagHeader(uint32_t id, uint32_t type, uint32_t length, Form form = Form::Auto)
{
    bool longForm = form == Form::Long;
    if (form == Form::Auto) longForm = !(length < 0x80 && id < 0x2000 && type < 8);
    Bytes h{uint8_t(length & 0x7F), uint8_t(id & 0xFF), uint8_t(((id >> 8) & 0x1F) | ((type & 7) << 5))};
    if (longForm) {
        h[0] |= 0x80;
        h.push_back(uint8_t(length >> 7));
        h.push_back(uint8_t(length >> 15));
        h.push_back(uint8_t(type >> 3));
        h.push_back(uint8_t(id >> 13));
    }
    return h;
}

// A tag whose header states payload.size() + lengthDelta bytes.
inline Bytes tag(uint32_t id, uint32_t type, const Bytes& payload, Form form = Form::Auto, int64_t lengthDelta = 0)
{
    Bytes t = tagHeader(id, type, uint32_t(int64_t(payload.size()) + lengthDelta), form);
    append(t, payload);
    return t;
}

inline Bytes compound(uint32_t id, const std::vector<Bytes>& children, Form form = Form::Auto,
                      int64_t lengthDelta = 0)
{
    Bytes payload;
    for (const Bytes& c : children) append(payload, c);
    return tag(id, AcxTypeCompound, payload, form, lengthDelta);
}

template <class T>
Bytes le(T v)
{
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

inline Bytes u8(uint32_t id, uint8_t v) { return tag(id, AcxTypeUnsigned, le(v)); }
inline Bytes u16(uint32_t id, uint16_t v) { return tag(id, AcxTypeUnsigned, le(v)); }
inline Bytes u32(uint32_t id, uint32_t v) { return tag(id, AcxTypeUnsigned, le(v)); }
inline Bytes u64(uint32_t id, uint64_t v) { return tag(id, AcxTypeUnsigned, le(v)); }
inline Bytes i8(uint32_t id, int8_t v) { return tag(id, AcxTypeSigned, le(v)); }
inline Bytes i16(uint32_t id, int16_t v) { return tag(id, AcxTypeSigned, le(v)); }
inline Bytes i32(uint32_t id, int32_t v) { return tag(id, AcxTypeSigned, le(v)); }
inline Bytes i64(uint32_t id, int64_t v) { return tag(id, AcxTypeSigned, le(v)); }
inline Bytes r32(uint32_t id, float v) { return tag(id, AcxTypeReal, le(v)); }
inline Bytes r64(uint32_t id, double v) { return tag(id, AcxTypeReal, le(v)); }
inline Bytes str(uint32_t id, const std::string& s) { return tag(id, AcxTypeString, Bytes(s.begin(), s.end())); }
inline Bytes empty(uint32_t id) { return tag(id, AcxTypeEmpty, {}); }

inline Bytes fileHeader(uint16_t version = 0x0200, uint8_t byteA = 0, uint8_t byteB = 0, const char* magic = "AcX")
{
    return Bytes{uint8_t(magic[0]), uint8_t(magic[1]), uint8_t(magic[2]), 0, uint8_t(version), uint8_t(version >> 8),
                 byteA, byteB};
}

// The file header and the tags after it.
inline Bytes file(const std::vector<Bytes>& tags, uint16_t version = 0x0200)
{
    Bytes f = fileHeader(version);
    for (const Bytes& t : tags) append(f, t);
    return f;
}

// A root (id 0) holding `levels` compounds nested in each other, the
// innermost holding one byte tag; made without recursion.
inline Bytes nestedCompounds(uint32_t levels)
{
    std::vector<uint32_t> length(levels + 1);  // payload of level i (0 = root)
    uint32_t inner = 4;                        // the u8 tag
    for (uint32_t i = levels + 1; i-- > 0;) {
        length[i] = inner;
        inner += uint32_t(tagHeader(1, 0, inner).size());
    }
    Bytes f = fileHeader();
    for (uint32_t i = 0; i <= levels; ++i) append(f, tagHeader(i == 0 ? 0 : 1, AcxTypeCompound, length[i]));
    append(f, u8(2, 7));
    return f;
}

// Encodes tag objects (after computeSize) as the reader reads them.
class TreeWriter : public CAcxTagWriterBase {
public:
    void beginTag(uint32_t id, uint16_t type, uint32_t length) override { append(out, tagHeader(id, type, length)); }
    void value(int32_t, const void* data, uint32_t size) override
    {
        const auto* p = static_cast<const uint8_t*>(data);
        if (p) out.insert(out.end(), p, p + size);
    }
    void endTag() override {}
    Bytes out;
};

// --- a model tree of random tags --------------------------------------------

struct Node {
    uint32_t id = 0;
    uint32_t type = 0;  // AcxTagType or unknown
    int32_t kind = AcxKindNone;
    Bytes payload;      // of a leaf
    std::vector<Node> children;
};

inline Bytes encode(const Node& n)
{
    if (n.type != AcxTypeCompound) return tag(n.id, n.type, n.payload);
    std::vector<Bytes> children;
    for (const Node& c : n.children) children.push_back(encode(c));
    return compound(n.id, children);
}

// A random leaf of any type, unknown types and empty tags included.
inline Node randomLeaf(std::mt19937& rng)
{
    static const uint32_t kSizes[] = {1, 2, 4, 8};
    Node n;
    n.id = 1 + rng() % (rng() % 4 ? 3000 : 0x1FFFFF);
    switch (rng() % 7) {
    case 0:
    case 1: {
        n.type = AcxTypeUnsigned + rng() % 2;
        const uint32_t s = rng() % 4;
        n.kind = int32_t(n.type == AcxTypeUnsigned ? AcxKindU8 + s : AcxKindI8 + s);
        n.payload.resize(kSizes[s]);
        break;
    }
    case 2:
        n.type = AcxTypeReal;
        n.kind = rng() % 2 ? AcxKindReal32 : AcxKindReal64;
        n.payload.resize(n.kind == AcxKindReal32 ? 4 : 8);
        break;
    case 3:
    case 4:
        n.type = AcxTypeString;
        n.kind = AcxKindString;
        n.payload.resize(rng() % 3 ? rng() % 40 : rng() % 300);
        break;
    case 5: n.type = AcxTypeEmpty; break;
    default:
        n.type = 6 + rng() % 2000;  // unknown: skipped by the reader
        n.payload.resize(rng() % 20);
        break;
    }
    for (auto& b : n.payload) b = uint8_t(rng());
    return n;
}

// A root (id 0) with random children, nested down to `depth` compound levels
// (the root counting as one) along at least one path.
inline Node randomTree(std::mt19937& rng, uint32_t depth, uint32_t maxChildren = 6)
{
    Node root;
    Node* deepest = &root;
    for (uint32_t level = 1; level < depth; ++level) {
        Node c;
        c.id = 1 + rng() % 5000;
        deepest->children.push_back(c);
        deepest = &deepest->children.back();
    }
    // Further random children everywhere: leaves, and now and then a
    // compound of its own while the depth allows.
    std::vector<std::pair<Node*, uint32_t>> todo{{&root, 1}};
    while (!todo.empty()) {
        auto [n, level] = todo.back();
        todo.pop_back();
        const uint32_t count = rng() % (maxChildren + 1);
        for (uint32_t i = 0; i < count; ++i) {
            Node child = randomLeaf(rng);
            if (level < depth && rng() % 8 == 0) {
                child = Node();
                child.id = uint32_t(1 + rng() % 5000);
            }
            n->children.insert(n->children.begin() + long(rng() % (n->children.size() + 1)), child);
        }
        for (Node& c : n->children)
            if (c.type == AcxTypeCompound) todo.push_back({&c, level + 1});
    }
    return root;
}

inline bool writeFile(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// --- a file system over bytes in memory -------------------------------------

class MemFileSystem : public CAcxFileSystemBase {
public:
    struct Handle : CAcxFileHandleBase {
        size_t pos = 0;
    };
    explicit MemFileSystem(Bytes bytes = {}) : data(std::move(bytes)) {}

    CAcxFileHandleBase* open(const char* path, const char*) override
    {
        if (missing || !path) return nullptr;
        ++opened;
        return new Handle;
    }
    int32_t close(CAcxFileHandleBase* h) override
    {
        if (!h) return -1;
        ++closed;
        delete h;
        return 0;
    }
    size_t read(void* buffer, size_t elemSize, size_t count, CAcxFileHandleBase* h) override
    {
        auto* m = static_cast<Handle*>(h);
        if (!m || !buffer || count == 0 || elemSize == 0) return 0;
        const size_t left = m->pos < data.size() ? data.size() - m->pos : 0;
        const size_t n = std::min(count, left / elemSize);
        if (n) std::memcpy(buffer, data.data() + m->pos, n * elemSize);
        m->pos += n * elemSize;
        return n;
    }
    size_t write(const void*, size_t, size_t, CAcxFileHandleBase*) override { return 0; }
    int32_t seek(CAcxFileHandleBase* h, int64_t offset, int32_t origin) override
    {
        auto* m = static_cast<Handle*>(h);
        if (!m || seeks++ == failSeekAt) return -1;
        const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(m->pos) : int64_t(data.size());
        if (base + offset < 0) return -1;
        m->pos = size_t(base + offset);
        return 0;
    }
    int64_t tell(CAcxFileHandleBase* h) override
    {
        auto* m = static_cast<Handle*>(h);
        if (!m || tells++ == failTellAt) return -1;
        return int64_t(m->pos);
    }
    int64_t size(CAcxFileHandleBase* h) override
    {
        auto* m = static_cast<Handle*>(h);
        if (!m) return -1;
        m->pos = 0;
        return int64_t(data.size());
    }

    Bytes data;
    bool missing = false;
    int failSeekAt = -1;  // the seek call (counted from 0) that fails
    int failTellAt = -1;
    int seeks = 0, tells = 0, opened = 0, closed = 0;
};

}  // namespace acxtest
