// The name-exports importer: random sections of every entry kind imported
// by a recording subclass of the hooks give back what was written, and so
// do exports of random symbol tables; the plain importer parses without
// creating; header, nesting and type-layout refusals.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StNameMengeler.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "name_export_gen.h"

namespace {

std::string text(const String& s)
{
    return std::string(s.c_str(), size_t(s.length()));
}

// The bytes something writes into a section.
template <class Write>
std::string bytesWritten(Write write)
{
    FsSecClMem s;
    write(s);
    std::string out(s.getSize(), '\0');
    s.reset();
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    return out;
}

// The value-only form of a value, as the log shows values.
std::string valueText(const StNeValue& v)
{
    return bytesWritten([&](FsSecCl& s) { v.write(s); });
}

// An entry as the log shows the records handed over whole.
std::string recordText(const StNeEntry& e)
{
    return std::to_string(e.kind) + " " + text(e.name) + " record " +
           bytesWritten([&](FsSecCl& s) { e.write(s, 2); });
}

std::string typeText(const StNeTypeRef& r)
{
    if (!r.isAnonymousArray()) return text(r.name);
    return "$$[" + typeText(*r.element) + "," + std::to_string(r.lower) + "," + std::to_string(r.count) + "]";
}

// Random entry records of every kind.
class RecordMaker {
public:
    explicit RecordMaker(unsigned seed) : m_rng(seed) {}

    StNeEntry entry(int32_t kind, int depth = 0)
    {
        StNeEntry e;
        e.kind = kind;
        e.name = name();
        switch (kind) {
        case NE_TYPEDEF: case NE_CONSTANT: e.type = typeRef(0); e.init = init(); break;
        case NE_ARRAY: e.type = typeRef(0); e.lower = int32_t(pick(4)) - 1; e.count = pick(9); e.init = init(); break;
        case NE_ENUM:
            for (uint32_t i = 0, n = pick(4); i < n; ++i) e.enumerators.emplace_back(name(), int32_t(i));
            e.hasInitEnumerator = pick(2) == 0;
            if (e.hasInitEnumerator) e.initEnumerator = name();
            for (uint32_t i = 0, n = pick(3); i < n; ++i) e.extraIds.push_back(pick(70000));
            e.size = 4;
            e.alignment = 4;
            break;
        case NE_STRUCT:
            for (uint32_t i = 0, n = pick(3); i < n; ++i) e.members.push_back({name(), typeRef(0), init()});
            e.size = int32_t(pick(64));
            e.alignment = pick(8);
            break;
        case NE_VARIABLE: case NE_GLOBAL: case NE_SYSVAR: case NE_INTERFACE:
            e.type = typeRef(0);
            e.init = init();
            e.address = int32_t(pick(5000));
            e.sysAddress = int32_t(pick(5000));
            e.accessMode = int32_t(pick(5));
            e.flag = pick(2) == 1;
            break;
        case NE_PROGRAM_UNIT:
            e.unitKind = 6 + int32_t(pick(3));
            if (e.unitKind == 6) e.type = typeRef(0);
            else for (uint32_t i = 0, n = pick(3); i < n; ++i) e.usedUnits.push_back(name());
            for (uint32_t i = 0, n = depth < 2 ? pick(3) : 0; i < n; ++i) e.listA.push_back(entry(NE_VARIABLE, depth + 1));
            if (e.unitKind != 6)
                for (uint32_t i = 0, n = depth < 2 ? pick(3) : 0; i < n; ++i) e.listB.push_back(entry(NE_VARIABLE, depth + 1));
            e.frameFlag = pick(2) == 1;
            e.layout1 = pick(100);
            e.layout2 = int32_t(pick(100));
            e.word3 = pick(100);
            e.word4 = int32_t(pick(100));
            e.number = int32_t(pick(10)) - 1;
            e.frameWord = int32_t(pick(100));
            break;
        case NE_TOTYPE:
            e.hasBase = pick(2) == 0;
            if (e.hasBase) e.baseName = name();
            break;
        case NE_DIRECT_VAR: e.type = typeRef(0); e.address = int32_t(pick(5000)); e.flag = pick(2) == 1; break;
        default: break;
        }
        return e;
    }

private:
    uint32_t pick(uint32_t n) { return uint32_t(m_rng() % n); }
    String name() { return String(("n" + std::to_string(pick(1000))).c_str()); }

