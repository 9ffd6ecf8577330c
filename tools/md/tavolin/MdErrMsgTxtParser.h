// Compiler of the error-text sections: "almmsg_tmp" (alarm error texts,
// after the alarm section) and "bferrtxt_tmp" (boot-function error texts).
// Each item becomes one line of a string table appended to the resource
// script; the text of the line is "<severity> <class> <third> <text>" (the
// third value -1 when the item has none), which is how a message-text
// table reads level, group, help id and template.
//
// String ids:
// - alarm section: the running id starts at the first string id; each item
//   records number -> running id in the container (an existing number keeps
//   its first id, yet the item still gets its line and id) and the running
//   id advances by 2. The container is written as "errmsg", even when the
//   section has no items.
// - boot-function section: first string id + message number, the number
//   taken unsigned (one of 2^31 or more lies past the last id, with no wrap
//   to a small id); no container and no "errmsg".
// Message numbers, class values and third values are 32-bit: a number up to
// 4294967295 is taken as its bit pattern (MdErrMsgTxtScanner.h); the class
// and third value are written as the signed numbers they then are (-1).
// nextStringId() is the high-water id: one above the highest id written,
// never below the first string id. An item whose id would pass the last id
// a resource script takes (kMdRcLastTextId) is reported as 903 (once) at the
// line the item ends on, and counted; the table is then not written, and
// from that item on neither its lines nor the container's numbers are kept.
// An item whose line, its three numbers included, holds more characters
// than a string resource takes (kMdRcMostTextChars, counted as a resource
// compiler reads the line back) is reported as 904 with that count at the
// same line, and counted; its text is not kept, and the table is not
// written. One whose text reads back with a byte code page 1252 leaves
// undefined (mdRcReadBack) gets warning 905 naming the byte at that line,
// and is written as it is.
//
// The table is collected while parsing and appended whole after the
// section's end keyword, so a syntax error leaves the script as it was. An
// empty section writes no table.
//
// Messages (block 900): 901 scanner error, 902 syntax error, 903 the
// resource script cannot be opened (at init; the compile goes on) or is in
// error after the table, 904 a text too long for a string resource, 905 (a
// warning) a text with a byte code page 1252 leaves undefined.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bo/alm/BoErrorMsgCont.h"
#include "tools/md/tavolin/MdErrMsgTxtBisonParser.h"
#include "tools/md/tavolin/MdErrMsgTxtScanner.h"
#include "tools/md/tavolin/MdParserFrame.h"
#include "tools/md/tavolin/MdRcStringTable.h"

enum : uint32_t {
    MdErrMsgTxtMsgBase = 900,
    MdErrMsgTxtMsgScript = 903,  // "Sektion konnte nicht beschrieben werden"
    MdErrMsgTxtMsgTooLong = 904, // "Text ist zu lang: %s Zeichen, höchstens 65535"
    // warning: "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler
    // kann den Text verwerfen oder kürzen"
    MdErrMsgTxtMsgUndefinedByte = 905,
};

// The messages of the error-text compiler stand at line 1, except 903 for an
// item whose id is past the last, 904 for an item whose text is too long and
// 905 for one with an undefined byte, which item() places at its scanner's
// line.
template <>
struct MdMessagesCarryLine<MdErrMsgTxtScannerFlexLexer> : std::false_type {};

class MdErrMsgTxtParser : public MdParserFrame<MdErrMsgTxtBisonParser, MdErrMsgTxtScannerFlexLexer> {
public:
    MdErrMsgTxtParser() : MdParserFrame(MdErrMsgTxtMsgBase) {}

    // init: the stream, the descriptor, the resource script (opened for
    // appending here; 903 when it cannot be) and the first string id.
    void init(const MdCompilerArgs& args) override;

    // Runs the grammar, then writes "errmsg" for an alarm section: 0 done;
    // 1 syntax error or 2 parser stack full (nothing written); 903 the
    // resource script failed at the section's end; 3 errors were counted
    // (nothing written); 4 "errmsg" could not be opened, written or closed
    // (no descriptor included).
    int32_t parse() override;
    int32_t nextStringId() const override { return m_highWater; }

    // The alarm section's container; null before an alarm section starts.
    const CBoErrorMsgCont* container() const { return m_container.get(); }
    bool bootSection() const { return m_bootSection; }
    // Tokens through the frame; the line each text begins on is noted.
    int yylex() override;

protected:
    void sectionStart(bool alarm) override;
    void item(int32_t number, int32_t severity, int32_t classValue, int32_t third, const String& text) override;
    bool sectionEnd() override;
    void emptySection(bool alarm) override;

private:
    void startContainer();

    bool m_bootSection = false;   // a boot-function section was read
    bool m_writeSection = false;  // an alarm section was read: "errmsg" is written
    MdRcStringTable m_script;
    // The section's lines: their texts one after the other in one buffer.
    struct Line {
        int32_t id;
        std::size_t begin, length;
    };
    std::string m_lineBytes;
    std::vector<Line> m_lines;
    std::unique_ptr<CBoErrorMsgCont> m_container;
    int32_t m_highWater = 0;
    bool m_scriptFailed = false;
    bool m_textRefused = false;  // a text too long for a string resource was read
};
