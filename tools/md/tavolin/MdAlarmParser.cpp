// Compiler of the alarm section.
#include "tools/md/tavolin/MdAlarmParser.h"

#include <istream>
#include <string>
#include <utility>
#include "MdAlarmBisonParser.tab.hpp"

namespace {

const char kAlmCfg[] = "almcfg";
const char kAlmStr[] = "almstr";

// Merges one entry's value under index into a block map; false (nothing
// changed) when the index is there already.
template <class Map, class Value>
bool mergeOne(Map& map, int32_t index, Value&& value)
{
    return map.emplace(index, std::forward<Value>(value)).second;
}

// Empties the scanner's text store, giving its memory back.
void releaseTextStore()
{
    std::string().swap(mdAlarmTextStore().text);
}

// Empties the whole store, as a new input finds it.
void resetStore()
{
    releaseTextStore();
    MdAlarmTextStore& store = mdAlarmTextStore();
    store.numbers.clear();
    store.listNext = false;
    store.runNext = false;
}

}  // namespace

MdAlarmParser::~MdAlarmParser()
{
    resetStore();
}

void MdAlarmParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    resetStore();
    // The compile goes on without a script; a table then fails at its end.
    m_keepTable = m_script.open(m_rcPath);
    if (!m_keepTable) mdEmitMessage(MdAlarmMsgScript, MdAlarmScannerFlexLexer::lineno());
    MdAlarmTextStore& store = mdAlarmTextStore();
    store.keep = m_keepTable;
    // The texts are fewer bytes than the section: room for them at once
    // spares copying them as the store grows (untouched room costs no memory).
    if (m_keepTable) store.text.reserve(mdBytesLeft(args.stream));
}

void MdAlarmParser::tableEntry(bool numbered, uint32_t number, MdAlarmText text)
{
    ++m_tableCount;
    if (!m_keepTable) return;
    // Ids wrap as the 32-bit words they are; no signed overflow.
    const uint32_t ordinal = uint32_t(m_numbered.size());
    m_numbered.push_back(numbered);
    if (idsRunOut()) return;
    const int32_t id = int32_t(uint32_t(m_nextStringId) + ordinal);
    if (!textIdFits(id, MdAlarmMsgScript, MdAlarmScannerFlexLexer::lineno())) {
        // The table will not be written: from here on only whether each
        // entry has a number is kept (the values are checked against it),
        // so that a table far past the last id costs a bit per entry.
        dropTable();
        return;
    }
    m_ordinalIds.push_back(id);
    m_ordinalNumbers.push_back(numbered ? int64_t(number) : -1);
    MdAlarmTextStore& store = mdAlarmTextStore();
    if (!scriptTextFits(store.text.data() + text.begin, text.length, {MdAlarmMsgTooLong, MdAlarmMsgUndefinedByte},
                        MdAlarmScannerFlexLexer::lineno(), textLine())) {
        // The table will not be written; the text is not kept (when it is
        // the last one in the store, as the grammar reduces an entry
        // without looking ahead).
        m_textRefused = true;
        if (text.begin + text.length == store.text.size()) store.text.resize(text.begin);
        text.length = 0;
    }
    m_texts.push_back(text);
}

int MdAlarmParser::yylex()
{
    const int token = MdParserFrame::yylex();
    // The scanner stands on the closing quote; a text not kept warns of
    // nothing.
    if (token == ALARM_STRING) {
        const std::string& kept = mdAlarmTextStore().text;
        const MdAlarmText& text = MdAlarmlval.text;
        if (text.begin + text.length <= kept.size())
            noteTextLine(mdTextFirstLine(MdAlarmScannerFlexLexer::lineno(), kept.data() + text.begin, text.length));
    }
    return token;
}

void MdAlarmParser::tableRun(uint32_t count)
{
    // The scanner gives runs only when no text is kept: without a script,
    // or past the last id, where an entry adds no more than this.
    m_tableCount += count;
    if (m_keepTable) m_numbered.resize(m_numbered.size() + count, false);
}

void MdAlarmParser::dropTable()
{
    releaseTextStore();
    mdAlarmTextStore().keep = false;
    std::vector<MdAlarmText>().swap(m_texts);
    std::vector<int32_t>().swap(m_ordinalIds);
    std::vector<int64_t>().swap(m_ordinalNumbers);
}

bool MdAlarmParser::tableEnd()
{
    if (m_tableCount == 0) return true;
    const std::string& store = mdAlarmTextStore().text;
    // A table past the last id, or with a text too long, is not written at
    // all (the section fails).
    if (!idsRunOut() && !m_textRefused) {
        const std::size_t first = m_ordinalIds.size() - m_texts.size();
        m_script.beginTable();
        for (std::size_t i = 0; i < m_texts.size(); ++i)
            m_script.addText(m_ordinalIds[first + i], store.data() + m_texts[i].begin, m_texts[i].length);
        m_script.endTable();
    }
    releaseTextStore();
    if (!m_script.close()) {
        m_scriptFailed = true;
        reportError(MdAlarmMsgScript);
        return false;
    }
    m_nextStringId = int32_t(uint32_t(m_nextStringId) + uint32_t(m_tableCount));
    m_tableCount = 0;
    m_texts.clear();
    return true;
}

