// The settings library's device-section attribute lookup over the settings
// store (see hostproject.h for the key it reads).
#include "platform/hostproject.h"

#include "platform/settings_store.h"
#include "platform/text.h"

HRESULT TVBX_GetDeviceSectionAttributeByID(const char* device, const char* section, const char* attribute,
                                           const char* platform, std::string* value)
{
    if (!device || !section || !attribute || !platform || !value) return E_INVALIDARG;
    std::string key = std::string("SOFTWARE\\Korvent\\VRX\\4.1\\DeviceSections\\") + device + "\\" + platform +
                      "\\" + section;
    std::u16string text;
    if (!tvp::settingsGetString("HKEY_LOCAL_MACHINE", key, attribute, text)) return HRESULT(0x80070002u);
    *value = tvp::wideToAnsi(text);
    return S_OK;
}
