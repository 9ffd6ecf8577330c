// The ACX import of configurations and variable extensions (CMDAcxParser.h).
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "acx/AcxTag.h"
#include "base/fs/FsDsc.h"
#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/stmcspec.h"
#include "bo/bo/BoVarExtIo.h"
#include "co/TraceApi.h"
#include "platform/com.h"
#include "tools/md/tavolin/CMDAcxParser.h"
#include "tools/md/tavolin/MdStatusCodes.h"
#include "tools/md/tavolin/MdStepCause.h"

namespace {

const char kTraceFile[] = "tools/md/tavolin/cmdacximport";
const char kParseConfiguration[] = "CMDAcxParser::parseConfiguration";
const char kParseVarExt[] = "CMDAcxParser::parseVarExt";
const char kParseParam[] = "CMDAcxParser::parseParam";
const char kParseValues[] = "CMDAcxParser::parseValues";
const char kMakeAttribs[] = "CMDAcxParser::makeAttribs";
constexpr uint32_t kTraceError = 4;
constexpr uint32_t kAllConfigs = 0xFFFFFFFFu;
constexpr int32_t kNoAddress = 0x7FFFFFFF;

enum : uint32_t {
    kTagBlock = 2144,       // header-and-data block, child of the root
    kTagConfigs = 2107,     // configuration block
    kTagCfgCheck = 2131,    // a number, not used
    kTagCfgDefault = 2132,  // the default configuration
    kTagParam = 1037,       // one variable
    kTagDefaults = 65,      // default tags of every variable
    kTagNumber = 136,       // the parameter number
    kTagFlags = 2138,       // bit 0: "r" name; bit 27: skip; the first attribute word
    kTagMask = 2137,        // configuration mask
    kTagCheck137 = 137,     // a number, not used
    kTagArraySize = 132,
    kTagAttributes = 2139,  // attribute word; bit 22: one default per element
    kTagThird = 2140,
    kTagSixteen = 2141,
    kTagDisplay = 134,
    kTagAccess = 2127,      // drive access level
    kTagDimension = 2113,   // dynamic array: its size parameter's number
    kTagUnit = 131,
    kTagValues = 2116,
    kTagValueBlock = 2143,
    kTagBlockMask = 2115,
    kTagRange = 2117,       // 138 minimum, 140 default, 139 maximum
    kTagEnum = 2118,        // 69 numbers and 140 values
    kTagMore = 156,         // 140 values
    kTagMin = 138,
    kTagDef = 140,
    kTagMax = 139,
    kTagEnumNumber = 69,
};

constexpr uint32_t kFlagRName = 1u << 0;
constexpr uint32_t kFlagSkip = 1u << 27;
constexpr uint32_t kBitPerElement = 1u << 22;
constexpr uint32_t kAccessShift = 11;
constexpr uint32_t kAccessBits = 7u << kAccessShift;

CAcxCompoundTag* asCompound(CAcxTagBase* tag)
{
    return dynamic_cast<CAcxCompoundTag*>(tag);
}

const CAcxDataTag* asNumber(CAcxTagBase* tag)
{
    const auto* d = dynamic_cast<const CAcxDataTag*>(tag);
    return d && d->getPayloadSize() != 0 ? d : nullptr;
}

// An integer tag's value cut to 32 bits; false for any other tag.
bool wordOf(CAcxTagBase* tag, uint32_t& value)
{
    const CAcxDataTag* d = asNumber(tag);
    if (!d || d->getValueKind() == AcxKindReal32 || d->getValueKind() == AcxKindReal64) return false;
    value = uint32_t(d->getInteger());
    return true;
}

bool isLeaf(CAcxTagBase* tag)
{
    return tag->getType() != AcxTypeCompound;
}

// The children of a compound in file order, read without its cursor.
std::vector<CAcxTagBase*> childrenOf(CAcxCompoundTag& c)
{
    std::vector<CAcxTagBase*> out;
    out.reserve(c.childCount());
    CAcxTagBase* t = nullptr;
    for (bool more = c.getFirst(t); more; more = c.getNext(t)) out.push_back(t);
    return out;
}

// Width in bytes and class of an elementary type's value; 0 for a type
// without one.
uint32_t widthOf(uint32_t type, bool& real)
{
    real = type == ST_REAL || type == ST_LREAL;
    switch (type) {
    case ST_BOOL: case ST_BYTE: case ST_USINT: case ST_SINT: return 1;
    case ST_WORD: case ST_UINT: case ST_INT: return 2;
    case ST_DWORD: case ST_UDINT: case ST_DINT: case ST_REAL: return 4;
    case ST_LWORD: case ST_LINT: case ST_ULINT: case ST_LREAL: return 8;
    default: return 0;
    }
}

bool isSignedType(uint32_t type)
{
    return type == ST_SINT || type == ST_INT || type == ST_DINT || type == ST_LINT;
}

bool isUnsigned32(uint32_t type)
{
    return type == ST_DWORD || type == ST_UDINT;
}

}  // namespace

