// Tag objects and the stdio file system: header sizes at the limits of both
// forms, encoded sizes, a tree written through a writer equal to the test
// writer's own bytes, the child cursors, string buffers, and the stdio
// operations at their edges.
#include <gtest/gtest.h>

#include <unistd.h>

#include "acx/AcxFileSystem.h"
#include "acx/AcxTag.h"
#include "tests/acx/AcxTestWriter.h"

namespace {

using namespace acxtest;

TEST(AcxTag, HeaderSizeFor)
{
    struct {
        uint32_t length, id, type, size;
    } const cases[] = {
        {127, 8191, 7, 3},   {128, 0, 0, 7},      {0, 8192, 0, 7}, {0, 0, 8, 7}, {0x7FFFFF, 0x1FFFFF, 2047, 7},
        {0x800000, 0, 0, 0}, {0, 0x200000, 0, 0}, {0, 0, 2048, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CAcxTagBase::headerSizeFor(c.length, c.id, c.type), c.size)
            << c.length << " " << c.id << " " << c.type;
        if (c.size) {
            EXPECT_EQ(tagHeader(c.id, c.type, c.length).size(), c.size);
        }
    }
}

TEST(AcxTag, SizesAndWriteMatchTheEncoding)
{
    CAcxCompoundTag root(0);
    auto* a = new CAcxDataTag(1);
    a->setI16(-2);
    auto* s = new CAcxStringTag(9000);
    s->setText("hello", 5);
    auto* inner = new CAcxCompoundTag(3);
    auto* r = new CAcxDataTag(4);
    r->setReal64(2.5);
    inner->addChild(r);
    auto* empty = new CAcxCompoundTag(5);
    root.addChild(a);
    root.addChild(s);
    root.addChild(inner);
    root.insertFirst(empty);
    ASSERT_TRUE(root.computeSize());
    EXPECT_EQ(empty->getSize(), 3u);  // a compound without children
    EXPECT_EQ(empty->getPayloadSize(), 0u);
    EXPECT_EQ(s->getSize(), 12u);  // id 9000 needs the long form
    EXPECT_EQ(inner->getPayloadSize(), 11u);

    TreeWriter w;
    ASSERT_TRUE(root.write(w));
    EXPECT_EQ(w.out, compound(0, {compound(5, {}), i16(1, -2), str(9000, "hello"), compound(3, {r64(4, 2.5)})}));

    // Cursors: getLast leaves an iteration alone.
    CAcxTagBase* t = nullptr;
    ASSERT_TRUE(root.getFirst(t));
    EXPECT_EQ(t, empty);
    ASSERT_TRUE(root.getNext(t));
    ASSERT_TRUE(root.getLast(t));
    EXPECT_EQ(t, inner);
    ASSERT_TRUE(root.getNext(t));
    EXPECT_EQ(t, s);
    EXPECT_TRUE(root.getNext(t));
    EXPECT_FALSE(root.getNext(t));
    EXPECT_EQ(inner->getParent(), &root);
    CAcxTagBase* none = nullptr;
    EXPECT_FALSE(CAcxCompoundTag().getFirst(none));

    // Too large for any header form.
    CAcxStringTag big;
    big.allocate(0x800000);
    EXPECT_FALSE(big.computeSize());
    CAcxDataTag kindless(1);
    EXPECT_FALSE(kindless.computeSize());
    EXPECT_EQ(kindless.getType(), -1);
    // A view that does not own its children only forgets them, and leaves
    // them with their parent in the tree they belong to.
    {
        CAcxCompoundTag view(8);
        view.setOwnsChildren(false);
        view.addChild(a);
        view.insertFirst(inner);
        EXPECT_EQ(a->getParent(), &root);
        EXPECT_EQ(inner->getParent(), &root);
        view.deleteChildren();
        EXPECT_EQ(view.childCount(), 0u);
        view.addChild(s);
    }
    EXPECT_EQ(a->getInteger(), -2);
    EXPECT_EQ(inner->getParent(), &root);
    EXPECT_STREQ(s->getText(), "hello");
    CAcxCompoundSimple simple(7);
    EXPECT_FALSE(simple.write(w));
    EXPECT_EQ(simple.setPayloadSize(12), 12u);
}

TEST(AcxTag, StringBuffersAndValues)
{
    CAcxStringTag s;
    EXPECT_EQ(s.getValueKind(), AcxKindString);
    EXPECT_EQ(s.allocate(0), nullptr);
    EXPECT_EQ(s.getLength(), 0u);
    char* b = s.allocate(3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(s.getLength(), 3u);
    s.setText("xy", 2);
    EXPECT_STREQ(s.getText(), "xy");
    s.setText(nullptr, 5);
    EXPECT_EQ(s.getText(), nullptr);

    CAcxDataTag d;
    d.setI8(-1);
    EXPECT_EQ(d.getInteger(), -1);
    d.setU8(0xFF);
    EXPECT_EQ(d.getInteger(), 255);
    const uint8_t slot[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    d.setValue(AcxKindU16, slot);  // the whole slot is kept; the kind gives the width
    EXPECT_EQ(d.getInteger(), 0xFFFF);
    d.setValue(AcxKindI32, slot);
    EXPECT_EQ(d.getInteger(), -1);
    d.setReal32(0.25f);
    EXPECT_EQ(d.getReal(), 0.25);
    EXPECT_EQ(d.getType(), AcxTypeReal);
}

TEST(AcxFileSystem, StdioEdges)
{
    char path[] = "/tmp/acx_fs_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(writeFile(path, Bytes(10, 1)));
    CAcxFileSystem fs;
    EXPECT_EQ(fs.open("/nonexistent/x.acx", "rb"), nullptr);
    EXPECT_EQ(fs.open(nullptr, "rb"), nullptr);
    CAcxFileHandleBase* h = fs.open(path, "rb");
    ASSERT_NE(h, nullptr);
    uint8_t buf[4];
    EXPECT_EQ(fs.read(buf, 1, 4, h), 4u);
    EXPECT_EQ(fs.size(h), 10);
    EXPECT_EQ(fs.tell(h), 0);  // size leaves the file at its start
    EXPECT_EQ(fs.seek(h, 8, 0), 0);
    EXPECT_EQ(fs.read(buf, 1, 4, h), 2u);
    EXPECT_EQ(fs.read(nullptr, 1, 4, h), 0u);
    EXPECT_EQ(fs.read(buf, 1, 0, h), 0u);
    EXPECT_FALSE(fs.headerInfo(h, 0x200, 1, 2));
    EXPECT_EQ(fs.close(h), 0);
    EXPECT_EQ(fs.close(nullptr), -1);
    EXPECT_EQ(fs.seek(nullptr, 0, 0), -1);
    EXPECT_EQ(fs.tell(nullptr), -1);
    EXPECT_EQ(fs.size(nullptr), -1);
    EXPECT_EQ(fs.read(buf, 1, 1, nullptr), 0u);
    std::remove(path);
}

}  // namespace
