// Error-message container and runtime alarm messages.
#include "bo/alm/BoErrorMsgCont.h"

#include <algorithm>
#include <cstring>

#include "bo/bo/BoVarExtIo.h"
#include "co/GlobTools.h"
#include "co/TraceApi.h"
#include "platform/resmodule.h"

namespace {

const char kSource[] = "BoErrorMsgCont";
constexpr int kSlots = 5;

// The slot value of one element; false for a type without a slot form.
bool slotValue(const VARIANT& v, uint64_t& slot)
{
    switch (v.vt) {
    case VT_I1: slot = uint32_t(int32_t(v.cVal)); return true;
    case VT_I2: slot = uint32_t(int32_t(v.iVal)); return true;
    case VT_UI1: slot = v.bVal; return true;
    case VT_UI2: slot = v.uiVal; return true;
    case VT_I4: slot = uint32_t(v.lVal); return true;
    case VT_UI4: slot = v.ulVal; return true;
    case VT_R4: {
        uint32_t bits = 0;
        std::memcpy(&bits, &v.fltVal, sizeof bits);
        slot = bits;
        return true;
    }
    case VT_R8: std::memcpy(&slot, &v.dblVal, sizeof slot); return true;
    default: return false;
    }
}

// Element `index` of an array of VARIANTs or of a slot type, as a VARIANT.
bool fetchElement(SAFEARRAY* psa, VARTYPE elemType, LONG index, VARIANT& out)
{
    VariantInit(&out);
    if (elemType == VT_VARIANT) return SUCCEEDED(SafeArrayGetElement(psa, &index, &out));
    uint64_t dummy = 0;
    out.vt = elemType;
    if (!slotValue(out, dummy)) return false;  // only the slot types are fetched by value
    return SUCCEEDED(SafeArrayGetElement(psa, &index, &out.llVal));
}

}  // namespace

// ---------------------------------------------------------------------------
// CBoAlmMsg

CBoAlmMsg::CBoAlmMsg(int32_t id, uint32_t number, const VARIANT& args) : m_slots(kSlots, 0)
{
    m_valid = convert(args);
    if (!m_valid) std::fill(m_slots.begin(), m_slots.end(), 0);
    m_record.id = m_valid ? uint32_t(id) : 0;
    m_record.number = m_valid ? number : 0;
    for (int i = 0; i < kSlots; ++i) m_record.args[i] = m_slots[std::size_t(i)];
}

CBoAlmMsg::~CBoAlmMsg() = default;

