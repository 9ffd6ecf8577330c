// The stand-in name classifier of the class provider: it answers 1 for the
// reserved words of Structured Text (IEC 61131-3; compared without regard
// to case) and 0 for any other name, and logs every call
// ("classify <scope> <name> <code>", scope and name quoted).
//
// Knobs (environment, read when the classifier is created: a compile asks
// once per name, and the environment does not change within one run):
//   TVCLSPRV_CLASSIFY      per-name codes "name=code,name=code" (code decimal
//                          or 0x-hex; names compared without regard to case),
//                          taking precedence over the word list
//   TVCLSPRV_NO_CLASSIFIER set (not empty): the class is unavailable; its
//                          creation answers CLASS_E_CLASSNOTAVAILABLE
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "platform/comserver.h"
#include "platform/nameclassifier.h"

class CClsPrvNameClassifier : public CComObjectRoot, public INameClassifier {
public:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv);

    HRESULT STDMETHODCALLTYPE Reserved() override;
    HRESULT STDMETHODCALLTYPE Classify(const char* scope, const char* name, LONG* code) override;

    // The creator of the class table: refuses while TVCLSPRV_NO_CLASSIFIER
    // is set.
    static HRESULT create(IUnknown* pUnkOuter, REFIID riid, void** ppv);

private:
    LONG classify(const char* name) const;

    // TVCLSPRV_CLASSIFY's pairs in their order, and whether TVCLSPRV_LOG is set.
    std::vector<std::pair<std::string, LONG>> m_codes = readCodes();
    bool m_logging = readLogging();

    static std::vector<std::pair<std::string, LONG>> readCodes();
    static bool readLogging();
};

// Its registration: ProgID "tvclsprv.NameClassifier.1", class id
// {3D59C4A3-4795-4F4F-BEF5-AAB9A508356A}, threading model "Apartment".
extern const CComRegistration g_clsPrvNameClassifierRegistration;