struct CMDAcxParser::Param {
    String name;
    int32_t adr = kNoAddress;
    StTypeID tid = ST_INVALID_TID;
    bool isArray = false;
    int64_t elements = 1;  // element count of an array type with readable bounds
    bool bounds = false;
    uint32_t mask = kAllConfigs;
    uint32_t arraySize = 1;
    uint32_t first = 0, attributes = 0, third = 0, sixteen = 0, display = 0, access = 0;
    int32_t unit = 0;
    // The leaf tags of the variable's 2116 compounds, by compound id.
    std::map<uint32_t, std::vector<CAcxTagBase*>> values;
};

struct CMDAcxParser::Block {
    uint32_t mask = kAllConfigs;
    int32_t unit = 0;
    uint32_t display = 0, access = 0;
    bool own = true;      // the variable's own values (else a 2143 block)
    bool attribs = true;  // make attribute records
    // The tags of its 2117, 2118 and 156 compounds in order, by compound id.
    std::map<uint32_t, std::vector<CAcxTagBase*>> values;
};

// ---------------------------------------------------------------------------
// Tables and small rules
// ---------------------------------------------------------------------------

int32_t CMDAcxParser::mapAcxTypeCode(uint32_t code)
{
    static const struct {
        uint16_t code, id;
    } kCodes[] = {
        {2, 4},     {145, 4},   {3, 59},    {26, 59},   {5, 64},    {150, 64},  {6, 53},    {8, 138},
        {11, 141},  {13, 15},   {18, 22},   {19, 31},   {20, 213},  {21, 121},  {136, 121}, {22, 129},
        {23, 106},  {81, 106},  {138, 106}, {24, 111},  {83, 111},  {141, 111}, {25, 93},   {29, 65},
        {151, 65},  {30, 62},   {31, 116},  {32, 209},  {33, 88},   {34, 134},  {35, 217},  {36, 219},
        {39, 20},   {40, 19},   {42, 44},   {43, 114},  {84, 114},  {143, 114}, {44, 204},  {45, 206},
        {47, 215},  {54, 6},    {59, 236},  {146, 236}, {61, 242},  {62, 240},  {63, 238},  {65, 75},
        {66, 29},   {80, 108},  {82, 108},  {139, 108}, {115, 43},  {122, 200}, {123, 117}, {127, 208},
        {128, 92},  {129, 17},  {130, 130}, {131, 112}, {142, 112}, {144, 112}, {132, 199}, {133, 3},
        {135, 40},  {137, 231}, {140, 109}, {147, 36},
    };
    if (code >= 157) return 0;
    for (const auto& c : kCodes)
        if (c.code == code) return c.id;
    return 0;
}

int32_t CMDAcxParser::mapDisplayType(uint32_t displayType)
{
    static const int32_t kCodes[] = {0, 12, 10, 11, 15, 14};
    return displayType < 6 ? kCodes[displayType] : -1;
}

uint16_t CMDAcxParser::changeStampOf(uint32_t low, uint32_t high)
{
    return uint16_t((low >> 16) + high + (high >> 16) + low);
}

VarExt* CMDAcxParser::makeAttribs(uint32_t first, uint32_t attributes, uint32_t third, uint32_t sixteen,
                                  uint32_t displayType, uint32_t accessLevel)
{
    if (accessLevel > 7) {
        TV_TRACE(kTraceError, kTraceFile, kMakeAttribs, "invalid drive access level");
        message(kAcxMsgAccessLevel);
        return nullptr;
    }
    const int32_t display = mapDisplayType(displayType);
    if (display < 0) {
        TV_TRACE(kTraceError, kTraceFile, kMakeAttribs, "invalid display type");
        return nullptr;
    }
    return new VarExt{first, (attributes & ~kAccessBits) | (accessLevel << kAccessShift), third,
                      uint16_t(sixteen), uint8_t(display)};
}

// ---------------------------------------------------------------------------
// Configurations
// ---------------------------------------------------------------------------

