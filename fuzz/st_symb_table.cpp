// Fuzz target of the symbol-table loader. The first byte picks the form
// (bits 0-1: section text, section binary, standard stream); the rest is
// the text. Invariants: no crash, no hang, memory bounded by the input; the
// load ends in status 0, 2 or 3; a clean load saves, and that loads clean
// and saves again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

enum Form { TEXT, BINARY, STREAM };

// Loads bytes; on a clean load *out is what the table saves.
bool loadSave(StSymbTable& t, Form form, const std::string& bytes, std::string* out)
{
    if (form == STREAM) {
        std::istringstream is(bytes);
        t.load(is);
    } else {
        FsSecClMem in;
        in.setBinary(form == BINARY);
        if (!bytes.empty()) in.writeBytes(bytes.data(), uint32_t(bytes.size()));
        in.seek(0, 0);
        t.load(in);
    }
    const uint32_t status = t.getStatus();
    if (status != 0 && status != 2 && status != 3) std::abort();
    if (status != 0) return false;
    if (form == STREAM) {
        std::ostringstream os;
        if (!t.save(os)) std::abort();
        *out = os.str();
        return true;
    }
    FsSecClMem o;
    o.setBinary(form == BINARY);
    if (!t.save(o)) std::abort();
    out->assign(o.getSize(), '\0');
    o.seek(0, 0);
    if (!out->empty()) o.readBytes(&(*out)[0], uint32_t(out->size()));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const Form form = Form((data[0] & 3) % 3);
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    StSymbTable first;
    std::string once, twice;
    if (!loadSave(first, form, bytes, &once)) return 0;
    StSymbTable second;
    if (!loadSave(second, form, once, &twice) || once != twice) std::abort();
    return 0;
}
