// Program-unit queries: kind texts, typed and task operands, frames,
// instance offsets and the unit listing.
#include <gtest/gtest.h>

#include <sstream>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

TEST(SymbolQueries, ProgramUnits)
{
    SyStSymbTable t;
    const StRangeID gvr = t.getGlobalVR(), gnr = t.getGlobalNR();
    StSymbEntryID task, prog, fb, fn, inst, var;
    t.addEntry("T1", gvr, gnr, ST_KIND_TASK, task);
    t.addEntry("Main", gvr, gnr, ST_KIND_PROGRAM, prog);
    StSyBaseSymbEntry* fbe = t.addEntry("Ctl", gvr, gnr, ST_KIND_FUNCBLOCK, fb);
    t.addEntry("Add", gvr, gnr, ST_KIND_FUNC, fn);
    StSyBaseSymbEntry* ie = t.addEntry("ctl1", gvr, gnr, ST_KIND_GLOBVAR, inst);
    t.addEntry("x", gvr, gnr, ST_KIND_GLOBVAR, var);
    ASSERT_TRUE(fbe && ie);
    const StTypeID fbType = t.types()->createFuncType(2, StTypeIDList{ST_INT}, 2, StTypeIDList{}, 2, 2,
                                                      ST_INVALID_SID, false);
    fbe->setTypeID(fbType);
    ie->setTypeID(fbType);
    ie->setTypeRefSID(fb);

    String text;
    const std::pair<StSymbEntryID, const char*> kinds[] = {
        {task, "TASK 'T1'"}, {prog, "PROGRAM 'Main'"}, {fb, "FUNCTION_BLOCK 'Ctl'"}, {fn, "FUNCTION 'Add'"}};
    for (const auto& [sid, want] : kinds) {
        ASSERT_TRUE(t.getPOEKindText(sid, text));
        EXPECT_EQ(want, text.stdString());
    }
    EXPECT_FALSE(t.getPOEKindText(var, text));
    EXPECT_TRUE(text.empty());

    // Typed by a unit: the instance is, unless the operand already carries
    // the unit's own type.
    StASMUserOperand byType(inst, StTypeID(ST_INT), 0, 0, 3, ST_INVALID_SID);
    EXPECT_TRUE(t.isPOETypedSymbol(&byType));
    StASMUserOperand same(inst, fbType, 0, 0, 3, ST_INVALID_SID);
    EXPECT_FALSE(t.isPOETypedSymbol(&same));
    StASMUserOperand plain(var, StTypeID(ST_INT), 0, 0, 3, ST_INVALID_SID);
    EXPECT_FALSE(t.isPOETypedSymbol(&plain));
    EXPECT_FALSE(t.isPOETypedSymbol(nullptr));

    // Task operands: the task itself, or a task-typed symbol in mode 13.
    StASMUserOperand taskOp(task, StTypeID(ST_INT), 0, 0, 3, ST_INVALID_SID);
    EXPECT_TRUE(t.isTaskOperand(&taskOp));
    StSymbEntryID tv;
    t.addEntry("tv", gvr, gnr, ST_KIND_GLOBVAR, tv)->setTypeRefSID(task);
    StASMUserOperand tvOp(tv, StTypeID(ST_INT), 0, 0, 3, ST_INVALID_SID);
    EXPECT_FALSE(t.isTaskOperand(&tvOp));
    tvOp.setMachMode(13);
    EXPECT_TRUE(t.isTaskOperand(&tvOp));
    EXPECT_FALSE(t.isTaskOperand(&plain));

    // Frames: a block found by its member scope; a task is no candidate.
    const StRangeID fvr = t.openValidityRange(gvr), fnr = t.openNameSpace(gnr);
    StFrameProperties* frame = fbe->getFrameProperties();
    frame->membVRange = fvr;
    frame->membNRange = fnr;
    frame->startLine = 12;
    StFrameProperties* tf = t.findEntry(task)->getFrameProperties();
    const StRangeID tvr = t.openValidityRange(gvr), tnr = t.openNameSpace(gnr);
    tf->membVRange = tvr;
    tf->membNRange = tnr;
    EXPECT_EQ(fb, t.findPOEByFrame(fvr, fnr));
    EXPECT_EQ(ST_INVALID_SID, t.findPOEByFrame(tvr, tnr));

    // Instance offset: 16 aligned to @MEMADR and tagged; refused for a
    // function, for a block without a frame type and for unknown ids.
    const uint32_t align = t.findStdTypeNode(17)->alignment();
    const uint32_t want = ((16 + align - 1) / align * align) | 0xFD000000u;
    EXPECT_EQ(want, t.getPOEInstanceOffset(fb));
    EXPECT_EQ(0x7FFFFFFFu, t.getPOEInstanceOffset(fn));
    EXPECT_EQ(0x7FFFFFFFu, t.getPOEInstanceOffset(prog));
    EXPECT_EQ(0x7FFFFFFFu, t.getPOEInstanceOffset(StSymbEntryID(0x7777)));

    // The listing: each unit with its start line, then the block's
    // parameters; units without member scopes report it.
    StSymbEntryID p;
    t.addEntry("in1", fvr, fnr, ST_KIND_VAR, p)->setTypeID(ST_INT);
    std::ostringstream os;
    EXPECT_EQ(4, t.listPOEs(os));
    const std::string out = os.str();
    EXPECT_NE(std::string::npos, out.find("FUNCTION_BLOCK 'Ctl' line 12\n  in1 : INT\n")) << out;
    char err[80];
    std::snprintf(err, sizeof err, "error getMemberRanges of Add (0x%08X)", uint32_t(fn));
    EXPECT_NE(std::string::npos, out.find(err)) << out;
}

}  // namespace
