// The boot-function compiler: the class-provider step, the compiler's life
// (construction, init) and its outputs (parse).
#include "tools/md/tavolin/MdBfParser.h"

#include <climits>
#include <string>

#include "base/st/stsymtab/StSySymbEntry.h"
#include "platform/comserver.h"
#include "platform/library.h"
#include "platform/text.h"
#include "tools/md/tavolin/MdScannerSupport.h"
#include "MdBfBisonParser.tab.hpp"

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

    HINSTANCE module = CoLoadLibrary(tvp::pathToWide(library).c_str(), TRUE);
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

CBoVarComment* const MdBfTypeContainer::kNoComments = nullptr;

MdBfParser::MdBfParser()
    : MdBfFrame(&m_symbols, static_cast<CBfBootFktTypCont*>(this)),
      m_symbols(new CBfSymbTable),
      m_exports(m_symbols),
      m_typeActions(*m_symbols, [this](uint32_t id, const String* arg) { error(id, arg); })
{
    m_typeActions.setDeclaredHere([this](const String& name) { return declaredHere(name); });
}

MdBfParser::~MdBfParser()
{
    delete m_symbols;
    m_symbols = nullptr;
}

void MdBfParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    m_name = args.sourcePath;
    m_m4Path = args.rcPath;
    m_includes = args.names;
    m_container = args.bootText;
    m_noImpl = args.sectionMask;
    ERRTXT_OFFSET = args.firstStringId;
    m_outputsUnused = args.outputsUnused;
    initScanner(args.stream, args.flag, args.firstPass != 0);
}

int32_t MdBfParser::parse()
{
    const int32_t r = yyparse();
    if (m_outputsUnused) return r != 0 ? r : m_errors != 0 ? 3 : 0;
    // The exports are written whatever the grammar answered.
    bool exported = false;
    const int32_t interf =
        mdRewriteSection(m_target, "bfinterf", [&](FsSecCl& s) { exported = m_exports.writeExports(&s); }, 5);
    if (!exported) return 4;
    if (interf != 0) return interf;
    if (r != 0) return r;
    if (m_errors != 0) return 3;
    const int32_t symb = mdRewriteSection(m_target, "bfsymb", [&](FsSecCl& s) { m_symbols->save(s); }, 5);
    if (symb != 0) return symb;
    const int32_t boot = mdRewriteSection(m_target, "boot", [&](FsSecCl& s) { saveBfTypCont(s); }, 5);
    if (boot != 0) return boot;
    if (!writeM4(m_m4Path, m_includes, m_container, (m_noImpl & 1u) != 0)) return 5;
    // The texts are in the files as the source has them (the macro package
    // that reads them is not ours to change); m4 would cut those whose
    // quotes do not balance, and the user learns where they stand.
    for (const M4Warning& w : m_m4Warnings) mdEmitMessage(MdBfMsgM4Quotes, w.line, w.block.c_str());
    return 0;
}

int MdBfParser::yylex()
{
    const int token = MdBfFrame::yylex();
    if (token != BF_CODE_TEXT && token != BF_FUNCTION_NAME_TEXT && token != BF_FUNCTION_BODY_TEXT) return token;
    const int32_t begun = mdTextFirstLine(lineno(), MdBflval.text);
    if (token == BF_CODE_TEXT) m_codeLine = begun;
    if (token == BF_FUNCTION_NAME_TEXT) m_nameLine = begun;
    if (token == BF_FUNCTION_BODY_TEXT) m_functionLine = m_nameLine;
    return token;
}

void MdBfParser::error(uint32_t id, const String* arg1, const String* arg2)
{
    ++m_errors;
    reportError(id, arg1, arg2);
}

void MdBfParser::setNameRange(StRangeID nr)
{
    m_nameRange = nr;
    m_typeActions.setScope(m_validRange, m_nameRange);
}

bool MdBfParser::declaredHere(const String& name) const
{
    // The table's lookup in exactly this scope (its name-chain index).
    return m_symbols->StSymbTable::findSymbol(name, m_validRange, m_nameRange).isValid();
}
