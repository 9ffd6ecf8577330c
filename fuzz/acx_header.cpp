// Feeds header blocks built from the input to the ACX header check. Each
// input byte adds one tag or closes a compound: header blocks, type-id
// blocks, GUID texts (good, of the descriptor's type, cut or random),
// numbers of every width, empty texts and stray tags, so that nearly every
// input reaches the checks. The first byte chooses the descriptor's head: a
// complete type id or none. The check must never crash, hang or grow; it
// must leave the head as it was whenever it fails, leave a complete type id
// in it when it succeeds, and leave the tag tree as it found it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "acx/AcxReader.h"
#include "base/fs/FsDsc.h"
#include "tests/acx/AcxTestWriter.h"
#include "tools/md/tavolin/CMDAcxParser.h"
#include "tools/md/tavolin/MdAcxHandlers.h"

namespace {

using acxtest::Node;

const char kDigits[] = "11111111222233334444555555555555";

Node leaf(uint32_t id, uint32_t type, int32_t kind, acxtest::Bytes payload)
{
    Node n;
    n.id = id;
    n.type = type;
    n.kind = kind;
    n.payload = std::move(payload);
    return n;
}
Node text(uint32_t id, const std::string& s)
{
    return leaf(id, AcxTypeString, AcxKindString, acxtest::Bytes(s.begin(), s.end()));
}

// The tree of the input, root first.
Node build(const uint8_t* data, size_t size)
{
    Node root;
    std::vector<Node*> open{&root};
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        const uint8_t next = i + 1 < size ? data[i + 1] : 0;
        Node* at = open.back();
        switch (b % 16) {
        case 0:
        case 1:
        case 2: {
            if (open.size() > 6) break;
            Node c;
            c.id = b % 16 == 0 ? 2144 : b % 16 == 1 ? 2147 : 2145;
            at->children.push_back(c);
            open.push_back(&at->children.back());
            break;
        }
        case 3:
            if (open.size() > 1) open.pop_back();
            break;
        case 4: at->children.push_back(text(b & 0x10 ? 67 : 150, std::string(b >> 5, 'x'))); break;
        case 5: at->children.push_back(text(2121, kDigits)); break;
        case 6: at->children.push_back(text(2121, std::string(kDigits).substr(0, next % 40))); break;
        case 7: {
            std::string s(data + i + 1, data + i + 1 + std::min<size_t>(size - i - 1, next % 40));
            at->children.push_back(text(2121, s));
            break;
        }
        case 8: at->children.push_back(leaf(2122, AcxTypeUnsigned, AcxKindU8, {next})); break;
        case 9: at->children.push_back(leaf(2123, AcxTypeUnsigned, AcxKindU8, {next})); break;
        case 10: at->children.push_back(leaf(b & 0x10 ? 2122 : 2123, AcxTypeSigned, AcxKindI16, {next, b})); break;
        case 11: at->children.push_back(leaf(b & 0x10 ? 2121 : 67, AcxTypeUnsigned, AcxKindU32, {next, 0, 0, b}));
            break;
        case 12: at->children.push_back(leaf(b & 0x10 ? 67 : 2121, AcxTypeEmpty, AcxKindNone, {})); break;
        case 13: at->children.push_back(text(next, "x")); break;
        default: {
            Node c;
            c.id = b & 0x10 ? 67 : 2121;  // a compound where a text belongs
            at->children.push_back(c);
            break;
        }
        }
    }
    return root;
}

FsDscHead headOf(FsDsc& dsc)
{
    FsDscHead h;
    if (dsc.read_head(h) != 0) std::abort();
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const acxtest::Bytes bytes = acxtest::file({acxtest::encode(build(data + 1, size - 1))});

    CMDAcxContentHandler content;
    {
        acxtest::MemFileSystem fs(bytes);
        CMDAcxAcxErrorHandler errors(nullptr);
        CAcxReader reader;
        acxtest::wireReader(reader, fs, errors, content);
        reader.read("fuzz.acx");
    }
    CAcxCompoundTag* root = content.getRootTag();
    if (!root || !root->computeSize()) std::abort();
    acxtest::TreeWriter before;
    root->write(before);

    FsTODscFile dsc;
    if (dsc.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK) std::abort();
    FsDscHead head;
    if (data[0] & 1) head.typeId1 = RTTypeID(GUID{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55,
                                                                               0x55, 0x55}},
                                             uint16_t(data[0] >> 1), 0);
    if (dsc.write_head(head) != 0) std::abort();
    const FsDscHead old = headOf(dsc);

    const uint32_t result = CMDAcxParser().parseHeader(root, &dsc);
    const FsDscHead now = headOf(dsc);
    if (result != 0 && result != 30 && result != 141 && result != 0xFFFF) std::abort();
    if (result != 0 && now.typeId1 != old.typeId1) std::abort();
    if (result == 0 && (now.typeId1.version == 0xFFFF || now.typeId1.second == 0xFFFF)) std::abort();

    acxtest::TreeWriter after;
    if (!root->computeSize() || !root->write(after) || after.out != before.out) std::abort();
    dsc.CloseFile();
    return 0;
}
