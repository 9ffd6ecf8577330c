// Arbitrary bytes as the installation's XML device description: filling a
// type's connectors from it must end without crash or hang, with 0 (the
// connectors added) or an error code that leaves the container unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bo/cn/CBoConTypeCont.h"
#include "platform/com.h"

namespace {

// The type of the seeds: ESID "{5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}".
const GUID kType = {0x5A3C2E10, 0x8B41, 0x4C7D, {0x9E, 0x2F, 0x1A, 0x6B, 0x3C, 0x4D, 0x5E, 0x60}};

// The classification and its document in one object.
struct Installation : IMC_InstallClassification, IMC_XmlDocumentText {
    std::string xml;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        *ppv = nullptr;
        if (iid == IID_IMC_XmlDocumentText) *ppv = static_cast<IMC_XmlDocumentText*>(this);
        if (iid == IID_IUnknown || iid == IID_IMC_InstallClassification)
            *ppv = static_cast<IMC_InstallClassification*>(this);
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE getInstallationDocument(IUnknown** document, DWORD* ret) override
    {
        *ret = 0;
        *document = static_cast<IMC_XmlDocumentText*>(this);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE getXmlText(char** utf8) override
    {
        *utf8 = static_cast<char*>(CoTaskMemAlloc(xml.size() + 1));
        std::memcpy(*utf8, xml.c_str(), xml.size() + 1);
        return S_OK;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Installation inst;
    inst.xml.assign(reinterpret_cast<const char*>(data), size);
    CBoConTypeCont type;
    type.add(7, CBoConProps("kept", 7, GUID_NULL, true, false, false, false, false, -1, 1, 0));
    const CBoConMap before = type.connectors();
    const uint32_t result = type.initFromTypeDescr(kType, &inst);
    if (result != 0 && (type.connectors().size() != before.size() || !type.find(7))) std::abort();
    if (result == 0 && !type.find(7)) std::abort();
    return 0;
}
