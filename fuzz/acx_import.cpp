// Feeds trees built from the input to the three operations of the ACX
// import over the fixture descriptor (a small system-variable table and an
// empty model's sections). Each input byte adds one tag or closes a
// compound: the import's blocks and compounds, the tags it reads with
// numbers of every width and class (parameter numbers mostly of the
// fixture's variables), texts where numbers belong and stray tags; a new
// compound is mostly the one its parent holds. The
// operations must never crash, hang or grow; a failing call must leave every
// section as it was, and the tag tree must stay as the reader made it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/tools/md/tavolin/acx_import_fixture.h"

namespace {

using acxtest::Node;

const uint32_t kCompounds[] = {2144, 1037, 65, 2116, 2117, 2118, 156, 2143, 2107, 2147};
const uint32_t kLeaves[] = {136, 136, 136, 2138, 2137, 132, 2139, 2140, 2141, 134, 2127, 2113,
                            131, 2115, 138, 139, 140, 140, 69, 2131, 2132, 137, 2121, 2122};
const uint8_t kNumbers[] = {3, 4, 5, 12, 13, 14, 15, 16, 20, 40, 99, 0, 1, 7, 8};

Node number(uint32_t id, uint8_t how, uint8_t value)
{
    static const struct {
        uint32_t type;
        int32_t kind;
        uint32_t size;
    } kForms[] = {{AcxTypeUnsigned, AcxKindU8, 1},  {AcxTypeUnsigned, AcxKindU16, 2}, {AcxTypeUnsigned, AcxKindU32, 4},
                  {AcxTypeUnsigned, AcxKindU64, 8}, {AcxTypeSigned, AcxKindI8, 1},    {AcxTypeSigned, AcxKindI16, 2},
                  {AcxTypeSigned, AcxKindI32, 4},   {AcxTypeSigned, AcxKindI64, 8},   {AcxTypeReal, AcxKindReal32, 4},
                  {AcxTypeReal, AcxKindReal64, 8},  {AcxTypeString, AcxKindString, 3}};
    const auto& f = kForms[how % 11];
    Node n;
    n.id = id;
    n.type = f.type;
    n.kind = f.kind;
    n.payload.assign(f.size, 0);
    if (f.kind == AcxKindString) {
        n.payload = {'1', '2', value};
    } else if (f.kind == AcxKindReal32) {
        const float v = float(int8_t(value)) / 2;
        std::memcpy(n.payload.data(), &v, 4);
    } else if (f.kind == AcxKindReal64) {
        const double v = double(int8_t(value)) * 1e3;
        std::memcpy(n.payload.data(), &v, 8);
    } else {
        // Small numbers, now and then a large or negative one.
        uint64_t v = how & 0x80 ? uint64_t(int64_t(int8_t(value))) << (how & 0x40 ? 24 : 0) : value;
        std::memcpy(n.payload.data(), &v, f.size);
    }
    return n;
}

// Mostly the compound that belongs in the parent, so that most inputs reach
// the variables; now and then any of them.
uint32_t compoundIn(uint32_t parent, bool atRoot, uint8_t pick)
{
    if (atRoot) return 2144;
    switch (parent) {
    case 2144: return pick % 4 == 0 ? 65 : pick % 4 == 1 ? 2107 : 1037;
    case 1037: return pick % 3 == 0 ? 2143 : 2116;
    case 2143: return 2116;
    case 2116: return pick % 4 == 0 ? 2118 : pick % 4 == 1 ? 156 : 2117;
    default: return kCompounds[pick % 10];
    }
}

Node build(const uint8_t* data, size_t size)
{
    Node root;
    std::vector<Node*> open{&root};
    for (size_t i = 0; i + 1 < size; i += 2) {
        const uint8_t b = data[i], v = data[i + 1];
        Node* at = open.back();
        if (b < 64) {
            if (open.size() > 7) continue;
            Node c;
            c.id = b % 8 == 0 ? kCompounds[(b >> 3) % 10] : compoundIn(at->id, open.size() == 1, b >> 3);
            at->children.push_back(c);
            open.push_back(&at->children.back());
        } else if (b < 96) {
            if (open.size() > 1) open.pop_back();
        } else if (b < 240) {
            const uint32_t id = kLeaves[b % 24];
            const uint8_t value = id == 136 || id == 2113 ? kNumbers[v % 15] : v;
            at->children.push_back(number(id, id == 136 || id == 2113 ? b >> 4 : v, value));
        } else {
            at->children.push_back(number(1 + v * 13u, b, v));
        }
    }
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    acxfixture::Tree tree(acxtest::encode(build(data, size)));
    CAcxCompoundTag* root = tree.root();
    if (!root || !root->computeSize()) std::abort();
    acxtest::TreeWriter before;
    root->write(before);

    static const std::string symb = acxfixture::symbText(acxfixture::kVariables);
    FsTODscFile dsc;
    if (dsc.openFile("", FS_OPEN_CREATE | FS_OPEN_MEMORY) != FS_OK || !acxfixture::writeSections(dsc, symb)) std::abort();
    FsDscHead head;
    if (dsc.write_head(head) != 0) std::abort();

    const uint32_t header = CMDAcxParser().parseHeader(root, &dsc);
    if (header != 0 && header != 30 && header != 141 && header != 0xFFFF) std::abort();

    std::vector<std::string> old = acxfixture::snapshot(dsc);
    FsSecCl* cfghead = dsc.openSect("cfghead", FS_MODE_WRITE);
    const uint32_t cfg = CMDAcxParser().parseConfiguration(root, cfghead);
    dsc.CloseSect("cfghead");
    if (cfg != 0 && acxfixture::snapshot(dsc) != old) std::abort();

    old = acxfixture::snapshot(dsc);
    const uint32_t values = CMDAcxParser().parseVarExt(root, &dsc);
    if (values != 0 && values != 10 && values != 0xFFFF) std::abort();
    if (values != 0 && acxfixture::snapshot(dsc) != old) std::abort();

    acxtest::TreeWriter after;
    if (!root->computeSize() || !root->write(after) || after.out != before.out) std::abort();
    dsc.CloseFile();
    return 0;
}