uint32_t CMDAcxParser::parseConfiguration(CAcxCompoundTag* root, FsSecCl* cfghead)
{
    if (!root || !cfghead) {
        message(kAcxMsgInternal);
        return kAcxFailed;
    }
    const uint32_t loaded = loadCfg(*cfghead);
    if (loaded != 0) {
        message(kAcxMsgInternal);
        return loaded;
    }
    auto typeMismatch = [&] {
        TV_TRACE(kTraceError, kTraceFile, kParseConfiguration, "ACX: type-mismatch");
        message(kAcxMsgInternal);
        return kAcxFailed;
    };
    for (CAcxTagBase* top : childrenOf(*root)) {
        if (top->getId() != kTagBlock) continue;
        CAcxCompoundTag* block = asCompound(top);
        if (!block) return typeMismatch();
        for (CAcxTagBase* item : childrenOf(*block)) {
            if (item->getId() != kTagConfigs) continue;
            CAcxCompoundTag* configs = asCompound(item);
            if (!configs) return typeMismatch();
            for (CAcxTagBase* tag : childrenOf(*configs)) {
                uint32_t value = 0;
                if (tag->getId() != kTagCfgCheck && tag->getId() != kTagCfgDefault) continue;
                if (!wordOf(tag, value)) return typeMismatch();
                if (tag->getId() == kTagCfgDefault) setDefaultConfiguration(value);
            }
        }
    }
    return saveCfg(*cfghead);
}

// ---------------------------------------------------------------------------
// Variable extensions: sections
// ---------------------------------------------------------------------------

uint32_t CMDAcxParser::loadSymbols(FsDsc& dsc)
{
    // The class provider leaves the table in "symb"; "sym" is the older name.
    const char* name = "symb";
    FsSecCl* sec = dsc.openSect(name, 0);
    if (!sec) {
        name = "sym";
        sec = dsc.openSect(name, 0);
    }
    if (!sec) {
        TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "openSys failed");
        mdNoteStepCause(MdCauseNoSysTable);
        return kAcxNoSection;
    }
    auto* table = new SyStSymbTable;
    setSymbTable(table);
    const bool loaded = table->load(*sec);
    FILETIME now{};
    CoFileTimeNow(&now);
    table->setChangeStamp(changeStampOf(now.dwLowDateTime, now.dwHighDateTime));
    table->setIdPair(0xFFFFFFFFu);
    uint32_t status = kAcxOk;
    if (!loaded || table->getStatus() != 0) {
        TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "bad stab status");
        mdNoteStepCause(sec->getSize() == 0 ? MdCauseNoSysTable : MdCauseBadSysTable);
        status = kAcxLoadFailed;
    }
    dsc.CloseSect(name);
    return status;
}

uint32_t CMDAcxParser::loadSections(FsDsc& dsc)
{
    uint32_t status = loadSymbols(dsc);
    if (status == kAcxOk) {
        // A table of its own replaces the one the base made.
        delete m_pConstTable;
        m_pConstTable = new CBOFrameConstValTable;
        if (FsSecCl* sec = dsc.openSect("const", 0)) {
            if (!m_pConstTable->read(*sec)) {
                TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "read const failed");
                status = kAcxLoadFailed;
            }
            dsc.CloseSect("const");
        } else {
            TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "openConst failed");
            status = kAcxNoSection;
        }
    }
    const struct {
        const char* name;
        uint32_t (CMDAcxParser::*load)(FsSecCl&);
        const char* loadFailed;
        const char* openFailed;
    } steps[] = {
        {"varval", &CMDAcxParser::loadValues, "loadSysVar failed", "openVarVal failed"},
        {"varcont", &CMDAcxParser::loadDynArrays, "loadDynArray failed", "openVarCont failed"},
        {"bitfield", &CMDAcxParser::loadBits, "loadBitField failed", "openBitField failed"},
        {"varext", &CMDAcxParser::loadAttribs, "loadAttribs failed", "openVarExt failed"},
    };
    for (const auto& s : steps) {
        if (status != kAcxOk) break;
        FsSecCl* sec = dsc.openSect(s.name, 0);
        if (!sec) {
            TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "%s", s.openFailed);
            status = kAcxNoSection;
            continue;
        }
        status = (this->*s.load)(*sec);
        if (status != kAcxOk) TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "%s", s.loadFailed);
        dsc.CloseSect(s.name);
    }
    return status;
}