    StNeTypeRef typeRef(int depth)
    {
        StNeTypeRef r;
        if (depth < 3 && pick(3) == 0) {
            r.name = "$$";
            r.element.reset(new StNeTypeRef(typeRef(depth + 1)));
            r.lower = int32_t(pick(3));
            r.count = 1 + pick(20);
        } else {
            r.name = String(("T" + std::to_string(pick(50))).c_str());
        }
        r.size = int32_t(pick(100));
        r.alignment = pick(8);
        return r;
    }

    StNeValue value(int32_t kind, int depth)
    {
        StNeValue v;
        v.kind = kind;
        switch (kind) {
        case 0:
            v.type = int32_t(pick(2) ? 8 : 15);  // DINT or LREAL
            v.sign = int32_t(pick(2));
            v.words[0] = pick(100000);
            v.real8 = double(pick(1000)) / 8;
            break;
        case 1:
            for (uint32_t i = 0, n = depth < 2 ? pick(3) : 0; i < n; ++i) v.members.push_back(value(int32_t(pick(4)), depth + 1));
            break;
        case 2:
            v.text = name();
            v.length = uint8_t(v.text.length());
            break;
        default:
            v.n = int32_t(pick(3));
            v.esize = 4;
            if (v.n != 0) v.members.push_back(value(0, depth + 1));
            if (kind == 4) {
                v.package = RTTypeID(GUID{pick(1000), 2, 3, {1, 2, 3, 4, 5, 6, 7, 8}}, uint16_t(pick(5)), 0);
                v.fct = int32_t(pick(40));
            }
            break;
        }
        return v;
    }

    StNeInit init()
    {
        static const int32_t kinds[] = {0, 1, 2, 4};
        StNeInit i;
        i.present = pick(3) != 0;
        if (i.present) i.value = value(kinds[pick(4)], 0);
        return i;
    }

    std::mt19937 m_rng;
};

// What the recorder writes for an entry created from the record; the
// expected side of the round trip uses the same words.
std::string initText(const StNeInit& i)
{
    return i.present ? " init=" + valueText(i.value) : "";
}

void expectLines(const StNeEntry& e, std::vector<std::string>& log)
{
    const std::string head = std::to_string(e.kind) + " " + text(e.name);
    switch (e.kind) {
    case NE_TYPEDEF: log.push_back(head + " " + typeText(e.type) + initText(e.init)); break;
    case NE_ARRAY:
        log.push_back(head + " $$[" + typeText(e.type) + "," + std::to_string(e.lower) + "," + std::to_string(e.count) +
                      "]" + initText(e.init));
        break;
    case NE_CONSTANT: log.push_back(head + " " + typeText(e.type) + initText(e.init)); break;
    case NE_VARIABLE: case NE_GLOBAL: case NE_SYSVAR: case NE_INTERFACE:
        log.push_back(head + " " + typeText(e.type) + " " + std::to_string(e.address) + " " +
                      (e.kind == NE_INTERFACE ? std::to_string(e.sysAddress) + " " : "") +
                      std::to_string(e.accessMode) + " " + std::to_string(e.flag) + initText(e.init));
        break;
    case NE_PROGRAM_UNIT: {
        std::string used;
        for (const String& u : e.usedUnits) used += " " + text(u);
        log.push_back(head + " " + std::to_string(e.unitKind) + " " + (e.unitKind == 6 ? typeText(e.type) : "-") + used);
        log.push_back("enter");
        for (const StNeEntry& m : e.listA) expectLines(m, log);
        for (const StNeEntry& m : e.listB) expectLines(m, log);
        log.push_back("leave");
        log.push_back("frame " + std::to_string(e.frameFlag) + " " + std::to_string(e.layout1) + " " +
                      std::to_string(e.layout2) + " " + std::to_string(e.word3) + " " + std::to_string(e.word4) + " " +
                      std::to_string(e.number) + " " + std::to_string(e.frameWord));
        break;
    }
    case NE_TOTYPE: log.push_back(head + " base=" + (e.hasBase ? text(e.baseName) : "-")); break;
    case NE_DIRECT_VAR:
        log.push_back(head + " " + typeText(e.type) + " " + std::to_string(e.address) + " " + std::to_string(e.flag));
        break;
    default:
        // Enumerations, structures and subranges are handed over as the
        // record: the recorder writes it back.
        log.push_back(recordText(e));
    }
}

// Creates every entry with a new SID and writes what it was given.
class Recorder : public StNameMengeler {
public:
    std::vector<std::string> log;
    std::vector<uint32_t> errors;

