// Comment-text maps, their text loads through the resource module and their
// section layout (see BoVarComment.h).
#include "bo/bo/BoVarComment.h"

#include <new>

#include "bo/bo/BoVarExtIo.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "bovarcm";
const char kGetText[] = "CBoVarComment::getText";

bool isEmptyText(int32_t textId) { return textId < 0; }

// Texts longer than this are not worth a bigger buffer.
constexpr uint32_t kMaxBufSize = 0x40000000u;

}  // namespace

CBoVarComment::CBoVarComment(const tvp::ResModule* module) : m_hResInst(module) {}

CBoVarComment::~CBoVarComment() = default;

bool CBoVarComment::addVarText(const VarExtKey& key, int32_t textId)
{
    if (foundVarText(findVarText(key))) return false;
    return m_varTexts.emplace(key, textId).second;
}

bool CBoVarComment::addTypeText(const TypeExtKey& key, int32_t textId)
{
    if (foundTypeText(findTypeText(key))) return false;
    return m_typeTexts.emplace(key, textId).second;
}

CVarTextTable::const_iterator CBoVarComment::findVarText(const VarExtKey& key) const
{
    return findMasked(m_varTexts, key, isEmptyText);
}

CTypeTextTable::const_iterator CBoVarComment::findTypeText(const TypeExtKey& key) const
{
    return findMasked(m_typeTexts, key, isEmptyText);
}

// Loads text id into the buffer, doubling it while the text fills it.
bool CBoVarComment::loadText(int32_t textId, String& text)
{
    if (!m_buf) m_buf.reset(new (std::nothrow) char[m_bufSize]);
    int got = m_buf ? tvp::loadStringA(m_hResInst, uint32_t(textId), m_buf.get(), int(m_bufSize)) : 0;
    while (m_buf && uint32_t(got) == m_bufSize - 1 && m_bufSize < kMaxBufSize) {
        m_bufSize *= 2;
        m_buf.reset();
        m_buf.reset(new (std::nothrow) char[m_bufSize]);
        if (!m_buf) break;
        got = tvp::loadStringA(m_hResInst, uint32_t(textId), m_buf.get(), int(m_bufSize));
    }
    if (got == 0 || !m_buf) return false;
    text = String(m_buf.get(), got);
    return true;
}

// The text of a found entry (-1: nothing found): Loaded, or NoText
// (traced here when there is no module), or LoadFailed (the caller traces).
CBoVarComment::TextResult CBoVarComment::textOf(int32_t textId, String& text)
{
    if (!m_hResInst) {
        TV_TRACE(4, kTraceFile, kGetText, "m_hResInst is not valid");
        return NoText;
    }
    if (isEmptyText(textId)) return NoText;
    return loadText(textId, text) ? Loaded : LoadFailed;
}

bool CBoVarComment::getText(int32_t adr, uint32_t cfg, String& text)
{
    auto it = findVarText(VarExtKey(adr, cfg));
    TextResult r = textOf(foundVarText(it) ? it->second : -1, text);
    if (r == LoadFailed) TV_TRACE(4, kTraceFile, kGetText, "LoadString failed for adr %i", adr);
    return r == Loaded;
}

bool CBoVarComment::getText(const String& typeName, uint32_t mask, String& text)
{
    auto it = findTypeText(TypeExtKey(typeName, mask));
    TextResult r = textOf(foundTypeText(it) ? it->second : -1, text);
    if (r == LoadFailed) TV_TRACE(4, kTraceFile, kGetText, "LoadString failed for type %s", typeName.c_str());
    return r == Loaded;
}

bool CBoVarComment::save(FsSecCl& section) const
{
    if (section.setSize(0) != 0) return false;
    section << m_varTexts;
    section.putNewLine();
    section << m_typeTexts;
    return !section.hasError();
}

bool CBoVarComment::load(FsSecCl& section)
{
    if (section.isBinary()) return false;
    section >> m_varTexts;
    section >> m_typeTexts;
    return !section.hasError();
}
