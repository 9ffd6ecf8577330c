// Boot-function constants, their telegram form, and their table.
#include "bo/bf/BfConstVal.h"

#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>

#include "base/st/stsymtab/StSymbTable.h"

namespace {

// Appends a telegram constant of the code and lets set fill it.
template <typename Set>
void append(FsBootTelegram& telegram, int32_t code, Set set)
{
    if (CTelConstVal* c = createTelConstVal(telegram, code)) set(*c);
}

void writeScalar(const StConstantVal& value, FsBootTelegram& telegram)
{
    uint8_t raw[8] = {};
    uint32_t type = 30;
    int32_t sign = 1;
    value.getRaw(raw, type, sign);
    const bool negative = sign == -1;
    uint64_t bits = 0;
    std::memcpy(&bits, raw, 8);
    switch (type) {
    case 1: append(telegram, CTelConstVal::TC_BOOL, [&](CTelConstVal& c) { c.setBool(raw[0]); }); break;
    case 6: {
        int8_t v = int8_t(raw[0]);
        append(telegram, CTelConstVal::TC_SINT8, [&](CTelConstVal& c) { c.setSChar(negative ? int8_t(-v) : v); });
        break;
    }
    case 7: {
        int16_t v = int16_t(bits & 0xFFFF);
        append(telegram, CTelConstVal::TC_INT16, [&](CTelConstVal& c) { c.setShort(negative ? int16_t(-v) : v); });
        break;
    }
    case 4:
    case 8: {
        uint32_t v = uint32_t(bits);
        append(telegram, CTelConstVal::TC_INT32,
               [&](CTelConstVal& c) { c.setLong(int32_t(negative ? 0u - v : v)); });
        break;
    }
    case 10: append(telegram, CTelConstVal::TC_UINT8, [&](CTelConstVal& c) { c.setUChar(raw[0]); }); break;
    case 11: append(telegram, CTelConstVal::TC_UINT16, [&](CTelConstVal& c) { c.setUShort(uint16_t(bits)); }); break;
    case 12: append(telegram, CTelConstVal::TC_UINT32, [&](CTelConstVal& c) { c.setULong(uint32_t(bits)); }); break;
    case 14: {
        float f;
        std::memcpy(&f, raw, 4);
        append(telegram, CTelConstVal::TC_FLOAT, [&](CTelConstVal& c) { c.setFloat(f); });
        break;
    }
    case 15:
    case 32: {
        double d;
        std::memcpy(&d, raw, 8);
        append(telegram, CTelConstVal::TC_DOUBLE, [&](CTelConstVal& c) { c.setDouble(d); });
        break;
    }
    default: break;  // no telegram form
    }
}

// The element type of an array type; the invalid type id for another type.
StTypeID arrayElementType(const StSymbTable& types, StTypeID tid)
{
    int32_t lower = 0, upper = 0;
    return types.getArrayBounds(tid, lower, upper) ? types.getElementType(tid) : ST_INVALID_TID;
}

}  // namespace

void bfWriteToTel(const StConstantVal& value, FsBootTelegram& telegram, const StSymbTable* types)
{
    switch (value.getKind()) {
    case ST_CONST_STRING: {
        String text;
        uint8_t length = 0;
        value.getText(text, length);
        append(telegram, CTelConstVal::TC_STRING, [&](CTelConstVal& c) { c.setString(text); });
        break;
    }
    case ST_CONST_STRUCT: {
        auto* s = dynamic_cast<const StStructConstantVal*>(&value);
        if (!s || !s->members()) break;
        const StTypeID element = types ? arrayElementType(*types, s->getTypeRef()) : ST_INVALID_TID;
        for (const StConstantVal* m : *s->members()) {
            if (!m) continue;
            const size_t before = telegram.constants.size();
            bfWriteToTel(*m, telegram, types);
            if (telegram.constants.size() != before || element == ST_INVALID_TID || m->getKind() != ST_CONST_STD)
                continue;
            // No telegram form of its own (an untyped literal): the array's,
            // also when the type holds it with loss (an integer above 24 bits
            // in a REAL array), as the array's check accepted it.
            std::unique_ptr<StConstantVal> typed(m->clone());
            if (typed->setType(element, true) != 1) writeScalar(*typed, telegram);
        }
        break;
    }
    default: writeScalar(value, telegram); break;
    }
}

std::string bfValueText(const StConstantVal& v)
{
    std::ostringstream os;
    if (auto* s = dynamic_cast<const CBfStructConstantVal*>(&v)) return s->valueText().stdString();
    if (v.getKind() == ST_CONST_STRING) {
        String text;
        uint8_t length = 0;
        v.getText(text, length);
        return text.stdString();
    }
    if (v.getKind() != ST_CONST_STD) {
        v.dumpValue(os);
        return os.str();
    }
    uint8_t raw[8];
    uint32_t type = 30;
    int32_t sign = 1;
    v.getRaw(raw, type, sign);
    double d = 0;
    if ((type == 14 || type == 15 || type == 32) && v.getDouble(d)) {
        os << d;
    } else {
        uint64_t m = 0;
        std::memcpy(&m, raw, 8);
        os << (sign == -1 ? "-" : "") << m;
    }
    return os.str();
}

void CBfStructConstantVal::dump(std::ostream& os) const
{
    os << " ( StructConst: tid " << getTypeRef() << "  ";
    StConstantVal::dump(os);
    if (members())
        for (const StConstantVal* m : *members()) {
            os << std::endl;
            if (m)
                m->dump(os);
            else
                os << "NULL";
        }
    os << ")";
}

String CBfStructConstantVal::valueText() const
{
    std::ostringstream os;
    os << "{";
    bool first = true;
    if (members())
        for (const StConstantVal* m : *members()) {
            if (!first) os << ", ";
            first = false;
            if (!m)
                os << "NULL";
            else
                os << bfValueText(*m);
        }
    os << "}";
    return String(os.str().c_str());
}

StConstantVal* CBfConstValTable::createConstantVal(int32_t kind) const
{
    switch (kind) {
    case 0: return new CBfStdConstantVal();
    case 1: return new CBfStructConstantVal();
    case 2: return new CBfStringConstantVal();
    default: return nullptr;
    }
}

void CBfConstValTable::dump(std::ostream& os) const
{
    os << " " << values().size() << std::endl;
    for (const auto& v : values()) {
        os << v.first << " ";
        if (v.second)
            v.second->dump(os);
        else
            os << "NULL";
        os << std::endl;
    }
}

StConstEntryID CBfConstValTable::getCID(const StConstantVal* value) const
{
    if (!value) return ST_INVALID_CID;
    for (const auto& v : values())
        if (v.second && constValEqual(value, v.second)) return v.first;
    return ST_INVALID_CID;
}

uint32_t CBfConstValTable::writeToTel(const std::vector<StConstEntryID>& cids, FsBootTelegram& telegram,
                                      const StSymbTable* types) const
{
    for (StConstEntryID cid : cids) {
        const StConstantVal* v = getConstantVal(cid);
        if (!v) return 1;
        bfWriteToTel(*v, telegram, types);
    }
    return 0;
}