    StTypeID findNamedType(const String& name, const StNeTypeRef&) override { return tid(text(name)); }
    StTypeID createArrayType(StTypeID element, int32_t lower, uint32_t count, int32_t, uint32_t) override
    {
        return tid("$$[" + typeName(element) + "," + std::to_string(lower) + "," + std::to_string(count) + "]");
    }
    StSymbEntryID createTypeDef(const String& name, StSymbEntryID&, StTypeID type, const StNeScope&) override
    {
        const int kind = typeName(type).rfind("$$[", 0) == 0 && m_arrayEntry ? 1 : 0;
        return add(std::to_string(kind) + " " + text(name) + " " + typeName(type));
    }
    void setInitValue(StSymbEntryID sid, StTypeID, const StNeValue& v) override
    {
        if (sid.get() == m_nextSid - 1) log.back() += " init=" + valueText(v);
        else log.push_back("init for another entry");
    }
    void createConstant(const String& name, StTypeID type, const StNeValue* v, StSymbEntryID& out) override
    {
        out = add("5 " + text(name) + " " + typeName(type) + (v ? " init=" + valueText(*v) : ""));
    }
    StSymbEntryID createEnumType(const StNeEntry& e, const StNeScope&, StSymbEntryID&) override { return record(e); }
    StSymbEntryID createStructType(const StNeEntry& e, const std::vector<StTypeID>&, StSymbEntryID&) override
    {
        return record(e);
    }
    StSymbEntryID createSubrangeType(const String& name, const StNeScope&, StSymbEntryID&) override
    {
        StNeEntry e;
        e.kind = NE_SUBRANGE;
        e.name = name;
        return record(e);
    }
    StSymbEntryID createVariable(const String& n, StTypeID t, int32_t a, int32_t m, bool f) override { return var(6, n, t, a, "", m, f); }
    StSymbEntryID createGlobalVariable(const String& n, StTypeID t, int32_t a, int32_t m, bool f) override { return var(7, n, t, a, "", m, f); }
    StSymbEntryID createSystemVariable(const String& n, StTypeID t, int32_t a, int32_t m, bool f) override { return var(8, n, t, a, "", m, f); }
    StSymbEntryID createInterfaceVariable(const String& n, StTypeID t, int32_t a, int32_t s, int32_t m, bool f) override
    {
        return var(9, n, t, a, std::to_string(s) + " ", m, f);
    }
    StSymbEntryID createProgramUnit(const String& name, int32_t kind, StTypeID result, StSymbEntryID&) override
    {
        m_unitLine = "10 " + text(name) + " " + std::to_string(kind) + " " + (kind == 6 ? typeName(result) : "-");
        return add(m_unitLine);
    }
    bool addUsedUnit(StSymbEntryID, const String& name, uint32_t) override
    {
        m_lastUnit().append(" " + text(name));
        return true;
    }
    void enterUnitScope() override { log.push_back("enter"); }
    void leaveUnitScope() override { log.push_back("leave"); }
    void setUnitFrame(StNeUnitFrame f) override
    {
        log.push_back("frame " + std::to_string(f.frameFlag) + " " + std::to_string(f.layout1) + " " +
                      std::to_string(f.layout2) + " " + std::to_string(f.word3) + " " + std::to_string(f.word4) + " " +
                      std::to_string(f.number) + " " + std::to_string(f.frameWord));
    }
    StSymbEntryID importTOType(const String& name, const String* base) override
    {
        return add("11 " + text(name) + " base=" + (base ? text(*base) : "-"));
    }
    StSymbEntryID importDirectVar(const String& n, StTypeID t, const StNeScope&, int32_t a, bool f) override
    {
        return add("12 " + text(n) + " " + typeName(t) + " " + std::to_string(a) + " " + std::to_string(f));
    }
    bool isKnown(const String&, bool) override { return false; }
    bool acceptEntry(int32_t kind, const String&) override
    {
        m_arrayEntry = kind == NE_ARRAY;
        return true;
    }
    void onImportError(uint32_t code) override { errors.push_back(code); }

private:
    static constexpr StTypeID kFirstTid = 1000;

