// Compiler of the comment sections.
#include "tools/md/tavolin/MdVarCommentParser.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "tools/md/tavolin/MdBlockSlots.h"
#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdVarSourceRules.h"
#include "MdVarCommentBisonParser.tab.hpp"

namespace {

// Each distinct text once, end to end in one buffer, found by a hash table
// (open addressing, linear probing, at most three quarters full) whose
// slots hold a text's hash beside its index: a new text, the common case in
// a long section, is placed after a look at neighbouring slots alone.
class DistinctTexts {
public:
    // Room for the texts' bytes at once (untouched room costs no memory).
    void reserve(std::size_t bytes) { m_bytes.reserve(bytes); }
    // Adds text: whether it was not there yet.
    bool add(std::string_view text)
    {
        if (4 * (size() + 1) > 3 * m_slots.size()) grow();
        const uint32_t hash = hashOf(text);
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = home(hash, m_shift);
        for (; m_slots[i] != 0; i = (i + 1) & mask) {
            if (uint32_t(m_slots[i] >> 32) != hash) continue;
            const std::size_t index = std::size_t(uint32_t(m_slots[i])) - 1;
            const std::size_t begin = m_begins[index];
            if (m_begins[index + 1] - begin == text.size() &&
                std::memcmp(m_bytes.data() + begin, text.data(), text.size()) == 0)
                return false;
        }
        m_bytes.append(text.data(), text.size());
        m_begins.push_back(uint32_t(m_bytes.size()));
        m_slots[i] = (uint64_t(hash) << 32) | uint64_t(size());
        return true;
    }
    std::size_t size() const { return m_begins.size() - 1; }

private:
    // A text's hash: that of all its bytes but the last, and the last byte.
    static uint32_t hashOf(std::string_view text)
    {
        if (text.empty()) return 0;
        const std::size_t n = text.size() - 1;
        return uint32_t(std::hash<std::string_view>()(text.substr(0, n))) << 8 | uint8_t(text[n]);
    }
    // Texts that differ only in their last byte (numbered texts, as a source
    // writes them one after the other) have their homes in one block,
    // chosen by the hash of the rest.
    static std::size_t home(uint32_t hash, unsigned shift) { return mdBlockHome(hash >> 8, hash, shift); }
    void grow()
    {
        mdGrowSlots(m_slots, m_shift, uint64_t(0),
                    [](uint64_t slot, unsigned shift) { return home(uint32_t(slot >> 32), shift); });
    }

    std::string m_bytes;
    std::vector<uint32_t> m_begins = {0};  // where text i begins; then where the last ends (a section is below 4 GB)
    std::vector<uint64_t> m_slots;            // hash << 32 | index + 1; 0 free
    unsigned m_shift = 64;
};

}  // namespace

struct MdVarCommentParser::PastIds {
    DistinctTexts vars, types;
    // The line of the text numbered i, for i up to the room.
    std::vector<int32_t> varLines, typeLines;
};

MdVarCommentParser::MdVarCommentParser() : MdParserFrame(MdVarCommentMsgBase), CBoVarComment(nullptr) {}

MdVarCommentParser::~MdVarCommentParser() = default;

void MdVarCommentParser::init(const MdCompilerArgs& args)
{
    m_bytesLeft = mdBytesLeft(args.stream);
    MdParserFrame::init(args);
    m_section = args.section;
}

int32_t MdVarCommentParser::parse()
{
    const int32_t result = yyparse();
    if (result == 0) checkTextIds();
    return result;
}

std::size_t MdVarCommentParser::idRoom() const
{
    const uint64_t start = uint32_t(m_nextStringId);
    return std::size_t(start <= kMdRcLastTextId ? kMdRcLastTextId + 1 - start : 0);
}

