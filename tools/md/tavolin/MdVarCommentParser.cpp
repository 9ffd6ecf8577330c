// Compiler of the comment sections.
#include "tools/md/tavolin/MdVarCommentParser.h"

#include <algorithm>
#include <vector>

#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdVarSourceRules.h"

MdVarCommentParser::MdVarCommentParser() : MdParserFrame(MdVarCommentMsgBase), CBoVarComment(nullptr) {}

void MdVarCommentParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    m_section = args.section;
}

int32_t MdVarCommentParser::parse()
{
    return yyparse();
}

int32_t MdVarCommentParser::textIndex(TextIndex& texts, const String& text)
{
    return texts.try_emplace(text, int32_t(texts.size())).first->second;
}

int32_t MdVarCommentParser::idOf(int32_t index, std::size_t before) const
{
    return int32_t(uint32_t(m_nextStringId) + uint32_t(before) + uint32_t(index));
}

int32_t MdVarCommentParser::nextStringId() const
{
    return idOf(int32_t(m_varTexts.size()), m_typeTexts.size());
}

void MdVarCommentParser::addressEntry(uint32_t adr, uint32_t mask, const String& text)
{
    m_varKeys.emplace_back(VarExtKey(int32_t(adr), mask), textIndex(m_varTexts, text));
}

bool MdVarCommentParser::rangeEntry(uint32_t first, uint32_t last, uint32_t mask, const String& text)
{
    if (!mdRangeAccepted(first, last)) {
        mdEmitMessage(MdVarCommentMsgRange, lineno());
        return false;
    }
    const int32_t index = textIndex(m_varTexts, text);
    mdForEachAddress(first, last, [&](uint32_t adr) { m_varKeys.emplace_back(VarExtKey(int32_t(adr), mask), index); });
    return true;
}

void MdVarCommentParser::nameEntry(const String& name, bool variables, uint32_t mask, const String& text)
{
    String key = name;
    if (variables) key.downcase();
    m_typeKeys.emplace_back(TypeExtKey(key, mask), textIndex(m_typeTexts, text));
}

template <class Key, class F>
void MdVarCommentParser::forEachKey(KeyList<Key>& keys, F f)
{
    std::stable_sort(keys.begin(), keys.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (i == 0 || keys[i - 1].first < keys[i].first) f(keys[i].first, keys[i].second);
}

int32_t MdVarCommentParser::writeStringTable()
{
    const auto fail = [this] {
        mdEmitMessage(MdVarCommentMsgWrite, lineno());
        return int32_t(MdVarCommentMsgWrite);
    };
    if (!m_section || !m_section->isWritable()) return fail();
    MdRcStringTable script;
    if (!script.open(m_rcPath)) return fail();

    // One block in the order of the texts (String::compare, signed bytes).
    const auto block = [&script](const TextIndex& texts, auto id) {
        if (texts.empty()) return;
        std::vector<const TextIndex::value_type*> sorted;
        sorted.reserve(texts.size());
        for (const auto& t : texts) sorted.push_back(&t);
        std::sort(sorted.begin(), sorted.end(), [](auto x, auto y) { return String::compare(x->first, y->first) < 0; });
        script.beginTable();
        for (const auto* t : sorted) script.addText(id(t->second), t->first);
        script.endTable();
    };
    const auto varId = [this](int32_t index) { return idOf(index); };
    const auto typeId = [this](int32_t index) { return idOf(index, m_varTexts.size()); };
    block(m_varTexts, varId);
    forEachKey(m_varKeys, [&](const VarExtKey& key, int32_t index) { addVarText(key, varId(index)); });
    block(m_typeTexts, typeId);
    forEachKey(m_typeKeys, [&](const TypeExtKey& key, int32_t index) { addTypeText(key, typeId(index)); });

    if (!script.close()) return fail();
    return save(*m_section) ? 0 : fail();
}
