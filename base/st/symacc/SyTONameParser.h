// Technology-object names to object ids.
//
// A technology object (TO) is named relative to the object being compiled:
//   TO                                a TO below the compiled object's device
//   device "." TO                     a TO below the named device
//   device "." "_to" "." TO           the same
//   "_to" "." TO                      a TO below the compiled object's device
//   "_project" "." device "." TO      (also with "_to" "." before the TO)
//   "_project" "." TO                 the one TO of that name in the project
// In the start state a TO below the current device is taken before a device
// of that name; after "_project" "." a device before a TO. Nothing after the
// TO name is read. "_project" and "_to" are compared exactly; device and TO
// names as the host compares them (TO names a-z folded).
//
// parse runs the name through the TO-name state graph (co_sgi.h) with every
// state, condition and action traced (source "sy_decodehlp"). Result: 0 with
// the TO's id; otherwise the last host return code left by a failed test, 14
// when the name ended early or no row led on, or 65535; the result id is
// then left as it was. The host objects are only borrowed (with a
// reference) for the parser's life.
#pragma once
#include <cstdint>

#include "base/st/symacc/SyVarScanner.h"
#include "co/co_sgi.h"
#include "co/tvstring.h"
#include "platform/hostproject.h"

enum class ParserState { INITIAL, DEV_NS, DEVDOT, READY, PROJ_NS, PROJDOT, TO_NS, TONAME, ERROR };

class CTONameParser : public SGI::CStateGraphInterpreter<ParserState, CTONameParser> {
public:
    // navigation: the object on which IMC_ProjectNavigate is queried;
    // identity: the compiled object's identity (may be null).
    CTONameParser(IUnknown* const& navigation, IUnknown* const& identity);
    ~CTONameParser() override;

    uint32_t parse(const String& name, ESObjectID& result);

    bool onEnterStateGraph() override;
    bool readNextToken() override;

    // Conditions and actions of the graph.
    bool is_project();
    bool is_to();
    bool isDot();
    bool isDevName();
    bool isLocalTOName();
    bool isUniqueTOName();
    bool always();
    bool nothing();
    bool setParentDevice();

private:
    bool isIdentifier(const char* method);

    SyVarScannerFlexLexer m_vScan;
    int m_token = 0;
    ComPtr<IUnknown> m_navigation;
    ComPtr<IUnknown> m_spIIdent;
    ESObjectID m_devID = ESObjectID_Unset;
    ESObjectID m_result = ESObjectID_Unset;
    String m_name;
};
