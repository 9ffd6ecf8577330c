// Comment-text maps, their text loads through the resource module and their
// section layout (see BoVarComment.h).
#include "bo/bo/BoVarComment.h"

#include <new>

#include "base/fs/FsSecRun.h"
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

namespace {

// The insert of addVarText / addTypeText. A key above every key present
// (the compiler enters its keys in ascending order) cannot be found by the
// masked lookup, which looks at the key and above: it goes to the end
// without a search.
template <class Table, class Key, class Find>
bool addText(Table& t, const Key& key, int32_t textId, Find find)
{
    if (t.empty() || t.rbegin()->first < key) {
        t.emplace_hint(t.end(), key, textId);
        return true;
    }
    if (find(key) != t.end()) return false;
    return t.emplace(key, textId).second;
}

}  // namespace

bool CBoVarComment::addVarText(const VarExtKey& key, int32_t textId)
{
    return addText(m_varTexts, key, textId, [this](const VarExtKey& k) { return findVarText(k); });
}

bool CBoVarComment::addTypeText(const TypeExtKey& key, int32_t textId)
{
    return addText(m_typeTexts, key, textId, [this](const TypeExtKey& k) { return findTypeText(k); });
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

namespace {

// The generic table layout (BoVarExtIo.h) of a comment map, collected in
// one run: a map may hold an entry per variable of a large source.
template <class Table, class PutKey>
void putTable(FsSecRun& run, const Table& t, PutKey putKey)
{
    run << uint32_t(t.size());
    run.putBlank();
    for (const auto& e : t) {
        if (run.hasError()) break;
        putKey(e.first);
        run.putBlank();
        run << int32_t(e.second);
        run.putBlank();
    }
}

}  // namespace

bool CBoVarComment::save(FsSecCl& section) const
{
    if (section.setSize(0) != 0) return false;
    {
        FsSecRun run(section);
        putTable(run, m_varTexts, [&run](const VarExtKey& k) { run << int32_t(k.adr) << ' ' << uint32_t(k.mask); });
        run.putNewLine();
        putTable(run, m_typeTexts, [&run](const TypeExtKey& k) { run << k.name << ' ' << uint32_t(k.mask); });
    }
    return !section.hasError();
}

bool CBoVarComment::load(FsSecCl& section)
{
    if (section.isBinary()) return false;
    section >> m_varTexts;
    section >> m_typeTexts;
    return !section.hasError();
}
