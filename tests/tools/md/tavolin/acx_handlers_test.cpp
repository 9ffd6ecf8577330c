// The pre-compiler's ACX handlers: the tag tree mirrors random generated
// files, damaged or odd files leave a sound tree, and reader codes arrive
// as messages 1300-1302 with the code in place of "%i".
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "acx/AcxReader.h"
#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmmsghdl.h"
#include "tests/acx/AcxTestWriter.h"
#include "tools/md/tavolin/MdAcxHandlers.h"

namespace {

using namespace acxtest;

class Capture : public CmMsgOut {
public:
    void msgOut(const WString& text, uint32_t, uint32_t, const WString&) override { texts.push_back(text.toUtf8()); }
    void msgOutExt(const WString& text, uint32_t, uint32_t, const WString&, uint32_t, uint32_t) override
    {
        texts.push_back(text.toUtf8());
    }
    std::vector<std::string> texts;
};

// Counts the codes; unknown types (30) are expected in random files.
struct Codes : CAcxErrorHandlerBase {
    void warning(int32_t c) override { other.push_back(c); }
    void error(int32_t c) override
    {
        if (c != AcxErrUnknownType) other.push_back(c);
    }
    void fatal(int32_t c) override { other.push_back(c); }
    std::vector<int32_t> other;
};

void readInto(const Bytes& bytes, CMDAcxContentHandler& content, CAcxErrorHandlerBase& errors)
{
    MemFileSystem fs(bytes);
    CAcxReader reader;
    wireReader(reader, fs, errors, content);
    ASSERT_TRUE(reader.read("x"));
}

// The tag matches the model node; empty and unknown tags have no object.
void expectMirror(const Node& n, CAcxTagBase* t, const std::string& where)
{
    ASSERT_NE(t, nullptr) << where;
    EXPECT_EQ(t->getId(), n.id) << where;
    EXPECT_EQ(t->getType(), int32_t(n.type)) << where;
    if (n.type == AcxTypeCompound) {
        auto* c = dynamic_cast<CAcxCompoundTag*>(t);
        ASSERT_NE(c, nullptr) << where;
        std::vector<const Node*> kept;
        for (const Node& child : n.children)
            if (child.type <= AcxTypeReal) kept.push_back(&child);
        ASSERT_EQ(c->childCount(), kept.size()) << where;
        CAcxTagBase* child = nullptr;
        bool more = c->getFirst(child);
        for (size_t i = 0; i < kept.size(); ++i, more = c->getNext(child)) {
            ASSERT_TRUE(more) << where;
            expectMirror(*kept[i], child, where + "/" + std::to_string(i));
        }
        return;
    }
    EXPECT_EQ(t->getValueKind(), n.kind) << where;
    auto* leaf = dynamic_cast<CAcxLeafTagBase*>(t);
    ASSERT_NE(leaf, nullptr) << where;
    if (n.type == AcxTypeString) {
        auto* s = static_cast<CAcxStringTag*>(t);
        ASSERT_EQ(s->getLength(), n.payload.size()) << where;
        if (n.payload.empty()) {
            EXPECT_EQ(s->getText(), nullptr) << where;
        } else {
            EXPECT_EQ(std::memcmp(s->getText(), n.payload.data(), n.payload.size()), 0) << where;
            EXPECT_EQ(s->getText()[n.payload.size()], 0) << where;
        }
    } else {
        uint8_t slot[8] = {};
        std::memcpy(slot, n.payload.data(), n.payload.size());
        EXPECT_EQ(std::memcmp(leaf->getData(), slot, 8), 0) << where;
    }
}

TEST(AcxContentHandler, TreeMirrorsRandomFiles)
{
    std::mt19937 rng(21);
    for (uint32_t depth = 1; depth <= 50; ++depth) {
        const Node model = randomTree(rng, depth);
        CMDAcxContentHandler content;
        Codes codes;
        readInto(file({encode(model)}), content, codes);
        EXPECT_TRUE(codes.other.empty()) << "depth " << depth;
        expectMirror(model, content.getRootTag(), "depth " + std::to_string(depth));
        EXPECT_EQ(content.getRootTag()->getParent(), nullptr);
    }
}

TEST(AcxContentHandler, OddFilesLeaveASoundTree)
{
    // A root without children.
    CMDAcxContentHandler a;
    Codes codes;
    readInto(file({compound(0, {})}), a, codes);
    ASSERT_NE(a.getRootTag(), nullptr);
    EXPECT_EQ(a.getRootTag()->childCount(), 0u);

    // No root: a number before any compound leaves nothing; the first
    // compound becomes the root, and top-level compounds after it leave
    // nothing (they used to be added to a missing current compound).
    CMDAcxContentHandler b;
    readInto(file({u8(3, 1), compound(7, {str(1, "x")}), compound(8, {compound(9, {u8(2, 2)})}), u8(4, 4)}), b, codes);
    ASSERT_NE(b.getRootTag(), nullptr);
    EXPECT_EQ(b.getRootTag()->getId(), 7u);
    EXPECT_EQ(b.getRootTag()->childCount(), 1u);

    // A file cut inside the root keeps what was read.
    CMDAcxContentHandler c;
    Bytes cut = file({compound(0, {u8(1, 1), compound(2, {u16(3, 3)})})});
    cut.pop_back();
    readInto(cut, c, codes);
    ASSERT_NE(c.getRootTag(), nullptr);
    EXPECT_EQ(c.getRootTag()->childCount(), 2u);

    // A value with no tag to take it, and a string outside any compound.
    CMDAcxContentHandler d;
    const uint8_t slot[8] = {1};
    d.value(AcxKindU8, slot);
    char* buffer = nullptr;
    uint32_t size = 0;
    AcxTagInfo info;
    info.type = AcxTypeString;
    info.length = 4;
    d.stringBuffer(info, buffer, size);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, 0u);
    d.endTag(AcxTagInfo());
    EXPECT_EQ(d.getRootTag(), nullptr);
}