bool CBoAlmMsg::convert(const VARIANT& args)
{
    if ((args.vt & VT_ARRAY) == 0 || (args.vt & VT_BYREF) != 0 || !args.parray) return true;
    SAFEARRAY* psa = args.parray;
    if (SafeArrayGetDim(psa) != 1) return false;
    LONG lower = 0, upper = 0;
    if (FAILED(SafeArrayGetLBound(psa, 1, &lower)) || FAILED(SafeArrayGetUBound(psa, 1, &upper))) return false;
    VARTYPE elemType = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(psa, &elemType))) return false;
    // Only the indices of the five slots are taken; the others are skipped.
    const LONG from = std::max<LONG>(lower, 0);
    const LONG to = std::min<LONG>(upper, kSlots - 1);
    for (LONG i = from; i <= to; ++i) {
        VARIANT v;
        if (!fetchElement(psa, elemType, i, v)) return false;
        const bool ok = slotValue(v, m_slots[std::size_t(i)]);
        VariantClear(&v);
        if (!ok) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// CBoErrorMsgCont

CBoErrorMsgCont::CBoErrorMsgCont(const String& libraryName, uint32_t numberMapping)
    : m_libraryName(libraryName), m_numberMapping(numberMapping), m_handler(new CmMessageHandler(nullptr, nullptr))
{
    m_handler->setMsgLevel(CmMsgLevel(kCmLevelError, 0));
}

CBoErrorMsgCont::~CBoErrorMsgCont()
{
    // The handler points at the default table: it goes first.
    m_handler.reset();
}

uint32_t CBoErrorMsgCont::loadData()
{
    TV_TRACE(4, kSource, "CBoErrorMsgCont::loadData", "loadData must be overwritten");
    return BoErrMsgNoContainer;
}

void CBoErrorMsgCont::setDefaultTable(std::unique_ptr<CmMsgTable> table)
{
    m_defaultTable = std::move(table);
}

bool CBoErrorMsgCont::stringIdOf(uint32_t number, uint32_t& id) const
{
    if (!m_numberMapping) {
        id = number;
        return true;
    }
    const auto it = find(number);
    if (it == end()) return false;
    id = uint32_t(it->second);
    return true;
}

uint32_t CBoErrorMsgCont::sendMsg(uint32_t number, uint32_t severity, const VARIANT& args, uint32_t)
{
    if (!m_handler) return BoErrMsgNoContainer;
    uint32_t id = 0;
    if (!stringIdOf(number, id)) return BoErrMsgNotFound;
    if (!m_defaultTable) return BoErrMsgNotFound;
    const CBoAlmMsg msg(int32_t(id), number, args);
    static const uint32_t kModes[5] = {0, 1, 2, 4, 3};
    const CmMsgLevel mode(severity < 5 ? kModes[severity] : 0, 0);
    m_handler->setMsgTable(m_defaultTable.get());
    WString text;
    if (!m_handler->reportRtMsg(&text, mode, &msg)) return BoErrMsgNotFound;
    uint32_t level = kCmLevelUnclassified;
    uint32_t helpId = 0xFFFFFFFFu;
    WString moduleText;
    m_defaultTable->findMsg(CmMsgKey(msg.getRecord().id), &level, nullptr, &helpId, &moduleText);
    if (level != kCmLevelInfo && level != kCmLevelWarning && level != kCmLevelSafety) level = kCmLevelError;
    m_handler->msgOut()->msgOut(text, level, helpId, moduleText);
    return BoErrMsgOk;
}

std::list<uint32_t> CBoErrorMsgCont::msgNumbers() const
{
    std::list<uint32_t> numbers;
    if (m_numberMapping) {
        for (const auto& e : *this) numbers.push_back(e.first);
    } else if (m_defaultTable) {
        m_defaultTable->listIds(numbers);
    }
    return numbers;
}

uint32_t CBoErrorMsgCont::lookup(const CmMsgTable& table, uint32_t id, WString& text)
{
    WString t = table.findMsg(CmMsgKey(id, 0, 0), nullptr, nullptr, nullptr, nullptr);
    if (t.empty()) return BoErrMsgNotFound;
    text = t;
    return BoErrMsgOk;
}

uint32_t CBoErrorMsgCont::msgText(uint32_t number, WString& text) const
{
    if (!m_defaultTable) return BoErrMsgNoContainer;
    uint32_t id = 0;
    if (!stringIdOf(number, id)) return BoErrMsgNotFound;
    return lookup(*m_defaultTable, id, text);
}

uint32_t CBoErrorMsgCont::msgText(const char* key, uint32_t number, WString& text)
{
    CmMsgTable* raw = nullptr;
    const uint32_t r = createMsgTab(key, &raw);
    if (r != BoErrMsgOk) return r;
    const std::unique_ptr<CmMsgTable> table(raw);
    uint32_t id = 0;
    if (!stringIdOf(number, id)) return BoErrMsgNotFound;
    return lookup(*table, id, text);
}

uint32_t CBoErrorMsgCont::msgTexts(const char* key, TextList& texts)
{
    CmMsgTable* raw = nullptr;
    const uint32_t r = createMsgTab(key, &raw);
    if (r != BoErrMsgOk) return r;
    const std::unique_ptr<CmMsgTable> table(raw);
    uint32_t result = BoErrMsgOk;
    for (auto& t : texts) {
        uint32_t id = 0;
        if (!stringIdOf(t.first, id) || lookup(*table, id, t.second) != BoErrMsgOk) result = BoErrMsgPartly;
    }
    return result;
}

bool CBoErrorMsgCont::write(FsSecCl& s) const
{
    if (s.setSize(0) != 0) return false;
    s << static_cast<const CBoNumberMap<uint32_t>&>(*this);
    return !s.hasError();
}

bool CBoErrorMsgCont::read(FsSecCl& s)
{
    clearMap();
    s >> static_cast<CBoNumberMap<uint32_t>&>(*this);
    return !s.hasError();
}

void CBoErrorMsgCont::clearMap()
{
    clear();
}

bool CBoErrorMsgCont::hasContents() const
{
    return !m_numberMapping || !empty();
}

uint32_t CBoErrorMsgCont::createMsgTab(const char* key, CmMsgTable** out)
{
    if (!key || !*key || !out) return BoErrMsgNoContainer;
    const char k = key[0];
    if (std::find(m_failedKeys.begin(), m_failedKeys.end(), k) != m_failedKeys.end()) return BoErrMsgNoLibrary;
    String path = m_libraryName;
    makeAbsolutePath(path);
    std::string p = path.stdString();
    const std::size_t dll = p.find(".dll");
    if (dll == std::string::npos || dll == 0) return BoErrMsgNoContainer;
    p[dll - 1] = k;
    // The library is loaded to see that it is there; the table loads its own.
    if (!tvp::ResModule::open(p, std::string())) {
        TV_TRACE(4, kSource, "CBoErrorMsgCont::createMsgTab", "LoadLibrary failed for %s", p.c_str());
        m_failedKeys.push_back(k);
        return BoErrMsgNoLibrary;
    }
    *out = new CmResourceTable(p.c_str(), "", false);
    return BoErrMsgOk;
}
