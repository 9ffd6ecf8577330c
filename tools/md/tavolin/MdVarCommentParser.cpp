// Compiler of the comment sections.
#include "tools/md/tavolin/MdVarCommentParser.h"

#include <algorithm>
#include <unordered_set>
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

int32_t MdVarCommentParser::TextIndex::add(std::string_view text)
{
    if (m_slots.size() < 2 * (m_spans.size() + 1)) grow();
    const uint64_t hash = std::hash<std::string_view>()(text);
    const uint64_t tag = hash & ~uint64_t(0xFFFFFFFFu);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = std::size_t(hash) & mask;; i = (i + 1) & mask) {
        const uint64_t slot = m_slots[i];
        if (slot == 0) {
            const int32_t number = int32_t(m_spans.size());
            m_spans.emplace_back(m_bytes.size(), text.size());
            m_bytes.append(text.data(), text.size());
            m_slots[i] = tag | uint32_t(number + 1);
            return number;
        }
        if ((slot & ~uint64_t(0xFFFFFFFFu)) == tag) {
            const int32_t number = int32_t(uint32_t(slot) - 1);
            if ((*this)[std::size_t(number)] == text) return number;
        }
    }
}

void MdVarCommentParser::TextIndex::grow()
{
    std::vector<uint64_t> slots(m_slots.empty() ? 64 : 2 * m_slots.size());
    const std::size_t mask = slots.size() - 1;
    for (uint64_t slot : m_slots) {
        if (slot == 0) continue;
        const std::size_t number = std::size_t(uint32_t(slot) - 1);
        std::size_t i = std::size_t(std::hash<std::string_view>()((*this)[number])) & mask;
        while (slots[i] != 0) i = (i + 1) & mask;
        slots[i] = slot;
    }
    m_slots.swap(slots);
}

int32_t MdVarCommentParser::idOf(int32_t index, std::size_t before) const
{
    return int32_t(uint32_t(m_nextStringId) + uint32_t(before) + uint32_t(index));
}

int32_t MdVarCommentParser::nextStringId() const
{
    return idOf(int32_t(m_varTexts.size()), m_typeTexts.size());
}

void MdVarCommentParser::addressEntry(uint32_t adr, uint32_t mask, std::string_view text)
{
    m_varKeys.push_back(VarEntry{int32_t(adr), mask, m_varTexts.add(text)});
}

bool MdVarCommentParser::rangeEntry(uint32_t first, uint32_t last, uint32_t mask, std::string_view text)
{
    if (!mdRangeAccepted(first, last)) {
        mdEmitMessage(MdVarCommentMsgRange, lineno());
        return false;
    }
    const int32_t index = m_varTexts.add(text);
    mdForEachAddress(first, last, [&](uint32_t adr) { m_varKeys.push_back(VarEntry{int32_t(adr), mask, index}); });
    return true;
}

void MdVarCommentParser::nameEntry(std::string_view name, bool variables, uint32_t mask, std::string_view text)
{
    if (variables) {
        // Lower-cased as String::downcase does: A-Z only.
        m_name.assign(name.data(), name.size());
        for (char& c : m_name)
            if (c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
        name = m_name;
    }
    m_typeKeys.push_back(TypeEntry{m_typeNames.add(name), mask, m_typeTexts.add(text)});
}

template <class F>
void MdVarCommentParser::forEachVarKey(F f)
{
    // As VarExtKey orders: the address as signed, then the mask.
    std::stable_sort(m_varKeys.begin(), m_varKeys.end(), [](const VarEntry& x, const VarEntry& y) {
        return x.adr != y.adr ? x.adr < y.adr : x.mask < y.mask;
    });
    for (std::size_t i = 0; i < m_varKeys.size(); ++i) {
        const VarEntry& k = m_varKeys[i];
        if (i == 0 || m_varKeys[i - 1].adr != k.adr || m_varKeys[i - 1].mask != k.mask)
            f(VarExtKey(k.adr, k.mask), k.text);
    }
}

template <class F>
void MdVarCommentParser::forEachTypeKey(F f) const
{
    // The first entry of each name and mask, then ordered as TypeExtKey.
    std::unordered_set<uint64_t> seen;
    std::vector<std::pair<TypeExtKey, int32_t>> keys;
    for (const TypeEntry& t : m_typeKeys) {
        if (!seen.insert(uint64_t(uint32_t(t.name)) << 32 | t.mask).second) continue;
        const std::string_view name = m_typeNames[std::size_t(t.name)];
        keys.emplace_back(TypeExtKey(String(name.data(), int(name.size())), t.mask), t.text);
    }
    std::sort(keys.begin(), keys.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& k : keys) f(k.first, k.second);
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
        std::vector<std::pair<String, int32_t>> sorted;
        sorted.reserve(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i)
            sorted.emplace_back(String(texts[i].data(), int(texts[i].size())), int32_t(i));
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& x, const auto& y) { return String::compare(x.first, y.first) < 0; });
        script.beginTable();
        for (const auto& t : sorted) script.addText(id(t.second), t.first);
        script.endTable();
    };
    const auto varId = [this](int32_t index) { return idOf(index); };
    const auto typeId = [this](int32_t index) { return idOf(index, m_varTexts.size()); };
    block(m_varTexts, varId);
    forEachVarKey([&](const VarExtKey& key, int32_t index) { addVarText(key, varId(index)); });
    block(m_typeTexts, typeId);
    forEachTypeKey([&](const TypeExtKey& key, int32_t index) { addTypeText(key, typeId(index)); });

    if (!script.close()) return fail();
    return save(*m_section) ? 0 : fail();
}
