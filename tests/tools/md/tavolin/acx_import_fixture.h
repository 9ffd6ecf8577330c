// The descriptor the ACX import tests, its fuzz target and its benchmark run
// against: a small system-variable table in "symb" (built by SysVarTable)
// and the sections an empty model saves ("const", "varval", "varcont",
// "bitfield", "varext", "cfghead"), as the variables compiler leaves them
// for a source without variable extensions.
#pragma once
#include <sstream>
#include <string>
#include <vector>

#include "acx/AcxReader.h"
#include "base/fs/FsDsc.h"
#include "tests/acx/AcxTestWriter.h"
#include "tools/md/tavolin/MdAcxHandlers.h"
#include "tools/md/tavolin/CMDAcxParser.h"
#include "tools/mksymb/SysVarTable.h"

namespace acxfixture {

// The tag tree of an ACX file holding the given top-level tags, read as the
// entry method reads a file.
struct Tree {
    explicit Tree(const acxtest::Bytes& tags)
    {
        acxtest::MemFileSystem fs(acxtest::file({tags}));
        CMDAcxAcxErrorHandler errors(nullptr);
        CAcxReader reader;
        acxtest::wireReader(reader, fs, errors, content);
        reader.read("x");
    }
    CAcxCompoundTag* root() const { return content.getRootTag(); }
    CMDAcxContentHandler content;
};

// Parameters "p<n>" (one "r<n>") at their addresses; an array's elements
// follow its own address.
inline const char* const kVariables =
    "3 p3 UINT\n"
    "4 p4 UINT\n"
    "5 p5 DINT\n"
    "12 p12 DINT\n"
    "112 r12 INT\n"
    "13 p13 REAL\n"
    "14 p14 (A, B := 7, C)\n"
    "15 p15 UDINT\n"
    "16 p16 SINT\n"
    "20 p20 ARRAY [0..7] OF DINT\n"
    "40 p40 ARRAY [0..7] OF INT\n";

// The model's sections and the symbol table's.
inline const std::vector<const char*>& sectionNames()
{
    static const std::vector<const char*> names{"symb", "const", "varval", "varcont", "bitfield", "varext", "cfghead"};
    return names;
}

// The text of the symbol-table section of list; empty when the list is
// refused.
inline std::string symbText(const std::string& list)
{
    SysVarTable table;
    std::string error;
    std::istringstream in(list);
    std::ostringstream out;
    if (!table.addList(in, error) || !table.save(out)) return std::string();
    return out.str();
}

// Writes "symb" with the given bytes (nothing when empty) and the empty
// model's sections into dsc; false when a section cannot be written.
inline bool writeSections(FsDsc& dsc, const std::string& symb)
{
    CMDAcxParser empty;
    CBOFrameConstValTable constants;
    for (const char* name : sectionNames()) {
        const std::string n = name;
        if (symb.empty() && n == "symb") continue;
        FsSecCl* s = dsc.getSect(name, FS_MODE_WRITE);
        if (!s || s->setSize(0) != 0) return false;
        if (n == "symb") s->writeBytes(symb.data(), uint32_t(symb.size()));
        if (n == "const") constants.write(*s);
        if (n == "varval") empty.saveValues(*s);
        if (n == "varcont") empty.saveDynArrays(*s);
        if (n == "bitfield") empty.saveBits(*s);
        if (n == "varext") empty.saveAttribs(*s);
        if (n == "cfghead") empty.saveCfg(*s);
        const bool ok = !s->hasError();
        if (dsc.CloseSect(name) != 0 || !ok) return false;
    }
    return true;
}

// writeSections with the table of list.
inline bool writeFixture(FsDsc& dsc, const std::string& list = kVariables)
{
    const std::string symb = symbText(list);
    return !symb.empty() && writeSections(dsc, symb);
}

// The bytes of a section; "<missing>" when there is none.
inline std::string sectionBytes(FsDsc& dsc, const char* name)
{
    FsSecCl* s = dsc.openSect(name, 0);
    if (!s) return "<missing>";
    std::string out(s->getSize(), '\0');
    if (!out.empty()) s->readBytes(&out[0], uint32_t(out.size()));
    dsc.CloseSect(name);
    return out;
}

// Every section's bytes, in sectionNames order.
inline std::vector<std::string> snapshot(FsDsc& dsc)
{
    std::vector<std::string> all;
    for (const char* name : sectionNames()) all.push_back(sectionBytes(dsc, name));
    return all;
}

}  // namespace acxfixture
