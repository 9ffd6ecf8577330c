// Reader and writer of the name-exports section (see StNameExportFormat.h).
#include "base/st/stsymtab/StNameExportFormat.h"

#include "base/fs/FsSecCl.h"

const String g_stNeHeaderV1("Name_Exports_V0.5");
const String g_stNeHeaderV2("Name_Exports_V3.1");

namespace {

template <class T>
bool get(FsSecCl& s, T& v)
{
    s >> v;
    return !s.hasError();
}

// Constant kinds that stand as initial values.
bool isInitKind(int32_t kind)
{
    return kind == 0 || kind == 1 || kind == 2 || kind == 4;
}

}  // namespace

int stNeVersionOf(const String& word)
{
    if (word == g_stNeHeaderV1) return 1;
    if (word == g_stNeHeaderV2) return 2;
    return 0;
}

// ---------------------------------------------------------------------------

bool StNeValue::read(FsSecCl& s, int32_t k, int depth)
{
    if (depth > kStNeMaxDepth || k < 0 || k > 4) return false;
    kind = k;
    switch (kind) {
    case 0:
        if (!get(s, type) || !get(s, sign)) return false;
        switch (type) {
        case 1: case 2: case 6: case 10: {
            uint8_t v = 0;
            if (!get(s, v)) return false;
            words[0] = v;
            return true;
        }
        case 3: case 7: case 11: {
            uint16_t v = 0;
            if (!get(s, v)) return false;
            words[0] = v;
            return true;
        }
        case 4: case 8: case 12: case 17: case 18: case 19: case 20: case 22: case 23: case 31:
            return get(s, words[0]);
        case 14: return get(s, real4);
        case 15: case 32: return get(s, real8);
        case 16: {
            uint16_t a = 0, b = 0;
            if (!get(s, a) || !get(s, b) || !get(s, words[2])) return false;
            words[0] = a;
            words[1] = b;
            return true;
        }
        case 21: return get(s, words[0]) && get(s, words[1]);
        default: return true;  // no value
        }
    case 1: {
        int32_t count = 0;
        if (!get(s, count)) return false;
        members.clear();
        for (int32_t i = 0; i < count; ++i) {
            int32_t memberKind = 0;
            if (!get(s, memberKind)) return false;
            members.emplace_back();
            if (!members.back().read(s, memberKind, depth + 1)) return false;
        }
        return true;
    }
    case 2:
        return get(s, length) && get(s, text);
    default: {  // 3 integer array, 4 package init
        if (!get(s, n) || !get(s, esize)) return false;
        members.clear();
        if (n != 0) {
            int32_t elementKind = 0;
            if (!get(s, elementKind)) return false;
            members.emplace_back();
            if (!members.back().read(s, elementKind, depth + 1)) return false;
        }
        if (kind == 3) return true;
        return get(s, packageType) && get(s, package) && get(s, fct);
    }
    }
}

void StNeValue::write(FsSecCl& s) const
{
    switch (kind) {
    case 0:
        stNePut(s, type);
        stNePut(s, sign);
        switch (type) {
        case 1: case 2: case 6: case 10: stNePut(s, uint8_t(words[0])); break;
        case 3: case 7: case 11: stNePut(s, uint16_t(words[0])); break;
        case 4: case 8: case 12: case 17: case 18: case 19: case 20: case 22: case 23: case 31:
            stNePut(s, words[0]);
            break;
        case 14: stNePut(s, real4); break;
        case 15: case 32: stNePut(s, real8); break;
        case 16:
            stNePut(s, uint16_t(words[0]));
            stNePut(s, uint16_t(words[1]));
            stNePut(s, words[2]);
            break;
        case 21:
            stNePut(s, words[0]);
            stNePut(s, words[1]);
            break;
        default: break;
        }
        return;
    case 1:
        stNePut(s, int32_t(members.size()));
        for (const StNeValue& m : members) {
            stNePut(s, m.kind);
            m.write(s);
        }
        return;
    case 2:
        stNePut(s, length);
        stNePut(s, text);
        return;
    default:
        stNePut(s, n);
        stNePut(s, esize);
        if (n != 0 && !members.empty()) {
            stNePut(s, members.front().kind);
            members.front().write(s);
        }
        if (kind == 3) return;
        stNePut(s, uint32_t(17));
        stNePut(s, package);
        stNePut(s, fct);
        return;
    }
}

bool StNeValue::operator==(const StNeValue& o) const
{
    return kind == o.kind && type == o.type && sign == o.sign && words[0] == o.words[0] &&
           words[1] == o.words[1] && words[2] == o.words[2] && real4 == o.real4 && real8 == o.real8 &&
           members == o.members && length == o.length && text == o.text && n == o.n && esize == o.esize &&
           packageType == o.packageType && package == o.package && fct == o.fct;
}

