// CTavolin: the pre-compiler object the host creates through the class
// factory of the module. It serves IMC_Tavolin.
//
// Every interface method runs the same frame (CTavolin.cpp) before its body
// (CTavolinMethods.cpp):
//   1. a null status (or another required pointer): E_POINTER, nothing else;
//   2. status = 0;
//   3. the body runs; exceptions never leave it: out of memory gives
//      E_OUTOFMEMORY, anything else status 0xBE11FFFF with a trace line.
// The bodies hand the object's state to the front-end work of MdFrontEnd.h.
// The work of a method bound to object kinds starts with comparing the kind
// of the opened source with them; a mismatch reports message 102 "Falscher
// ObjektTyp", sets 0xBE11000A and returns S_OK. The front end reports
// through the process-wide message handler and turns lower-layer codes into
// statuses (mdStatusFromCode). A method whose compiler is not part of this
// build answers E_NOTIMPL with status 0xBE11FFFF (after message 0 "Interner
// Fehler"), so that a host can tell a missing step from a failed one. The
// system-variable and system-function methods run an external class
// provider (MdClassProviderSteps.h) and answer E_FAIL when there is none.
//
// One message handler per object, created by the constructor over the
// built-in message table and the object's error-display output, and made the
// process-wide handler. When an object dies it deletes only its own handler;
// the process-wide pointer then goes back to the handler of the youngest
// object still alive (or null).
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "base/cm/cmmsgout.h"
#include "base/fs/FsFileMan.h"
#include "base/fs/FsRTTypeID.h"
#include "base/fs/FsSectMan.h"
#include "co/TraceApi.h"
#include "co/tvstring.h"
#include "co/tvwstring.h"
#include "platform/com.h"
#include "platform/comserver.h"
#include "tools/md/tavolin/CMDAcxParser.h"
#include "tools/md/tavolin/IMC_Tavolin.h"
#include "tools/md/tavolin/MdAcxHandlers.h"
#include "tools/md/tavolin/MdFrontEnd.h"
#include "tools/md/tavolin/MdSectionCompiler.h"

class CmMessageHandler;

class CTavolin : public CComObjectRoot, public IMC_Tavolin {
public:
    static constexpr const char* kVersionText = "VRX-Tavolin 0.1";

    CTavolin();
    ~CTavolin();
    CTavolin(const CTavolin&) = delete;
    CTavolin& operator=(const CTavolin&) = delete;

    // IUnknown and IMC_Tavolin (no AddRef here; CComObject adds it).
    HRESULT InternalQueryInterface(REFIID riid, void** ppv);

