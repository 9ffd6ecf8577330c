// Operand queries: user operands for symbols, operand ranges and the
// operands of an address range with their filter and trace.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

struct Ops {
    std::vector<StASMOperand*> v;
    ~Ops()
    {
        for (StASMOperand* op : v) delete op;
    }
};

TEST(SymbolQueries, Operands)
{
    SyStSymbTable t;
    const StRangeID vr = t.getGlobalVR(), nr = t.getGlobalNR();
    StSymbEntryID fb, var, arr, low, task, ns, inner;
    t.addEntry("FB", vr, nr, ST_KIND_FUNCBLOCK, fb);
    StSyBaseSymbEntry* ve = t.addEntry("v", vr, nr, ST_KIND_SYSVAR, var);
    ve->setTypeID(ST_DINT);
    ve->setStorageAddress(0x100);
    StSyBaseSymbEntry* ae = t.addEntry("arr", vr, nr, ST_KIND_SYSVAR, arr);
    ae->setTypeID(t.types()->createArrayType(ST_INT, 1, 4));
    ae->setStorageAddress(0x200);
    StSyBaseSymbEntry* le = t.addEntry("low", vr, nr, ST_KIND_SYSVAR, low);
    le->setTypeID(ST_DINT);
    le->setStorageAddress(0x10);
    t.addEntry("T", vr, nr, ST_KIND_TASK, task);

    // User operands: kinds 2, 6, 7, 8 only.
    StASMUserOperand* op = nullptr;
    ASSERT_EQ(0u, t.createUserOperand(fb, op));
    std::unique_ptr<StASMUserOperand> own(op);
    ASSERT_TRUE(op);
    EXPECT_EQ(fb, op->getSID());
    EXPECT_EQ(2u, t.createUserOperand(StSymbEntryID(0x7777), op));
    EXPECT_EQ(3u, t.createUserOperand(var, op));
    EXPECT_FALSE(op);
    EXPECT_EQ(2u, t.createUserOperandForEntry(nullptr, op));

    // Ranges: [address, address + size - 1]; none without an address; none
    // running past the 32-bit space.
    uint32_t first = 0, last = 0;
    StASMUserOperand vop(var, ST_DINT, 0, 0, 1, ST_INVALID_SID);
    ASSERT_TRUE(t.getOperandRange(&vop, first, last));
    EXPECT_EQ(0x100u, first);
    EXPECT_EQ(0x103u, last);
    StASMUserOperand nop(task, ST_DINT, 0, 0, 1, ST_INVALID_SID);
    EXPECT_FALSE(t.getOperandRange(&nop, first, last));
    EXPECT_FALSE(t.getOperandRange(nullptr, first, last));
    ve->setStorageAddress(int32_t(0xFFFFFFFEu));
    EXPECT_FALSE(t.getOperandRange(&vop, first, last));
    ve->setStorageAddress(0x100);

    // The range [0x102, 0x203]: the variable whole, the array's first two
    // elements; the low variable stays out.
    Ops all;
    std::ostringstream trace;
    EXPECT_EQ(3, t.getOperandsInRange(0x102, 0x203, 0xFFFFFFFFu, all.v, &trace));
    ASSERT_EQ(3u, all.v.size());
    EXPECT_EQ(var, all.v[0]->getSID());
    EXPECT_EQ(0x200u, t.getOperandAddress(all.v[1]));
    EXPECT_EQ(0x202u, t.getOperandAddress(all.v[2]));
    EXPECT_EQ(StTypeID(ST_INT), all.v[2]->getTID());
    char head[96];
    std::snprintf(head, sizeof head, "filter: 0xFFFFFFFF, tab-no: 0, vr/nr: %d/%d, sym-no: 5\n", int32_t(vr),
                  int32_t(nr));
    char tsi[48];
    std::snprintf(tsi, sizeof tsi, "TSI#%u v 256\n", uint32_t(var));
    EXPECT_EQ(std::string(head) + tsi + "traceArrayASMUserOperand arr[1] 512\ntraceArrayASMUserOperand arr[2] 514\n",
              trace.str());

    // Filters: system variables carry bit 0x1, tasks 0x100; a name space
    // is always entered.
    Ops tasks, sys;
    EXPECT_EQ(0, t.getOperandsInRange(0, 0xFFFFFFFFu, 0x100, tasks.v));
    EXPECT_EQ(6, t.getOperandsInRange(0, 0xFFFFFFFFu, 0x1, sys.v));
    StSyBaseSymbEntry* nse = t.addEntry("Lib", vr, nr, ST_KIND_NAMESPACE, ns);
    const StRangeID nsVR = t.openValidityRange(vr), nsNR = t.openNameSpace(nr);
    nse->setSubValidRange(nsVR);
    nse->setSubNameRange(nsNR);
    StSyBaseSymbEntry* ie = t.addEntry("c", nsVR, nsNR, ST_KIND_SYSVAR, inner);
    ie->setTypeID(ST_INT);
    ie->setStorageAddress(0x300);
    Ops nested;
    EXPECT_EQ(1, t.getOperandsInRange(0x300, 0x300, 0x1, nested.v));
    ASSERT_EQ(1u, nested.v.size());
    EXPECT_EQ(inner, nested.v[0]->getSID());
    Ops none;
    EXPECT_EQ(0, t.getOperandsInRange(0x300, 0x300, 0x4, none.v));
}

}  // namespace
