// Error messages of a technology-object type: which resource string holds
// the text of each message number, where the message-text library lies, and
// how a runtime message is built from VARIANT arguments and sent.
//
// The error-text compiler fills a container from an alarm error-text
// section and writes it as the descriptor section "errmsg"; a runtime user
// reads that section back, provides its default text table (loadData) and
// sends messages through the container's own handler.
//
// "errmsg" is the generic table layout in text mode: the count, a blank,
// then per number in ascending order the number, a blank, the string id, a
// blank ("2 20001 105 20002 107 ").
//
// Message-text libraries are resource-script modules (see
// platform/resmodule.h): the library name "tvalmtxx.dll" with the key 'a'
// selects "tvalmtxa.rc" in the same directory.
//
// Result codes: 0 done, 5 the library of a key cannot be loaded, 13 a number
// or text that is not there, 30 some texts of a list failed, 65535 no
// handler, no table or no usable library name.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <utility>
#include <vector>

#include "base/cm/cmmsghdl.h"
#include "base/fs/FsSecCl.h"
#include "bo/bo/BoVarExt.h"
#include "co/tvstring.h"
#include "co/tvwstring.h"
#include "platform/variant.h"

enum : uint32_t {
    BoErrMsgOk = 0,
    BoErrMsgNoLibrary = 5,
    BoErrMsgNotFound = 13,
    BoErrMsgPartly = 30,
    BoErrMsgNoContainer = 0xFFFF,
};

// Message number -> resource string id of its text.
class CErrMsgIDCont : public CBoNumberMap<uint32_t> {
public:
    virtual ~CErrMsgIDCont() = default;
};

// A runtime message: its string id, its number and five argument slots
// taken from a VARIANT.
//
// Slot n holds the element of index n (0-4) of a one-dimensional SAFEARRAY
// of VARIANTs (or of one of the element types below): VT_I1 and VT_I2
// sign-extended to 32 bits, VT_UI1, VT_UI2, VT_I4 and VT_UI4 as they are,
// each in the low 4 bytes; VT_R4 as its bit pattern in the low 4 bytes;
// VT_R8 as its 8 bytes. Elements of other indices are skipped. A VARIANT
// that is no array leaves the five slots 0. An array of more dimensions, a
// bound or element that cannot be read, or an element of any other type
// gives five zero slots and 0 as id and number.
class CBoAlmMsg : public CmRtMsg {
public:
    CBoAlmMsg(int32_t id, uint32_t number, const VARIANT& args);
    ~CBoAlmMsg() override;

    // The 48-byte record {id, number, five slots}.
    CmRtMsgRecord getRecord() const override { return m_record; }
    // False when the arguments could not be taken (the record is then 0).
    bool valid() const { return m_valid; }

private:
    bool convert(const VARIANT& args);

    std::vector<uint64_t> m_slots;
    CmRtMsgRecord m_record;
    bool m_valid = true;
};

class CBoErrorMsgCont : public CErrMsgIDCont {
public:
    using TextList = std::vector<std::pair<uint32_t, WString>>;

    // libraryName: path template whose character before ".dll" stands for
    // the library key. numberMapping != 0: numbers go through the map
    // before a text is looked up or a message sent; 0: numbers are string
    // ids. The own handler has no table and the level {2, 0}.
    CBoErrorMsgCont(const String& libraryName, uint32_t numberMapping);
    ~CBoErrorMsgCont() override;
    CBoErrorMsgCont(const CBoErrorMsgCont&) = delete;
    CBoErrorMsgCont& operator=(const CBoErrorMsgCont&) = delete;

    // Provides the default text table; this one traces "loadData must be
    // overwritten" and answers 65535.
    virtual uint32_t loadData();

    // Sends message `number` through the own handler, over the default text
    // table. The severity (0 help, 1 warning, 2 error, 3 safety, 4 text
    // with its separator) chooses the handler's output mode: 0, 1, 2, 4, 3
    // (anything else 0). The finished text goes to the handler's output at
    // the level the table gives the string id (levels other than 0, 1 and 3
    // as 2). 0 sent; 13 the number is not in the map, there is no default
    // table or it has no template for the id; 65535 no handler.
    // handlerMsgId is not used: the table's template is the message.
    virtual uint32_t sendMsg(uint32_t number, uint32_t severity, const VARIANT& args, uint32_t handlerMsgId);

    // The map's numbers in ascending order when mapping; else the default
    // table's ids (empty without a default table).
    virtual std::list<uint32_t> msgNumbers() const;
    // Text of a number from the default table: 0; 13 not in the map or an
    // empty text; 65535 no default table.
    virtual uint32_t msgText(uint32_t number, WString& text) const;
    // The same from the library of `key` (loaded for this call): the result
    // of createMsgTab when that fails.
    virtual uint32_t msgText(const char* key, uint32_t number, WString& text);
    // Fills the text of every (number, text) pair from the library of key:
    // 0; 30 when any text failed (its text is left); createMsgTab's result.
    virtual uint32_t msgTexts(const char* key, TextList& texts);

    // "errmsg": truncates the section, writes the map. True when the stream
    // has no error.
    virtual bool write(FsSecCl& s) const;
    // Clears, then reads the map; a count that differs from the numbers
    // read sets the stream error 18. True when the stream has no error.
    virtual bool read(FsSecCl& s);
    virtual void clearMap();
    // True when mapping is off or the map is not empty.
    virtual bool hasContents() const;

    // A table over the library of key[0] (see the top of this file): 0 with
    // a new table in *out (the caller's); 65535 null or empty key, null out, no
    // ".dll" after the first character of the absolute path; 5 the library
    // does not load (traced once, "LoadLibrary failed for %s"; the key is
    // remembered and fails at once from then on).
    uint32_t createMsgTab(const char* key, CmMsgTable** out);

    // Records number -> string id; an existing number keeps its first id.
    bool addMsg(uint32_t number, int32_t stringId) { return add(number, stringId); }

    CmMessageHandler* messageHandler() const { return m_handler.get(); }
    CmMsgTable* defaultTable() const { return m_defaultTable.get(); }
    const String& libraryName() const { return m_libraryName; }
    bool numberMapping() const { return m_numberMapping != 0; }

protected:
    // Replaces the default text table (owned from now on).
    void setDefaultTable(std::unique_ptr<CmMsgTable> table);

private:
    // The string id of a number: through the map when mapping; false when
    // the number is not in the map.
    bool stringIdOf(uint32_t number, uint32_t& id) const;
    static uint32_t lookup(const CmMsgTable& table, uint32_t id, WString& text);

    std::list<char> m_failedKeys;
    String m_libraryName;
    uint32_t m_numberMapping;
    std::unique_ptr<CmMessageHandler> m_handler;
    std::unique_ptr<CmMsgTable> m_defaultTable;
};
