#include "tools/md/tavolin/MdBfAddressAction.h"

#include <cstring>
#include <memory>

bool mdBfAddressNumber(const String& text, uint32_t& value)
{
    const char* p = text.c_str();
    if (!p || !*p)
        return false;
    ++p;  // "$" or "@"
    unsigned radix = 10;
    if (std::strncmp(p, "16#", 3) == 0) {
        radix = 16;
        p += 3;
    }
    if (!*p)
        return false;
    uint64_t v = 0;
    for (; *p; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9')
            digit = unsigned(*p - '0');
        else if (radix == 16 && *p >= 'a' && *p <= 'f')
            digit = unsigned(*p - 'a' + 10);
        else if (radix == 16 && *p >= 'A' && *p <= 'F')
            digit = unsigned(*p - 'A' + 10);
        else
            return false;
        v = v * radix + digit;
        if (v > 0xffffffffu)
            return false;
    }
    value = uint32_t(v);
    return true;
}

void mdBfAddAddress(CBfBootFktTypCont& container, String* key, String* address,
                    const std::function<void(uint32_t id, const String* arg)>& report)
{
    std::unique_ptr<String> ownedKey(key), ownedAddress(address);
    uint32_t k = 0, a = 0;
    if (!ownedKey || !ownedAddress || !mdBfAddressNumber(*ownedKey, k) || !mdBfAddressNumber(*ownedAddress, a)) {
        report(506, nullptr);
        return;
    }
    if (!container.addAdr(k, a))
        report(0, nullptr);
}
