// The compiler of the variables section: the grammar of
// MdVarExtBisonParser.ypp and its scanner over the type-side
// variable-extension model (MdVarExtBase), writing its sections to the
// descriptor and its texts to the resource script.
//
// init takes the system-variable table of the descriptor's section "symb";
// the messages are those of block 400 (reportError with up to two
// arguments, counted apart by countError). The front end's variables method
// creates it through its creator (MdSectionCompiler.cpp), runs parse and
// takes nextStringId back.
//
// Texts: every text of the section takes the next string id in source order
// (configurations, group heads, group entries, bit types two, bit fields
// one), also when its statement is refused. Configuration texts and bit
// texts are kept in two maps by id for the two string tables. A text whose
// id would pass the last id a resource script takes (kMdRcLastTextId) is
// reported once as 408 ("Wert %s ist zu groß") with that id, at its line,
// and counted: the section is then not written, and from there on no text
// is kept (PastTexts). A text holding more characters than a string
// resource takes (kMdRcMostTextChars, counted as a resource compiler reads
// it back) is reported as 418 with that count at its line and counted; it
// still takes its id, but is not kept, and the section is not written. One
// that reads back with a byte code page 1252 leaves undefined
// (mdRcReadBack) gets warning 419 naming the byte at its line, and is kept.
//
// "symb": an empty or missing section is no table and no error; a section
// that does not load as a symbol table counts one error without a message.
// Either way a statement that needs the table gives message 0; the cause
// is noted for the host (mdNoteStepCause).
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "bo/bo/MdVarExtBase.h"
#include "tools/md/tavolin/MdNumberSet.h"
#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdStatusCodes.h"
#include "tools/md/tavolin/MdVarExtBisonParser.h"
#include "tools/md/tavolin/MdVarExtScanner.h"

enum : uint32_t {
    MdVarExtMsgTooLong = 418,  // "Text ist zu lang: %s Zeichen, höchstens 65535"
    // warning: "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler
    // kann den Text verwerfen oder kürzen"
    MdVarExtMsgUndefinedByte = 419,
};

class MdVarExtParser : public MdParserFrame<MdVarExtBisonParser, MdVarExtScanner>, public MdVarExtBase {
public:
    using TextMap = std::map<int32_t, String>;

    MdVarExtParser();

    // The frame's init, the version pair (firstId major, secondId minor) and
    // the system-variable table of the descriptor's "symb".
    void init(const MdCompilerArgs& args) override;

    // Message id at the scanner's line with no, one or both arguments (arg2
    // only together with arg1); counts nothing.
    void reportError(uint32_t id, const String* arg1, const String* arg2) override;
    void countError() override { ++m_errors; }
    int32_t getErrorCount() override { return m_errors; }

    // ---- statement actions (MdVarExtBisonParser.h) ----
    void configuration(int32_t number, const String& text) override;
    void defaultConfiguration(int32_t cfg) override;
    void groupHead(int32_t group, const String& text) override;
    void groupEntry(int32_t group, int32_t cfg, const String& text) override;
    void maxId(int32_t m) override;
    void resolve(int32_t local, int32_t quantity, bool hasDefault, int32_t defaultUnit, bool hasPossible,
                 const IntList& units) override;
    void resolveEnd() override;
    void bitType(int32_t number, const String& first, const String& second) override;
    VarExt* attributeValues(int32_t a, int32_t ato1, int32_t ato2, int32_t g, int32_t te) override;
    void attribute(bool range, int32_t first, int32_t last, int32_t mask, VarExt* record) override;
    void bitField(bool range, int32_t first, int32_t last, int32_t mask, int32_t bit, int32_t type,
                  const String& text) override;
    void dynArrayStart() override;
    void dynArrayElement(int32_t adr) override;
    void dynArray(int32_t sizeAdr, int32_t mask, const IntList& arrays) override;
    void valueHead(bool range, int32_t first, int32_t last, int32_t mask) override;
    void valueNumber(ItemKind kind, int32_t value) override;
    void valueReal(ItemKind kind, const String& text) override;
    void valueUnit(int32_t unit) override;
    void valueFixed(int32_t unit) override;
    void undefWithItems() override;
    void valueStatement(bool range, int32_t first, int32_t last, int32_t mask, bool undef) override;

    // Tokens through the frame; the line after the previous token is kept
    // for the messages of a value statement (its last token's line).
    int yylex() override;
    ~MdVarExtParser() override;

    // Compiles the section: the grammar's result when it stops; 3 when
    // errors were counted or the dynamic arrays fail their check; 4 when a
    // section or the resource script cannot be written (sections written
    // before stay written); else the seven sections "units", "varval",
    // "varext", "varcont", "cfghead", "bitfield", "const" rewritten from
    // empty, the bit texts and then the configuration texts appended as two
    // string tables (each only when it has texts), and 0.
    int32_t parseSource();
    int32_t parse() override { return parseSource(); }

    // At the end of every resolve block: while the type has no permitted
    // units, every quantity of the type gets all its units below the unit
    // limit.
    void initSysParser();
    // The first record of quantity number physGr among the records below the
    // unit limit; -1 (and a level-4 trace) when none. Nothing calls it.
    int32_t getPhysGrIdx(int32_t physGr);

