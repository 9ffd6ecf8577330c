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
// section or the resource script cannot be written (not counted), or the
// texts would take ids past the last one a resource script takes
// (kMdRcLastTextId; at the first such text's line, counted, so that the
// front end writes nothing). Once the distinct texts are past that id the
// compiler keeps no more keys nor occurrences: memory does not grow with
// what lies past it. 305 a text holding more characters than a string
// resource takes (kMdRcMostTextChars, counted as a resource compiler reads
// it back), with that count, at its line, counted: the entry is dropped
// (its text takes no id) and the section fails. 306, a warning, at the line
// of an entry whose text reads back with a byte code page 1252 leaves
// undefined (mdRcReadBack), naming it; the text is written as it is.
#pragma once

#include <cstdint>
#include <memory>
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
    MdVarCommentMsgTooLong = 305,  // "Text ist zu lang: %s Zeichen, höchstens 65535"
    // warning: "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler
    // kann den Text verwerfen oder kürzen"
    MdVarCommentMsgUndefinedByte = 306,
};

class MdVarCommentParser : public MdParserFrame<MdVarCommentBisonParser, MdVarCommentScanner>,
                           public CBoVarComment {
public:
    MdVarCommentParser();
    ~MdVarCommentParser() override;

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
    // script failed (keys entered, container not saved) or the save failed;
    // 303 without a message after a parse whose texts ran past the last id
    // (nothing written).
    int32_t writeStringTable() override;
    // start + number of variable texts + number of type texts.
    int32_t nextStringId() const override;
    // Tokens through the frame; the line each string begins on is noted.
    int yylex() override;

protected:
    // A run of stray bytes past its first hundred: message 301, which counts
    // an error for each byte.
    void strayRunError(const std::string& arg, int32_t line, uint32_t count) override
    {
        reportStrayRun(arg, line, count);
    }

    void addressEntry(uint32_t adr, uint32_t mask, std::string_view text) override;
    bool rangeEntry(uint32_t first, uint32_t last, uint32_t mask, std::string_view text) override;
    void nameEntry(std::string_view name, bool variables, uint32_t mask, std::string_view text) override;

private:
    // Whether an entry's text fits one string resource; 305 with its
    // length, counted, when it does not; warning 306 for an undefined byte.
    bool textFits(std::string_view text);
    // Texts (or names) as they come, one after the other in one buffer,
    // and, once asked for, the distinct ones: numbered in order of first
    // appearance and ranked in the order String::compare gives them. Both
    // come from one sort of all the texts, done when first asked for after
    // a text was added; no table is probed per text (at an entry per
    // variable, a probe was a cache miss each).
    class TextIndex {
    public:
        // Keeps text, met at line; returns its occurrence (0, 1, 2, ... in
        // order of adding).
        int32_t add(std::string_view text, int32_t line = 0);
        bool empty() const { return m_spans.empty(); }
        // The number of texts added.
        std::size_t added() const { return m_spans.size(); }
        // The number of distinct texts.
        std::size_t size() const;
        // The number of an occurrence's text.
        int32_t numberOf(int32_t occurrence) const;
        // The rank of an occurrence's text among the distinct texts in text order.
        int32_t rankOf(int32_t occurrence) const;
        // The first occurrence of each distinct text, in text order.
        const std::vector<int32_t>& byText() const;
        // The first occurrence of the text numbered number; -1 when there is none.
        int32_t firstOf(int32_t number) const;
        int32_t lineOf(int32_t occurrence) const { return m_lines[std::size_t(occurrence)]; }
        std::string_view operator[](int32_t occurrence) const
        {
            const auto& span = m_spans[std::size_t(occurrence)];
            return std::string_view(m_bytes.data() + span.first, span.second);
        }

    private:
        // Sorts and numbers what was added since the last time.
        void settle() const;

        std::string m_bytes;                                       // the texts, end to end
        std::vector<std::pair<std::size_t, std::size_t>> m_spans;  // offset and length by occurrence
        std::vector<int32_t> m_lines;                              // line by occurrence
        mutable std::size_t m_settled = 0;      // occurrences when last settled
        mutable std::vector<int32_t> m_byText;  // first occurrence by rank
        mutable std::vector<int32_t> m_rank;    // rank by occurrence
        mutable std::vector<int32_t> m_number;  // number by rank
    };
    // The resource id of a text's number; ids wrap as 32-bit words.
    int32_t idOf(int32_t index, std::size_t before = 0) const;
    // How many texts fit from the start id to the last id.
    std::size_t idRoom() const;
    // Each time the texts added have doubled: when the distinct ones run
    // past the last id already, the section is sure to fail, and from there
    // on only what still counts is kept (PastIds).
    void checkPast();
    // A text past that point (type: a type text).
    void pastText(bool type, std::string_view text);
    // Once the texts are read: when the variable and type texts would run
    // past the last id of a resource script, message 303 at the line of the
    // first text that does not fit, counted.
    void checkTextIds();

    // A key as parsed: the address (as signed) or the occurrence of the
    // name, the mask and the occurrence of its text.
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
    TextIndex m_varTexts;          // variable texts
    std::vector<KeyEntry> m_varKeys;   // in source order
    TextIndex m_typeTexts;         // type texts
    TextIndex m_typeNames;         // key names as entered (lower-cased in VARCOMMENT)
    std::vector<KeyEntry> m_typeKeys;  // in source order, subject the name's occurrence
    std::string m_name;            // a VARCOMMENT name being lower-cased
    // Once the texts are sure to run past the last id: no key and no
    // occurrence is kept, only each distinct text once (the ids they use up
    // stay nextStringId) and the line of each of the first ones (numbered
    // up to the room), where the message may stand.
    struct PastIds;
    std::unique_ptr<PastIds> m_past;
    std::size_t m_nextCheck = 1 << 17;  // texts added at the next checkPast
    std::size_t m_bytesLeft = 0;        // of the section, at init
};
