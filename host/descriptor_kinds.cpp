// The kinds of descriptor file a compile writes into, as the tavolin
// command tells them: the descriptor a new TARGET is made as for the
// source's object kind, and the kind an existing TARGET's "header" names,
// for the check that the source fits it.
#include "host/descriptor_kinds.h"

#include <string>

#include "base/fs/FsDsc.h"
#include "platform/storage.h"
#include "platform/text.h"

namespace {

// Creates a descriptor file of class Dsc at path and closes it; r receives
// the result of the creation.
template <class Dsc>
bool makeDescriptor(const char* path, uint32_t& r)
{
    Dsc dsc;
    r = dsc.createFile(path);
    return r == FS_OK && dsc.CloseFile() == FS_OK;
}

}  // namespace

HostDescriptorMaker hostDescriptorMaker(LONG kind)
{
    switch (kind) {
    case MdKindTO:
    case MdKindDvTO:
        return makeDescriptor<FsTODscFile>;
    case MdKindTP:
        return makeDescriptor<FsTPDscFile>;
    case MdKindDv:
        return makeDescriptor<FsDvDscFile>;
    default:
        return nullptr;
    }
}

bool hostMakeEmptyCompoundFile(const char* path, uint32_t&)
{
    IStorage* stg = nullptr;
    HRESULT hr = StgCreateDocfile(tvp::pathToWide(path).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                  0, &stg);
    const bool made = SUCCEEDED(hr) && stg && SUCCEEDED(stg->Commit(STGC_DEFAULT));
    if (stg) stg->Release();
    return made;
}

const char* hostHeaderKind(IStorage* stg)
{
    IStream* s = nullptr;
    if (FAILED(stg->OpenStream(u"header", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s)) || !s) return "";
    char buf[128];
    ULONG got = 0;
    s->Read(buf, sizeof buf, &got);
    s->Release();
    const std::string text(buf, got);
    const size_t start = text.find("\r\n");
    if (start == std::string::npos) return "";
    const std::string line = text.substr(start + 2, text.find("\r\n", start + 2) - start - 2);
    const struct {
        const RTTypeID& id;
        const char* name;
    } kinds[] = {{fsKindIdTO(), "technology object"}, {fsKindIdTP(), "technology package"}, {fsKindIdDV(), "device"}};
    for (const auto& k : kinds) {
        const String t = fsRTTypeIDText(k.id);
        if (line == std::string(t.chars(), size_t(t.length()))) return k.name;
    }
    return "";
}

const char* hostDescriptorKindOf(LONG kind)
{
    switch (kind) {
    case MdKindTO:
    case MdKindDvTO: return "technology object";
    case MdKindTP: return "technology package";
    case MdKindDv: return "device";
    }
    return "";
}

bool hostMacroFilesNamed(LONG kind)
{
    return kind == MdKindTO || kind == MdKindDvTO;
}

const char* hostSourceKindWords(LONG kind)
{
    switch (kind) {
    case MdKindTO: return "a technology object";
    case MdKindDvTO: return "a device technology object";
    case MdKindTP: return "a technology package";
    case MdKindDv: return "a device";
    }
    return "no object kind";
}
