// The name classification of the class provider: an outside in-process class
// that tells whether an identifier is a reserved word of Structured Text.
// The boot-function scanner asks it about every identifier; the stand-in
// class-provider library "tvclsprv" serves it beside its other class.
//
// The class is created either as a registered class (CoCreateInstance) or
// through the DllGetClassObject of the library "tvclsprv" beside the
// executable. Slot order of the interface: the three IUnknown operations,
// one operation this system never calls, then Classify.
#pragma once

#include "platform/com.h"

// {3D59C4A3-4795-4F4F-BEF5-AAB9A508356A}
inline constexpr CLSID CLSID_NameClassifier = {
    0x3D59C4A3, 0x4795, 0x4F4F, {0xBE, 0xF5, 0xAA, 0xB9, 0xA5, 0x08, 0x35, 0x6A}};
// {1F888FCA-C165-4B2B-A59A-D5BA0CCC4713}
inline constexpr IID IID_INameClassifier = {
    0x1F888FCA, 0xC165, 0x4B2B, {0xA5, 0x9A, 0xD5, 0xBA, 0x0C, 0xCC, 0x47, 0x13}};

struct INameClassifier : public IUnknown {
    // Never called by this system; a provider answers E_NOTIMPL.
    virtual HRESULT STDMETHODCALLTYPE Reserved() = 0;
    // Classifies name (8-bit text) within scope (8-bit text, "" for the
    // global scope) into *code: 0 an ordinary name; a code whose low 16 bits
    // are 0x54 is also accepted as a name; any other code marks a reserved
    // word. The caller sets *code to 0 before the call and reads a failing
    // HRESULT as 0.
    virtual HRESULT STDMETHODCALLTYPE Classify(const char* scope, const char* name, LONG* code) = 0;
};

TV_DECLARE_IID(INameClassifier, IID_INameClassifier);