void MdVarCommentParser::checkPast()
{
    const std::size_t added = m_varTexts.added() + m_typeTexts.added();
    if (added < m_nextCheck) return;
    m_nextCheck = 2 * added;
    const std::size_t room = idRoom();
    if (m_varTexts.size() + m_typeTexts.size() <= room) return;
    std::unique_ptr<PastIds> past(new PastIds);
    past->vars.reserve(m_bytesLeft);
    // The distinct texts in the order of their numbers (their first occurrences).
    const auto take = [room](const TextIndex& texts, DistinctTexts& distinct, std::vector<int32_t>& lines) {
        for (std::size_t o = 0; o < texts.added(); ++o) {
            const int32_t occurrence = int32_t(o);
            if (texts.byText()[std::size_t(texts.rankOf(occurrence))] != occurrence) continue;
            distinct.add(texts[occurrence]);
            if (lines.size() <= room) lines.push_back(texts.lineOf(occurrence));
        }
    };
    take(m_varTexts, past->vars, past->varLines);
    take(m_typeTexts, past->types, past->typeLines);
    m_past = std::move(past);
    m_varTexts = TextIndex();
    m_typeTexts = TextIndex();
    m_typeNames = TextIndex();
    std::vector<KeyEntry>().swap(m_varKeys);
    std::vector<KeyEntry>().swap(m_typeKeys);
}

void MdVarCommentParser::pastText(bool type, std::string_view text)
{
    DistinctTexts& distinct = type ? m_past->types : m_past->vars;
    std::vector<int32_t>& lines = type ? m_past->typeLines : m_past->varLines;
    if (distinct.add(text) && lines.size() <= idRoom()) lines.push_back(lineno());
}

void MdVarCommentParser::checkTextIds()
{
    const std::size_t room = idRoom();
    if (m_past) {
        // Sure to run past the last id: the first text past it, as below.
        const std::size_t vars = m_past->vars.size();
        const bool var = room < vars;
        const std::size_t number = var ? room : room - vars;
        const std::vector<int32_t>& lines = var ? m_past->varLines : m_past->typeLines;
        textIdFits(var ? idOf(int32_t(number)) : idOf(int32_t(number), vars), MdVarCommentMsgWrite,
                   number < lines.size() ? lines[number] : lineno());
        return;
    }
    const std::size_t vars = m_varTexts.size();
    if (vars + m_typeTexts.size() <= room) return;
    // The first text in the order of the ids: a variable text, or a type text after them all.
    const bool var = room < vars;
    const TextIndex& texts = var ? m_varTexts : m_typeTexts;
    const int32_t number = int32_t(var ? room : room - vars);
    const int32_t occurrence = texts.firstOf(number);
    textIdFits(var ? idOf(number) : idOf(number, vars), MdVarCommentMsgWrite,
               occurrence >= 0 ? texts.lineOf(occurrence) : lineno());
}

int32_t MdVarCommentParser::TextIndex::add(std::string_view text, int32_t line)
{
    const int32_t occurrence = int32_t(m_spans.size());
    m_lines.push_back(line);
    m_spans.emplace_back(m_bytes.size(), text.size());
    m_bytes.append(text.data(), text.size());
    return occurrence;
}

std::size_t MdVarCommentParser::TextIndex::size() const
{
    settle();
    return m_byText.size();
}

int32_t MdVarCommentParser::TextIndex::numberOf(int32_t occurrence) const
{
    settle();
    return m_number[std::size_t(m_rank[std::size_t(occurrence)])];
}

int32_t MdVarCommentParser::TextIndex::rankOf(int32_t occurrence) const
{
    settle();
    return m_rank[std::size_t(occurrence)];
}

const std::vector<int32_t>& MdVarCommentParser::TextIndex::byText() const
{
    settle();
    return m_byText;
}

int32_t MdVarCommentParser::TextIndex::firstOf(int32_t number) const
{
    settle();
    // Numbers follow the first occurrences in the order they were added.
    int32_t n = 0;
    for (std::size_t o = 0; o < m_spans.size(); ++o)
        if (m_byText[std::size_t(m_rank[o])] == int32_t(o) && n++ == number) return int32_t(o);
    return -1;
}

int32_t MdVarCommentParser::idOf(int32_t index, std::size_t before) const
{
    return int32_t(uint32_t(m_nextStringId) + uint32_t(before) + uint32_t(index));
}

