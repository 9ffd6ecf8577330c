// Index of the name chains of a symbol table.
#include "base/st/stsymtab/StNameChainIndex.h"

#include <algorithm>
#include <functional>

#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyStringTable.h"

// --- one scope's entries ---

StNameChainIndex::Scope::More& StNameChainIndex::Scope::more()
{
    if (!m_more) {
        m_more = std::make_unique<More>();
        if (m_one) m_more->back.push_back(m_one);
        m_one = nullptr;
    }
    return *m_more;
}

void StNameChainIndex::Scope::pushFront(StSyBaseSymbEntry* e)
{
    if (empty())
        m_one = e;
    else
        more().front.push_back(e);
}

void StNameChainIndex::Scope::pushBack(StSyBaseSymbEntry* e)
{
    if (empty())
        m_one = e;
    else
        more().back.push_back(e);
}

bool StNameChainIndex::Scope::erase(StSyBaseSymbEntry* e)
{
    if (!m_more) {
        if (!e || m_one != e) return false;
        m_one = nullptr;
        return true;
    }
    for (std::vector<StSyBaseSymbEntry*>* list : {&m_more->front, &m_more->back}) {
        const auto pos = std::find(list->begin(), list->end(), e);
        if (pos == list->end()) continue;
        list->erase(pos);
        if (m_more->front.empty() && m_more->back.empty()) m_more.reset();
        return true;
    }
    return false;
}

StNameChainIndex::ScopeNames* StNameChainIndex::namesIn(StRangeID vr, StRangeID nr) const
{
    const uint32_t* at = m_ranges.find(RangeKey{vr, nr});
    return at ? &m_scopeNames[*at - 1] : nullptr;
}

StNameChainIndex::Scope& StNameChainIndex::scopeOf(const String* name, const StSyBaseSymbEntry* entry)
{
    uint32_t& at = m_ranges[RangeKey{entry->getVR(), entry->getNR()}];
    if (at == 0) {
        m_scopeNames.emplace_back();
        at = uint32_t(m_scopeNames.size());
    }
    return m_scopeNames[at - 1][name];
}

void StNameChainIndex::sync(const StSyStringTable& strings, const StSyEntryTable& entries)
{
    if (m_strings == &strings && m_entries == &entries && m_stringChanges == strings.changeCount() &&
        m_entryChanges == entries.changeCount())
        return;
    rebuild(strings, entries);
    stamp(strings, entries);
}

void StNameChainIndex::stamp(const StSyStringTable& strings, const StSyEntryTable& entries)
{
    m_strings = &strings;
    m_entries = &entries;
    m_stringChanges = strings.changeCount();
    m_entryChanges = entries.changeCount();
}

void StNameChainIndex::rebuild(const StSyStringTable& strings, const StSyEntryTable& entries)
{
    m_chains.clear();
    m_ranges.clear();
    m_scopeNames.clear();
    m_chains.reserve(strings.size());
    // The chain each entry was met in first: an entry met again (a loop, or
    // a chain running into another) makes both chains irregular.
    std::unordered_map<const StSyBaseSymbEntry*, const String*> owner;
    owner.reserve(entries.size());
    for (const auto& [key, rec] : strings.names()) {
        // (The table has room for every name: the reference holds.)
        Chain& chain = m_chains[key];
        StSyBaseSymbEntry* prev = nullptr;
        for (StSyBaseSymbEntry* e = entries.findEntry(rec.sid); e; e = e->getNextEntry()) {
            const auto [it, fresh] = owner.emplace(e, key);
            if (!fresh) {
                chain.regular = false;
                m_chains[it->second].regular = false;
                break;
            }
            // Links the way removeEntry and the walk read them.
            const StSymbEntryID prevSid = prev ? prev->getID() : ST_INVALID_SID;
            StSyBaseSymbEntry* next = e->getNextEntry();
            const bool linked = next ? next->getID() == e->getNext() && entries.findEntry(e->getNext()) == next
                                     : e->getNext().isInvalid();
            if (e->getPrev() != prevSid || e->getName() != key || !linked) chain.regular = false;
            prev = e;
            ++chain.length;
        }
        chain.tail = prev;
    }
    size_t chained = 0;
    m_plain = true;
    m_chains.forEach([&](const String*, const Chain& chain) {
        m_plain = m_plain && chain.regular;
        chained += chain.length;
    });
    m_plain = m_plain && chained == entries.size();
    for (const auto& [key, rec] : strings.names()) {
        const Chain* chain = m_chains.find(key);
        if (!chain || !chain->regular) continue;
        for (StSyBaseSymbEntry* e = entries.findEntry(rec.sid); e; e = e->getNextEntry())
            scopeOf(key, e).pushBack(e);
    }
}

const StNameChainIndex::Chain* StNameChainIndex::chain(const String* name) const
{
    const Chain* chain = m_chains.find(name);
    return !chain || !chain->regular ? nullptr : chain;
}

const StNameChainIndex::Scope* StNameChainIndex::scope(const String* name, StRangeID vr, StRangeID nr) const
{
    const ScopeNames* names = namesIn(vr, nr);
    return names ? names->find(name) : nullptr;
}

void StNameChainIndex::newChain(const String* name, StSyBaseSymbEntry* entry)
{
    m_chains[name] = Chain{entry, 1, true};
    scopeOf(name, entry).pushBack(entry);
}

void StNameChainIndex::append(const String* name, StSyBaseSymbEntry* entry)
{
    Chain& chain = m_chains[name];
    chain.tail = entry;
    ++chain.length;
    scopeOf(name, entry).pushBack(entry);
}

void StNameChainIndex::prepend(const String* name, StSyBaseSymbEntry* entry)
{
    Chain& chain = m_chains[name];
    if (!chain.tail) chain.tail = entry;
    ++chain.length;
    scopeOf(name, entry).pushFront(entry);
}

bool StNameChainIndex::remove(const String* name, StSyBaseSymbEntry* entry, StSyBaseSymbEntry* prev)
{
    Chain* chain = m_chains.find(name);
    if (!chain || !chain->regular) return false;
    ScopeNames* names = namesIn(entry->getVR(), entry->getNR());
    Scope* scope = names ? names->find(name) : nullptr;
    if (!scope || !scope->erase(entry)) return false;
    if (scope->empty()) names->erase(name);
    --chain->length;
    if (chain->tail == entry) chain->tail = prev;
    return true;
}

void StNameChainIndex::dropName(const String* name) { m_chains.erase(name); }
