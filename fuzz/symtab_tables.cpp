// Feeds arbitrary bytes to the readers of the symbol-table parts: entry
// table, string table, range table, type table and id lists. The first byte
// chooses the reader (bits 0-2), the section stream or a standard stream
// (bit 3) and binary mode (bit 4); the rest is the part's text. Every reader
// must stop with a status, never crash, hang or allocate beyond a bound;
// what it read must then survive writing, dumping and the type walks.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StIdList.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyRangeTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"

namespace {

template <class Part>
void readAndWrite(Part& part, uint8_t control, const std::string& body)
{
    if (control & 8) {
        std::istringstream is(body);
        part.readFromStream(is);
    } else {
        FsSecClMem s;
        if (!body.empty()) s.writeBytes(body.data(), uint32_t(body.size()));
        s.seek(0, 0);
        s.setBinary((control & 16) != 0);
        part.readFromSection(s);
    }
    std::ostringstream os;
    part.writeToStream(os);
    FsSecClMem out;
    out.setBinary((control & 16) != 0);
    part.writeToSection(out);
    part.dump(os);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const uint8_t control = data[0];
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (control & 7) {
    case 0:
    case 5: {
        StSyEntryTable t;
        if (control & 32) t.setIDMgr(&t.sysVarIDMgr());
        readAndWrite(t, control, body);
        for (const auto& kv : t.entries()) t.isTOTypeDerivedFrom(kv.first, kv.second->getBaseTOTypeSID());
        StSyBaseSymbEntry* e = nullptr;
        t.newEntry(ST_KIND_VAR, e, nullptr, nullptr, 0, 0, 0x100);
        while (!t.entries().empty()) {
            StSymbEntryID sid = t.entries().begin()->first;
            t.removeEntry(sid);
        }
        break;
    }
    case 1: {
        StSyStringTable t;
        readAndWrite(t, control, body);
        break;
    }
    case 2: {
        StSyRangeTable t;
        readAndWrite(t, control, body);
        for (uint32_t id = 0; id < 64; ++id) t.markChain(id);
        break;
    }
    case 3:
    case 6: {
        StSyTypeTable t((control & 7) == 3 ? ST_TYPETABLE_NO_STD : 0);
        readAndWrite(t, control, body);
        StSyTypeTable other;
        StSymbEntryIDList results;
        t.markReferenced(results);
        for (const auto& kv : t.nodes()) {
            t.getItemCount(kv.first);
            t.getItemType(kv.first, int32_t(control) * 3);
            t.getElementOffset(kv.first, -7, (control & 32) != 0);
            t.getTypeSpec(kv.first);
            t.typesEqual(kv.first, other, kv.first);
            t.getAlignedSize(kv.first, 3, kv.second->getAlignmentField(), true);
        }
        break;
    }
    default: {
        StIdList l;
        readAndWrite(l, control, body);
        break;
    }
    }
    return 0;
}