void MdAlarmParser::fillTableMaps()
{
    // Ordinals grow: each goes in at the end, without a search.
    for (std::size_t o = 0; o < m_ordinalIds.size(); ++o) {
        m_stringIds.emplace_hint(m_stringIds.end(), int32_t(o), m_ordinalIds[o]);
        if (m_ordinalNumbers[o] >= 0)
            m_valueList.emplace_hint(m_valueList.end(), int32_t(o), uint32_t(m_ordinalNumbers[o]));
    }
}

void MdAlarmParser::checkValue(uint32_t value)
{
    // The value list's keys are the ordinals of the numbered entries.
    if (value < m_numbered.size() && m_numbered[value]) return;
    reportError(MdAlarmMsgValue, std::to_string(value).c_str());
}

void MdAlarmParser::checkValues(uint32_t def, const ValueList& allowed)
{
    checkValue(def);
    for (int32_t v : allowed) checkValue(uint32_t(v));
}

void MdAlarmParser::globalAttr(int which, uint32_t def, const ValueList& allowed)
{
    checkValues(def, allowed);
    m_global.attr(which).def = int32_t(def);
    m_global.attr(which).allowed = allowed;
}

int32_t MdAlarmParser::sameIndex(std::initializer_list<uint32_t> indexes)
{
    const uint32_t first = *indexes.begin();
    for (uint32_t i : indexes) {
        if (i != first) {
            reportError(MdAlarmMsgIndexes);
            break;
        }
    }
    return int32_t(first);
}

void MdAlarmParser::reactionEntry(uint32_t i1, uint32_t text, uint32_t i2, uint32_t def, uint32_t i3,
                                  const ValueList& allowed)
{
    checkValues(def, allowed);
    const int32_t index = sameIndex({i1, i2, i3});
    if (!mergeOne(m_local.m_reactionTexts, index, int32_t(text)) ||
        !mergeOne(m_local.m_defaultReactions, index, int32_t(def)) ||
        !mergeOne(m_local.m_possibleReactions, index, allowed))
        reportError(MdAlarmMsgIndexTwice);
}

void MdAlarmParser::paramEntry(uint32_t i1, uint32_t text, uint32_t i2, uint32_t def, bool hasPossible, uint32_t i3,
                               const ValueList& allowed)
{
    checkValues(def, allowed);
    const int32_t index = hasPossible ? sameIndex({i1, i2, i3}) : sameIndex({i1, i2});
    if (!mergeOne(m_local.m_paramTexts, index, int32_t(text)) ||
        !mergeOne(m_local.m_defaultParams, index, int32_t(def)) ||
        (hasPossible && !mergeOne(m_local.m_possibleParams, index, allowed)))
        reportError(MdAlarmMsgIndexTwice);
}

void MdAlarmParser::alarmEnd(uint32_t alarmId, uint32_t nameIdx)
{
    // A repeated id is known before its parts are handed on (a large
    // source repeats its alarms).
    std::unique_ptr<CBoAlarmType> type;
    const auto& types = alarmTypes();
    if (types.empty() || types.rbegin()->first < alarmId || !findAlarmType(alarmId))
        type.reset(new CBoAlarmType(std::move(m_global), std::move(m_local), alarmId, int32_t(nameIdx)));
    m_global = CBoGlobAlarmType();
    m_local = CBoLocalAlarmType();
    if (type && addAlarmType(alarmId, type.get())) {
        type.release();
        return;
    }
    reportError(MdAlarmMsgDuplicate, std::to_string(alarmId).c_str());
}

int32_t MdAlarmParser::writeSection(const char* name, bool almcfg)
{
    FsSecCl* sec = nullptr;
    // Only a section the descriptor holds is written; none is created.
    if (!m_target || m_target->FsSectMan::openSect(name, &sec, FS_MODE_WRITE) != FS_OK || !sec) return 5;
    int32_t result = 0;
    if (almcfg) {
        if (!save(*sec)) result = 3;
    } else {
        const bool truncated = sec->setSize(0) == 0;
        if (truncated) {
            FsSecRun run(*sec);
            boalc::putMap(run, m_stringIds);
        }
        if (!truncated || sec->hasError()) {
            reportError(0);
            result = 3;
        }
    }
    // A failed save stays the verdict when the close fails after it.
    if (m_target->CloseSect(name) != 0 && result == 0) return 5;
    return result;
}

int32_t MdAlarmParser::parse()
{
    const int grammar = yyparse();
    if (m_scriptFailed) return int32_t(MdAlarmMsgScript);
    if (grammar != 0) return grammar;
    if (m_errors != 0) return 3;
    fillTableMaps();
    const int32_t cfg = writeSection(kAlmCfg, true);
    if (cfg != 0) return cfg;
    return writeSection(kAlmStr, false);
}