    // Elementary types and STRINGs come from the type table, below the
    // recorded ones.
    std::string typeName(StTypeID t) const
    {
        if (t >= kFirstTid && t - kFirstTid < m_types.size()) return m_types[t - kFirstTid];
        return t < 24 ? stNeElemTypeName(t) : t == ST_INVALID_TID ? "?" : "STRING";
    }
    StTypeID tid(const std::string& t)
    {
        m_types.push_back(t);
        return kFirstTid + StTypeID(m_types.size() - 1);
    }
    StSymbEntryID add(const std::string& line)
    {
        log.push_back(line);
        m_unitIndex = log.size() - 1;
        return StSymbEntryID(m_nextSid++);
    }
    std::string& m_lastUnit() { return log[m_unitIndex]; }
    StSymbEntryID var(int kind, const String& n, StTypeID t, int32_t a, const std::string& sys, int32_t m, bool f)
    {
        return add(std::to_string(kind) + " " + text(n) + " " + typeName(t) + " " + std::to_string(a) + " " +
                   sys + std::to_string(m) + " " + std::to_string(f));
    }
    StSymbEntryID record(const StNeEntry& e) { return add(recordText(e)); }

    std::vector<std::string> m_types;
    uint32_t m_nextSid = 0x10000;
    std::string m_unitLine;
    size_t m_unitIndex = 0;
    bool m_arrayEntry = false;
};

void writeSection(FsSecCl& s, const std::vector<StNeEntry>& entries, int version)
{
    stNeWriteHeader(s, version);
    for (const StNeEntry& e : entries) e.write(s, version);
    stNeWriteCount(s, uint32_t(entries.size()));
    s.reset();
}

}  // namespace

TEST(NameMengeler, RandomSectionsComeBackThroughTheHooks)
{
    StSyTypeTable types;
    for (unsigned seed = 1; seed <= 100; ++seed) {
        RecordMaker maker(seed);
        std::vector<StNeEntry> entries;
        std::vector<std::string> expected;
        for (int32_t kind = 0; kind <= 12; ++kind) {
            entries.push_back(maker.entry(kind));
            expectLines(entries.back(), expected);
        }
        for (const int version : {2, 1}) {
            std::vector<std::string> want = expected;
            if (version == 1)
                for (std::string& l : want)
                    if (l.rfind("frame ", 0) == 0) l = l.substr(0, l.rfind(' ')) + " -1";
            FsSecClMem s;
            writeSection(s, entries, version);
            Recorder r;
            r.setTypeTable(&types);
            uint32_t count = 0;
            ASSERT_TRUE(r.beginImport(nullptr, &s, count));
            EXPECT_EQ(r.importVersion(), version);
            ASSERT_EQ(count, 13u);
            EXPECT_TRUE(r.importCounted(count)) << seed;
            r.endImport();
            EXPECT_EQ(r.log, want) << "seed " << seed << " version " << version;
            EXPECT_TRUE(r.errors.empty()) << seed;
            EXPECT_TRUE(s.atEnd());
        }
    }
}

TEST(NameMengeler, ThePlainImporterParsesWithoutCreating)
{
    StSyTypeTable types;
    RecordMaker maker(7);
    std::vector<StNeEntry> entries;
    for (int32_t kind = 0; kind <= 12; ++kind) entries.push_back(maker.entry(kind));
    FsSecClMem s;
    writeSection(s, entries, 2);
    StNameMengeler plain;
    plain.setTypeTable(&types);
    uint32_t count = 0;
    ASSERT_TRUE(plain.beginImport(nullptr, &s, count));
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t status = 0;
        plain.readEntry(status);
        EXPECT_EQ(status, 2u) << i;  // every entry is "known"
    }
    EXPECT_TRUE(s.atEnd());
    EXPECT_FALSE(s.hasError());
}

TEST(NameMengeler, HeaderAndRefusals)
{
    StSyTypeTable types;
    StNameMengeler m;
    FsSecClMem s;
    uint32_t count = 7;
    EXPECT_FALSE(m.beginImport(nullptr, &s, count));  // no table to resolve types in
    m.setTypeTable(&types);
    EXPECT_FALSE(m.beginImport(nullptr, nullptr, count));
    s << "3           17 Name_Exports_V2.0 ";
    EXPECT_FALSE(m.beginImport(nullptr, &s, count));
    EXPECT_EQ(m.importVersion(), 0);
    EXPECT_FALSE(m.isImporting());

    FsSecClMem v1;
    v1 << "1a          17 Name_Exports_V0.5 ";
    EXPECT_EQ(m.readHeader(&v1, count), 1);
    EXPECT_EQ(count, 26u);
    EXPECT_FALSE(m.beginExport(nullptr, &v1, ST_ZERO_SID, false));
}