TEST(AcxErrorHandler, CodesBecomeMessages)
{
    Capture cap;
    CmMessageHandler handler(cmBuiltinMsgTable(), &cap);
    handler.setMsgLevel(CmMsgLevel(4));
    CMDAcxAcxErrorHandler errors(&handler);
    errors.warning(3);
    EXPECT_EQ(cap.texts, std::vector<std::string>{"ACX Warning 3"});
    EXPECT_EQ(handler.warningCount(), 1u);
    CMDAcxAcxErrorHandler(nullptr).fatal(1);  // no handler: nothing

    // The entry method's read reports through the process-wide handler.
    cap.texts.clear();
    CmMessageHandler* previous = cmSetMessageHandler(&handler);
    char path[] = "/tmp/acx_handlers_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(writeFile(path, file({compound(0, {u8(1, 1)})}, 0x0300)));
    CMDAcxContentHandler content;
    bool fatal = true;
    EXPECT_TRUE(mdReadAcxFile(path, content, &fatal));
    EXPECT_FALSE(fatal);  // error 46 does not end the read
    ASSERT_NE(content.getRootTag(), nullptr);
    std::remove(path);
    CMDAcxContentHandler missing;
    EXPECT_TRUE(mdReadAcxFile(path, missing, &fatal));
    EXPECT_TRUE(fatal);
    cmSetMessageHandler(previous);
    // The missing file is named as well.
    EXPECT_EQ(cap.texts, (std::vector<std::string>{"ACX Error 46", "ACX Fatal Error 1",
                                                   "File " + std::string(path) + " konnte nicht geöffnet werden"}));
    EXPECT_EQ(missing.getRootTag(), nullptr);
    EXPECT_EQ(handler.errorCount(), 3u);
}

}  // namespace