int32_t MdVarCommentParser::nextStringId() const
{
    if (m_past) return idOf(int32_t(m_past->vars.size()), m_past->types.size());
    return idOf(int32_t(m_varTexts.size()), m_typeTexts.size());
}

int MdVarCommentParser::yylex()
{
    const int token = MdParserFrame::yylex();
    // A string may run over lines; an entry token stands on one.
    if (token == VARCOMMENT_STRING) noteTextLine(mdTextFirstLine(lineno(), MdVarCommentlval.text));
    if (token == VARCOMMENT_VAR_ENTRY || token == VARCOMMENT_BF_ENTRY) noteTextLine(lineno());
    return token;
}

bool MdVarCommentParser::textFits(std::string_view text)
{
    return scriptTextFits(text.data(), text.size(), {MdVarCommentMsgTooLong, MdVarCommentMsgUndefinedByte},
                          lineno(), textLine());
}

void MdVarCommentParser::addressEntry(uint32_t adr, uint32_t mask, std::string_view text)
{
    if (!textFits(text)) return;
    if (m_past) return pastText(false, text);
    m_varKeys.push_back(KeyEntry{int32_t(adr), mask, m_varTexts.add(text, lineno())});
    checkPast();
}

bool MdVarCommentParser::rangeEntry(uint32_t first, uint32_t last, uint32_t mask, std::string_view text)
{
    if (!mdRangeAccepted(first, last)) {
        mdEmitMessage(MdVarCommentMsgRange, lineno());
        return false;
    }
    if (!textFits(text)) return true;
    if (m_past) {
        pastText(false, text);
        return true;
    }
    const int32_t index = m_varTexts.add(text, lineno());
    mdForEachAddress(first, last, [&](uint32_t adr) { m_varKeys.push_back(KeyEntry{int32_t(adr), mask, index}); });
    checkPast();
    return true;
}

void MdVarCommentParser::nameEntry(std::string_view name, bool variables, uint32_t mask, std::string_view text)
{
    if (!textFits(text)) return;
    if (m_past) return pastText(true, text);
    if (variables) {
        // Lower-cased as String::downcase does: A-Z only.
        m_name.assign(name.data(), name.size());
        for (char& c : m_name)
            if (c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
        name = m_name;
    }
    m_typeKeys.push_back(KeyEntry{m_typeNames.add(name), mask, m_typeTexts.add(text, lineno())});
    checkPast();
}

namespace {

// Sorts the n items from items on by a key of `bytes` bytes, byteOf(item,
// b) giving its byte b (0 the lowest), keeping the order of equal ones: a
// stable pass per byte from the lowest up, left out where every item has
// the same byte. other is room for the items while they move. On a key per
// variable, the comparisons and mispredicted branches of a comparison sort
// cost more than the passes.
template <class Entry, class ByteOf>
void radixSort(Entry* items, std::size_t n, std::vector<Entry>& other, int bytes, ByteOf byteOf)
{
    if (n < 2) return;
    std::vector<std::size_t> counts(std::size_t(bytes) * 256, 0);
    for (std::size_t i = 0; i < n; ++i)
        for (int b = 0; b < bytes; ++b) ++counts[std::size_t(b) * 256 + byteOf(items[i], b)];
    other.resize(n);
    Entry* from = items;
    Entry* to = other.data();
    for (int b = 0; b < bytes; ++b) {
        std::size_t* const c = counts.data() + std::size_t(b) * 256;
        if (c[byteOf(items[0], b)] == n) continue;  // the same byte everywhere
        std::size_t at = 0;
        for (int d = 0; d < 256; ++d) {
            const std::size_t k = c[d];
            c[d] = at;
            at += k;
        }
        for (std::size_t i = 0; i < n; ++i) to[c[byteOf(from[i], b)]++] = from[i];
        std::swap(from, to);
    }
    if (from != items) std::copy(from, from + n, items);
}

// Orders keys by subject (signed), then mask, keeping the order of equal
// ones.
template <class Entry>
void sortKeys(std::vector<Entry>& keys)
{
    const auto number = [](const Entry& e) {
        return (uint64_t(uint32_t(e.subject) ^ 0x80000000u) << 32) | uint64_t(e.mask);
    };
    if (keys.size() < 64) {
        std::stable_sort(keys.begin(), keys.end(), [&](const Entry& x, const Entry& y) { return number(x) < number(y); });
        return;
    }
    std::vector<Entry> other;
    radixSort(keys.data(), keys.size(), other, 8,
              [&](const Entry& e, int b) { return std::size_t((number(e) >> (8 * b)) & 0xFF); });
}

}  // namespace

template <class F>
void MdVarCommentParser::forEachFirst(std::vector<KeyEntry>& keys, F f)
{
    sortKeys(keys);
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (i == 0 || keys[i - 1].subject != keys[i].subject || keys[i - 1].mask != keys[i].mask) f(keys[i]);
}

template <class F>
void MdVarCommentParser::forEachVarKey(F f)
{
    // As VarExtKey orders: the address as signed, then the mask.
    forEachFirst(m_varKeys, [&](const KeyEntry& k) { f(VarExtKey(k.subject, k.mask), m_varTexts.numberOf(k.text)); });
}

namespace {

// A word read from memory as if its first byte were the highest.
inline uint64_t bigEndian(uint64_t word)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return word;
#else
    return __builtin_bswap64(word);
#endif
}

}  // namespace