TEST(NameMengeler, TypeLayoutsAndUnknownKinds)
{
    struct Errors : StNameMengeler {
        std::vector<uint32_t> codes;
        StTypeID last = ST_INVALID_TID;
        bool isKnown(const String&, bool) override { return false; }
        StSymbEntryID createVariable(const String&, StTypeID t, int32_t, int32_t, bool) override
        {
            last = t;
            return StSymbEntryID(0x10000);
        }
        void onImportError(uint32_t code) override { codes.push_back(code); }
    };
    StSyTypeTable types;
    const struct {
        const char* entry;
        StTypeID tid;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"6 1 v 3 INT 2 2 0 0 0 0 ", 7, {}},
        {"6 1 v 3 INT 4 4 0 0 0 0 ", 7, {0}},             // the node's layout differs
        {"6 1 v 6 STRING 256 1 0 0 0 0 ", ST_STRING_TID, {}},
        {"6 1 v 3 INT 2 2 1 3 0 0 0 0 0 ", ST_INVALID_TID, {1, 0}},  // constant kind 3
        {"14 1 v ", ST_INVALID_TID, {1, 0}},               // unknown entry kind
    };
    for (const auto& c : cases) {
        FsSecClMem s;
        s << "1           17 Name_Exports_V3.1 ";
        s << c.entry;
        s.reset();
        Errors m;
        m.setTypeTable(&types);
        uint32_t count = 0;
        ASSERT_TRUE(m.beginImport(nullptr, &s, count));
        m.importCounted(count);
        EXPECT_EQ(m.last, c.tid) << c.entry;
        EXPECT_EQ(m.codes, c.codes) << c.entry;
    }
}

TEST(NameMengeler, DeepListsAreAReadFailure)
{
    std::string body;
    for (int i = 0; i < 100; ++i) body += "10 1 u 7 0 1 ";
    FsSecClMem s;
    s << "1           17 Name_Exports_V3.1 ";
    s << body.c_str();
    s.reset();
    struct Errors : StNameMengeler {
        std::vector<uint32_t> codes;
        void onImportError(uint32_t code) override { codes.push_back(code); }
    } m;
    StSyTypeTable types;
    m.setTypeTable(&types);
    uint32_t count = 0;
    ASSERT_TRUE(m.beginImport(nullptr, &s, count));
    EXPECT_FALSE(m.importCounted(count));
    ASSERT_FALSE(m.codes.empty());
    EXPECT_EQ(m.codes.front(), 1u);
    EXPECT_TRUE(s.hasError());
}

TEST(NameExportFormat, HeaderAndCountGoldens)
{
    const struct {
        uint32_t count;
        int version;
        const char* bytes;
    } cases[] = {
        {0, 2, "0           17 Name_Exports_V3.1 "},
        {26, 2, "1a          17 Name_Exports_V3.1 "},
        {0xFFFFFFFFu, 1, "ffffffff    17 Name_Exports_V0.5 "},
    };
    for (const auto& c : cases) {
        const std::string bytes = bytesWritten([&](FsSecCl& s) {
            stNeWriteHeader(s, c.version);
            stNeWriteCount(s, c.count);
        });
        EXPECT_EQ(bytes, c.bytes);
        FsSecClMem s;
        s << c.bytes;
        uint32_t count = 0;
        EXPECT_EQ(stNeReadHeader(s, count), c.version);
        EXPECT_EQ(count, c.count);
    }
    // A kind-13 entry is its head alone.
    StNeEntry e;
    e.kind = NE_NOT_EXPORTED;
    e.name = "f";
    EXPECT_EQ(bytesWritten([&](FsSecCl& s) { e.write(s, 2); }), "13 1 f ");
}

