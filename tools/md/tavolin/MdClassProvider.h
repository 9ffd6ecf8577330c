// The class-provider component that compiles the system-variable and
// system-function sections outside the pre-compiler: its class id, its
// interface and the descriptor entries handed to it. The component lives in
// the sibling library "tvclsprv"; the pre-compiler creates it by class id or
// from that library beside its own module.
#pragma once
#include "base/fs/FsRTTypeID.h"
#include "platform/com.h"
#include "platform/storage.h"
#include "platform/wintypes.h"

// {27f32d99-2f82-11d3-90a9-00105a6c0fd7}
inline constexpr CLSID CLSID_MdClassProvider = {0x27F32D99, 0x2F82, 0x11D3,
                                         {0x90, 0xA9, 0x00, 0x10, 0x5A, 0x6C, 0x0F, 0xD7}};
// {29407c5e-9944-4d32-896e-ae1e99bd3d83}
inline constexpr IID IID_IMdClassProvider = {0x29407C5E, 0x9944, 0x4D32,
                                      {0x89, 0x6E, 0xAE, 0x1E, 0x99, 0xBD, 0x3D, 0x83}};

// One descriptor handed to the system-function operation: the object-file
// storage of a descriptor file (or null) and its flag (1 for a file of the
// first list, 0 for the second list or for a device of the base type).
struct MdClsPrvDscEntry {
    IStorage* storage;
    LONG flag;
};

// Slot order after the three IUnknown operations: an operation the
// pre-compiler does not use, the system-variable operation, the
// system-function operation.
struct IMdClassProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE unused() = 0;
    // tempPath: file holding the section's temporary stream; sourcePath: the
    // source given to the entry method; storage: the working file's storage
    // (lent for the call); text: an empty text; outText: a text allocated
    // with CoTaskMemAlloc (may stay null); status: the front-end status.
    virtual HRESULT STDMETHODCALLTYPE compileSysVars(BSTR tempPath, const OLECHAR* sourcePath, IStorage* storage,
                                                     LONG a, LONG b, const char* text, IUnknown* errorDisplay,
                                                     char** outText, LONG* status) = 0;
    // option: " -C RefCall " or the empty text.
    virtual HRESULT STDMETHODCALLTYPE compileSysFunctions(BSTR tempPath, LONG a, RTTypeID typeId, LONG count,
                                                          MdClsPrvDscEntry* entries, LONG c, LONG d,
                                                          IStorage* storage, const char* option,
                                                          IUnknown* errorDisplay, LONG* status) = 0;
};
TV_DECLARE_IID(IMdClassProvider, IID_IMdClassProvider);
