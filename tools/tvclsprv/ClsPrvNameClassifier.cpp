// The stand-in name classifier of the class provider.
#include "tools/tvclsprv/ClsPrvNameClassifier.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_set>

#include "platform/text.h"
#include "tools/tvclsprv/ClsPrvSupport.h"

const CComRegistration g_clsPrvNameClassifierRegistration = {
    "tvclsprv.NameClassifier.1",
    "tvclsprv.NameClassifier",
    "tvclsprv NameClassifier Class",
    "{3D59C4A3-4795-4F4F-BEF5-AAB9A508356A}",
    "Apartment",
};

namespace {

// Reserved words of Structured Text: keywords and elementary type names.
const char* const kReservedWords[] = {
    "ACTION", "AND", "ANY", "ANY_BIT", "ANY_DATE", "ANY_DERIVED", "ANY_ELEMENTARY", "ANY_INT", "ANY_MAGNITUDE",
    "ANY_NUM", "ANY_REAL", "ANY_STRING", "ARRAY", "AT", "BOOL", "BY", "BYTE", "CASE", "CONFIGURATION", "CONSTANT",
    "DATE", "DATE_AND_TIME", "DINT", "DO", "DT", "DWORD", "ELSE", "ELSIF", "EN", "END_ACTION", "END_CASE",
    "END_CONFIGURATION", "END_FOR", "END_FUNCTION", "END_FUNCTION_BLOCK", "END_IF", "END_PROGRAM", "END_REPEAT",
    "END_RESOURCE", "END_STEP", "END_STRUCT", "END_TRANSITION", "END_TYPE", "END_VAR", "END_WHILE", "ENO", "EXIT",
    "FALSE", "F_EDGE", "FOR", "FROM", "FUNCTION", "FUNCTION_BLOCK", "IF", "INITIAL_STEP", "INT", "INTERVAL", "LINT",
    "LREAL", "LWORD", "MOD", "NON_RETAIN", "NOT", "OF", "ON", "OR", "PRIORITY", "PROGRAM", "READ_ONLY", "READ_WRITE",
    "REAL", "REPEAT", "RESOURCE", "RETAIN", "RETURN", "R_EDGE", "SINGLE", "SINT", "STEP", "STRING", "STRUCT", "TASK",
    "THEN", "TIME", "TIME_OF_DAY", "TO", "TOD", "TRANSITION", "TRUE", "TYPE", "UDINT", "UINT", "ULINT", "UNTIL",
    "USINT", "VAR", "VAR_ACCESS", "VAR_CONFIG", "VAR_EXTERNAL", "VAR_GLOBAL", "VAR_IN_OUT", "VAR_INPUT",
    "VAR_OUTPUT", "VAR_TEMP", "WHILE", "WITH", "WORD", "WSTRING", "XOR",
};

bool knobSet(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v;
}

// Whether name is a reserved word, in any case: looked up in a hash set
// of the words in upper case (a boot-function compile asks once per name).
bool reserved(const char* name)
{
    static const std::unordered_set<std::string> words(std::begin(kReservedWords), std::end(kReservedWords));
    // longer than every word: not copied (a name may be megabytes)
    const std::size_t length = strnlen(name, 21);
    if (length > 20) return false;
    thread_local std::string upper;
    upper.assign(name, length);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return words.count(upper) != 0;
}

}  // namespace

std::vector<std::pair<std::string, LONG>> CClsPrvNameClassifier::readCodes()
{
    std::vector<std::pair<std::string, LONG>> codes;
    const char* v = std::getenv("TVCLSPRV_CLASSIFY");
    if (!v) return codes;
    const std::string list(v);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(start, end - start);
        const size_t eq = item.find('=');
        if (eq != std::string::npos)
            codes.emplace_back(item.substr(0, eq), LONG(std::strtoul(item.c_str() + eq + 1, nullptr, 0)));
        start = end + 1;
    }
    return codes;
}

bool CClsPrvNameClassifier::readLogging()
{
    return clsprv::logging();
}

LONG CClsPrvNameClassifier::classify(const char* name) const
{
    for (const auto& c : m_codes)
        if (tvp::icmpAscii(c.first.c_str(), name) == 0) return c.second;
    return reserved(name) ? 1 : 0;
}

HRESULT CClsPrvNameClassifier::InternalQueryInterface(REFIID riid, void** ppv)
{
    return comQueryOne<INameClassifier>(this, IID_INameClassifier, riid, ppv);
}

HRESULT CClsPrvNameClassifier::Reserved()
{
    return clsprv::notImplemented("reserved");
}

HRESULT CClsPrvNameClassifier::Classify(const char* scope, const char* name, LONG* code)
{
    if (!code) return E_POINTER;
    *code = name ? classify(name) : 0;
    if (m_logging)
        clsprv::log("classify", clsprv::quoted(scope ? scope : "(null)") + " " +
                                    clsprv::quoted(name ? name : "(null)") + " " + std::to_string(*code));
    return S_OK;
}

HRESULT CClsPrvNameClassifier::create(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (knobSet("TVCLSPRV_NO_CLASSIFIER")) {
        if (ppv) *ppv = nullptr;
        clsprv::log("create", "NameClassifier unavailable");
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return CComObject<CClsPrvNameClassifier>::CreateInstanceFor(pUnkOuter, riid, ppv);
}