uint32_t CMDAcxParser::saveSections(FsDsc& dsc)
{
    const struct {
        const char* name;
        uint32_t (CMDAcxParser::*save)(FsSecCl&);
        const char* saveFailed;
        const char* openFailed;
    } steps[] = {
        {"const", nullptr, "write const failed", "openConst failed"},
        {"varval", &CMDAcxParser::saveValues, "saveSysVar failed", "openVarVal failed"},
        {"varcont", &CMDAcxParser::saveDynArrays, "saveDynArray failed", "openVarCont failed"},
        {"varext", &CMDAcxParser::saveAttribs, "saveAttribs failed", "openVarExt failed"},
    };
    // Every section's new text is made in memory first: a table that cannot
    // be written leaves all four sections as they were.
    std::vector<std::string> texts;
    for (const auto& s : steps) {
        FsSecClMem mem;
        mem.setBinary(false);
        uint32_t status = kAcxOk;
        if (s.save)
            status = (this->*s.save)(mem);
        else if (!m_pConstTable->write(mem))
            status = BO_SAVE_FAILED;
        if (status == kAcxOk && mem.getError() != 0) status = BO_SAVE_FAILED;
        if (status != kAcxOk) {
            TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "%s", s.saveFailed);
            return status;
        }
        std::string bytes(mem.getSize(), '\0');
        mem.seek(0, 0);
        if (!bytes.empty()) mem.readBytes(&bytes[0], uint32_t(bytes.size()));
        texts.push_back(std::move(bytes));
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        FsSecCl* sec = dsc.openSect(steps[i].name, FS_MODE_WRITE);
        if (!sec) {
            TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "%s", steps[i].openFailed);
            return kAcxNoSection;
        }
        bool ok = sec->setSize(0) == 0;
        if (ok && !texts[i].empty()) sec->writeBytes(texts[i].data(), uint32_t(texts[i].size()));
        ok = ok && !sec->hasError();
        ok = dsc.CloseSect(steps[i].name) == 0 && ok;
        if (!ok) {
            TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "%s", steps[i].saveFailed);
            return BO_SAVE_FAILED;
        }
    }
    return kAcxOk;
}

uint32_t CMDAcxParser::parseVarExt(CAcxCompoundTag* root, FsDsc* descriptor)
{
    if (!root || !descriptor) {
        message(kAcxMsgInternal);
        return kAcxFailed;
    }
    const uint32_t status = loadSections(*descriptor);
    if (status != kAcxOk) {
        TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "load error");
        message(kAcxMsgInternal);
        return status;
    }
    cleanValues();
    cleanDynArrays();
    cleanAttribs();
    const uint32_t walked = walk(*root);
    if (walked != kAcxOk) return walked;
    return saveSections(*descriptor);
}

// ---------------------------------------------------------------------------
// Variable extensions: the walk over the variables
// ---------------------------------------------------------------------------

uint32_t CMDAcxParser::walk(CAcxCompoundTag& root)
{
    auto fail = [&](const char* why) {
        TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "%s", why);
        message(kAcxMsgInternal);
        return kAcxFailed;
    };
    std::map<uint32_t, CAcxTagBase*> defaults;
    uint32_t defaultFlags = 0;
    for (CAcxTagBase* top : childrenOf(root)) {
        if (top->getId() != kTagBlock) continue;
        CAcxCompoundTag* block = asCompound(top);
        if (!block) return fail("ACX: type-mismatch");
        for (CAcxTagBase* item : childrenOf(*block)) {
            if (item->getId() == kTagDefaults) {
                CAcxCompoundTag* list = asCompound(item);
                if (!list) return fail("ACX: type-mismatch");
                for (CAcxTagBase* d : childrenOf(*list)) {
                    if (!isLeaf(d)) return fail("ACX: unexpected tag");
                    if (!defaults.emplace(d->getId(), d).second) return fail("ACX: insert tag failed");
                    uint32_t flags = 0;
                    if (d->getId() == kTagFlags) {
                        if (!wordOf(d, flags)) return fail("ACX: type-mismatch");
                        defaultFlags = flags & (kFlagRName | kFlagSkip);
                    }
                }
                continue;
            }
            if (item->getId() != kTagParam) continue;
            CAcxCompoundTag* param = asCompound(item);
            if (!param) return fail("ACX: type-mismatch");
            std::string name = "p";
            uint32_t flags = defaultFlags;
            // A view of the variable's tags and the defaults it lacks; the
            // tags stay in (and belong to) the file's tree.
            CAcxCompoundTag view;
            view.setOwnsChildren(false);
            std::map<uint32_t, CAcxTagBase*> missing = defaults;
            for (CAcxTagBase* t : childrenOf(*param)) {
                uint32_t value = 0;
                if (t->getId() == kTagNumber) {
                    if (!wordOf(t, value)) return fail("ACX: type-mismatch");
                    name += std::to_string(uint16_t(value));
                } else if (t->getId() == kTagFlags) {
                    if (!wordOf(t, value)) return fail("ACX: type-mismatch");
                    flags = value & (kFlagRName | kFlagSkip);
                }
                if (isLeaf(t)) missing.erase(t->getId());
                if (!view.addChild(t)) return fail("ACX: addTailElem failed");
            }
            for (const auto& d : missing) view.insertFirst(d.second);
            if (flags & kFlagRName) name[0] = 'r';
            if (flags & kFlagSkip) continue;
            const uint32_t result = parseParam(String(name.c_str()), &view);
            if (result != kAcxOk) {
                TV_TRACE(kTraceError, kTraceFile, kParseVarExt, "parseParam failed");
                return result;
            }
        }
    }
    return kAcxOk;
}

