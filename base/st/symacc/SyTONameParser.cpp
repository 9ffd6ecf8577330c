// The TO-name state graph and its conditions (see SyTONameParser.h).
#include "base/st/symacc/SyTONameParser.h"

#include "co/CoHostCall.h"
#include "h/co_parent_dv.h"
#include "pm/pm_helper.h"

namespace {

const char kFile[] = "sy_decodehlp";

using Row = CTONameParser::Row;
using S = ParserState;
using P = CTONameParser;

const Row kRows[] = {
    {S::INITIAL, &P::is_project, &P::nothing, S::PROJ_NS, "is_project", "nothing"},
    {S::INITIAL, &P::is_to, &P::setParentDevice, S::TO_NS, "is_to", "setParentDevice"},
    {S::INITIAL, &P::isLocalTOName, &P::nothing, S::READY, "isLocalTOName", "nothing"},
    {S::INITIAL, &P::isDevName, &P::nothing, S::DEV_NS, "isDevName", "nothing"},
    {S::INITIAL, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
    {S::DEV_NS, &P::isDot, &P::nothing, S::DEVDOT, "isDot", "nothing"},
    {S::DEV_NS, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
    {S::PROJ_NS, &P::isDot, &P::nothing, S::PROJDOT, "isDot", "nothing"},
    {S::PROJ_NS, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
    {S::PROJDOT, &P::isDevName, &P::nothing, S::DEV_NS, "isDevName", "nothing"},
    {S::PROJDOT, &P::isUniqueTOName, &P::nothing, S::READY, "isUniqueTOName", "nothing"},
    {S::PROJDOT, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
    {S::DEVDOT, &P::is_to, &P::nothing, S::TO_NS, "is_to", "nothing"},
    {S::DEVDOT, &P::isLocalTOName, &P::nothing, S::READY, "isLocalTOName", "nothing"},
    {S::DEVDOT, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
    {S::TO_NS, &P::isDot, &P::nothing, S::TONAME, "isDot", "nothing"},
    {S::TO_NS, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
    {S::TONAME, &P::isLocalTOName, &P::nothing, S::READY, "isLocalTOName", "nothing"},
    {S::TONAME, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
    {S::ERROR, &P::always, &P::nothing, S::ERROR, "always", "nothing"},
};
const char* const kStateNames[] = {"INITIAL", "DEV_NS", "DEVDOT", "READY", "PROJ_NS",
                                   "PROJDOT", "TO_NS",  "TONAME", "ERROR"};

const CoHostCallSite kDevName{kFile, "CTONameParser::isDevName",
                              "spIProjNav->getObjectIdByNameAndClass(m_vScan.name, PmObjCl_Device, &m_devID, "
                              "&m_dwRet)",
                              CoCaughtSpelling::Exeption};
const CoHostCallSite kUnique{kFile, "CTONameParser::isUniqueTOName",
                             "spIPrjNav->getObjectIdListByNameAndClass(m_vScan.name, PmObjCl_TObject, &nSize, "
                             "&pIdList)",
                             CoCaughtSpelling::Exeption};
const CoHostCallSite kGetID{kFile, "CTONameParser::setParentDevice", "spIIdent->getID(&idCur)",
                            CoCaughtSpelling::Exeption, false, false};

}  // namespace

CTONameParser::CTONameParser(IUnknown* const& navigation, IUnknown* const& identity)
    : SGI::CStateGraphInterpreter<ParserState, CTONameParser>(kRows, sizeof kRows / sizeof kRows[0], kStateNames,
                                                              sizeof kStateNames / sizeof kStateNames[0]),
      m_navigation(navigation), m_spIIdent(identity)
{
    m_state = ParserState::INITIAL;
    m_dwRet = 0;
}

CTONameParser::~CTONameParser() = default;

uint32_t CTONameParser::parse(const String& name, ESObjectID& result)
{
    m_name = name;
    m_vScan.setText(m_name);
    uint32_t r = interpret(ParserState::ERROR, ParserState::READY, true);
    if (r == 0)
        result = m_result;
    else
        TV_TRACE(4, kFile, "CTONameParser::parse", "error parsing to name %s", m_name.chars());
    return r;
}

bool CTONameParser::onEnterStateGraph()
{
    m_state = ParserState::INITIAL;
    return true;
}

bool CTONameParser::readNextToken()
{
    m_token = m_vScan.yylex();
    return m_token != 0;
}

bool CTONameParser::isIdentifier(const char* method)
{
    if (m_token == SyVarScannerFlexLexer::TokIdent) return true;
    TV_TRACE(1, kFile, method, "no identifier");
    return false;
}

bool CTONameParser::is_project()
{
    return m_token == SyVarScannerFlexLexer::TokIdent && m_vScan.name == String("_project");
}

bool CTONameParser::is_to()
{
    return m_token == SyVarScannerFlexLexer::TokIdent && m_vScan.name == String("_to");
}

bool CTONameParser::isDot()
{
    return m_token == SyVarScannerFlexLexer::TokDot;
}

bool CTONameParser::always()
{
    return true;
}

bool CTONameParser::nothing()
{
    return true;
}

bool CTONameParser::isDevName()
{
    static const char kMethod[] = "CTONameParser::isDevName";
    if (!isIdentifier(kMethod)) return false;
    ComPtr<IMC_ProjectNavigate> spIProjNav = queryHostInterface<IMC_ProjectNavigate>(m_navigation);
    if (!spIProjNav) {
        TV_TRACE(4, kFile, kMethod, "error QI IMC_ProjectNavigate");
        return false;
    }
    CoHostCallResult r = TV_HOST_CALL(
        kDevName, &m_dwRet,
        spIProjNav->getObjectIdByNameAndClass(m_vScan.name.chars(), PmObjCl_Device, &m_devID, &m_dwRet));
    if (r.hr == S_OK && m_dwRet == 0) return true;
    m_devID = ESObjectID_Unset;
    TV_TRACE(1, kFile, kMethod, "getObjectIdByNameAndClass 0x%X failed", unsigned(m_dwRet));
    return false;
}

bool CTONameParser::isLocalTOName()
{
    static const char kMethod[] = "CTONameParser::isLocalTOName";
    if (!isIdentifier(kMethod)) return false;
    if (m_devID == ESObjectID_Unset && !setParentDevice()) {
        TV_TRACE(1, kFile, kMethod, "cannot deduce device id");
        return false;
    }
    IUnknown* nav = m_navigation.get();
    bool found = isLocalTObjectOrSubObject(nav, m_devID, m_vScan.name, &m_result, &m_dwRet);
    if (m_dwRet == 0) return found;
    m_devID = ESObjectID_Unset;
    TV_TRACE(1, kFile, kMethod, "isLocalTObjectOrSubObject failed");
    return false;
}

bool CTONameParser::isUniqueTOName()
{
    static const char kMethod[] = "CTONameParser::isUniqueTOName";
    if (!isIdentifier(kMethod)) return false;
    ComPtr<IMC_ProjectNavigate> spIPrjNav = queryHostInterface<IMC_ProjectNavigate>(m_navigation);
    if (!spIPrjNav) {
        TV_TRACE(4, kFile, kMethod, "error QI for IMC_ProjectNavigate");
        return false;
    }
    m_dwRet = 0;
    DWORD nSize = 0;
    ESObjectID* pIdList = nullptr;
    CoHostCallResult r = TV_HOST_CALL(kUnique, &m_dwRet,
                                      spIPrjNav->getObjectIdListByNameAndClass(
                                          m_vScan.name.chars(), PmObjCl_TObject, &nSize, &pIdList, &m_dwRet));
    if (!r.ok() && m_dwRet == 0) m_dwRet = kCoHostNoCode;
    bool unique = r.hr == S_OK && m_dwRet == 0 && nSize == 1 && pIdList;
    if (unique) m_result = pIdList[0];
    CoTaskMemFree(pIdList);
    if (!unique) TV_TRACE(1, kFile, kMethod, "getObjectIdListByNameAndClass failed");
    return unique;
}

bool CTONameParser::setParentDevice()
{
    static const char kMethod[] = "CTONameParser::setParentDevice";
    if (!m_spIIdent) {
        TV_TRACE(4, kFile, kMethod, "invalid ident pointer");
        return false;
    }
    ComPtr<IMC_ObjectIdentity> spIIdent = queryHostInterface<IMC_ObjectIdentity>(m_spIIdent);
    ESObjectID idCur = ESObjectID_Invalid;
    if (!spIIdent || !TV_HOST_CALL(kGetID, nullptr, spIIdent->getID(&idCur)).ok()) {
        TV_TRACE(4, kFile, kMethod, "error getID");
        return false;
    }
    m_dwRet = CCoDvNavHelper::getParentDevice(idCur, m_navigation, &m_devID);
    if (m_dwRet == 0) return true;
    m_devID = ESObjectID_Unset;
    TV_TRACE(4, kFile, kMethod, "error getParentDevice");
    return false;
}