    HRESULT STDMETHODCALLTYPE getVersion(char** version) override;
    HRESULT STDMETHODCALLTYPE openSource(BSTR sourcePath, BSTR acxPath, BSTR rcPath, BSTR rcText,
                                         IStorage* hostStorage, IUnknown* errorDisplay, USHORT firstId,
                                         USHORT secondId, LONG flag, ULONG sectionMask, LONG* objectKind,
                                         LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileSysVars(LONG a, LONG b, LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileSysFunctions(LONG a, LONG firstCount, BSTR* firstPaths, LONG secondCount,
                                                  BSTR* secondPaths, LONG c, LONG d, LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileComments(BSTR rcPath, LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileVariables(BSTR rcPath, LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileConnections(LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileAlarms(BSTR rcPath, LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileBootFunctions(BSTR rcPath, LONG nameCount, BSTR* names, BSTR bootText,
                                                   BSTR commentRcPath, LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileSupportedTOs(LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileImplementations(BSTR outputBase, LONG* status) override;
    HRESULT STDMETHODCALLTYPE copySections(SHORT count, const char* const* names, LONG* status) override;

    // State for the module's own code and tests (not part of the interface).
    int32_t objectKind() const { return m_objectKind; }
    const String& workFilePath() const { return m_workFilePath; }
    int32_t nextStringId() const { return m_nextStringId; }
    CmMessageHandler* messageHandler() const { return m_msgHandler; }

private:
    // --- bodies (CTavolinMethods.cpp); the frame has run ---
    HRESULT openSourceBody(BSTR sourcePath, BSTR acxPath, BSTR rcPath, BSTR rcText, IStorage* hostStorage,
                           IUnknown* errorDisplay, USHORT firstId, USHORT secondId, LONG flag,
                           ULONG sectionMask, LONG* objectKind, LONG* status);
    HRESULT compileSysVarsBody(LONG a, LONG b, LONG* status);
    HRESULT compileSysFunctionsBody(LONG a, LONG firstCount, BSTR* firstPaths, LONG secondCount,
                                    BSTR* secondPaths, LONG c, LONG d, LONG* status);
    HRESULT compileCommentsBody(BSTR rcPath, LONG* status);
    HRESULT compileVariablesBody(BSTR rcPath, LONG* status);
    HRESULT compileConnectionsBody(LONG* status);
    HRESULT compileAlarmsBody(BSTR rcPath, LONG* status);
    HRESULT compileBootFunctionsBody(BSTR rcPath, const std::list<String>& names, BSTR bootText,
                                     BSTR commentRcPath, LONG* status);
    HRESULT compileSupportedTOsBody(LONG* status);
    HRESULT compileImplementationsBody(BSTR outputBase, LONG* status);
    HRESULT copySectionsBody(SHORT count, const char* const* names, LONG* status);

    // --- services of the bodies (CTavolin.cpp) ---
    // Keeps the entry method's paths, ids, flag and mask.
    void keepEntryArguments(BSTR sourcePath, BSTR acxPath, USHORT firstId, USHORT secondId, LONG flag,
                            ULONG sectionMask);
    // Hands the host's error display to the error-display output, keeps a
    // reference, sets the handler's output mode from the display and its
    // context name to the source path.
    void installErrorDisplay(IUnknown* errorDisplay);
    // The state the section methods work on.
    MdFrontContext frontContext();
    // The ACX import of the variable method: configurations into "cfghead",
    // then the variable extensions; the status (0xBE11FFFF without import
    // when the file was not read whole).
    int32_t importAcxVariables();

    // Texts of BSTR arguments: the UTF-16 text, a path as the bytes it
    // names (its UTF-16 form as the platform's path conversion makes it), a
    // text in the ANSI code page (what files receive).
    static std::u16string bstrText(BSTR b);
    static String pathOf(BSTR b);
    static String pathOf(const WString& w);
    static String textOf(BSTR b);

    template <class Body>
    HRESULT guarded(const char* method, LONG* status, Body&& body);

    // --- members, in the order they are constructed ---
    CLifetimeTracer m_lifetime;
    bool m_registeredProvider;   // class provider by class id (true) or from the sibling library
    uint16_t m_firstId;          // 4 or more adds the reference-call option
    uint16_t m_secondId;
    uint32_t m_sectionMask;      // skip mask of the section split
    CmIfErrorDisplayMsgOut m_errDisplayOut;
    int32_t m_nextStringId;      // next free resource-string id
    WString m_sourcePath;
    WString m_acxPath;
    String m_classProviderText;  // text returned by the system-variable class provider
    RTTypeID m_typeId;
    int32_t m_objectKind;        // -1 until a source with a header was opened
    String m_workFilePath;
    FsFileMan m_workFile;
    std::unique_ptr<FsSectMan> m_targetMan;  // over the host's storage
    // The compiler of the running call (one at a time; null between calls).
    std::unique_ptr<MdSectionCompiler> m_compiler;
    ComPtr<IUnknown> m_errorDisplay;
    ComPtr<IUnknown> m_classProvider;
    CMDAcxContentHandler m_acxContent;
    // A fatal error ended the read of the ACX file: the tree holds at most
    // a part of it and is neither checked nor imported.
    bool m_acxFatal = false;

    CmMessageHandler* m_msgHandler;  // owned
};

// The reference-counted pre-compiler object.
using CTavolinObject = CComObject<CTavolin>;
