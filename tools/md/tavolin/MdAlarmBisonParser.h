// Grammar of the alarm section of a technology-object type source:
//
//   ALARM_STRING_TABLE  0 : "text"  "text"  ...  END_ALARM_STRING_TABLE
//   BEGIN_ALARM
//     VRX_ERROR(id) AlarmName name
//     BEGIN_GLOBAL DefaultReaction v PossibleReaction v, v ...
//                  DefaultConfirm v PossibleConfirm list DefaultType v
//                  PossibleTypes list DefaultDiagBuffer v PossibleDiagBuffer list
//     END_GLOBAL
//     BEGIN_LOCAL
//       REACTION (one or more) TextReaction[i] t DefaultReaction[i] v
//                PossibleReaction[i] list END_REACTION
//       PARAM (zero or more) Text[i] t Default[i] v [Possible[i] list] END_PARAM
//     END_LOCAL
//     END
//   END_ALARM
//
// The grammar itself is MdAlarmBisonParser.ypp; this class is what the
// generated parser works on. Tokens come from the derived class through
// yylex, errors go to its yyerror, and the actions are handed to the
// operations below in source order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/md/tavolin/MdBisonParserBase.h"

// The value of a string token: where its text stands in mdAlarmTextStore
// (MdAlarmScanner.h).
struct MdAlarmText {
    std::size_t begin;
    std::size_t length;
};

// The value of a LIST token: where its numbers stand in the numbers of
// mdAlarmTextStore (MdAlarmScanner.h).
struct MdAlarmNumbers {
    std::size_t begin;
    std::size_t count;
};

// Appends the numbers of a LIST token to list; once the store holds no
// later list, it is emptied.
void mdAlarmTakeNumbers(MdAlarmNumbers numbers, std::vector<int32_t>& list);

class MdAlarmBisonParser;
int MdAlarmparse(MdAlarmBisonParser& parser);

class MdAlarmBisonParser : public MdBisonParserBase {
public:
    using ValueList = std::vector<int32_t>;  // the values as the model keeps them

    // Runs the grammar: 0 accepted, 1 stopped at a syntax error or by an
    // action, 2 the parser's stack would outgrow its limit.
    int yyparse() { return MdAlarmparse(*this); }

    // An empty list for the grammar to fill, and its return when the list
    // has been handed on (or dropped): the lists' room is used again, not
    // allocated for each of the half dozen lists of every alarm.
    ValueList* takeList()
    {
        if (m_spareLists.empty()) {
            std::unique_ptr<ValueList> list(new ValueList);
            list->reserve(4);
            return list.release();
        }
        ValueList* list = m_spareLists.back().release();
        m_spareLists.pop_back();
        list->clear();
        return list;
    }
    void giveBack(ValueList* list)
    {
        std::unique_ptr<ValueList> kept(list);
        if (kept) m_spareLists.push_back(std::move(kept));
    }

protected:
    friend int MdAlarmparse(MdAlarmBisonParser& parser);
    // One string-table entry; numbered tells whether it has a number.
    virtual void tableEntry(bool numbered, uint32_t number, MdAlarmText text) = 0;
    // count entries without a number, whose texts are not kept (STRINGS).
    virtual void tableRun(uint32_t count) = 0;
    // The end of the string table; false ends the parse.
    virtual bool tableEnd() = 0;
    // One global attribute (CBoAlmGlobalAttr) with its default and list.
    // The lists stay the grammar's: they are given back for the next list
    // once the call returns.
    virtual void globalAttr(int which, uint32_t def, const ValueList& allowed) = 0;
    // One local entry: the indexes as written, text, default, allowed list
    // (a parameter without "Possible": hasPossible false, the third index
    // and the list unused).
    virtual void reactionEntry(uint32_t i1, uint32_t text, uint32_t i2, uint32_t def, uint32_t i3,
                               const ValueList& allowed) = 0;
    virtual void paramEntry(uint32_t i1, uint32_t text, uint32_t i2, uint32_t def, bool hasPossible, uint32_t i3,
                            const ValueList& allowed) = 0;
    // The end of one alarm: its global and local parts are what the calls
    // since the previous alarm gave.
    virtual void alarmEnd(uint32_t alarmId, uint32_t nameIdx) = 0;

private:
    std::vector<std::unique_ptr<ValueList>> m_spareLists;
};
