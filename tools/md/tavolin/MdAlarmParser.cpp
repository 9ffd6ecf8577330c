// Compiler of the alarm section.
#include "tools/md/tavolin/MdAlarmParser.h"

#include <string>

namespace {

const char kAlmCfg[] = "almcfg";
const char kAlmStr[] = "almstr";

// Merges one entry's value under index into a block map; false (nothing
// changed) when the index is there already.
template <class Map, class Value>
bool mergeOne(Map& map, int32_t index, const Value& value)
{
    return map.emplace(index, value).second;
}

CBoAlmValueList signedList(const MdAlarmBisonParser::ValueList& list)
{
    return CBoAlmValueList(list.begin(), list.end());
}

}  // namespace

void MdAlarmParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    // The compile goes on without a script; a table then fails at its end.
    if (!m_script.open(m_rcPath)) mdEmitMessage(MdAlarmMsgScript, MdAlarmScannerFlexLexer::lineno());
}

void MdAlarmParser::tableEntry(bool numbered, uint32_t number, const String& text)
{
    const int32_t ordinal = m_ordinal++;
    // Ids wrap as the 32-bit words they are; no signed overflow.
    const int32_t id = int32_t(uint32_t(m_nextStringId) + uint32_t(ordinal));
    m_texts.emplace_back(id, text);
    // Ordinals grow: each goes in at the end, without a search.
    m_stringIds.insert_or_assign(m_stringIds.end(), ordinal, id);
    if (numbered) m_valueList.insert_or_assign(m_valueList.end(), ordinal, number);
}

bool MdAlarmParser::tableEnd()
{
    if (m_texts.empty()) return true;
    m_script.beginTable();
    for (const auto& t : m_texts) m_script.addText(t.first, t.second);
    m_script.endTable();
    if (!m_script.close()) {
        m_scriptFailed = true;
        reportError(MdAlarmMsgScript);
        return false;
    }
    m_nextStringId = int32_t(uint32_t(m_nextStringId) + uint32_t(m_texts.size()));
    m_texts.clear();
    return true;
}

void MdAlarmParser::checkValue(uint32_t value)
{
    if (m_valueList.count(int32_t(value))) return;
    reportError(MdAlarmMsgValue, std::to_string(value).c_str());
}

void MdAlarmParser::globalAttr(int which, uint32_t def, const ValueList& allowed)
{
    checkValue(def);
    for (uint32_t v : allowed) checkValue(v);
    m_global.attr(which).def = int32_t(def);
    m_global.attr(which).allowed = signedList(allowed);
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
    checkValue(def);
    for (uint32_t v : allowed) checkValue(v);
    const int32_t index = sameIndex({i1, i2, i3});
    if (!mergeOne(m_local.m_reactionTexts, index, int32_t(text)) ||
        !mergeOne(m_local.m_defaultReactions, index, int32_t(def)) ||
        !mergeOne(m_local.m_possibleReactions, index, signedList(allowed)))
        reportError(MdAlarmMsgIndexTwice);
}

void MdAlarmParser::paramEntry(uint32_t i1, uint32_t text, uint32_t i2, uint32_t def, bool hasPossible, uint32_t i3,
                               const ValueList& allowed)
{
    checkValue(def);
    for (uint32_t v : allowed) checkValue(v);
    const int32_t index = hasPossible ? sameIndex({i1, i2, i3}) : sameIndex({i1, i2});
    if (!mergeOne(m_local.m_paramTexts, index, int32_t(text)) ||
        !mergeOne(m_local.m_defaultParams, index, int32_t(def)) ||
        (hasPossible && !mergeOne(m_local.m_possibleParams, index, signedList(allowed))))
        reportError(MdAlarmMsgIndexTwice);
}

void MdAlarmParser::alarmEnd(uint32_t alarmId, uint32_t nameIdx)
{
    std::unique_ptr<CBoAlarmType> type(new CBoAlarmType(m_global, m_local, alarmId, int32_t(nameIdx)));
    m_global = CBoGlobAlarmType();
    m_local = CBoLocalAlarmType();
    if (addAlarmType(alarmId, type.get())) {
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
        sec->setSize(0);
        boalc::putMap(*sec, m_stringIds);
        if (sec->hasError()) {
            reportError(0);
            result = 3;
        }
    }
    if (m_target->CloseSect(name) != 0) return 5;
    return result;
}

int32_t MdAlarmParser::parse()
{
    const int grammar = yyparse();
    if (m_scriptFailed) return int32_t(MdAlarmMsgScript);
    if (grammar != 0) return grammar;
    if (m_errors != 0) return 3;
    const int32_t cfg = writeSection(kAlmCfg, true);
    if (cfg != 0) return cfg;
    return writeSection(kAlmStr, false);
}
