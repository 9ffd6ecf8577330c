// Which section compilers this build has, and how the front end creates them.
#include "tools/md/tavolin/MdSectionCompiler.h"

#include <new>
#include <utility>

#include "tools/md/tavolin/MdAlarmParser.h"
#include "tools/md/tavolin/MdBfParser.h"
#include "tools/md/tavolin/MdConnectionParser.h"
#include "tools/md/tavolin/MdErrMsgTxtParser.h"
#include "tools/md/tavolin/MdImplParser.h"
#include "tools/md/tavolin/MdSuppTOParser.h"
#include "tools/md/tavolin/MdVarCommentParser.h"
#include "tools/md/tavolin/MdVarExtParser.h"

namespace {

const char* const kCompilerNames[MdCompCount] = {
    "MdVarCommentParser", "MdVarExtParser", "MdConnectionParser", "MdAlarmParser",
    "MdErrMsgTxtParser",  "MdBfParser",     "MdSuppTOParser",     "MdImplParser",
};

template <class Compiler>
MdSectionCompiler* create()
{
    return new Compiler;
}

// The creators of the compilers of this build, by kind. A compiler joins the
// build by installing its creator here, one line per kind.
MdCompilerCreator* creators()
{
    static MdCompilerCreator* const table = [] {
        static MdCompilerCreator t[MdCompCount];
        t[MdCompConnection] = create<MdConnectionParser>;
        t[MdCompSuppTO] = create<MdSuppTOParser>;
        t[MdCompImpl] = create<MdImplParser>;
        t[MdCompAlarm] = create<MdAlarmParser>;
        t[MdCompErrMsgTxt] = create<MdErrMsgTxtParser>;
        t[MdCompVarComment] = create<MdVarCommentParser>;
        t[MdCompVarExt] = create<MdVarExtParser>;
        t[MdCompBootFkt] = create<MdBfParser>;
        return t;
    }();
    return table;
}

bool validKind(int kind)
{
    return kind >= 0 && kind < MdCompCount;
}

}  // namespace

MdSectionCompiler::~MdSectionCompiler() = default;

const char* mdCompilerName(int kind)
{
    return validKind(kind) ? kCompilerNames[kind] : nullptr;
}

bool mdCompilerBuilt(int kind)
{
    return validKind(kind) && bool(creators()[kind]);
}

MdSectionCompiler* mdCreateCompiler(int kind)
{
    if (!mdCompilerBuilt(kind)) return nullptr;
    try {
        return creators()[kind]();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

MdCompilerCreator mdSetCompilerCreator(int kind, MdCompilerCreator creator)
{
    if (!validKind(kind)) return MdCompilerCreator();
    return std::exchange(creators()[kind], std::move(creator));
}