bool StNeInit::read(FsSecCl& s, bool& badKind)
{
    int16_t flag = 0;
    if (!get(s, flag)) return false;
    present = flag != 0;
    if (!present) return true;
    int16_t kind = 0;
    if (!get(s, kind)) return false;
    if (!isInitKind(kind)) {
        badKind = true;
        return false;
    }
    return value.read(s, kind);
}

void StNeInit::write(FsSecCl& s) const
{
    if (!present) {
        stNePut(s, int16_t(0));
        return;
    }
    stNePut(s, int16_t(1));
    stNePut(s, int16_t(value.kind));
    value.write(s);
    s.putBlank();  // closes the field after the value's own blank
}

// ---------------------------------------------------------------------------

StNeTypeRef& StNeTypeRef::operator=(const StNeTypeRef& o)
{
    if (this == &o) return *this;
    name = o.name;
    element.reset(o.element ? new StNeTypeRef(*o.element) : nullptr);
    lower = o.lower;
    count = o.count;
    size = o.size;
    alignment = o.alignment;
    return *this;
}

bool StNeTypeRef::read(FsSecCl& s, int depth)
{
    if (depth > kStNeMaxDepth || !get(s, name)) return false;
    element.reset();
    if (isAnonymousArray()) {
        element.reset(new StNeTypeRef);
        if (!element->read(s, depth + 1) || !get(s, lower) || !get(s, count)) return false;
    }
    return get(s, size) && get(s, alignment);
}

void StNeTypeRef::write(FsSecCl& s) const
{
    stNePut(s, name);
    if (isAnonymousArray() && element) {
        element->write(s);
        stNePut(s, lower);
        stNePut(s, count);
    }
    stNePut(s, size);
    stNePut(s, alignment);
}

// ---------------------------------------------------------------------------

bool StNeEntry::readHead(FsSecCl& s)
{
    return get(s, kind) && get(s, name);
}

bool StNeEntry::read(FsSecCl& s, int version, bool& bad, int depth)
{
    return readHead(s) && readFields(s, version, bad, depth);
}

namespace {

// A count and that many complete entries.
bool readList(FsSecCl& s, int version, bool& bad, int depth, std::vector<StNeEntry>& list)
{
    uint32_t n = 0;
    if (!get(s, n)) return false;
    list.clear();
    for (uint32_t i = 0; i < n; ++i) {
        list.emplace_back();
        if (!list.back().read(s, version, bad, depth + 1)) return false;
    }
    return true;
}

void writeList(FsSecCl& s, int version, const std::vector<StNeEntry>& list)
{
    stNePut(s, uint32_t(list.size()));
    for (const StNeEntry& e : list) e.write(s, version);
}

}  // namespace

bool StNeEntry::readFields(FsSecCl& s, int version, bool& bad, int depth)
{
    if (depth > kStNeMaxDepth) return false;
    switch (kind) {
    case NE_TYPEDEF:
    case NE_CONSTANT:
        return type.read(s) && init.read(s, bad);
    case NE_ARRAY:
        return type.read(s) && get(s, lower) && get(s, count) && init.read(s, bad);
    case NE_ENUM: {
        uint32_t n = 0;
        if (!get(s, n)) return false;
        enumerators.clear();
        for (uint32_t i = 0; i < n; ++i) {
            enumerators.emplace_back();
            if (!get(s, enumerators.back().first) || !get(s, enumerators.back().second)) return false;
        }
        int32_t hasInit = 0;
        if (!get(s, hasInit)) return false;
        hasInitEnumerator = hasInit != 0;
        if (hasInitEnumerator && !get(s, initEnumerator)) return false;
        return extraIds.readFromSection(s) && !s.hasError() && get(s, size) && get(s, alignment);
    }
    case NE_STRUCT: {
        uint32_t n = 0;
        if (!get(s, n)) return false;
        members.clear();
        for (uint32_t i = 0; i < n; ++i) {
            members.emplace_back();
            Member& m = members.back();
            if (!get(s, m.name) || !m.type.read(s) || !m.init.read(s, bad)) return false;
        }
        return get(s, size) && get(s, alignment);
    }
    case NE_SUBRANGE:
        return true;
    case NE_VARIABLE:
    case NE_GLOBAL:
    case NE_SYSVAR:
        return type.read(s) && init.read(s, bad) && get(s, address) && get(s, accessMode) && get(s, flag);
    case NE_INTERFACE:
        return type.read(s) && init.read(s, bad) && get(s, address) && get(s, sysAddress) &&
               get(s, accessMode) && get(s, flag);
    case NE_PROGRAM_UNIT:
        return readUnitHead(s, bad) && readList(s, version, bad, depth, listA) &&
               (unitKind == 6 || readList(s, version, bad, depth, listB)) && readUnitTail(s, version);
    case NE_TOTYPE: {
        int32_t base = 0;
        if (!get(s, base)) return false;
        hasBase = base != 0;
        return !hasBase || get(s, baseName);
    }
    case NE_DIRECT_VAR:
        return type.read(s) && get(s, address) && get(s, flag);
    }
    bad = true;
    return false;
}

