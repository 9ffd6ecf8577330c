// The stand-in of the class provider that compiles system variables and
// system functions: it logs what it is given (ClsPrvSupport.h) and answers
// as the knobs say; it compiles nothing.
#pragma once
#include "platform/comserver.h"
#include "tools/md/tavolin/MdClassProvider.h"

class CClsPrvSysCompiler : public CComObjectRoot, public IMdClassProvider {
public:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv);

    HRESULT STDMETHODCALLTYPE unused() override;
    HRESULT STDMETHODCALLTYPE compileSysVars(BSTR tempPath, const OLECHAR* sourcePath, IStorage* storage, LONG a,
                                             LONG b, const char* text, IUnknown* errorDisplay, char** outText,
                                             LONG* status) override;
    HRESULT STDMETHODCALLTYPE compileSysFunctions(BSTR tempPath, LONG a, RTTypeID typeId, LONG count,
                                                  MdClsPrvDscEntry* entries, LONG c, LONG d, IStorage* storage,
                                                  const char* option, IUnknown* errorDisplay,
                                                  LONG* status) override;
};

using CClsPrvSysCompilerObject = CComObject<CClsPrvSysCompiler>;

// Its registration: ProgID "tvclsprv.SysCompiler.1", class id
// {27f32d99-2f82-11d3-90a9-00105a6c0fd7}, threading model "Apartment".
extern const CComRegistration g_clsPrvSysCompilerRegistration;