// ---------------------------------------------------------------------------
// One variable
// ---------------------------------------------------------------------------

uint32_t CMDAcxParser::parseParam(const String& name, CAcxCompoundTag* view)
{
    if (!m_pSymTab || !view) {
        message(kAcxMsgInternal);
        return kAcxFailed;
    }
    auto fail = [&](const char* why, uint32_t id = kAcxMsgInternal, const char* a = nullptr,
                    const char* b = nullptr) {
        TV_TRACE(kTraceError, kTraceFile, kParseParam, "%s", why);
        message(id, a, b);
        return kAcxFailed;
    };
    Param p;
    p.name = name;
    const StSymbEntryID sid = m_pSymTab->getSIDByName(name);
    StSyBaseSymbEntry* entry = sid.isValid() ? m_pSymTab->findEntry(sid) : nullptr;
    if (entry) {
        p.adr = entry->getStorageAddress();
        p.tid = m_pSymTab->getTypeID(sid);
    }
    if (!entry || p.adr == kNoAddress) return fail("symbol not exist", kAcxMsgNoSymbol, name.c_str());
    p.isArray = m_pSymTab->isArrayType(p.tid);
    int32_t lower = 0, upper = 0;
    p.bounds = p.isArray && m_pSymTab->getArrayBounds(p.tid, lower, upper);
    if (p.bounds) p.elements = int64_t(upper) - lower + 1;
    if (p.isArray) p.arraySize = p.bounds ? uint32_t(p.elements) : 0;

    for (CAcxTagBase* t : childrenOf(*view)) {
        const uint32_t id = t->getId();
        uint32_t value = 0;
        switch (id) {
        case kTagMask: case kTagCheck137: case kTagArraySize: case kTagFlags: case kTagAttributes:
        case kTagThird: case kTagSixteen: case kTagDisplay: case kTagAccess: case kTagDimension: case kTagUnit:
            if (!wordOf(t, value)) return fail("ACX: type-mismatch");
            break;
        case kTagValues: case kTagValueBlock:
            if (!asCompound(t)) return fail("ACX: type-mismatch");
            break;
        default:
            continue;
        }
        switch (id) {
        case kTagMask: p.mask = value == 0 ? kAllConfigs : value; break;
        case kTagArraySize:
            if (!p.bounds || int64_t(uint16_t(value)) != p.elements)
                return fail("Arraysize mismatch", kAcxMsgArraySize, name.c_str());
            p.arraySize = uint16_t(value);
            break;
        case kTagFlags: p.first = value; break;
        case kTagAttributes: p.attributes = value; break;
        case kTagThird: p.third = value; break;
        case kTagSixteen: p.sixteen = value; break;
        case kTagDisplay: p.display = uint16_t(value); break;
        case kTagAccess: p.access = uint16_t(value); break;
        case kTagUnit: p.unit = mapAcxTypeCode(uint16_t(value)); break;
        case kTagDimension: {
            const uint32_t r = parseDimension(p, uint16_t(value));
            if (r != kAcxOk) return r;
            break;
        }
        case kTagValues:
            p.values.clear();
            for (CAcxTagBase* c : childrenOf(*asCompound(t))) {
                if (isLeaf(c)) continue;
                if (c->getId() != kTagRange && c->getId() != kTagEnum && c->getId() != kTagMore)
                    return fail("ACX: unexpected tag");
                std::vector<CAcxTagBase*>& tags = p.values[c->getId()];
                for (CAcxTagBase* v : childrenOf(*asCompound(c))) {
                    if (!isLeaf(v)) return fail("ACX: unexpected tag");
                    tags.push_back(v);
                }
            }
            break;
        case kTagValueBlock: {
            const uint32_t r = parseBlock(p, *asCompound(t));
            if (r != kAcxOk) {
                TV_TRACE(kTraceError, kTraceFile, kParseParam, "parseValues failed");
                return r;
            }
            break;
        }
        default: break;
        }
    }
    Block own;
    own.mask = p.mask;
    own.unit = p.unit;
    own.display = p.display;
    own.access = p.access;
    own.values = p.values;
    const uint32_t r = parseValues(p, own);
    if (r != kAcxOk) TV_TRACE(kTraceError, kTraceFile, kParseParam, "parseValues failed");
    return r;
}