    const TextMap& cfgTexts() const { return m_cfgTexts; }
    const TextMap& bitTexts() const { return m_bitTexts; }

protected:
    // A run of stray bytes past its first hundred: message 401, which counts
    // an error for each byte.
    void strayRunError(const std::string& arg, int32_t line, uint32_t count) override
    {
        reportStrayRun(arg, line, count);
    }
    // A number outside the section's 32 bits: message 408 with its text,
    // counted.
    void numberOutOfRange(const char* text) override { fail(408, String(text)); }
    // Counts and reports id with decimal numbers or texts as arguments.
    void fail(uint32_t id);
    void fail(uint32_t id, const String& a1);
    void fail(uint32_t id, int64_t a1);
    void fail(uint32_t id, int64_t a1, int64_t a2);
    void fail(uint32_t id, int64_t a1, const String& a2);
    // Enters text under the next string id (used up also when refused);
    // false when the map refuses it.
    bool enterText(TextMap& map, const String& text, int32_t& id);
    // Whether text fits one string resource; 418 with its length, counted,
    // when it does not; warning 419 for an undefined byte.
    // back: which of the last two strings it is (noteTextLine).
    bool textFits(const String& text, int back = 0);
    // A text taking id past the last id of the resource script fails the
    // section: message 408 with the id (once per compile), counted.
    void checkTextId(int32_t id);
    // Without a system-variable table the statements that look variables
    // up report message 0 and stop the parse with 5: false then.
    bool needTable();
    // A range "$first-$last" is refused (408 with first, parse stopped with
    // 3) unless first is below last and it covers at most 64 K addresses.
    bool rangeAccepted(bool range, int32_t first, int32_t last);
    // Whether a system variable covers adr.
    bool operandExists(int32_t adr);
    // getTypeIdByAdr, from the last look-up while it was at adr.
    StTypeID typeIdAt(int32_t adr);
    // The elementary type of the variable at adr; 30 when none.
    uint32_t elemTypeAt(int32_t adr);
    // The item type of the variable at adr: its elementary type, or the
    // value type of an enumeration (enumType set); 30 when neither.
    uint32_t itemTypeAt(int32_t adr, StTypeID* enumType = nullptr);
    void freeItems();
    void addItem(VarValueEntry* item);
    // The check of the dynamic arrays reports at the line of the statement
    // that declared sizeKey (the end of the section for a key no statement
    // of this compile declared).
    void placeDynArrayMessages(const VarExtKey& sizeKey) override;
    // That line, by which the check reports in source order.
    int32_t dynArrayStatementOrder(const VarExtKey& sizeKey) const override;

    int32_t m_repeatMin = 0, m_repeatMax = 0, m_repeatDef = 0, m_repeatUnit = 0, m_repeatFixed = 0;
    VarValueEntryList m_items;     // of the current value statement
    uint32_t m_itemType = 30;      // their type
    int32_t m_lineAfterLast = 1;   // the scanner's line after the previous token
    int32_t m_lineNow = 1;         // and after the current one
    int32_t m_messageLine = -1;    // set: the line of every message
    TextMap m_bitTexts;
    TextMap m_cfgTexts;
    // Past the last id the section is not written: a configuration, group
    // entry or bit type is then not entered into the model (nor its text
    // kept), only its number remembered here, so that a repeated one is
    // still refused as the model refuses it. A few bytes a number rather
    // than a node of the model and a text.
    struct PastTexts {
        // Remembers key unless it is there or inModel: whether it was new.
        template <class Key>
        static bool remember(MdNumberSet<Key>& numbers, Key key, bool inModel)
        {
            return !inModel && numbers.insert(key);
        }
        MdNumberSet<uint32_t> cfgs;          // configuration numbers
        MdNumberSet<uint64_t> groupEntries;  // group << 32 | entry
        MdNumberSet<uint32_t> bitTypes;      // bit-type numbers
    } m_past;
    // Whether a bit type of that number was given, before the last id or past it.
    bool bitTypeKnown(int32_t type) const;
    // The line of each dynamic-array statement by its size variable's key.
    std::map<VarExtKeyFields, int32_t> m_dynArrayLines;
    int32_t m_dynArrayStart = -1;  // the line of the statement being read

private:
    // What the system-variable table answered for the last address asked:
    // a statement asks for its address several times, and the table does
    // not change while the section is compiled.
    struct AdrLookup {
        const SyStSymbTable* table = nullptr;
        int32_t adr = 0;
        bool noOperand = true;
        StTypeID tid = ST_INVALID_TID;
    } m_lastAdr;
    const AdrLookup& lookUp(int32_t adr);

    // The answers for the addresses asked in ascending order (each block
    // of attributes, values or bit fields asks them again): kept in that
    // order and found again by walking forward from the previous one.
    // Capped, so that ranges of a small source cannot make it large.
    struct AdrFact {
        int32_t adr;
        StTypeID tid;
        bool noOperand;
    };
    static constexpr size_t kMaxAdrFacts = size_t(1) << 20;
    std::vector<AdrFact> m_adrFacts;
    size_t m_adrCursor = 0;
    const AdrFact* knownFact(int32_t adr);
    // Why there is no table, for the host: "symb" missing or empty, or not
    // a table.
    int32_t m_noTableCause = MdCauseNoSysTable;
};
