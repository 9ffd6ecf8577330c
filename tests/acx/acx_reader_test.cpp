// The ACX reader against files from the test writer: one table of the
// format's edge cases and of every reader code with the call that raises it
// and what follows, the damage the reader must end cleanly, the digest
// feed, and the stdio file system under a real read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cinttypes>
#include <functional>
#include <string>
#include <vector>

#include "acx/AcxReader.h"
#include "tests/acx/AcxTestWriter.h"

namespace {

using namespace acxtest;

// Writes every event of a read, handler calls and error codes alike, into
// one log: "start(0) b<id>/<type>/<len> v<kind>:<hex> s<id>/<len> d'<text>'
// e<id> end" and "W<code> E<code> F<code>".
class Log : public CAcxContentHandlerBase, public CAcxErrorHandlerBase {
public:
    void startDocument(bool info) override { add("start(" + std::to_string(info) + ")"); }
    void beginTag(const AcxTagInfo& i) override
    {
        add("b" + std::to_string(i.id) + "/" + std::to_string(i.type) + "/" + std::to_string(i.length));
        if (hook) hook("b", i.id);
    }
    void value(int32_t kind, const uint8_t* slot) override
    {
        uint64_t v;
        std::memcpy(&v, slot, 8);
        char text[40];
        std::snprintf(text, sizeof text, "v%d:%" PRIx64, kind, v);
        add(text);
        if (hook) hook("v", 0);
    }
    void stringBuffer(const AcxTagInfo& i, char*& buffer, uint32_t& size) override
    {
        add("s" + std::to_string(i.id) + "/" + std::to_string(i.length));
        text.assign(std::min<uint32_t>(i.length, bufferCap) + 1, '?');
        size = std::min<uint32_t>(i.length, bufferCap);
        buffer = noBuffer ? nullptr : &text[0];
        if (hook) hook("s", i.id);
    }
    void stringData(const char* buffer, uint32_t n) override
    {
        add("d'" + std::string(buffer) + "'" + (std::strlen(buffer) == n ? "" : "!len"));
    }
    void endTag(const AcxTagInfo& i) override
    {
        add("e" + std::to_string(i.id));
        if (hook) hook("e", i.id);
    }
    int32_t endDocument() override
    {
        add("end");
        return 7;
    }
    void warning(int32_t code) override { add("W" + std::to_string(code)); }
    void error(int32_t code) override { add("E" + std::to_string(code)); }
    void fatal(int32_t code) override { add("F" + std::to_string(code)); }
    void reset() override { add("reset"); }