uint32_t CMDAcxParser::parseDimension(Param& p, uint32_t number)
{
    auto fail = [&](const char* why, uint32_t id, const char* a = nullptr, const char* b = nullptr) {
        TV_TRACE(kTraceError, kTraceFile, kParseParam, "%s", why);
        message(id, a, b);
        return kAcxFailed;
    };
    const std::string dimName = "p" + std::to_string(number);
    const StSymbEntryID sid = m_pSymTab->getSIDByName(String(dimName.c_str()));
    StSyBaseSymbEntry* entry = sid.isValid() ? m_pSymTab->findEntry(sid) : nullptr;
    if (!entry || entry->getStorageAddress() == kNoAddress)
        return fail("symbol not exist", kAcxMsgNoDimension, dimName.c_str(), p.name.c_str());
    const uint32_t dimAdr = uint32_t(entry->getStorageAddress());
    StStdConstantVal* minC = getMinVal(dimAdr, p.mask);
    StStdConstantVal* maxC = getMaxVal(dimAdr, p.mask);
    if (!p.bounds) return fail("arraysize mismatch", kAcxMsgArraySize, p.name.c_str());
    bool err = minC == nullptr;
    const int32_t min = minC ? minC->GetLongVal(err) : 0;
    if (err || min < 1) return fail("min-val is to short", kAcxMsgArraySize, p.name.c_str());
    err = maxC == nullptr;
    const int32_t max = maxC ? maxC->GetLongVal(err) : 0;
    // A maximum below the minimum (so below 1) would size the array by a
    // wrapped count: refused as a maximum out of bounds.
    if (err || max > p.elements || max < min) return fail("max-val is to big", kAcxMsgArraySize, p.name.c_str());
    p.arraySize = uint32_t(max);
    // Keyed by the size parameter, naming the array it sizes.
    if (!addDynArraySizes(VarExtKey(int32_t(dimAdr), p.mask), {p.adr}))
        return fail("addDynArrayEntry failed", kAcxMsgInternal);
    return kAcxOk;
}

uint32_t CMDAcxParser::parseBlock(Param& p, CAcxCompoundTag& tag)
{
    auto fail = [&](const char* why) {
        TV_TRACE(kTraceError, kTraceFile, kParseParam, "%s", why);
        message(kAcxMsgInternal);
        return kAcxFailed;
    };
    Block b;
    b.own = false;
    b.mask = p.mask;
    b.unit = p.unit;
    b.display = p.display;
    b.access = p.access;
    std::map<uint32_t, std::vector<CAcxTagBase*>> named;
    for (CAcxTagBase* t : childrenOf(tag)) {
        uint32_t value = 0;
        switch (t->getId()) {
        case kTagUnit: case kTagAccess: case kTagDisplay: case kTagBlockMask:
            if (!wordOf(t, value)) return fail("ACX: type-mismatch");
            if (t->getId() == kTagUnit) b.unit = mapAcxTypeCode(uint16_t(value));
            if (t->getId() == kTagAccess) b.access = uint16_t(value);
            if (t->getId() == kTagDisplay) b.display = uint16_t(value);
            if (t->getId() == kTagBlockMask) b.mask = value == 0 ? kAllConfigs : value;
            break;
        case kTagValues: {
            CAcxCompoundTag* values = asCompound(t);
            if (!values) return fail("ACX: type-mismatch");
            for (CAcxTagBase* c : childrenOf(*values)) {
                if (isLeaf(c)) continue;
                if (!p.values.count(c->getId())) return fail("ACX: unexpected tag");
                std::vector<CAcxTagBase*>& tags = named[c->getId()];
                for (CAcxTagBase* v : childrenOf(*asCompound(c))) {
                    if (!isLeaf(v)) return fail("ACX: unexpected tag");
                    tags.push_back(v);
                }
            }
            break;
        }
        default: break;
        }
    }
    // Every compound of the variable: the block's tags completed by the
    // variable's tags of the ids the block lacks (140 behind, others in
    // front); a compound the block does not name is taken whole.
    for (const auto& c : p.values) {
        auto own = named.find(c.first);
        if (own == named.end()) {
            b.values[c.first] = c.second;
            continue;
        }
        std::vector<CAcxTagBase*> front, back;
        for (CAcxTagBase* v : c.second) {
            const bool blockHasIt = std::any_of(own->second.begin(), own->second.end(),
                                                [&](CAcxTagBase* t) { return t->getId() == v->getId(); });
            if (blockHasIt) continue;
            (v->getId() == kTagDef ? back : front).push_back(v);
        }
        std::vector<CAcxTagBase*>& out = b.values[c.first];
        out = front;
        out.insert(out.end(), own->second.begin(), own->second.end());
        out.insert(out.end(), back.begin(), back.end());
    }
    b.attribs = b.access != p.access;
    return parseValues(p, b);
}

