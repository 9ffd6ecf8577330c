// Compiler of the alarm section ("alarm_tmp") of a technology-object type:
// appends the section's string table to the resource script, builds one
// alarm type per alarm into its own alarm-type container and writes the
// descriptor sections "almcfg" (alarm types and value list) and "almstr"
// (string ordinal -> resource string id).
//
// The string table is collected while parsing and appended whole when
// "END_ALARM_STRING_TABLE" is read (an empty table writes nothing), so a
// syntax error inside it leaves the script as it was. Entry n (0-based) of
// the table gets the resource id start + n; the start then advances past
// the table (nextStringId). An entry whose id would pass the last id a
// resource script takes (kMdRcLastTextId) is reported as 707 at its line
// (once) and counted; the table is then not written, and from that entry
// on no text is kept (only whether each entry has a number, which the value
// checks need): memory does not grow with what lies past the last id. An
// entry whose text holds more characters than a string resource takes
// (kMdRcMostTextChars, counted as a resource compiler reads it back) is
// reported as 708 with that count at its line and counted; its text is not
// kept, and the table is not written. One that reads back with a byte code
// page 1252 leaves undefined (mdRcReadBack) gets warning 709 naming the
// byte at its line, and is written as it is.
//
// Messages (block 700): 701 scanner error, 702 syntax error, 703 a default
// or allowed value that is not the ordinal of a numbered entry (the value
// is used all the same), 704 an alarm id given twice (the later alarm is
// dropped), 705 a local index given twice in one block (the rest of that
// entry is dropped), 706 the indexes of one local entry differ (the first
// is used), 707 the resource script cannot be opened (at init; the compile
// goes on) or is in error after the table, 708 a text too long for a
// string resource, 709 (a warning) a text with a byte code page 1252 leaves
// undefined, 0 "almstr" not written whole.
// Every message but the 707 of init and 709 counts as an error.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "bo/alc/BoAlarmType.h"
#include "tools/md/tavolin/MdAlarmBisonParser.h"
#include "tools/md/tavolin/MdAlarmScanner.h"
#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdRcStringTable.h"

enum : uint32_t {
    MdAlarmMsgBase = 700,
    MdAlarmMsgValue = 703,      // "Eintrag %s nicht in ValListe"
    MdAlarmMsgDuplicate = 704,  // "Alarm %s konnte nicht eingefügt werden"
    MdAlarmMsgIndexTwice = 705, // "Eintrag schon vorhanden"
    MdAlarmMsgIndexes = 706,    // "Indizes sind verschieden"
    MdAlarmMsgScript = 707,     // "Sektion konnte nicht beschrieben werden"
    MdAlarmMsgTooLong = 708,    // "Text ist zu lang: %s Zeichen, höchstens 65535"
    // warning: "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler
    // kann den Text verwerfen oder kürzen"
    MdAlarmMsgUndefinedByte = 709,
};

class MdAlarmParser : public MdParserFrame<MdAlarmBisonParser, MdAlarmScannerFlexLexer>, public CBoAlmTypeCont {
public:
    MdAlarmParser() : MdParserFrame(MdAlarmMsgBase) {}

    // init: the stream, the descriptor, the resource script (opened for
    // appending here; 707 when it cannot be) and the first string id.
    void init(const MdCompilerArgs& args) override;

    // Runs the grammar and writes "almcfg" and "almstr", each emptied
    // first: 0 written; 1 syntax error or 2 parser stack full; 707 the
    // resource script failed; 3 errors were counted (nothing written), the
    // container's save failed, or "almstr" could not be emptied or was in
    // error after writing (message 0), also when its close fails after
    // that; 5 a section the descriptor does not hold (never created; no
    // descriptor included), or a written section that cannot be closed.
    int32_t parse() override;

    ~MdAlarmParser() override;
    // Tokens through the frame; the line each kept text begins on is noted.
    int yylex() override;

protected:
    void tableEntry(bool numbered, uint32_t number, MdAlarmText text) override;
    void tableRun(uint32_t count) override;
    bool tableEnd() override;
    void globalAttr(int which, uint32_t def, const ValueList& allowed) override;
    void reactionEntry(uint32_t i1, uint32_t text, uint32_t i2, uint32_t def, uint32_t i3,
                       const ValueList& allowed) override;
    void paramEntry(uint32_t i1, uint32_t text, uint32_t i2, uint32_t def, bool hasPossible, uint32_t i3,
                    const ValueList& allowed) override;
    void alarmEnd(uint32_t alarmId, uint32_t nameIdx) override;

private:
    // 703 for a value that is not in the value list.
    void checkValue(uint32_t value);
    void checkValues(uint32_t def, const ValueList& allowed);
    // Fills the container's string-id map and value list from the entries
    // read (they are kept by ordinal while parsing, where a map node per
    // entry was most of the cost of a large table).
    void fillTableMaps();
    // Past the last id: empties the kept texts, ids and numbers, and keeps
    // no more.
    void dropTable();
    // 706 unless every index equals the first.
    int32_t sameIndex(std::initializer_list<uint32_t> indexes);
    // Writes "almcfg" (the container) or "almstr" (the string ids) into
    // the section of that name, emptied first: 0, 3 or 5 as parse.
    int32_t writeSection(const char* name, bool almcfg);

    MdRcStringTable m_script;
    // Without a script the table fails at its end, so nothing of it is kept.
    bool m_keepTable = false;
    bool m_textRefused = false;  // a text too long for a string resource was read
    std::size_t m_tableCount = 0;      // entries of the table being read
    std::vector<MdAlarmText> m_texts;  // their texts in mdAlarmTextStore
    // By ordinal: the resource string id, and the entry's number (-1: none),
    // while the ids fit; whether the entry has a number, for all.
    std::vector<int32_t> m_ordinalIds;
    std::vector<int64_t> m_ordinalNumbers;
    std::vector<bool> m_numbered;
    bool m_scriptFailed = false;                      // 707 after the table
    CBoGlobAlarmType m_global;                        // parts of the alarm being read
    CBoLocalAlarmType m_local;
};
