// Fuzz target of the constant-table reader and of the body and value-only
// readers of the five constant kinds. The first byte picks the reader
// (bits 0-3: 0 the table, 1-5 the body of kind 0-4, 6-10 the value-only form
// of kind 0-4) and the form (bits 4-5: section text, section binary,
// standard stream; value-only forms exist on the section stream only); the
// rest is the input. Invariants: no crash, no hang, memory bounded by the
// input (readers allocate nothing by a count they read, nesting is
// limited); what reads cleanly writes, and that reads and writes again to
// the same bytes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StConstantVal.h"

namespace {

enum Form { TEXT, BINARY, STREAM };

std::unique_ptr<StConstantVal> make(int kind)
{
    if (kind == ST_CONST_INTARRAY) return std::make_unique<StIntArrayConstantVal>();
    return std::unique_ptr<StConstantVal>(StSyConstValTable().createConstantVal(kind));
}

// Reads what one reader reads from bytes; on success *out is what it
// writes back.
template <class T>
bool readWrite(T& obj, Form form, bool valueOnly, const std::string& bytes, std::string* out)
{
    if (form == STREAM) {
        std::istringstream is(bytes);
        if (!obj.read(is)) return false;
        std::ostringstream os;
        if (!obj.write(os)) std::abort();
        *out = os.str();
        return true;
    }
    FsSecClMem in;
    in.setBinary(form == BINARY);
    if (!bytes.empty()) in.writeBytes(bytes.data(), uint32_t(bytes.size()));
    in.seek(0, 0);
    bool ok;
    if constexpr (std::is_same_v<T, StSyConstValTable>)
        ok = obj.read(in);
    else
        ok = valueOnly ? obj.readValue(in) : obj.read(in);
    if (!ok) return false;
    FsSecClMem o;
    o.setBinary(form == BINARY);
    bool wrote;
    if constexpr (std::is_same_v<T, StSyConstValTable>)
        wrote = obj.write(o);
    else
        wrote = valueOnly ? obj.writeValue(o) : obj.write(o);
    if (!wrote) std::abort();
    out->assign(o.getSize(), '\0');
    o.seek(0, 0);
    if (!out->empty()) o.readBytes(&(*out)[0], uint32_t(out->size()));
    return true;
}

template <class Make>
void check(Make make, Form form, bool valueOnly, const std::string& bytes)
{
    auto first = make();
    std::string once, twice;
    if (!first || !readWrite(*first, form, valueOnly, bytes, &once)) return;
    auto second = make();
    if (!readWrite(*second, form, valueOnly, once, &twice) || twice != once) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const unsigned reader = data[0] & 0x0F;
    Form form = Form((data[0] >> 4) & 3);
    if (form > STREAM) form = TEXT;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if (reader == 0) {
        check([] { return std::make_unique<StSyConstValTable>(); }, form, false, bytes);
    } else if (reader <= 5) {
        check([&] { return make(int(reader) - 1); }, form, false, bytes);
    } else if (reader <= 10) {
        check([&] { return make(int(reader) - 6); }, form == STREAM ? TEXT : form, true, bytes);
    }
    return 0;
}