// ---------------------------------------------------------------------------
// One value block
// ---------------------------------------------------------------------------

namespace {

// The value of a number tag in the elementary type's terms: read from the
// slot as that type when the tag has its width and class, else decoded by
// the tag's own kind. isReal tells which of the two results holds it.
struct TagValue {
    int64_t integer = 0;
    double real = 0;
    bool isReal = false;
};

// A tag of the type's width and class is read as the type: an i8 -1 for a
// BYTE is 255, as the slot holds it. A tag of another width or kind is
// decoded by its own kind instead and the builders check the number against
// the type's range (409). Read with the type's width, such a slot would give
// a number the file does not hold (the bytes past a narrower tag, a part of
// a wider one, a real's bits as an integer) and store it without a word.
void valueOf(const CAcxDataTag& tag, uint32_t type, TagValue& v)
{
    const int32_t kind = tag.getValueKind();
    const bool tagReal = kind == AcxKindReal32 || kind == AcxKindReal64;
    bool typeReal = false;
    const uint32_t width = widthOf(type, typeReal);
    const auto* slot = static_cast<const uint8_t*>(tag.getData());
    if (width != 0 && width == tag.getPayloadSize() && typeReal == tagReal) {
        if (typeReal) {
            v.isReal = true;
            if (width == 4) {
                float f;
                std::memcpy(&f, slot, 4);
                v.real = f;
            } else {
                std::memcpy(&v.real, slot, 8);
            }
            return;
        }
        uint64_t raw = 0;
        std::memcpy(&raw, slot, width);
        if (isSignedType(type) && width < 8 && (raw >> (width * 8 - 1)) & 1) raw |= ~uint64_t(0) << (width * 8);
        v.integer = int64_t(raw);
        return;
    }
    // A u64 above the signed range goes on as a real: it fits no type.
    v.isReal = tagReal || (kind == AcxKindU64 && tag.getInteger() < 0);
    if (tagReal)
        v.real = tag.getReal();
    else if (v.isReal)
        v.real = double(uint64_t(tag.getInteger()));
    else
        v.integer = tag.getInteger();
}

}  // namespace

