// Runtime alarm messages over random VARIANT arrays: the bytes choose the
// array's element type, its lower bound, its length and each element's type
// and value (texts included). Building the record must not crash or touch
// memory outside it; a record that took its arguments carries the id and
// number given and 0 in every slot whose index the array lacks, and a
// record that did not is zero throughout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bo/alm/BoErrorMsgCont.h"

namespace {

const VARTYPE kTypes[] = {VT_I1, VT_I2, VT_UI1, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8,
                          VT_BSTR, VT_BOOL, VT_EMPTY, VT_I8, VT_DATE};

struct Bytes {
    const uint8_t* p;
    size_t n;
    uint8_t next() { return n ? (--n, *p++) : 0; }
    uint64_t word()
    {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | next();
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes b{data, size};
    const bool ofVariants = b.next() & 1;
    const VARTYPE arrayType = ofVariants ? VARTYPE(VT_VARIANT) : kTypes[b.next() % 13];
    const LONG lower = LONG(int8_t(b.next()));
    const ULONG count = b.next() % 9;
    VARIANT args;
    VariantInit(&args);
    args.vt = VT_ARRAY | arrayType;
    args.parray = SafeArrayCreateVector(arrayType, lower, count);
    if (!args.parray) return 0;
    for (ULONG i = 0; i < count; ++i) {
        LONG idx = lower + LONG(i);
        VARIANT e;
        VariantInit(&e);
        e.vt = ofVariants ? kTypes[b.next() % 13] : arrayType;
        if (e.vt == VT_BSTR) {
            e.bstrVal = SysAllocString(u"text");
        } else {
            const uint64_t v = b.word();
            std::memcpy(&e.llVal, &v, sizeof v);
        }
        if (ofVariants)
            SafeArrayPutElement(args.parray, &idx, &e);
        else if (e.vt == VT_BSTR)
            SafeArrayPutElement(args.parray, &idx, e.bstrVal);
        else
            SafeArrayPutElement(args.parray, &idx, &e.llVal);
        VariantClear(&e);
    }
    const CBoAlmMsg msg(7, 9, args);
    const CmRtMsgRecord r = msg.getRecord();
    if (msg.valid()) {
        if (r.id != 7 || r.number != 9) std::abort();
        for (LONG s = 0; s < 5; ++s)
            if ((s < lower || s >= lower + LONG(count)) && r.args[s] != 0) std::abort();
    } else {
        const CmRtMsgRecord zero;
        if (std::memcmp(&r, &zero, sizeof r) != 0) std::abort();
    }
    VariantClear(&args);
    return 0;
}