void MdVarCommentParser::TextIndex::settle() const
{
    const std::size_t n = m_spans.size();
    if (m_settled == n) return;
    m_settled = n;
    // The order String::compare gives the texts (bytes as signed values, a
    // shorter text as if a 0 byte ended it) is the order of their keys, each
    // text with the top bit of every byte flipped and 0x80 after it,
    // compared as unsigned bytes, a key before the keys it begins.
    //
    // Sorted sixteen key bytes at a time: a range of keys alike in the bytes
    // before depth is ordered by its next sixteen bytes as two numbers
    // (big-endian, zeros past a key's end); of the keys alike in those too,
    // the ones that end there begin all the others (shortest first; keys of
    // one length there are one text) and the rest is a range for the next
    // sixteen bytes. The ranges wait on a stack, not in recursion: a text may
    // be very long. Where a distinct text begins in the sorted order is
    // marked as the sort settles each place.
    const auto keyLength = [this](int32_t i) { return m_spans[std::size_t(i)].second + 1; };
    const auto keyBytes = [this](int32_t i, std::size_t depth) {
        const std::string_view text = (*this)[i];
        uint64_t head = 0;
        if (depth + 8 <= text.size()) {
            // Eight bytes of the text: read as one big-endian word.
            std::memcpy(&head, text.data() + depth, 8);
            return uint64_t(bigEndian(head) ^ 0x8080808080808080ull);
        }
        for (std::size_t j = depth; j < depth + 8; ++j) {
            const unsigned byte = j < text.size() ? uint8_t(text[j]) ^ 0x80u : j == text.size() ? 0x80u : 0u;
            head = (head << 8) | byte;
        }
        return head;
    };
    // Sixteen bytes: at the first depth the texts are read in the order
    // they lie in the buffer; deeper, in sorted order, they are read from
    // all over it, which only texts alike in their first sixteen bytes need.
    struct Item {
        uint64_t hi, lo;
        int32_t occurrence;
    };
    struct Range {
        std::size_t first, last, depth;
    };
    std::vector<Item> items(n);
    std::vector<Item> moving;  // room of the radix sort
    for (std::size_t i = 0; i < n; ++i) items[i] = Item{0, 0, int32_t(i)};
    std::vector<uint8_t> starts(n, 0);  // a distinct text begins at this place
    std::vector<Range> todo;
    if (n == 1) starts[0] = 1;
    if (n > 1) todo.push_back(Range{0, n, 0});
    while (!todo.empty()) {
        const Range r = todo.back();
        todo.pop_back();
        Item* const first = items.data() + r.first;
        Item* const last = items.data() + r.last;
        for (Item* it = first; it != last; ++it) {
            it->hi = keyBytes(it->occurrence, r.depth);
            it->lo = keyBytes(it->occurrence, r.depth + 8);
        }
        // Below some thirty thousand texts a comparison sort is as fast.
        if (last - first < 32768)
            std::sort(first, last,
                      [](const Item& x, const Item& y) { return x.hi != y.hi ? x.hi < y.hi : x.lo < y.lo; });
        else
            radixSort(first, std::size_t(last - first), moving, 16, [](const Item& x, int b) {
                return std::size_t(((b < 8 ? x.lo : x.hi) >> (8 * (b & 7))) & 0xFF);
            });
        for (Item* group = first; group != last;) {
            Item* end = group + 1;
            while (end != last && end->hi == group->hi && end->lo == group->lo) ++end;
            if (end - group == 1) {
                starts[std::size_t(group - items.data())] = 1;
            } else {
                const std::size_t next = r.depth + 16;
                Item* const rest =
                    std::partition(group, end, [&](const Item& x) { return keyLength(x.occurrence) <= next; });
                std::sort(group, rest, [&](const Item& x, const Item& y) {
                    return keyLength(x.occurrence) < keyLength(y.occurrence);
                });
                for (Item* it = group; it != rest; ++it)
                    if (it == group || keyLength(it->occurrence) != keyLength(it[-1].occurrence))
                        starts[std::size_t(it - items.data())] = 1;
                if (end - rest > 1)
                    todo.push_back(Range{std::size_t(rest - items.data()), std::size_t(end - items.data()), next});
                else if (end - rest == 1)
                    starts[std::size_t(rest - items.data())] = 1;
            }
            group = end;
        }
    }
    // Ranks in text order, each with its first occurrence; then numbers in
    // the order of the first occurrences.
    m_byText.clear();
    m_byText.reserve(n);
    m_rank.assign(n, 0);
    for (std::size_t p = 0; p < n; ++p) {
        const int32_t occurrence = items[p].occurrence;
        if (starts[p])
            m_byText.push_back(occurrence);
        else if (occurrence < m_byText.back())
            m_byText.back() = occurrence;
        m_rank[std::size_t(occurrence)] = int32_t(m_byText.size() - 1);
    }
    m_number.assign(m_byText.size(), 0);
    int32_t next = 0;
    for (std::size_t o = 0; o < n; ++o) {
        const int32_t rank = m_rank[o];
        if (m_byText[std::size_t(rank)] == int32_t(o)) m_number[std::size_t(rank)] = next++;
    }
}