bool StNeEntry::readUnitHead(FsSecCl& s, bool& bad)
{
    if (!get(s, unitKind)) return false;
    if (unitKind < 6 || unitKind > 8) {
        bad = true;
        return false;
    }
    if (unitKind == 6) return type.read(s);
    uint32_t n = 0;
    if (!get(s, n)) return false;
    usedUnits.clear();
    for (uint32_t i = 0; i < n; ++i) {
        usedUnits.emplace_back();
        if (!get(s, usedUnits.back())) return false;
    }
    return true;
}

bool StNeEntry::readUnitTail(FsSecCl& s, int version)
{
    if (!(get(s, frameFlag) && get(s, layout1) && get(s, layout2) && get(s, word3) && get(s, word4) &&
          get(s, number)))
        return false;
    frameWord = -1;
    return version != 2 || get(s, frameWord);
}

void StNeEntry::write(FsSecCl& s, int version) const
{
    stNePut(s, kind);
    stNePut(s, name);
    switch (kind) {
    case NE_TYPEDEF:
    case NE_CONSTANT:
        type.write(s);
        init.write(s);
        return;
    case NE_ARRAY:
        type.write(s);
        stNePut(s, lower);
        stNePut(s, count);
        init.write(s);
        return;
    case NE_ENUM:
        stNePut(s, uint32_t(enumerators.size()));
        for (const auto& e : enumerators) {
            stNePut(s, e.first);
            stNePut(s, e.second);
        }
        stNePut(s, int32_t(hasInitEnumerator));
        if (hasInitEnumerator) stNePut(s, initEnumerator);
        extraIds.writeToSection(s);
        stNePut(s, size);
        stNePut(s, alignment);
        return;
    case NE_STRUCT:
        stNePut(s, uint32_t(members.size()));
        for (const Member& m : members) {
            stNePut(s, m.name);
            m.type.write(s);
            m.init.write(s);
        }
        stNePut(s, size);
        stNePut(s, alignment);
        return;
    case NE_VARIABLE:
    case NE_GLOBAL:
    case NE_SYSVAR:
    case NE_INTERFACE:
        type.write(s);
        init.write(s);
        stNePut(s, address);
        if (kind == NE_INTERFACE) stNePut(s, sysAddress);
        stNePut(s, accessMode);
        stNePut(s, flag);
        return;
    case NE_PROGRAM_UNIT:
        stNePut(s, unitKind);
        if (unitKind == 6) {
            type.write(s);
        } else {
            stNePut(s, uint32_t(usedUnits.size()));
            for (const String& u : usedUnits) stNePut(s, u);
        }
        writeList(s, version, listA);
        if (unitKind != 6) writeList(s, version, listB);
        stNePut(s, frameFlag);
        stNePut(s, layout1);
        stNePut(s, layout2);
        stNePut(s, word3);
        stNePut(s, word4);
        stNePut(s, number);
        if (version == 2) stNePut(s, frameWord);
        return;
    case NE_TOTYPE:
        stNePut(s, int32_t(hasBase));
        if (hasBase) stNePut(s, baseName);
        return;
    case NE_DIRECT_VAR:
        type.write(s);
        stNePut(s, address);
        stNePut(s, flag);
        return;
    default:
        return;  // subrange: nothing; kind 13: the head only
    }
}

// ---------------------------------------------------------------------------

int stNeReadHeader(FsSecCl& s, uint32_t& count)
{
    s.seek(0, 0);
    s.setBase(16);
    count = 0;
    s >> count;
    s.setBase(10);
    String word;
    s >> word;
    return s.hasError() ? 0 : stNeVersionOf(word);
}

void stNeWriteHeader(FsSecCl& s, int version)
{
    s.seek(0, 0);
    s.setBase(10);
    s << "            ";
    s << (version == 1 ? g_stNeHeaderV1 : g_stNeHeaderV2);
    if (!s.hasError()) s.putBlank();
}

void stNeWriteCount(FsSecCl& s, uint32_t count)
{
    const uint32_t back = s.tell();
    s.seek(0, 0);
    s.setBase(16);
    s << count;
    s.setBase(10);
    s.seek(int32_t(back), 0);
}