uint32_t CMDAcxParser::parseValues(const Param& p, const Block& b)
{
    if (!m_pSymTab || p.adr == kNoAddress) {
        message(kAcxMsgInternal);
        return kAcxFailed;
    }
    auto fail = [&](const char* why, uint32_t id = kAcxMsgInternal, const char* a = nullptr) {
        TV_TRACE(kTraceError, kTraceFile, kParseValues, "%s", why);
        message(id, a);
        return kAcxFailed;
    };
    const StTypeID elementTid = p.isArray ? m_pSymTab->getElementType(p.tid) : p.tid;
    uint32_t valueType = ST_DINT;
    const bool isEnum = m_pSymTab->isEnumType(elementTid, &valueType);
    const uint32_t type = isEnum ? valueType : elementTid;
    const bool perElement = (p.attributes & kBitPerElement) != 0;

    // The entries: owned here until the end of the call.
    std::vector<std::unique_ptr<VarValueEntry>> owned;
    VarValueEntryList common;
    std::vector<VarValueEntry*> defaults;
    auto keep = [&](VarValueEntry* e) {
        owned.emplace_back(e);
        return e;
    };
    auto* fix = keep(new VarValueEntry(VarValueEntry::Fix));
    fix->number = b.unit;
    common.push_back(fix);

    // A number of the type as an entry of kind, through the builders' checks.
    auto entryOf = [&](const CAcxDataTag& tag, uint32_t kind, uint32_t repeats) {
        TagValue v;
        valueOf(tag, type, v);
        bool real = false;
        widthOf(type, real);
        if (real || v.isReal) return keep(checkAcxValueRange(v.isReal ? v.real : double(v.integer), type, kind, repeats));
        const bool fits = isUnsigned32(type) ? v.integer >= 0 && v.integer <= int64_t(UINT32_MAX)
                                             : v.integer >= INT32_MIN && v.integer <= INT32_MAX;
        if (!fits) return keep(checkAcxValueRange(double(v.integer), type, kind, repeats));
        return keep(checkValueRange(int32_t(uint32_t(v.integer)), type, kind, repeats));
    };

    auto range = b.values.find(kTagRange);
    if (range != b.values.end()) {
        uint32_t seen[3] = {0, 0, 0};
        for (CAcxTagBase* t : range->second) {
            const uint32_t id = t->getId();
            if (id != kTagMin && id != kTagDef && id != kTagMax) continue;
            const CAcxDataTag* number = asNumber(t);
            if (!number) return fail("ACX: type-mismatch");
            const uint32_t kind = id == kTagMin ? VarValueEntry::Min : id == kTagDef ? VarValueEntry::Def
                                                                                   : VarValueEntry::Max;
            if (kind == VarValueEntry::Def && perElement) {
                defaults.push_back(entryOf(*number, kind, 0));
                continue;
            }
            common.push_back(entryOf(*number, kind, seen[kind]++));
        }
        if (perElement && defaults.size() != p.arraySize)
            return fail("Arraysize mismatch", kAcxMsgArraySize, p.name.c_str());
    }

    auto enums = b.values.find(kTagEnum);
    if (enums != b.values.end()) {
        if (!isEnum) return fail("Enum not expected");
        std::vector<int32_t> numbers;
        for (CAcxTagBase* t : enums->second) {
            if (t->getId() == kTagEnumNumber) {
                const CAcxDataTag* n = asNumber(t);
                if (!n || (n->getValueKind() != AcxKindI16 && n->getValueKind() != AcxKindU16)) {
                    TV_TRACE(kTraceError, kTraceFile, kParseValues, "invalid enum datatype");
                    message(kAcxMsgEnumType);
                    return kAcxBadEnumType;
                }
                numbers.push_back(int32_t(n->getInteger()));
            } else if (t->getId() == kTagDef && !asNumber(t)) {
                return fail("ACX: type-mismatch");
            }
        }
        if (numbers.empty()) return fail("Enum expected");
        StEnumValueMap declared;
        std::vector<int32_t> values;
        if (m_pSymTab->getEnumValues(elementTid, declared))
            for (const auto& d : declared) values.push_back(d.second);
        std::sort(numbers.begin(), numbers.end());
        std::sort(values.begin(), values.end());
        if (numbers != values) return fail("Enumvalue mismatch", kAcxMsgEnumMismatch, p.name.c_str());
    }
    auto more = b.values.find(kTagMore);
    if (more != b.values.end())
        for (CAcxTagBase* t : more->second)
            if (t->getId() == kTagDef && !asNumber(t)) return fail("ACX: type-mismatch");

    return addElements(p, b, common, defaults, isEnum ? elementTid : ST_INVALID_TID);
}

uint32_t CMDAcxParser::addElements(const Param& p, const Block& b, const VarValueEntryList& common,
                                   const std::vector<VarValueEntry*>& defaults, uint32_t enumTid)
{
    auto fail = [&](const char* why) {
        TV_TRACE(kTraceError, kTraceFile, kParseValues, "%s", why);
        message(kAcxMsgInternal);
        return kAcxFailed;
    };
    const StTypeID elementTid = p.isArray ? m_pSymTab->getElementType(p.tid) : p.tid;
    uint32_t valueType = ST_DINT;
    const uint32_t type = m_pSymTab->isEnumType(elementTid, &valueType) ? valueType : elementTid;
    const int32_t start = p.isArray ? p.adr + 1 : p.adr;
    const uint32_t count = p.isArray ? p.arraySize : 1;
    for (uint32_t i = 0; i < count; ++i) {
        VarValueEntryList entries = common;
        if (!defaults.empty()) entries.push_back(defaults[i]);
        const size_t given = entries.size();
        auto dropMade = [&] {
            while (entries.size() > given) {
                delete entries.back();
                entries.pop_back();
            }
        };
        if (enumTid != ST_INVALID_TID && !makeEnumEntry(entries, enumTid)) {
            dropMade();
            return fail("makeEnumEntry  failed");
        }
        const int32_t adr = int32_t(uint32_t(start) + i);
        std::vector<uint32_t> masks{b.mask};
        if (b.own && b.mask != kAllConfigs) masks.push_back(~b.mask);
        for (uint32_t mask : masks) {
            VarTypeValue* value = createTypeValue(entries, type);
            if (!value || !addTypeValue(VarExtKey(adr, mask), value)) {
                delete value;
                dropMade();
                return fail("addTypeValue failed");
            }
        }
        dropMade();
    }
    if (!b.attribs) return kAcxOk;
    for (uint32_t i = 0; i < count; ++i) {
        VarExt* attrib = makeAttribs(p.first, p.attributes, p.third, p.sixteen, b.display, b.access);
        if (!attrib) return fail("makeAttribs failed");
        if (!addAttrib(VarExtKey(int32_t(uint32_t(start) + i), b.mask), attrib)) {
            delete attrib;
            return fail("addVarExt failed");
        }
    }
    return kAcxOk;
}
