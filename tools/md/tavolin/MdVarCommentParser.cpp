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

int32_t MdVarCommentParser::TextIndex::add(std::string_view text)
{
    if (m_slots.size() < 2 * (m_spans.size() + 1)) grow();
    const uint64_t hash = std::hash<std::string_view>()(text);
    const uint64_t tag = hash & ~uint64_t(0xFFFFFFFFu);
    const std::size_t mask = m_slots.size() - 1;
    // The slot follows from the hash's upper half, the part kept in the
    // slot: growing places the slots again without hashing the texts.
    for (std::size_t i = std::size_t(hash >> 32) & mask;; i = (i + 1) & mask) {
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
        std::size_t i = std::size_t(slot >> 32) & mask;
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
    m_varKeys.push_back(KeyEntry{int32_t(adr), mask, m_varTexts.add(text)});
}

bool MdVarCommentParser::rangeEntry(uint32_t first, uint32_t last, uint32_t mask, std::string_view text)
{
    if (!mdRangeAccepted(first, last)) {
        mdEmitMessage(MdVarCommentMsgRange, lineno());
        return false;
    }
    const int32_t index = m_varTexts.add(text);
    mdForEachAddress(first, last, [&](uint32_t adr) { m_varKeys.push_back(KeyEntry{int32_t(adr), mask, index}); });
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
    m_typeKeys.push_back(KeyEntry{m_typeNames.add(name), mask, m_typeTexts.add(text)});
}

template <class F>
void MdVarCommentParser::forEachFirst(std::vector<KeyEntry>& keys, F f)
{
    std::stable_sort(keys.begin(), keys.end(), [](const KeyEntry& x, const KeyEntry& y) {
        return x.subject != y.subject ? x.subject < y.subject : x.mask < y.mask;
    });
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (i == 0 || keys[i - 1].subject != keys[i].subject || keys[i - 1].mask != keys[i].mask) f(keys[i]);
}

template <class F>
void MdVarCommentParser::forEachVarKey(F f)
{
    // As VarExtKey orders: the address as signed, then the mask.
    forEachFirst(m_varKeys, [&f](const KeyEntry& k) { f(VarExtKey(k.subject, k.mask), k.text); });
}

std::vector<int32_t> MdVarCommentParser::TextIndex::order() const
{
    // The order String::compare gives the texts (bytes as signed values, a
    // shorter text as if a 0 byte ended it) is the order of their keys, each
    // text with the top bit of every byte flipped and 0x80 after it,
    // compared as unsigned bytes, a key before the keys it begins.
    //
    // Sorted eight key bytes at a time: a range of keys alike in the bytes
    // before depth is ordered by its next eight bytes as one number
    // (big-endian, zeros past a key's end); of the keys alike in those too,
    // the ones that end there begin all the others (shortest first) and the
    // rest is a range for the next eight bytes. The ranges wait on a stack,
    // not in recursion: a text may be very long.
    const std::size_t n = m_spans.size();
    const auto keyLength = [this](int32_t i) { return m_spans[std::size_t(i)].second + 1; };
    const auto keyBytes = [this](int32_t i, std::size_t depth) {
        const std::string_view text = (*this)[std::size_t(i)];
        uint64_t head = 0;
        for (std::size_t j = depth; j < depth + 8; ++j) {
            const unsigned byte = j < text.size() ? uint8_t(text[j]) ^ 0x80u : j == text.size() ? 0x80u : 0u;
            head = (head << 8) | byte;
        }
        return head;
    };
    struct Item {
        uint64_t head;
        int32_t number;
    };
    struct Range {
        std::size_t first, last, depth;
    };
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i) items[i] = Item{0, int32_t(i)};
    std::vector<Range> todo;
    if (n > 1) todo.push_back(Range{0, n, 0});
    while (!todo.empty()) {
        const Range r = todo.back();
        todo.pop_back();
        Item* const first = items.data() + r.first;
        Item* const last = items.data() + r.last;
        for (Item* it = first; it != last; ++it) it->head = keyBytes(it->number, r.depth);
        std::sort(first, last, [](const Item& x, const Item& y) { return x.head < y.head; });
        for (Item* group = first; group != last;) {
            Item* end = group + 1;
            while (end != last && end->head == group->head) ++end;
            if (end - group > 1) {
                const std::size_t next = r.depth + 8;
                Item* const rest = std::partition(group, end, [&](const Item& x) { return keyLength(x.number) <= next; });
                std::sort(group, rest,
                          [&](const Item& x, const Item& y) { return keyLength(x.number) < keyLength(y.number); });
                if (end - rest > 1)
                    todo.push_back(Range{std::size_t(rest - items.data()), std::size_t(end - items.data()), next});
            }
            group = end;
        }
    }
    std::vector<int32_t> numbers(n);
    for (std::size_t i = 0; i < n; ++i) numbers[i] = items[i].number;
    return numbers;
}

template <class F>
void MdVarCommentParser::forEachTypeKey(F f) const
{
    // As TypeExtKey orders: the name (by its rank among the names), then
    // the mask.
    const std::vector<int32_t> byName = m_typeNames.order();
    std::vector<int32_t> rank(byName.size());
    for (std::size_t i = 0; i < byName.size(); ++i) rank[std::size_t(byName[i])] = int32_t(i);
    std::vector<KeyEntry> keys = m_typeKeys;
    for (KeyEntry& k : keys) k.subject = rank[std::size_t(k.subject)];
    forEachFirst(keys, [&](const KeyEntry& k) {
        const std::string_view name = m_typeNames[std::size_t(byName[std::size_t(k.subject)])];
        f(TypeExtKey(String(name.data(), int(name.size())), k.mask), k.text);
    });
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
        script.beginTable();
        for (int32_t number : texts.order()) {
            const std::string_view text = texts[std::size_t(number)];
            script.addText(id(number), text.data(), text.size());
        }
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
