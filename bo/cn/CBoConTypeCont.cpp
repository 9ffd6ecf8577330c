// The connectors of a type (see CBoConTypeCont.h).
#include "bo/cn/CBoConTypeCont.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "co/CoHostCall.h"
#include "platform/com.h"
#include "platform/guid.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace {

const char kFile[] = "CBoConTypeCont";
const char kInit[] = "CBoConTypeCont::init";
const char kInitXml[] = "CBoConTypeCont::initFromTypeDescr";

const CoHostCallSite kAttribute{kFile, kInit,
                                "pIInstDetails->getAttributeByTypeID(esId, bstrAttrKey, &bstrConnEntry, &dwRet)"};
const CoHostCallSite kConnGuid{kFile, kInit, "CLSIDFromString(_bstr_t(strConnEntryVals[2]), &guidType)"};
const CoHostCallSite kDocument{kFile, kInitXml,
                               "spIntInstClassification->getInstallationDocument(&spIUnknown, &dwRet)"};
const CoHostCallSite kDocText{kFile, kInitXml, "spIXmlDoc->getXmlText(&pszXml)"};
const CoHostCallSite kIfGuid{kFile, kInitXml, "CLSIDFromString(_bstr_t(strIfGuid), &guidType)"};

constexpr uint32_t kNotFound = 13;

// One device attribute as narrow text: 0, or the failed call's code.
uint32_t readAttribute(IMC_InstallDetails* details, const GUID& typeId, const std::string& key, std::string& text)
{
    OwnedBstr bstrAttrKey(SysAllocString(tvp::ansiToWide(key).c_str()));
    BSTR bstrConnEntry = nullptr;
    DWORD dwRet = 0;
    const CoHostCallResult r = TV_HOST_CALL(
        kAttribute, &dwRet, details->getAttributeByTypeID(typeId, bstrAttrKey.get(), &bstrConnEntry, &dwRet));
    OwnedBstr value(bstrConnEntry);
    if (r.ok()) text = tvp::wideToAnsi(value.get());
    return r.code;
}

// The first five comma-separated fields; missing ones are empty.
std::vector<std::string> fiveFields(const std::string& text)
{
    std::vector<std::string> fields(5);
    size_t start = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t comma = text.find(',', start);
        fields[i] = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

// C strtoul with base 0 as a 32-bit unsigned long has it: a magnitude past
// 32 bits saturates, a minus sign negates modulo 2^32, no digits give 0.
uint32_t strtoul32(const std::string& text)
{
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p == '+' || *p == '-') return 0;  // a second sign is no number
    errno = 0;
    const unsigned long long v = std::strtoull(p, nullptr, 0);
    if (errno == ERANGE || v > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    return negative ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
}

// An attribute value converted to vt by VARIANT conversion.
bool convertAttribute(const pugi::xml_node& element, const char* name, VARTYPE vt, VARIANT& out)
{
    const pugi::xml_attribute a = element.attribute(name);
    if (!a) return false;
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(tvp::utf8ToWide(a.value()).c_str());
    VariantInit(&out);
    const HRESULT hr = VariantChangeType(&out, &text, 0, vt);
    VariantClear(&text);
    return SUCCEEDED(hr);
}

// The eleven attributes of one Connector element; 0 or 0xFFFF.
uint32_t readConnector(const pugi::xml_node& element, CBoConProps& props)
{
    static const struct {
        const char* name;
        VARTYPE vt;
    } kAttributes[] = {
        {"Name", VT_BSTR},       {"Id", VT_UI2},         {"Interface", VT_BSTR},
        {"Incoming", VT_BOOL},   {"Outgoing", VT_BOOL},  {"Remote", VT_BOOL},
        {"Multipoint", VT_BOOL}, {"Required", VT_BOOL},  {"ExclusiveGroup", VT_I4},
        {"Major", VT_UI2},       {"Minor", VT_UI2},
    };
    VARIANT v[11];
    size_t got = 0;
    for (; got < 11; ++got)
        if (!convertAttribute(element, kAttributes[got].name, kAttributes[got].vt, v[got])) break;
    uint32_t result = 0;
    if (got < 11) {
        TV_TRACE(4, kFile, kInitXml, "error converting attribute %s", kAttributes[got].name);
        result = kCoHostNoCode;
    } else {
        GUID guidType = GUID_NULL;
        const HRESULT hr = CLSIDFromString(v[2].bstrVal, &guidType);
        if (FAILED(hr)) {
            coTraceHostCallError(kIfGuid, __LINE__, hr, 0);
            result = kCoHostNoCode;
        } else {
            props = CBoConProps(String(tvp::wideToAnsi(v[0].bstrVal).c_str()), v[1].uiVal, guidType,
                                v[3].boolVal != 0, v[4].boolVal != 0, v[5].boolVal != 0, v[6].boolVal != 0,
                                v[7].boolVal != 0, v[8].lVal, v[9].uiVal, v[10].uiVal);
        }
    }
    for (size_t i = 0; i < got; ++i) VariantClear(&v[i]);
    return result;
}

}  // namespace

CBoConTypeCont::~CBoConTypeCont()
{
    m_connectors.clear();
}

bool CBoConTypeCont::add(VRXConIfID id, const CBoConProps& props)
{
    return m_connectors.emplace(id, props).second;
}

