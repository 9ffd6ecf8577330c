// Elementary type table and the McConvert conversions.
#include "base/st/stsymtab/stmcspec.h"

#include "co/TraceApi.h"

namespace {

const char* const kTraceFile = "base/st/stsymtab/stmcspec";

struct ElemInfo {
    const char* name;
    uint8_t modeOfSpec;  // machine mode from a spec word
    uint8_t modeOfId;    // machine mode from a plain id
    uint32_t size;       // size and alignment, from the limit records
    uint32_t alignment;
};

template <typename T>
constexpr ElemInfo info(const char* name, uint8_t ofSpec, uint8_t ofId, const McNumLimit<T>& lim)
{
    return {name, ofSpec, ofId, lim.size, lim.alignment};
}

constexpr ElemInfo kNone = {nullptr, MC_OTHER, MC_OTHER, 0, 0};

const ElemInfo kElem[] = {
    {"VOID", MC_OTHER, MC_OTHER, 0, 0},
    info("BOOL", MC_USINT, MC_USINT, MC_LIMIT_U8),
    info("BYTE", MC_USINT, MC_USINT, MC_LIMIT_U8),
    info("WORD", MC_UINT, MC_UINT, MC_LIMIT_U16),
    info("DWORD", MC_UDINT, MC_UDINT, MC_LIMIT_U32),
    info("LWORD", MC_ULINT, MC_ULINT, MC_LIMIT_U64),
    info("SINT", MC_SINT, MC_SINT, MC_LIMIT_S8),
    info("INT", MC_INT, MC_INT, MC_LIMIT_S16),
    info("DINT", MC_DINT, MC_DINT, MC_LIMIT_S32),
    info("LINT", MC_LINT, MC_LINT, MC_LIMIT_S64),
    info("USINT", MC_USINT, MC_USINT, MC_LIMIT_U8),
    info("UINT", MC_UINT, MC_UINT, MC_LIMIT_U16),
    info("UDINT", MC_UDINT, MC_UDINT, MC_LIMIT_U32),
    info("ULINT", MC_ULINT, MC_ULINT, MC_LIMIT_U64),
    info("REAL", MC_REAL, MC_REAL, MC_LIMIT_F32),
    info("LREAL", MC_LREAL, MC_LREAL, MC_LIMIT_F64),
    info("ANYOBJECT", MC_OBJECT, MC_ULINT, MC_LIMIT_U64),
    info("@MEMADR", MC_MEMADR, MC_DINT, MC_LIMIT_ADDR),
    info("TIME", MC_UDINT, MC_UDINT, MC_LIMIT_U32),
    info("DATE", MC_UDINT, MC_UDINT, MC_LIMIT_U32),
    info("TOD", MC_UDINT, MC_UDINT, MC_LIMIT_U32),
    info("DT", MC_OBJECT, MC_ULINT, MC_LIMIT_U64),
    info("StructAlarmId", MC_DINT, MC_DINT, MC_LIMIT_S32),
    info("StructTaskId", MC_UDINT, MC_UDINT, MC_LIMIT_U32),
    kNone, kNone, kNone, kNone, kNone, kNone,
    {"ANYTYPE", MC_OTHER, MC_OTHER, 0, 0},
    {"ANYINT", MC_OTHER, MC_OTHER, 0, 0},
    {"ANYREAL", MC_OTHER, MC_OTHER, 0, 0},
    {"POS_SINT", MC_OTHER, MC_OTHER, 0, 0},
    {"POS_INT", MC_OTHER, MC_OTHER, 0, 0},
    {"POS_DINT", MC_OTHER, MC_OTHER, 0, 0},
};
constexpr uint32_t kElemCount = sizeof(kElem) / sizeof(kElem[0]);
static_assert(kElemCount == 36, "ids 0-35");

// Ids with storage and a machine mode.
inline bool hasStorage(uint32_t id) { return id >= 1 && id <= 23; }

}  // namespace

const char* stTypeIdName(uint32_t id)
{
    return id < kElemCount ? kElem[id].name : nullptr;
}

const char* stTypeSpecName(ESTypeSpec w)
{
    if (esIsElementary(w)) {
        const char* n = stTypeIdName(w & ES_CODE_MASK);
        return n ? n : "??StdType??";
    }
    if (esIsSpecial(w)) {
        switch (w & ES_CODE_MASK) {
        case ST_SPEC_STRING: return "STRING";
        case ST_SPEC_ANYSTRUCT: return "_ANYSTRUCT";
        default: return "??StSType??";
        }
    }
    return "??Type??";
}

void McMachValue::toBytes(uint8_t out[SIZE]) const
{
    const uint32_t words[4] = {mode, address, extra, reserved};
    for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 4; ++b) out[w * 4 + b] = uint8_t(words[w] >> (8 * b));
    for (int b = 0; b < 8; ++b) out[16 + b] = uint8_t(value >> (8 * b));
}

namespace McConvert {

ESTypeSpec mapTypeSpec(uint32_t code)
{
    if (code <= 30) return ES_ELEMENTARY | code;
    if (code >= 100 && code <= 110) return ES_SPECIAL | (code - 70);
    TV_TRACE(4, kTraceFile, "McConvert::mapTypeSpec", "ESTypeSpec mismatch");
    return 0;
}

uint32_t getSTTypeCode(ESTypeSpec w)
{
    if (esIsSpecial(w) && esSpecCode(w) != ST_SPEC_ANYSTRUCT) return esSpecCode(w) + 70;
    if (esIsElementary(w)) return esElemCode(w);
    return 30;
}

McMachMode getMachMode(ESTypeSpec w)
{
    const uint32_t id = esElemCode(w);
    if (esIsElementary(w) && hasStorage(id)) return McMachMode(kElem[id].modeOfSpec);
    return esSpecCode(w) == ST_SPEC_STRING ? MC_STRING : MC_OTHER;
}

McMachMode getMachModeOfTypeId(uint32_t id)
{
    return hasStorage(id) ? McMachMode(kElem[id].modeOfId) : MC_OTHER;
}

McMachMode getNumMode(uint32_t mode)
{
    if (mode <= MC_LREAL) return McMachMode(mode);
    return mode == MC_MEMADR ? MC_DINT : MC_OTHER;
}

uint32_t getTypeSize(uint32_t id)
{
    return hasStorage(id) ? kElem[id].size : 0;
}

uint32_t getTypeAlignment(uint32_t id)
{
    return hasStorage(id) ? kElem[id].alignment : 0;
}

}  // namespace McConvert
