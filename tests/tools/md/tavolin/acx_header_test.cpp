// The ACX header check over generated files and a descriptor whose head the
// split of a source wrote: one table of files with the result, the message,
// the trace line and the type id the head holds afterwards (a failing check
// leaves the head's bytes as they were).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acx/AcxReader.h"
#include "base/cm/cmbuiltinmsgs.h"
#include "co/TraceApi.h"
#include "tests/acx/AcxTestWriter.h"
#include "tests/tools/md/tavolin/test_split_driver_support.h"
#include "tools/md/tavolin/CMDAcxParser.h"
#include "tools/md/tavolin/MdAcxHandlers.h"
#include "tools/md/tavolin/MdLentDescriptor.h"
#include "tests/tools/md/tavolin/acx_import_fixture.h"

namespace {

using namespace acxtest;
using namespace fronttest;
using acxfixture::Tree;

// The split's type id: headerOf writes {11111111-2222-3333-4444-555555555555}, 1.0.
const char kHeadDigits[] = "11111111222233334444555555555555";
const char kOtherDigits[] = "A0B1C2D3E4F5061728394A5B6C7D8E9F";
const GUID kOther = {0xA0B1C2D3, 0xE4F5, 0x0617, {0x28, 0x39, 0x4A, 0x5B, 0x6C, 0x7D, 0x8E, 0x9F}};

Bytes root(const std::vector<Bytes>& children)
{
    return compound(0, children);
}
Bytes typeId(uint32_t id, const std::string& digits, uint8_t first, uint8_t second = 0)
{
    return compound(id, {str(2121, digits), u8(2122, first), u8(2123, second)});
}

// A descriptor of the given kind over a working file the split made.
struct Descriptor {
    explicit Descriptor(int32_t kind) : source(headerOf(kind)), lent(&source.work)
    {
        EXPECT_EQ(lent.lend(mdDscClassOfKind(kind)), MdLentDescriptor::Lent);
    }
    FsDsc* dsc() const { return lent.dsc(); }
    FsDscHead head() const
    {
        FsDscHead h;
        EXPECT_EQ(dsc()->read_head(h), 0u);
        return h;
    }
    std::string bytes() { return sectionText(*dsc(), "header"); }
    OpenedSource source;
    MdLentDescriptor lent;
};

std::string lastTrace(const CTraceCapture& traces)
{
    for (const auto& l : traces.lines())
        if (l.method == "CMDAcxParser::parseHeader") return l.message;
    return "";
}

TEST(AcxHeader, ChecksAndCompletesTheHead)
{
    const GUID headGuid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    struct Case {
        const char* name;
        Bytes tags;
        uint32_t result;
        std::vector<uint32_t> messages;
        const char* trace;       // of parseHeader, "" for none
        GUID guid;               // the head's type id after a success
        uint16_t first, second;
    } const cases[] = {
        {"good", root({compound(2144, {str(67, "Achse"), str(150, "V1"), typeId(2147, kOtherDigits, 7, 2)})}), 0, {},
         "", kOther, 7, 2},
        {"lower-case digits", root({compound(2144, {typeId(2147, "a0b1c2d3e4f5061728394a5b6c7d8e9f", 7)})}), 0, {},
         "", kOther, 7, 0},
        {"no 2144: the split's head is written back", root({compound(2143, {typeId(2147, kOtherDigits, 9)})}), 0, {},
         "", headGuid, 1, 0},
        {"required 3 against 3", root({compound(2144, {typeId(2147, kHeadDigits, 3), typeId(2145, kHeadDigits, 3)})}),
         0, {}, "", headGuid, 3, 0},
        {"required 3 against 4", root({compound(2144, {typeId(2147, kHeadDigits, 4), typeId(2145, kHeadDigits, 3, 9)})}),
         0, {}, "", headGuid, 4, 0},
        {"required 3 against 2", root({compound(2144, {typeId(2147, kHeadDigits, 2), typeId(2145, kHeadDigits, 3)})}),
         141, {1202}, "ACX: RTTypeID not compatible", {}, 0, 0},
        // The required id is checked against the head as it stands: the
        // split's version 1, before the 2147 block comes.
        {"2145 before 2147", root({compound(2144, {typeId(2145, kHeadDigits, 3), typeId(2147, kHeadDigits, 4)})}), 141,
         {1202}, "ACX: RTTypeID not compatible", {}, 0, 0},
        {"other GUID required", root({compound(2144, {typeId(2145, kOtherDigits, 0)})}), 141, {1202},
         "ACX: RTTypeID not compatible", {}, 0, 0},
        {"two 2147 blocks convert their own 2121",
         root({compound(2144, {typeId(2147, kHeadDigits, 5)}), compound(2144, {typeId(2147, kOtherDigits, 6)})}), 0, {},
         "", kOther, 6, 0},
        {"31 digits", root({compound(2144, {typeId(2147, std::string(kOtherDigits, 31), 7)})}), 0xFFFF, {1200},
         "ACX: Syntax", {}, 0, 0},
        {"no digits at all", root({compound(2144, {compound(2147, {str(2121, "1")})})}), 0xFFFF, {1200}, "ACX: Syntax",
         {}, 0, 0},
        {"a 0 byte inside the text", root({compound(2144, {compound(2147, {str(2121, std::string(kOtherDigits) +
                                                                                      std::string(1, '\0') + "7")})})}),
         0xFFFF, {1200}, "ACX: Syntax", {}, 0, 0},
        {"empty 67", root({compound(2144, {str(67, ""), typeId(2147, kOtherDigits, 7)})}), 0xFFFF, {0},
         "ACX: type-mismatch", {}, 0, 0},
        {"150 as a number", root({compound(2144, {u8(150, 1)})}), 0xFFFF, {0}, "ACX: type-mismatch", {}, 0, 0},
        {"2121 as a number", root({compound(2144, {compound(2145, {u32(2121, 1)})})}), 0xFFFF, {0},
         "ACX: type-mismatch", {}, 0, 0},
        // Numbers of another width, and tags at other places, are ignored.
        {"wide numbers ignored", root({compound(2144, {compound(2147, {u16(2122, 9), i8(2123, 4), u8(67, 1)}),
                                                       str(2121, "x")}),
                                       str(67, "")}),
         0, {}, "", headGuid, 1, 0},
    };
    for (const Case& c : cases) {
        Tree tree(c.tags);
        ASSERT_NE(tree.root(), nullptr) << c.name;
        Descriptor d(1);
        const std::string before = d.bytes();
        MessageCapture messages;
        CTraceCapture traces;
        CMDAcxParser parser;
        EXPECT_EQ(parser.parseHeader(tree.root(), d.dsc()), c.result) << c.name;
        EXPECT_EQ(messages.ids(), c.messages) << c.name;
        EXPECT_EQ(lastTrace(traces), c.trace) << c.name;
        EXPECT_EQ(parser.getErrorCount(), 0) << c.name;  // reporting does not count
        if (c.result != 0) {
            EXPECT_EQ(d.bytes(), before) << c.name;
            continue;
        }
        const FsDscHead head = d.head();
        EXPECT_TRUE(head.typeId1 == RTTypeID(c.guid, c.first, c.second)) << c.name;
        if (std::string(c.name).rfind("no 2144", 0) == 0) {
            EXPECT_EQ(d.bytes(), before) << c.name;
        }
    }
}

TEST(AcxHeader, IncompleteHeadsAndBadInput)
{
    // A head without a type id: a file that brings none gives 30; one that
    // brings only part of it too.
    FsTODscFile dsc;
    ASSERT_TRUE(openMemoryFile(dsc));
    FsDscHead empty;
    ASSERT_EQ(dsc.write_head(empty), 0u);
    const std::string before = sectionText(dsc, "header");
    for (const Bytes& tags : {root({}), root({compound(2144, {compound(2147, {u8(2122, 1), u8(2123, 0)})})}),
                              root({compound(2144, {compound(2147, {str(2121, kOtherDigits), u8(2122, 1)})})})}) {
        Tree tree(tags);
        MessageCapture messages;
        CTraceCapture traces;
        EXPECT_EQ(CMDAcxParser().parseHeader(tree.root(), &dsc), 30u);
        EXPECT_EQ(messages.ids(), std::vector<uint32_t>{1202});
        EXPECT_EQ(lastTrace(traces), "ACX: header not complete");
        EXPECT_EQ(sectionText(dsc, "header"), before);
    }
    Tree whole(root({compound(2144, {typeId(2147, kOtherDigits, 1)})}));
    EXPECT_EQ(CMDAcxParser().parseHeader(whole.root(), &dsc), 0u);

    // No root, no descriptor, no header to read.
    MessageCapture messages;
    CTraceCapture traces;
    EXPECT_EQ(CMDAcxParser().parseHeader(nullptr, &dsc), 0xFFFFu);
    EXPECT_EQ(CMDAcxParser().parseHeader(whole.root(), nullptr), 0xFFFFu);
    EXPECT_EQ(messages.ids(), (std::vector<uint32_t>{0, 0}));
    FsTODscFile headless;
    ASSERT_TRUE(openMemoryFile(headless));
    messages.clear();
    EXPECT_EQ(CMDAcxParser().parseHeader(whole.root(), &headless), 0xFFFFu);
    EXPECT_EQ(messages.ids(), std::vector<uint32_t>{1201});
    EXPECT_EQ(lastTrace(traces), "read_head failed");
    EXPECT_EQ(traces.lines().back().level, 4u);
}

TEST(AcxHeader, LeavesTheTreeAndTheDeviceKindAsTheyWere)
{
    // A device head names the package kind once, before and after.
    Descriptor d(5);
    ASSERT_EQ(d.head().kindList.size(), 1u);
    const Bytes tags = root({compound(2144, {str(67, "Geraet"), typeId(2147, kOtherDigits, 2)})});
    Tree tree(tags);
    MessageCapture messages;
    EXPECT_EQ(CMDAcxParser().parseHeader(tree.root(), d.dsc()), 0u);
    EXPECT_EQ(CMDAcxParser().parseHeader(tree.root(), d.dsc()), 0u);
    const FsDscHead head = d.head();
    EXPECT_EQ(head.kindList.size(), 1u);
    EXPECT_TRUE(head.kindId == fsKindIdDV());
    // The tree encodes to the bytes it was read from.
    TreeWriter w;
    ASSERT_TRUE(tree.root()->computeSize());
    ASSERT_TRUE(tree.root()->write(w));
    EXPECT_EQ(w.out, tags);
}

}  // namespace