const CBoConProps* CBoConTypeCont::find(VRXConIfID id) const
{
    const auto it = m_connectors.find(id);
    return it == m_connectors.end() ? nullptr : &it->second;
}

FsConnectionList CBoConTypeCont::sectionList() const
{
    FsConnectionList list;
    // Both maps ascend by the id: each connector goes in at the end.
    for (const auto& c : m_connectors) list.emplace_hint(list.end(), uint16_t(c.first), c.second.record());
    return list;
}

uint32_t CBoConTypeCont::init(const GUID& typeId, IMC_InstallDetails* details)
{
    m_connectors.clear();
    if (!details) {
        TV_TRACE(4, kFile, kInit, "no installation details");
        return kCoHostNoCode;
    }
    std::string text;
    uint32_t code = readAttribute(details, typeId, "BI_TYPE_CONNCOUNT", text);
    if (code != 0) return code;
    const uint32_t count = uint32_t(std::strtoul(text.c_str(), nullptr, 10));
    CBoConMap read;
    for (uint32_t i = 0; i < count; ++i) {
        const std::string index = std::to_string(i);
        std::string conn, props;
        if ((code = readAttribute(details, typeId, "BI_TYPE_CONN(" + index + ")", conn)) != 0) return code;
        if ((code = readAttribute(details, typeId, "BI_TYPE_CONNPROPS(" + index + ")", props)) != 0) return code;
        const std::vector<std::string> c = fiveFields(conn);
        const std::vector<std::string> p = fiveFields(props);
        GUID guidType = GUID_NULL;
        const HRESULT hr = CLSIDFromString(tvp::ansiToWide(c[2]).c_str(), &guidType);
        if (FAILED(hr)) {
            coTraceHostCallError(kConnGuid, __LINE__, hr, 0);
            return kCoHostNoCode;
        }
        const uint16_t id = uint16_t(strtoul32(c[0]));
        const CBoConProps cp(String(c[1].c_str()), id, guidType, strtoul32(p[0]) != 0, strtoul32(p[1]) != 0,
                             strtoul32(p[2]) != 0, strtoul32(p[3]) != 0, strtoul32(p[4]) != 0, -1,
                             uint16_t(strtoul32(c[3])), uint16_t(strtoul32(c[4])));
        if (!read.emplace(id, cp).second) {
            TV_TRACE(4, kFile, kInit, "error adding connector");
            return kCoHostNoCode;
        }
    }
    m_connectors.swap(read);
    return 0;
}

uint32_t CBoConTypeCont::initFromTypeDescr(const GUID& typeId, IMC_InstallClassification* classification)
{
    if (!classification) {
        TV_TRACE(4, kFile, kInitXml, "no installation classification");
        return kCoHostNoCode;
    }
    ComPtr<IUnknown> spIUnknown;
    DWORD dwRet = 0;
    CoHostCallResult r =
        TV_HOST_CALL(kDocument, &dwRet, classification->getInstallationDocument(&spIUnknown, &dwRet));
    if (!r.ok()) return r.code;
    ComPtr<IMC_XmlDocumentText> spIXmlDoc = queryHostInterface<IMC_XmlDocumentText>(spIUnknown.get());
    if (!spIXmlDoc) {
        TV_TRACE(4, kFile, kInitXml, "error QI for IMC_XmlDocumentText");
        return kCoHostNoCode;
    }
    char* pszXml = nullptr;
    r = TV_HOST_CALL(kDocText, nullptr, spIXmlDoc->getXmlText(&pszXml));
    pugi::xml_document doc;
    pugi::xml_parse_result parsed;
    if (r.ok() && pszXml) parsed = doc.load_string(pszXml);
    CoTaskMemFree(pszXml);
    if (!r.ok()) return r.code;
    if (!parsed) {
        TV_TRACE(4, kFile, kInitXml, "error loading the installation document: %s", parsed.description());
        return kCoHostNoCode;
    }
    OLECHAR esid[39];
    if (StringFromGUID2(typeId, esid, 39) == 0) {
        TV_TRACE(4, kFile, kInitXml, "failed to call StringFromGUID2");
        return kCoHostNoCode;
    }
    const std::string query = "//Device[ESType/@ESID='" + tvp::wideToAnsi(esid) + "']";
    CBoConMap added;
    try {
        const pugi::xpath_node device = doc.select_node(query.c_str());
        if (!device) {
            TV_TRACE(3, kFile, kInitXml, "device %s not in the installation document", tvp::wideToAnsi(esid).c_str());
            return kNotFound;
        }
        for (const pugi::xpath_node& n : device.node().select_nodes("Connectors/Connector")) {
            CBoConProps props;
            const uint32_t code = readConnector(n.node(), props);
            if (code != 0) return code;
            if (m_connectors.count(props.m_id) != 0 || !added.emplace(props.m_id, props).second) {
                TV_TRACE(4, kFile, kInitXml, "error adding connector");
                return kCoHostNoCode;
            }
        }
    } catch (const pugi::xpath_exception& e) {
        TV_TRACE(4, kFile, kInitXml, "error selecting the device: %s", e.what());
        return kCoHostNoCode;
    }
    m_connectors.insert(added.begin(), added.end());
    return 0;
}
