// Compiler of the comment sections of a technology-object type source: the
// variable comments ("comment_tmp", VARCOMMENT) and the boot-function
// comments ("bfcomment_tmp", BFDCOMMENT). It collects each distinct text
// once, appends the texts to the resource script as string tables, enters
// every key with the id of its text into its CBoVarComment part and saves
// that container into the comment section the front end opened
// ("varcomment" or "bfvarcomment").
//
// Unlike the other compilers the front end runs the grammar (parse) and the
// writer (writeStringTable) as two steps.
//
// Numbering: the variable texts (entries by address) are numbered 0, 1, 2,
// ... in order of first appearance, the type texts (entries by name) the
// same way; a text seen before keeps its number, and a key seen before
// keeps the text it had. The variable texts take the ids start + number,
// the type texts start + number of variable texts + number, so nextStringId
// is start + both counts - also after a failed parse, whose ids are used up.
//
// Names: in a VARCOMMENT entry the dotted name is lower-cased (A-Z only),
// in a BFDCOMMENT entry it stays as written, and its mask is 0xFFFFFFFF
// like that of every boot-function entry.
//
// Messages (block 300): 301 scanner error and 302 syntax error (both
// counted), 304 a range whose start is not below its end or that covers
// more than 65,536 addresses (not counted; the parse ends with 3), 303 the
// section or the resource script cannot be written (not counted).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bo/bo/BoVarComment.h"
#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdVarCommentBisonParser.h"
#include "tools/md/tavolin/MdVarCommentScanner.h"

enum : uint32_t {
    MdVarCommentMsgBase = 300,
    MdVarCommentMsgWrite = 303,  // "Sektion konnte nicht beschrieben werden"
    MdVarCommentMsgRange = 304,  // "Der erste Wert muß kleiner als der zweite sein"
};

class MdVarCommentParser : public MdParserFrame<MdVarCommentBisonParser, MdVarCommentScannerFlexLexer>,
                           public CBoVarComment {
public:
    MdVarCommentParser();

    // init: the section's stream (none: an empty section), the open comment
    // section that receives the container (args.section, not owned), the
    // resource script and the id of the first text.
    void init(const MdCompilerArgs& args) override;
    // The grammar: 0 accepted, 1 syntax error, 2 parser stack full, 3 a
    // range refused. Errors counted while accepting are the caller's to
    // judge (errorCount).
    int32_t parse() override;
    // Appends the variable-text block and then the type-text block (each
    // ordered by text, only when it has texts) to the resource script,
    // enters the keys into the container and saves it into the section:
    // 0 done; 303 (message 303) when the section is not open for writing
    // (nothing written), the script cannot be opened (nothing written), the
    // script failed (keys entered, container not saved) or the save failed.
    int32_t writeStringTable() override;
    // start + number of variable texts + number of type texts.
    int32_t nextStringId() const override;

protected:
    void addressEntry(uint32_t adr, uint32_t mask, std::string_view text) override;
    bool rangeEntry(uint32_t first, uint32_t last, uint32_t mask, std::string_view text) override;
    void nameEntry(std::string_view name, bool variables, uint32_t mask, std::string_view text) override;

private:
    // Distinct texts (or names) numbered in order of first appearance,
    // looked up by hash while parsing and ordered only when written. The
    // texts lie one after the other in one buffer and the table is open
    // (each slot a hash and a number): a lookup of a text seen before makes
    // no copy and touches the slot and the text alone.
    class TextIndex {
    public:
        // The number of text, given the next number when it is new.
        int32_t add(std::string_view text);
        std::size_t size() const { return m_spans.size(); }
        bool empty() const { return m_spans.empty(); }
        // The numbers of the texts in the order String::compare gives them.
        std::vector<int32_t> order() const;
        std::string_view operator[](std::size_t number) const
        {
            return std::string_view(m_bytes.data() + m_spans[number].first, m_spans[number].second);
        }

    private:
        void grow();

        std::string m_bytes;                                   // the texts by number, end to end
        std::vector<std::pair<std::size_t, std::size_t>> m_spans;  // offset and length by number
        std::vector<uint64_t> m_slots;  // upper half the hash's, lower half number + 1; 0 empty
    };
    // The resource id of a text's number; ids wrap as 32-bit words.
    int32_t idOf(int32_t index, std::size_t before = 0) const;

    // A key as parsed, with the number of its text: the address (as
    // signed) or the number of the name, and the mask.
    struct KeyEntry {
        int32_t subject;
        uint32_t mask;
        int32_t text;
    };
    // Calls f(entry) for the first entry of each distinct key of keys in
    // ascending order of subject, then mask (keys are reordered).
    template <class F>
    static void forEachFirst(std::vector<KeyEntry>& keys, F f);
    // Call f(key, number of its text) for each distinct key in ascending
    // order; a key entered more than once has the text of its first entry.
    template <class F>
    void forEachVarKey(F f);
    template <class F>
    void forEachTypeKey(F f) const;

    FsSecCl* m_section = nullptr;  // receives the container (not owned)
    TextIndex m_varTexts;          // variable texts -> number
    std::vector<KeyEntry> m_varKeys;   // in source order
    TextIndex m_typeTexts;         // type texts -> number
    TextIndex m_typeNames;         // key names as entered (lower-cased in VARCOMMENT)
    std::vector<KeyEntry> m_typeKeys;  // in source order, subject the name's number
    std::string m_name;            // a VARCOMMENT name being lower-cased
};
