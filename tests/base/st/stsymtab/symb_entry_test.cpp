// Symbol entries: a seeded round trip of all 21 kinds through every written
// form, the mode-dependent Const part, the variable flags and access
// matrix, clone, segment bits and golden dumps.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>

#include "base/st/stsymtab/StSySymbEntry.h"
#include "st_forms.h"

namespace {

using EntryPtr = std::unique_ptr<StSyBaseSymbEntry>;
using sttest::Form;

EntryPtr make(uint32_t kind) { return EntryPtr(stCreateEntry(kind)); }

std::string writeForm(Form f, const StSyBaseSymbEntry& e, uint32_t mode)
{
    return sttest::write(
        f, [&](FsSecCl& s) { e.writeToSection(s, mode); }, [&](std::ostream& os) { e.writeToStream(os, mode); });
}

bool readForm(Form f, StSyBaseSymbEntry& e, const std::string& bytes, uint32_t mode)
{
    return sttest::read(
        f, bytes, [&](FsSecCl& s) { e.readFromSection(s, mode); }, [&](std::istream& is) { e.readFromStream(is, mode); });
}

// What an entry answers, limited to what its written form carries.
std::string describe(const StSyBaseSymbEntry& e, uint32_t mode)
{
    const uint32_t k = e.getKind();
    const bool constExtra = mode == 1 && (k == ST_KIND_CONST || k == ST_KIND_TYPESPEC);
    std::ostringstream os;
    os << k << ' ' << e.getStorageAddress() << ' ' << e.getID() << ' ' << e.getPrev() << ' ' << e.getNext() << ' '
       << e.getTypeID() << ' ' << e.getVR() << ' ' << e.getNR() << " cid " << e.getInitCID();
    if (k != ST_KIND_CONST || mode == 1) os << " tref " << e.getTypeRefSID();
    const bool unitWritten = k == ST_KIND_GLOBVAR || k == ST_KIND_FUNC || k == ST_KIND_FUNCBLOCK ||
                             k == ST_KIND_PROGRAM || constExtra;
    if (unitWritten || (k != ST_KIND_CONST && k != ST_KIND_TYPESPEC && k != ST_KIND_VAR && k != ST_KIND_SYSVAR &&
                        k != ST_KIND_INTERFACEVAR && k != ST_KIND_TOTYPE && k != ST_KIND_DIRECTVAR &&
                        k != ST_KIND_NAMESPACE))
        os << " unit " << e.getUnitSID();
    const bool visHidden = ((k == ST_KIND_CONST || k == ST_KIND_TYPESPEC) && !constExtra) || k == ST_KIND_VAR ||
                           k == ST_KIND_SYSVAR ||
                           (k == ST_KIND_DIRECTVAR && !stInImageSegment(e.getStorageAddress()));
    if (!visHidden) os << " vis " << e.getVisibility();
    os << " acc " << e.getAccessMode() << ' ' << e.isReadable() << e.isWritable() << e.isFirstFlagTaskVar()
       << e.getSecondFlag() << " rng " << e.getSubNameRange() << ' ' << e.getSubValidRange() << " base "
       << e.getBaseTOTypeSID();
    if (const StFrameProperties* f = e.getFrameProperties())
        os << " frame " << f->membVRange << ' ' << f->membNRange << ' ' << f->frameID << ' ' << f->startLine << ' '
           << f->retainSize << ' ' << f->frameSize;
    const StTaskRecord t = e.getTaskRecord();
    os << " task " << t.taskRtID << ' ' << t.propertyMask << ' ' << t.stackSize << " rem " << e.isRemanent()
       << " idx " << unsigned(e.getUnitIndex()) << e.hasUnitIndex() << " fi " << e.getFuncIndex() << e.getFuncFlag()
       << e.getProgramFlag() << " sv " << e.getSysVarTOTypeRef() << ' ' << e.getSysVarAddress() << " seg "
       << e.segmentBits() << " map ";
    e.getMappingInfo().dump(os);
    return os.str();
}

void randomise(StSyBaseSymbEntry& e, std::mt19937& rng)
{
    auto u = [&]() -> uint32_t { return rng() % 4 == 0 ? 0xFFFFFFFFu : rng() % 100000; };
    auto i = [&]() -> int32_t { return int32_t(rng()); };
    const int32_t images[] = {int32_t(0xF8000010u), int32_t(0xF6000200u), 0x123456, ST_NO_ADDRESS};
    e.setStorageAddress(rng() % 2 ? images[rng() % 4] : i());
    e.setID(u());
    e.setPrev(u());
    e.setNext(u(), nullptr);
    e.setTypeID(u());
    e.setVR(u());
    e.setNR(u());
    e.setExtra(u());
    e.setInitCID(u());
    e.setTypeRefSID(u());
    e.setSubNameRange(u());
    e.setSubValidRange(u());
    if (StFrameProperties* f = e.getFrameProperties()) {
        f->membVRange = u();
        f->membNRange = u();
        f->frameID = u();
        f->startLine = i();
        f->retainSize = i();
        f->frameSize = i();
        f->flags = u();
    }
    e.setBaseTOTypeSID(u());
    e.setSecondFlag(uint8_t(rng() % 3));
    e.setAccessMode(int32_t(rng() % 6));
    e.setFirstFlag(uint8_t(rng() % 3));
    e.setTaskRecord({u(), u(), i()});
    e.setRemanent(rng() % 2);
    e.setVisibility(int32_t(rng() % 3), uint8_t(rng()));
    e.setFuncIndex(i());
    e.setUnitSID(u());
    e.setSysVarTOTypeRef(u());
    e.setSysVarAddress(i());
    GUID g;
    for (int b = 0; b < 16; ++b) reinterpret_cast<uint8_t*>(&g)[b] = uint8_t(rng());
    e.setMappingInfo(u(), i(), g);
    if (auto* fn = dynamic_cast<StSyFuncSymbEntry*>(&e)) fn->setFuncFlag(rng() % 2);
}

TEST(SymbEntryTest, SeededRoundTripOfEveryKind)
{
    std::mt19937 rng(12);
    for (int round = 0; round < 8; ++round) {
        for (uint32_t kind = 1; kind <= ST_KIND_LAST; ++kind) {
            EntryPtr e = make(kind);
            ASSERT_TRUE(e) << kind;
            ASSERT_EQ(kind, e->getKind());
            randomise(*e, rng);
            for (uint32_t mode = 0; mode <= 1; ++mode) {
                for (Form f : sttest::kForms) {
                    SCOPED_TRACE(testing::Message() << "kind " << kind << " mode " << mode << ' ' << sttest::formName(f));
                    const std::string first = writeForm(f, *e, mode);
                    EntryPtr back = make(kind);
                    ASSERT_TRUE(readForm(f, *back, first, mode));
                    EXPECT_EQ(first, writeForm(f, *back, mode));
                    EXPECT_EQ(describe(*e, mode), describe(*back, mode));
                }
            }
        }
    }
    EXPECT_EQ(nullptr, stCreateEntry(0));
    EXPECT_EQ(nullptr, stCreateEntry(22));
}

EntryPtr sampleConst(String* name)
{
    EntryPtr c(stCreateEntry(ST_KIND_CONST, 5, ST_INVALID_SID, 7, name, 1, 2));
    c->setStorageAddress(16);
    c->setTypeID(8);
    c->setInitCID(9);
    c->setUnitSID(3);
    c->setVisibility(ST_VIS_EXPORT, 4);
    return c;
}

TEST(SymbEntryTest, ConstAndTypeSpecParts)
{
    EntryPtr c = sampleConst(nullptr);
    EXPECT_EQ("16 5\r\n4294967295 7 8 1 2 9 ", writeForm(Form::SectionText, *c, 0));
    EXPECT_EQ("16 5\r\n4294967295 7 8 1 2 9 3 0 4294967295 ", writeForm(Form::SectionText, *c, 1));
    EXPECT_EQ("16 5\n4294967295 7 8 1 2 9 3 0 4294967295 ", writeForm(Form::Stream, *c, 1));
    EXPECT_EQ(4u * 11, writeForm(Form::SectionBinary, *c, 1).size());

    EntryPtr t(stCreateEntry(ST_KIND_TYPESPEC, 5, ST_INVALID_SID, 7, nullptr, 1, 2));
    t->setInitCID(9);
    t->setUnitSID(3);
    t->setVisibility(ST_VIS_IMPORT, 0);
    t->setSubNameRange(11);
    t->setTypeRefSID(12);
    EXPECT_EQ("2147483647 5\r\n4294967295 7 4294967295 1 2 9 3 1 11 12 ", writeForm(Form::SectionText, *t, 1));
    EXPECT_EQ("2147483647 5\r\n4294967295 7 4294967295 1 2 9 11 12 ", writeForm(Form::SectionText, *t, 0));
    EXPECT_EQ(1u, t->getSubValidRange());  // its own VR
}

TEST(SymbEntryTest, VarFlagsAndAccessMatrix)
{
    EntryPtr v = make(ST_KIND_VAR);
    EXPECT_TRUE(v->isReadable());
    EXPECT_TRUE(v->isWritable());
    v->setFirstFlag(7);
    v->setSecondFlag(1);
    EXPECT_EQ("2147483647 4294967295\r\n4294967295 4294967295 4294967295 4294967295 4294967295 4294967295 "
              "4294967295 1 3 ",
              writeForm(Form::SectionText, *v, 0));
    EXPECT_TRUE(v->isFirstFlagTaskVar());
    EXPECT_EQ(ST_SEG_VAR2, v->segmentBits());

    EntryPtr r = make(ST_KIND_VAR);
    ASSERT_TRUE(readForm(Form::SectionText, *r, "0 1\r\n2 3 4 5 6 7 8 1 2 ", 0));
    EXPECT_TRUE(r->getSecondFlag());
    EXPECT_FALSE(r->isFirstFlagTaskVar());
    EXPECT_EQ(8u, r->getTypeRefSID());

    struct {
        uint32_t kind;
        int32_t access;
        bool readable, writable;
    } matrix[] = {
        {ST_KIND_VAR, 2, true, false},           {ST_KIND_VAR, 3, true, true},
        {ST_KIND_GLOBVAR, 3, true, true},        {ST_KIND_SYSVAR, 3, false, true},
        {ST_KIND_SYSVAR, 0, false, false},       {ST_KIND_INTERFACEVAR, 4, true, true},
        {ST_KIND_DIRECTVAR, 1, true, true},      {ST_KIND_DIRECTVAR, 2, true, false},
        {ST_KIND_DIRECTVAR, 4, false, false},    {ST_KIND_CONST, 0, true, false},
        {ST_KIND_TO, 0, true, false},            {ST_KIND_FUNC, 1, false, false},
    };
    for (const auto& m : matrix) {
        EntryPtr e = make(m.kind);
        e->setAccessMode(m.access);
        EXPECT_EQ(m.readable, e->isReadable()) << m.kind << '/' << m.access;
        EXPECT_EQ(m.writable, e->isWritable()) << m.kind << '/' << m.access;
    }
    EntryPtr d = make(ST_KIND_DIRECTVAR);
    d->setAccessMode(4);
    d->setStorageAddress(int32_t(0xF6000001u));
    EXPECT_TRUE(d->isReadable());
    EXPECT_TRUE(d->isWritable());
    EXPECT_EQ(0, d->getAccessMode());
}

TEST(SymbEntryTest, DefaultsCloneAndSegments)
{
    EntryPtr e = make(ST_KIND_GLOBVAR);
    EXPECT_TRUE(e->getID().isInvalid());
    EXPECT_TRUE(e->getPrev().isInvalid());
    EXPECT_TRUE(e->getNext().isInvalid());
    EXPECT_EQ(ST_INVALID_TID, e->getTypeID());
    EXPECT_EQ(ST_INVALID_VR, e->getVR());
    EXPECT_EQ(ST_INVALID_NR, e->getNR());
    EXPECT_EQ(nullptr, e->getName());
    EXPECT_EQ(ST_NO_ADDRESS, e->getStorageAddress());
    EXPECT_EQ(0u, e->segmentBits());
    e->setVisibility(ST_VIS_EXPORT, 3);
    EXPECT_EQ(0x03000000u, e->segmentBits());

    String name("Motor");
    EntryPtr c = sampleConst(&name);
    EntryPtr k(c->clone(99));
    ASSERT_TRUE(k);
    EXPECT_EQ(99u, k->getID());
    EXPECT_EQ(&name, k->getName());
    c->setID(99);
    EXPECT_EQ(describe(*c, 1), describe(*k, 1));

    const struct {
        uint32_t kind, seg;
    } segs[] = {{ST_KIND_CONST, 0xFB000000u},   {ST_KIND_FUNC, 0xFB000000u},  {ST_KIND_FUNCBLOCK, 0xFD000000u},
                {ST_KIND_PROGRAM, 0xFD000000u}, {ST_KIND_TEMP, 0xFD000000u},  {ST_KIND_VAR, 0xFD000000u},
                {ST_KIND_INTERFACEVAR, 0xF4000000u}, {ST_KIND_SYSVAR, 0}, {ST_KIND_TO, 0}, {ST_KIND_DEVICE, 0},
                {ST_KIND_TYPESPEC, 0xFFFFFFFFu}, {ST_KIND_UNIT, 0xFFFFFFFFu}, {ST_KIND_NAMESPACE, 0xFFFFFFFFu}};
    for (const auto& s : segs) EXPECT_EQ(s.seg, make(s.kind)->segmentBits()) << s.kind;

    EntryPtr n = make(ST_KIND_NAMESPACE);
    n->setID(40);
    EXPECT_EQ(40u, n->getTypeRefSID());
}

std::string dumpOf(const StSyBaseSymbEntry& e)
{
    std::ostringstream os;
    e.dump(os);
    return os.str();
}

TEST(SymbEntryTest, GoldenDumps)
{
    String name("Foo");
    EXPECT_EQ("Foo  Const      Typ: 8  NR: 2 VR: 1\n             Adr: 10 Seg: fb000000   prev: 4294967295  next: 7"
              "  Unit (SYD(idx)): 3 export  \n               Init (CID): 9  Typverweis (SYD): 4294967295",
              dumpOf(*sampleConst(&name)));

    EntryPtr f = make(ST_KIND_FUNC);
    StFrameProperties* fp = f->getFrameProperties();
    *fp = StFrameProperties{4, 5, 6, 10, 2, 8, 0, 0x1F};
    f->setVisibility(ST_VIS_IMPORT, 2);
    f->setUnitSID(3);
    f->setFuncIndex(7);
    EXPECT_EQ("Function   Typ: 4294967295  NR: 4294967295 VR: 4294967295\n             Adr: 7fffffff Seg: fb000000"
              "   prev: 4294967295  next: 4294967295 MembVRange: 4 MembNRange: 5 FrameID: 6 StartLine: 10"
              " Retainsize: 2 Framesize: 8 Flags: 0x1f  Unit (SYD(idx)): 3(2)  FuncIdx: 7  import  ",
              dumpOf(*f));

    String x("X");
    EntryPtr d(stCreateEntry(ST_KIND_DIRECTVAR, 3, ST_INVALID_SID, ST_INVALID_SID, &x, 0, 0));
    d->setStorageAddress(int32_t(0xF8000004u));
    d->setAccessMode(2);
    d->setVisibility(ST_VIS_EXPORT, 0);
    EXPECT_EQ("X  DirectVar  Typ: 4294967295  NR: 0 VR: 0\n             Adr: f8000004 Seg: ffffffff"
              "   prev: 4294967295  next: 4294967295  Access: readonly     Scope: export  ",
              dumpOf(*d));
    // The word written is the scope visibility for an address in a process image.
    EXPECT_EQ("-134217724 3\r\n4294967295 4294967295 4294967295 0 0 0 ", writeForm(Form::SectionText, *d, 0));
    EXPECT_EQ("-------  TempVar    ", dumpOf(*make(ST_KIND_TEMP)).substr(0, 20));
}

}  // namespace
