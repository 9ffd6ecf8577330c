// The stand-in system-variable and system-function class provider.
#include "tools/tvclsprv/ClsPrvSysCompiler.h"

#include <cstring>
#include <string>

#include "platform/guid.h"
#include "platform/text.h"
#include "tools/tvclsprv/ClsPrvSupport.h"

const CComRegistration g_clsPrvSysCompilerRegistration = {
    "tvclsprv.SysCompiler.1",
    "tvclsprv.SysCompiler",
    "tvclsprv SysCompiler Class",
    "{27F32D99-2F82-11D3-90A9-00105A6C0FD7}",
    "Apartment",
};

namespace {

// Length of a name-exports header: twelve count characters, the length 17,
// a blank, the header word and a blank.
constexpr size_t kNameExportsHead = 33;

std::string number(long long v)
{
    return std::to_string(v);
}

std::string present(const void* p)
{
    return p ? "set" : "null";
}

// What both operations log of the temporary file and the working storage.
void logCommon(BSTR tempPath, IStorage* storage, IUnknown* errorDisplay)
{
    // The temporary file can be as large as the source: read only for a log.
    if (!clsprv::logging()) return;
    const std::string path = clsprv::textOf(tempPath);
    clsprv::log("tempPath", clsprv::quoted(path));
    std::string bytes;
    clsprv::log("tempFile", tempPath && clsprv::readFile(path, bytes) ? clsprv::quoted(bytes) : "missing");
    clsprv::log("storage", present(storage));
    clsprv::log("errorDisplay", present(errorDisplay));
    clsprv::log("unitinterf", clsprv::streamHead(storage, "unitinterf", kNameExportsHead, bytes)
                                  ? clsprv::quoted(bytes)
                                  : "missing");
}

HRESULT answer(IStorage* storage, LONG* status)
{
    // A section that should have been written and was not fails the call.
    const HRESULT hr = clsprv::writeSectionKnob(storage) ? clsprv::resultKnob() : E_FAIL;
    const LONG st = clsprv::statusKnob();
    if (status) *status = st;
    char buf[64];
    std::snprintf(buf, sizeof buf, "hr=0x%08X status=0x%08X", unsigned(hr), unsigned(st));
    clsprv::log("result", buf);
    return hr;
}

}  // namespace

HRESULT CClsPrvSysCompiler::InternalQueryInterface(REFIID riid, void** ppv)
{
    return comQueryOne<IMdClassProvider>(this, IID_IMdClassProvider, riid, ppv);
}

HRESULT CClsPrvSysCompiler::unused()
{
    return clsprv::notImplemented("unused");
}

HRESULT CClsPrvSysCompiler::compileSysVars(BSTR tempPath, const OLECHAR* sourcePath, IStorage* storage, LONG a,
                                           LONG b, const char* text, IUnknown* errorDisplay, char** outText,
                                           LONG* status)
{
    clsprv::log("call", "compileSysVars");
    logCommon(tempPath, storage, errorDisplay);
    clsprv::log("sourcePath", clsprv::quoted(clsprv::textOf(sourcePath)));
    clsprv::log("a", number(a));
    clsprv::log("b", number(b));
    clsprv::log("text", text ? clsprv::quoted(text) : "(null)");
    if (outText) {
        const std::string t = clsprv::textKnob();
        *outText = static_cast<char*>(CoTaskMemAlloc(t.size() + 1));
        if (*outText) std::memcpy(*outText, t.c_str(), t.size() + 1);
    }
    return answer(storage, status);
}

HRESULT CClsPrvSysCompiler::compileSysFunctions(BSTR tempPath, LONG a, RTTypeID typeId, LONG count,
                                                MdClsPrvDscEntry* entries, LONG c, LONG d, IStorage* storage,
                                                const char* option, IUnknown* errorDisplay, LONG* status)
{
    clsprv::log("call", "compileSysFunctions");
    logCommon(tempPath, storage, errorDisplay);
    clsprv::log("a", number(a));
    clsprv::log("typeId", tvp::guidToString(typeId.guid) + " " + number(typeId.version) + " " +
                              number(typeId.second));
    clsprv::log("count", number(count));
    for (LONG i = 0; entries && i < count; ++i) {
        const MdClsPrvDscEntry& e = entries[i];
        clsprv::log("entry", number(i) + " flag=" + number(e.flag) + " storage=" +
                                 (!e.storage ? "null" : clsprv::storageOpens(e.storage) ? "opens" : "fails"));
    }
    clsprv::log("c", number(c));
    clsprv::log("d", number(d));
    clsprv::log("option", option ? clsprv::quoted(option) : "(null)");
    return answer(storage, status);
}
