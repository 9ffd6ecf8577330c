// The boot-function compiler: scanner and parser operations and the
// class-provider step.
#include "tools/md/tavolin/MdBfParser.h"

#include <climits>
#include <string>

#include "platform/comserver.h"
#include "platform/library.h"
#include "platform/text.h"

namespace {

// The stand-in's file name before the platform's library naming.
const char kProviderLibrary[] = "tvclsprv.dll";

INameClassifier* classifierBesideExecutable()
{
    char path[PATH_MAX];
    const DWORD n = GetModuleFileNameA(nullptr, path, DWORD(sizeof path));
    // A path cut to the buffer would name another file: no provider.
    if (n == 0 || n >= sizeof path - 1) return nullptr;
    std::string library(path, n);
    const size_t slash = library.find_last_of("/\\");
    library.erase(slash == std::string::npos ? 0 : slash + 1);
    library += kProviderLibrary;

    HINSTANCE module = CoLoadLibrary(tvp::utf8ToWide(library).c_str(), TRUE);
    if (!module) return nullptr;
    auto getClassObject = reinterpret_cast<PFN_DllGetClassObject>(GetProcAddress(module, "DllGetClassObject"));
    if (!getClassObject) return nullptr;
    ComPtr<IClassFactory> factory;
    if (FAILED(getClassObject(CLSID_NameClassifier, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        !factory)
        return nullptr;
    INameClassifier* classifier = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, IID_INameClassifier, reinterpret_cast<void**>(&classifier))))
        return nullptr;
    return classifier;
}

}  // namespace

INameClassifier* mdBfObtainClassifier(bool registered)
{
    if (!registered) return classifierBesideExecutable();
    INameClassifier* classifier = nullptr;
    if (FAILED(CoCreateInstance(CLSID_NameClassifier, nullptr, CLSCTX_INPROC_SERVER, IID_INameClassifier,
                                reinterpret_cast<void**>(&classifier))))
        return nullptr;
    return classifier;
}

void MdBfParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    initScanner(args.stream, args.flag, true);
}

void MdBfParser::initScanner(std::istream* in, bool registeredProvider, bool lowerCase)
{
    setInput(in);
    setLowerCase(lowerCase);
    m_provider.Attach(mdBfObtainClassifier(registeredProvider));
    setClassifier(m_provider.get());
    if (!m_provider) MdParserFrame::reportError(MdBfMsgInternal);
}

void MdBfParser::reportError(uint32_t id, const String* arg1, const String* arg2)
{
    const char* first = arg1 ? arg1->c_str() : nullptr;
    mdEmitMessage(id, lineno(), first, first && arg2 ? arg2->c_str() : nullptr);
}
