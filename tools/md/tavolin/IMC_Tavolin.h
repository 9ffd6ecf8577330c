// The pre-compiler's interface, as the host engineering system calls it.
//
// Slot order after the three IUnknown operations (binary layout; never
// reorder): getVersion, openSource, compileSysVars, compileSysFunctions,
// compileComments, compileVariables, compileConnections, compileAlarms,
// compileBootFunctions, compileSupportedTOs, compileImplementations,
// copySections.
//
// Every method but getVersion ends with a pointer to a signed 32-bit status:
// 0 success, else a code 0xBE11xxxx (see MdStatusCodes.h). The HRESULT says
// whether the call could run at all (E_POINTER, E_OUTOFMEMORY, E_FAIL); the
// status carries the verdict. BSTR arguments are UTF-16 (null counts as
// empty).
#pragma once
#include <cstdint>

#include "platform/com.h"
#include "platform/storage.h"
#include "platform/wintypes.h"
#include "tools/md/tavolin/MdStatusCodes.h"

// Class id and ProgIDs of the pre-compiler object.
inline constexpr CLSID CLSID_CTavolin = {
    0xB50A2AE2, 0x3DB3, 0x11D3, {0x8F, 0x54, 0x00, 0x10, 0x5A, 0x2D, 0xC9, 0x95}};
inline constexpr IID IID_IMC_Tavolin = {
    0xC01058C8, 0x9C07, 0x4364, {0x80, 0xB9, 0x4C, 0x87, 0x24, 0x0D, 0x17, 0xF6}};

struct IMC_Tavolin : public IUnknown {
    // A copy of the version text in COM task memory; the caller frees it
    // with CoTaskMemFree. E_POINTER for a null pointer.
    virtual HRESULT STDMETHODCALLTYPE getVersion(char** version) = 0;

    // Opens a description source: splits it into the temporary section
    // streams of a private working file (a copy of hostStorage), writes the
    // descriptor header, reads the ACX file when one is named (checking its
    // header against the descriptor header and completing that) and returns
    // the object kind (MdKind*: 1, 2 technology object, 4 package, 5
    // device).
    // hostStorage, errorDisplay, objectKind and status are required.
    virtual HRESULT STDMETHODCALLTYPE openSource(BSTR sourcePath, BSTR acxPath, BSTR rcPath, BSTR rcText,
                                                 IStorage* hostStorage, IUnknown* errorDisplay,
                                                 USHORT firstId, USHORT secondId, LONG flag,
                                                 ULONG sectionMask, LONG* objectKind, LONG* status) = 0;

    // System variables (kinds 1, 2) through the external class provider;
    // a and b are handed to it.
    virtual HRESULT STDMETHODCALLTYPE compileSysVars(LONG a, LONG b, LONG* status) = 0;
    // System functions (kinds 4, 5) through the external class provider,
    // with the descriptor files of two path lists; a, c and d are handed
    // to it.
    virtual HRESULT STDMETHODCALLTYPE compileSysFunctions(LONG a, LONG firstCount, BSTR* firstPaths,
                                                          LONG secondCount, BSTR* secondPaths, LONG c,
                                                          LONG d, LONG* status) = 0;
    // Kinds 1, 2.
    virtual HRESULT STDMETHODCALLTYPE compileComments(BSTR rcPath, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE compileVariables(BSTR rcPath, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE compileConnections(LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE compileAlarms(BSTR rcPath, LONG* status) = 0;
    // names (nameCount entries) is required.
    virtual HRESULT STDMETHODCALLTYPE compileBootFunctions(BSTR rcPath, LONG nameCount, BSTR* names,
                                                           BSTR bootText, BSTR commentRcPath,
                                                           LONG* status) = 0;
    // Kinds 4, 5.
    virtual HRESULT STDMETHODCALLTYPE compileSupportedTOs(LONG* status) = 0;
    // Kinds 1, 2, 4, 5; outputBase is the path of the .m4h/.m4c files
    // without extension.
    virtual HRESULT STDMETHODCALLTYPE compileImplementations(BSTR outputBase, LONG* status) = 0;

    // Copies the named sections of the working file into sections of the
    // same names that the host storage already holds. names is required.
    virtual HRESULT STDMETHODCALLTYPE copySections(SHORT count, const char* const* names, LONG* status) = 0;
};

TV_DECLARE_IID(IMC_Tavolin, IID_IMC_Tavolin);