template <class F>
void MdVarCommentParser::forEachTypeKey(F f) const
{
    // As TypeExtKey orders: the name (by its rank among the names), then
    // the mask.
    std::vector<KeyEntry> keys = m_typeKeys;
    for (KeyEntry& k : keys) k.subject = m_typeNames.rankOf(k.subject);
    const std::vector<int32_t>& byName = m_typeNames.byText();
    forEachFirst(keys, [&](const KeyEntry& k) {
        const std::string_view name = m_typeNames[byName[std::size_t(k.subject)]];
        f(TypeExtKey(String(name.data(), int(name.size())), k.mask), m_typeTexts.numberOf(k.text));
    });
}

int32_t MdVarCommentParser::writeStringTable()
{
    const auto fail = [this] {
        mdEmitMessage(MdVarCommentMsgWrite, lineno());
        return int32_t(MdVarCommentMsgWrite);
    };
    if (!m_section || !m_section->isWritable()) return fail();
    // Texts past the last id were reported by parse: none is written.
    if (idsRunOut()) return int32_t(MdVarCommentMsgWrite);
    MdRcStringTable script;
    if (!script.open(m_rcPath)) return fail();

    // One block in the order of the texts (String::compare, signed bytes).
    const auto block = [&script](const TextIndex& texts, auto id) {
        if (texts.empty()) return;
        script.beginTable();
        for (int32_t occurrence : texts.byText()) {
            const std::string_view text = texts[occurrence];
            script.addText(id(texts.numberOf(occurrence)), text.data(), text.size());
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