TEST(NameMengeler, ElementaryKeywords)
{
    const struct {
        uint32_t code;
        const char* name;
    } cases[] = {{0, "VOID"}, {7, "INT"}, {16, "@SYSADR"}, {21, "DT"}, {23, "_TASKTYPE"}};
    for (const auto& c : cases) {
        EXPECT_STREQ(stNeElemTypeName(c.code), c.name);
        EXPECT_EQ(StNameMengeler::elemTypeCodeOfName(String(c.name)), int32_t(c.code));
    }
    EXPECT_STREQ(stNeElemTypeName(24), "@???");
    EXPECT_EQ(StNameMengeler::elemTypeCodeOfName(String("STRING")), -1);

    // Written into the stream of the running import.
    StSyTypeTable types;
    FsSecClMem s;
    s << "0           17 Name_Exports_V3.1 ";
    StNameMengeler m;
    m.setTypeTable(&types);
    uint32_t count = 0;
    ASSERT_TRUE(m.beginImport(nullptr, &s, count));
    s.seek(0, 2);
    EXPECT_TRUE(m.writeElemTypeName(15));
    EXPECT_FALSE(m.writeElemTypeName(40));
    m.endImport();
    EXPECT_FALSE(m.writeElemTypeName(1));
    std::string all(s.getSize(), '\0');
    s.reset();
    s.readBytes(&all[0], uint32_t(all.size()));
    EXPECT_EQ(all.substr(33), "5 LREAL 4 @??? ");
}

namespace {

// The values the generator gives: DINT, LREAL, STRING and structures.
bool isDefaultRecord(const StNeValue& v)
{
    switch (v.kind) {
    case 0: return v.type == 15 ? v.real8 == 0 : v.type == 14 ? v.real4 == 0 : v.words[0] == 0;
    case 1:
        for (const StNeValue& m : v.members)
            if (!isDefaultRecord(m)) return false;
        return true;
    case 2: return v.text.length() == 0;
    default: return false;
    }
}

// What flag bits 0-2 and the address bases make of an exported record.
void applyFlags(StNeEntry& e, uint32_t flags, int32_t base1, int32_t base2)
{
    auto init = [&](StNeInit& i) {
        if ((flags & 2) || ((flags & 4) && i.present && isDefaultRecord(i.value))) i.present = false;
    };
    init(e.init);
    for (StNeEntry::Member& m : e.members) init(m.init);
    for (StNeEntry& m : e.listA) applyFlags(m, flags, base1, base2);
    for (StNeEntry& m : e.listB) applyFlags(m, flags, base1, base2);
    if (e.kind == NE_GLOBAL) e.address -= base2 + (e.flag ? 0 : base1);
    if (e.kind == NE_INTERFACE && (flags & 1) && !e.flag) e.address -= base1;
}

}  // namespace

TEST(NameMengeler, ExportsOfRandomTablesComeBackThroughTheHooks)
{
    StSyTypeTable types;
    for (unsigned seed = 1; seed <= 80; ++seed) {
        StSymbTable table;
        StSymbEntryIDList ids;
        std::vector<StNeEntry> records;
        netest::ExportTableGen(seed).fill(table, ids, records);
        const uint32_t flags = seed % 8;
        const int32_t base1 = int32_t(seed % 5) * 100, base2 = int32_t(seed % 3) * 10;
        std::vector<std::string> expected;
        for (StNeEntry& e : records) {
            applyFlags(e, flags, base1, base2);
            expectLines(e, expected);
        }

        FsSecClMem s;
        netest::Exporter x;
        x.setFlags(flags);
        x.setAddressBases(base1, base2);
        ASSERT_TRUE(x.beginExport(&table, &s, ST_INVALID_SID, false));
        if (seed % 2) {
            ASSERT_TRUE(x.exportList(ids)) << seed;
        } else {
            ASSERT_TRUE(x.exportVector(StSymbEntryIDVect(ids.begin(), ids.end()))) << seed;
        }
        x.endExport();
        EXPECT_FALSE(x.isExporting());
        s.reset();

        Recorder r;
        r.setTypeTable(&types);
        uint32_t count = 0;
        ASSERT_TRUE(r.beginImport(nullptr, &s, count));
        ASSERT_EQ(count, ids.size());
        EXPECT_TRUE(r.importCounted(count)) << seed;
        r.endImport();
        EXPECT_EQ(r.log, expected) << "seed " << seed;
        EXPECT_TRUE(r.errors.empty()) << seed;
        EXPECT_TRUE(s.atEnd()) << seed;
    }
}