    void add(const std::string& s) { out += (out.empty() ? "" : " ") + s; }
    std::string out;
    std::string text;
    uint32_t bufferCap = 0xFFFFFFFF;
    bool noBuffer = false;
    std::function<void(const char*, uint32_t)> hook;
};

struct Run {
    std::string log;
    bool result = false;
    MemFileSystem fs;
};

// Reads bytes through a memory file system; `setup` may adjust the pieces
// before the read.
std::string readLog(const Bytes& bytes, const std::function<void(CAcxReader&, Log&, MemFileSystem&)>& setup = {})
{
    MemFileSystem fs(bytes);
    Log log;
    CAcxReader reader;
    wireReader(reader, fs, log, log);
    if (setup) setup(reader, log, fs);
    EXPECT_TRUE(reader.read("f.acx"));
    EXPECT_EQ(reader.state(), CAcxReader::Idle);
    EXPECT_EQ(fs.opened, fs.closed) << "a file was left open";
    const std::string prefix = "reset ";
    return log.out.rfind(prefix, 0) == 0 ? log.out.substr(prefix.size()) : log.out;
}

Bytes root(const std::vector<Bytes>& children)
{
    return file({compound(0, children)});
}

using Setup = std::function<void(CAcxReader&, Log&, MemFileSystem&)>;

struct Case {
    const char* name;
    Bytes bytes;
    Setup setup;
    const char* expected;
};

// A setup that calls act once, at the first event ev ("b", "v", "s", "e")
// of the tag id (0: of any tag).
Setup at(const char* ev, uint32_t id, std::function<void(CAcxReader&)> act)
{
    return [=](CAcxReader& r, Log& l, MemFileSystem&) {
        l.hook = [=, &r, done = false](const char* e, uint32_t i) mutable {
            if (done || std::string(e) != ev || (id != 0 && i != id)) return;
            done = true;
            act(r);
        };
    };
}

Setup bufferOf(uint32_t n)
{
    return [n](CAcxReader&, Log& l, MemFileSystem&) { l.bufferCap = n; };
}

Bytes cutBy(Bytes f, size_t n)
{
    f.resize(f.size() - n);
    return f;
}

TEST(AcxReader, EdgeCasesAndCodes)
{
    // A long-form root header with two of its four extension bytes.
    const Bytes cutLong = cutBy(file({tagHeader(0, 0, 5, Form::Long)}), 2);

    const Case cases[] = {
        {"empty root", root({}), {}, "start(0) b0/0/0 e0 end"},
        // Short and long header forms at their limits; a long form may also
        // carry small values.
        {"short/long id", root({u8(8191, 1), u8(8192, 2), tag(3, 1, {4}, Form::Long)}), {},
         "start(0) b0/0/20 b8191/1/1 v5:1 e8191 b8192/1/1 v5:2 e8192 b3/1/1 v5:4 e3 e0 end"},
        {"short/long length", root({str(1, std::string(127, 'a')), str(2, std::string(128, 'b'))}), bufferOf(1),
         "start(0) b0/0/265 s1/127 d'a' e1 s2/128 d'b' e2 e0 end"},
        {"type 7 short, 8 and 2047 long", root({tag(1, 7, {}), tag(2, 8, {1}), tag(3, 2047, {})}), {},
         "start(0) b0/0/18 b1/7/0 E30 e1 b2/8/1 E30 e2 b3/2047/0 E30 e3 e0 end"},
        {"id 0x1FFFFF", root({i16(0x1FFFFF, -2)}), {}, "start(0) b0/0/9 b2097151/2/2 v2:fffe e2097151 e0 end"},
        {"missing extension bytes", cutLong, {}, "start(0) F2 end"},
        {"version 0x0201", file({compound(0, {})}, 0x0201), {}, "start(0) b0/0/0 e0 end"},
        {"version 0x0300", file({compound(0, {})}, 0x0300), {}, "E46 start(0) b0/0/0 e0 end"},
        {"zero-length string", root({str(1, "")}), {}, "start(0) b0/0/3 s1/0 e1 e0 end"},
        {"string cut to its buffer", root({str(1, "abcdef"), u8(2, 1)}), bufferOf(3),
         "start(0) b0/0/13 s1/6 d'abc' e1 b2/1/1 v5:1 e2 e0 end"},
        {"all number widths",
         root({u16(1, 0x1234), u32(2, 0xDEADBEEF), u64(3, 1ull << 63), i8(4, -1), i32(5, -2), i64(6, -3),
               r32(7, 1.5f), r64(8, -2.0)}),
         {},
         "start(0) b0/0/63 b1/1/2 v6:1234 e1 b2/1/4 v7:deadbeef e2 b3/1/8 v8:8000000000000000 e3 b4/2/1 v1:ff e4 "
         "b5/2/4 v3:fffffffe e5 b6/2/8 v4:fffffffffffffffd e6 b7/4/4 v9:3fc00000 e7 "
         "b8/4/8 v10:c000000000000000 e8 e0 end"},
        {"unsigned of 3 bytes", root({tag(1, 1, {1, 2, 3}), u8(2, 9)}), {},
         "start(0) b0/0/10 b1/1/3 E41 e1 b2/1/1 v5:9 e2 e0 end"},
        {"signed of 5 bytes", root({tag(1, 2, {1, 2, 3, 4, 5})}), {}, "start(0) b0/0/8 b1/2/5 E42 e1 e0 end"},
        {"real of 2 bytes", root({tag(1, 4, {1, 2})}), {}, "start(0) b0/0/5 b1/4/2 E43 e1 e0 end"},
        {"empty with payload", root({tag(1, 5, {1, 2}), empty(2)}), {},
         "start(0) b0/0/8 b1/5/2 E45 e1 b2/5/0 e2 e0 end"},
        // A second id-0 tag: error 44 for it and the tags inside it; the
        // enclosing compound ends with it.
        {"second root", root({u8(1, 1), compound(0, {u8(2, 2)}), u8(3, 3)}), {},
         "start(0) b0/0/15 b1/1/1 v5:1 e1 E44 b0/0/4 E44 b2/1/1 v5:2 e2 e0 e0 end"},
        {"tag outside a root", file({u8(5, 1)}), {}, "start(0) E44 b5/1/1 v5:1 e5 F2 end"},
        {"trailing bytes", [] { Bytes f = root({u8(1, 1)}); append(f, Bytes{1, 2, 3, 0xFF}); return f; }(), {},
         "start(0) b0/0/4 b1/1/1 v5:1 e1 e0 end"},
        {"leaveCompound in a callback", root({compound(1, {u8(2, 2), u8(3, 3)}), u8(4, 4)}),
         at("v", 0, [](CAcxReader& r) { r.leaveCompound(); }),
         "start(0) b0/0/15 b1/0/8 b2/1/1 v5:2 e1 b4/1/1 v5:4 e4 e0 end"},
        {"skipTag in a callback", root({compound(1, {u8(2, 2)}), u8(4, 4)}),
         at("b", 1, [](CAcxReader& r) { r.skipTag(); }),
         "start(0) b0/0/11 b1/0/4 e1 b4/1/1 v5:4 e4 e0 end"},
        {"finish in a callback", root({u8(1, 1), u8(2, 2)}),
         at("v", 0, [](CAcxReader& r) { r.endRead(); }),
         "start(0) b0/0/8 b1/1/1 v5:1 end"},
        // Codes.
        {"1: cannot open", root({}), [](auto&, auto&, MemFileSystem& fs) { fs.missing = true; }, "F1"},
        {"2: truncated", cutBy(root({u32(1, 1)}), 1), {}, "start(0) b0/0/7 b1/1/4 F2 end"},
        {"2: short file header", Bytes{'A', 'c', 'X', 0, 0}, {}, "F2 end"},
        {"2: failed seek", root({tag(1, 9, {1, 2})}), [](auto&, auto&, MemFileSystem& fs) { fs.failSeekAt = 2; },
         "start(0) b0/0/9 b1/9/2 E30 F2 end"},
        {"3: read while reading", root({u8(1, 1)}),
         at("v", 0, [](CAcxReader& r) { r.read("other"); }),
         "start(0) b0/0/4 b1/1/1 v5:1 F3 e1 e0 end"},
        {"4: no file system", root({}), [](CAcxReader& r, auto&, auto&) { r.setFileSystem(nullptr); }, "F4"},
        {"10: no content handler", root({}), [](CAcxReader& r, auto&, auto&) { r.setContentHandler(nullptr); },
         "F10"},
        {"11: wrong magic", cutBy(fileHeader(0x0200, 0, 0, "ACX"), 0), {}, "F11 end"},
        {"40: no string buffer", root({str(1, "abc"), u8(2, 1)}), [](auto&, Log& l, auto&) { l.noBuffer = true; },
         "start(0) b0/0/10 s1/3 E40 e1 b2/1/1 v5:1 e2 e0 end"},
    };
    for (const Case& c : cases) EXPECT_EQ(readLog(c.bytes, c.setup), c.expected) << c.name;
}

// A digest that keeps the bytes it is fed.
class KeepDigest : public CAcxDigestBase {
public:
    bool begin() override { return beginOk; }
    void update(const uint8_t* b, uint32_t n) override { bytes.insert(bytes.end(), b, b + n); }
    bool end() override { return endOk; }
    void getValue(uint32_t& a, uint32_t& b) override { a = uint32_t(bytes.size()), b = 1; }
    void getInfo(uint32_t& a, uint32_t& b) override { a = 2, b = 3; }
    Bytes bytes;
    bool beginOk = true, endOk = true;
};

// Lets a test take the digest object away behind enableDigest's back.
struct DigestReader : CAcxReader {
    void dropDigestObject() { m_digest = nullptr; }
};

TEST(AcxReader, DigestFeedAndCodes)
{
    const Bytes kept1 = u8(1, 1), skipped5 = str(5, "skip"), skipped6 = u8(6, 3), kept2 = str(2, "ab");
    const Bytes unknown = tag(3, 9, Bytes(600, 0x5A));  // skipped through the digest in chunks
    const Bytes f = root({kept1, skipped5, skipped6, kept2, unknown});
    KeepDigest digest;
    std::string log = readLog(f, [&](CAcxReader& r, auto&, auto&) {
        EXPECT_FALSE(r.enableDigest(&digest, 4));
        EXPECT_FALSE(r.enableDigest(nullptr, 5));
        EXPECT_TRUE(r.enableDigest(&digest, -1));
    });
    EXPECT_EQ(log.find("E"), log.find("E30")) << log;
    Bytes expected(f.begin(), f.begin() + 8 + 7);  // file header and the root's long header
    for (const Bytes* t : {&kept1, &kept2, &unknown}) append(expected, *t);
    EXPECT_EQ(digest.bytes, expected);

    // 31: the digest cannot begin (reading goes on without it) or end.
    KeepDigest noBegin;
    noBegin.beginOk = false;
    EXPECT_EQ(readLog(root({}), [&](CAcxReader& r, auto&, auto&) { r.enableDigest(&noBegin, 5); }),
              "E31 start(0) b0/0/0 e0 end");
    EXPECT_TRUE(noBegin.bytes.empty());
    KeepDigest noEnd;
    noEnd.endOk = false;
    EXPECT_EQ(readLog(root({}), [&](CAcxReader& r, auto&, auto&) { r.enableDigest(&noEnd, 6); }),
              "start(0) b0/0/0 e0 E31 end");

    // 48: a digest asked for without an object ends before any callback and
    // gives the file back.
    MemFileSystem fs(root({}));
    Log l;
    DigestReader r;
    wireReader(r, fs, l, l);
    ASSERT_TRUE(r.enableDigest(&digest, 5));
    uint32_t a = 9, b = 9;
    r.getDigestInfo(a, b);
    EXPECT_EQ(a + b, 5u);
    r.dropDigestObject();
    EXPECT_TRUE(r.read("x"));
    EXPECT_EQ(l.out, "reset F48");
    EXPECT_EQ(fs.opened, 1);
    EXPECT_EQ(fs.closed, 1);
    r.disableDigest();
    r.getDigestValue(a, b);
    EXPECT_EQ(a + b, 0u);
}

TEST(AcxReader, WithoutErrorHandlerAnswersFalse)
{
    CAcxReader r;
    EXPECT_FALSE(r.read("x"));
}

// The three damage rules: each input below made the reader read a
// neighbour's bytes, seek backwards or recurse without end before them.
TEST(AcxReader, DamageEndsCleanly)
{
    // A length-0 compound has no children: its sibling stays a sibling.
    EXPECT_EQ(readLog(root({compound(1, {}), u8(2, 5)})), "start(0) b0/0/7 b1/0/0 e1 b2/1/1 v5:5 e2 e0 end");
    // A child that runs past its parent's end.
    EXPECT_EQ(readLog(root({compound(1, {u8(2, 1)}, Form::Auto, -1), u8(3, 3)})), "start(0) b0/0/11 b1/0/3 F2 end");
    // A compound nested in one that is too short for it (leaveCompound
    // inside it would have realigned backwards).
    EXPECT_EQ(readLog(root({compound(1, {compound(2, {u8(3, 1)}, Form::Auto, 2)}, Form::Auto, -1)})),
              "start(0) b0/0/10 b1/0/6 F2 end");
    // 100 000 nested compounds: the reader stops at its depth limit.
    const std::string deep = readLog(nestedCompounds(100000));
    size_t begins = 0;
    for (size_t p = 0; (p = deep.find(" b", p)) != std::string::npos; ++p) ++begins;
    EXPECT_EQ(begins, size_t(CAcxReader::kMaxDepth) + 1);
    EXPECT_EQ(deep.substr(deep.size() - 6), "F2 end");
    // A string longer than the file ends the read before a buffer is asked for.
    Bytes huge = fileHeader();
    append(huge, tagHeader(0, 0, 0x7FFFF7));
    append(huge, tagHeader(1, AcxTypeString, 0x7FFFF0));
    EXPECT_EQ(readLog(huge), "start(0) b0/0/8388599 F2 end");
    // An unknown payload longer than the file is a short file, not a seek
    // past its end.
    Bytes shortFile = fileHeader();
    append(shortFile, tagHeader(0, 0, 110));
    append(shortFile, tag(1, 9, Bytes(3, 0), Form::Auto, 100));
    EXPECT_EQ(readLog(shortFile), "start(0) b0/0/110 b1/9/103 E30 F2 end");
}

TEST(AcxReader, ReadsThroughStdioAndAgain)
{
    char path[] = "/tmp/acx_reader_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(writeFile(path, root({str(1, "text"), compound(2, {r64(3, 0.5)})})));
    CAcxFileSystem fs;
    Log log;
    CAcxReader reader;
    wireReader(reader, fs, log, log);
    const std::string expected =
        "reset start(0) b0/0/21 s1/4 d'text' e1 b2/0/11 b3/4/8 v10:3fe0000000000000 e3 e2 e0 end";
    EXPECT_TRUE(reader.read(path));
    EXPECT_EQ(log.out, expected);
    // One reader reads again once the first read has ended.
    log.out.clear();
    EXPECT_TRUE(reader.read(path));
    EXPECT_EQ(log.out, expected);
    std::remove(path);
    log.out.clear();
    EXPECT_TRUE(reader.read(path));
    EXPECT_EQ(log.out, "reset F1");
}

TEST(AcxReader, AttachedHandleIsNotClosed)
{
    MemFileSystem fs(root({u8(1, 1)}));
    CAcxFileHandleBase* h = fs.open("x", "rb");
    Log log;
    CAcxReader reader;
    reader.setErrorHandler(&log);
    reader.setContentHandler(&log);
    EXPECT_FALSE(reader.attachFile(&fs, nullptr));
    EXPECT_TRUE(reader.attachFile(&fs, h));
    EXPECT_FALSE(reader.attachFile(&fs, h));  // a file system is set
    EXPECT_TRUE(reader.read(nullptr));
    EXPECT_EQ(log.out, "reset start(0) b0/0/4 b1/1/1 v5:1 e1 e0 end");
    EXPECT_EQ(fs.closed, 0);
    EXPECT_EQ(fs.close(h), 0);
}

}  // namespace
