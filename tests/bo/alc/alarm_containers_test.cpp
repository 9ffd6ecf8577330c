// Alarm types and alarms: the layouts of one container worked out by hand,
// seeded round trips in both stream modes, texts over a resource module, the
// setters, readAlarms and the version digest (checked against Python's
// hashlib by alarm_digest.py).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "bo/alc/BoAlarm.h"
#include "co/GuidHelpers.h"
#include "co/TraceApi.h"
#include "platform/guid.h"
#include "platform/resmodule.h"

namespace {

std::string content(FsSecCl& s)
{
    std::string out(s.getSize(), '\0');
    s.seek(0, 0);
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    s.seek(0, 0);
    return out;
}

void fill(FsSecCl& s, const std::string& bytes)
{
    s.setSize(0);
    if (!bytes.empty()) s.writeBytes(bytes.data(), uint32_t(bytes.size()));
    s.seek(0, 0);
}

// The type of the compiler's test section: alarm 16, name 1, reaction 3 and
// parameter 1, the value list {0 -> 0, 2 -> 7}, string ids 0..2 -> 100..102.
void fillTestTypes(CBoAlmTypeCont& c)
{
    CBoAlarmType* t = new CBoAlarmType;
    t->m_alarmId = 16;
    t->m_nameIdx = 1;
    t->attr(AlmReaction) = {0, {0, 2}};
    t->attr(AlmConfirm) = {2, {2}};
    t->attr(AlmType) = {0, {0}};
    t->attr(AlmDiagBuffer) = {2, {0, 2}};
    t->m_reactionTexts = {{3, 1}};
    t->m_defaultReactions = {{3, 0}};
    t->m_possibleReactions = {{3, {0, 2}}};
    t->m_paramTexts = {{1, 1}};
    t->m_defaultParams = {{1, 2}};
    ASSERT_TRUE(c.addAlarmType(16, t));
    c.valueList() = {{0, 0}, {2, 7}};
    c.stringIds() = {{0, 100}, {1, 101}, {2, 102}};
}

// Random types and alarms; duplicates kept in lists, negative numbers too.
int32_t any(std::mt19937& rng)
{
    switch (rng() % 3) {
    case 0: return int32_t(rng() % 4);
    case 1: return int32_t(rng());
    default: return -int32_t(rng() % 100);
    }
}

CBoAlmValueList anyList(std::mt19937& rng)
{
    CBoAlmValueList l(rng() % 4);
    for (int32_t& v : l) v = any(rng);
    return l;
}

void fillRandomTypes(CBoAlmTypeCont& c, std::mt19937& rng)
{
    const int n = int(rng() % 5);
    for (int i = 0; i < n; ++i) {
        CBoAlarmType* t = new CBoAlarmType;
        t->m_alarmId = rng();
        t->m_nameIdx = any(rng);
        for (int a = 0; a < AlmGlobalCount; ++a) t->attr(a) = {any(rng), anyList(rng)};
        for (int k = int(rng() % 3); k > 0; --k) {
            const int32_t idx = any(rng);
            t->m_reactionTexts[idx] = any(rng);
            t->m_defaultReactions[idx] = any(rng);
            t->m_possibleReactions[idx] = anyList(rng);
        }
        for (int k = int(rng() % 3); k > 0; --k) {
            const int32_t idx = any(rng);
            t->m_paramTexts[idx] = any(rng);
            t->m_defaultParams[idx] = any(rng);
            if (rng() % 2) t->m_possibleParams[idx] = anyList(rng);
        }
        if (!c.addAlarmType(t->m_alarmId, t)) delete t;
    }
    for (int k = int(rng() % 4); k > 0; --k) c.valueList()[any(rng)] = rng();
}

// The test section's types and their alarms; with allowParam parameter 1
// also allows the values 2 and 0 (a parameter without an allowed list
// refuses every value, its default too).
struct Fixture {
    CBoAlmTypeCont types;
    CBoAlmCont alarms{&types};
    explicit Fixture(bool allowParam = false)
    {
        fillTestTypes(types);
        if (allowParam) const_cast<CBoAlarmType*>(types.findAlarmType(16))->m_possibleParams[1] = {2, 0};
        alarms.createAlarms();
    }
};

TEST(AlarmContainers, LayoutsOfTheTestSection)
{
    Fixture f;
    FsSecClMem s;
    ASSERT_TRUE(f.types.save(s));
    EXPECT_EQ(content(s),
              "1 16 16 1\r\n0 2 0 2 \r\n2 1 2 \r\n0 1 0 \r\n2 2 0 2  1 3 1 \r\n1 3 0 \r\n1 3 2 0 2  \r\n1 1 1 \r\n"
              "1 1 2 \r\n0  \r\n2 0 0 2 7 ");
    ASSERT_TRUE(f.alarms.save(s));
    EXPECT_EQ(content(s), "1 16 0 2 0 2 1 3 0 \r\n1 1 2 ");

    CBoAlmTypeCont empty;
    ASSERT_TRUE(empty.save(s));
    EXPECT_EQ(content(s), "0\r\n0 ");

    f.alarms.calculateAlmCfgVersion();
    EXPECT_EQ(tvp::guidToString(f.alarms.almCfgVersion().Guid), "{2B53BD8F-CBA6-F4BF-AC96-5EFC436DA48D}");
    EXPECT_EQ(f.alarms.almCfgVersion().Major, 0);
    EXPECT_EQ(f.alarms.almCfgVersion().Minor, 0);
}

TEST(AlarmContainers, SeededRoundTripsInBothModes)
{
    std::mt19937 rng(31);
    for (int round = 0; round < 200; ++round) {
        const bool binary = round % 2;
        CBoAlmTypeCont types;
        fillRandomTypes(types, rng);
        CBoAlmCont alarms(&types);
        alarms.createAlarms();

        FsSecClMem s;
        s.setBinary(binary);
        ASSERT_TRUE(types.save(s));
        const std::string first = content(s);
        CBoAlmTypeCont back;
        ASSERT_TRUE(back.load(s)) << s.getError();
        EXPECT_EQ(back.alarmTypes().size(), types.alarmTypes().size());
        ASSERT_TRUE(back.save(s));
        EXPECT_EQ(content(s), first);

        ASSERT_TRUE(alarms.save(s));
        const std::string list = content(s);
        CBoAlmCont alarmsBack(&back);
        ASSERT_TRUE(alarmsBack.load(s));
        EXPECT_TRUE(alarmsBack.isLoaded());
        ASSERT_TRUE(alarmsBack.save(s));
        EXPECT_EQ(content(s), list);
    }
}

TEST(AlarmContainers, RepeatedIdsOnLoad)
{
    FsSecClMem s;
    CBoAlmTypeCont types;
    fill(s, "2 5 5 0\r\n0 0 \r\n0 0 \r\n0 0 \r\n0 0  0 \r\n0 \r\n0 \r\n0 \r\n0 \r\n0  5 5 0\r\n0 0 \r\n0 0 \r\n0 0 "
            "\r\n0 0  0 \r\n0 \r\n0 \r\n0 \r\n0 \r\n0  \r\n0 ");
    EXPECT_FALSE(types.load(s));
    EXPECT_EQ(s.getError(), 18u);
    EXPECT_EQ(types.alarmTypes().size(), 1u);

    CBoAlmCont alarms(&types);
    fill(s, "2 5 0 0 0 0 0 \r\n0  5 0 0 0 0 0 \r\n0 ");
    EXPECT_FALSE(alarms.load(s));
    EXPECT_FALSE(alarms.isLoaded());
    // A map whose count differs from its distinct keys.
    fill(s, "1 5 0 0 0 0 2 1 0 1 0 \r\n0 ");
    EXPECT_FALSE(alarms.load(s));
    EXPECT_EQ(s.getError(), 18u);
}

TEST(AlarmContainers, TextsFromAResourceModule)
{
    CTraceCapture trace;
    auto module = tvp::ResModule::fromText("STRINGTABLE\r\nBEGIN\r\n 100 \"aus\"\r\n 101 \"" + std::string(600, 'x') +
                                           "\"\r\n 102 \"\xC3\xA4\xE2\x82\xAC\"\r\nEND\r\n");
    ASSERT_TRUE(module);
    const tvp::ResModule* handle = module.get();
    CBoAlmTypeCont types(&handle);
    fillTestTypes(types);
    types.stringIds()[5] = 999;
    EXPECT_STREQ(types.getStringTableText(0).c_str(), "aus");
    EXPECT_EQ(std::string(types.getStringTableText(1).c_str()), std::string(600, 'x'));
    EXPECT_STREQ(types.getStringTableText(2).c_str(), "\xE4\x80");
    EXPECT_STREQ(types.getStringTableText(5).c_str(), "");
    EXPECT_EQ(trace.count(), 0u);
    EXPECT_STREQ(types.getStringTableText(7).c_str(), "");
    ASSERT_EQ(trace.count(), 1u);
    EXPECT_EQ(trace.lines()[0].message, "text not found for idx 7");
    EXPECT_EQ(trace.lines()[0].level, 3u);

    CBoAlmCont alarms(&types);
    EXPECT_STREQ(alarms.getAlarmNames()[16].c_str(), std::string(600, 'x').c_str());
    // No module, and no type container.
    handle = nullptr;
    EXPECT_STREQ(types.getStringTableText(0).c_str(), "");
    CBoAlmTypeCont noModule;
    fillTestTypes(noModule);
    EXPECT_STREQ(noModule.getStringTableText(0).c_str(), "");
    CBoAlmCont none(nullptr);
    EXPECT_STREQ(none.getStringTableText(0).c_str(), "");
    EXPECT_TRUE(none.getAlarmNames().empty());
}

TEST(AlarmContainers, Setters)
{
    Fixture f;
    CBoAlmCont noTypes(nullptr);
    CBoAlmTypeCont otherTypes;
    fillTestTypes(otherTypes);
    CBoAlmCont noAlarm(&otherTypes);  // the type exists, the alarm does not
    using Set = uint32_t (CBoAlmCont::*)(uint32_t, uint32_t);
    const Set setters[] = {&CBoAlmCont::setActGlobalReaction, &CBoAlmCont::setActGlobalConfirm,
                           &CBoAlmCont::setActGlobalType, &CBoAlmCont::setActGlobalDiagBufferEntry};
    const struct {
        CBoAlmCont* cont;
        uint32_t id;
        int setter;
        uint32_t value;
        uint32_t result;
    } cases[] = {
        {&noTypes, 16, 0, 0, 0xFFFF},
        {f.alarms.alarms().empty() ? nullptr : &f.alarms, 17, 0, 0, 13},
        {&f.alarms, 16, 0, 1, 12},
        {&f.alarms, 16, 1, 0, 12},
        {&f.alarms, 16, 2, 1, 12},
        {&f.alarms, 16, 3, 1, 12},
        {&noAlarm, 16, 0, 2, 0xFFFF},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.cont);
        const VRX_VersionStamp before = c.cont->almCfgVersion();
        EXPECT_EQ((c.cont->*setters[c.setter])(c.id, c.value), c.result) << c.id << " " << c.setter;
        EXPECT_EQ(c.cont->almCfgVersion().stamp(), before);
    }
    // The default is refused when the list does not hold it.
    CBoAlmTypeCont strict;
    fillTestTypes(strict);
    const_cast<CBoAlarmType*>(strict.findAlarmType(16))->attr(AlmConfirm).allowed = {5};
    CBoAlmCont strictAlarms(&strict);
    strictAlarms.createAlarms();
    EXPECT_EQ(strictAlarms.setActGlobalConfirm(16, 2), 12u);

    // An equal value: 0 and the version as it was; a new allowed value: a
    // new GUID and version 0.0.
    f.alarms.setAlmCfgVersion(VRX_VersionStamp{{1, 2, 3, {4}}, 5, 6});
    EXPECT_EQ(f.alarms.setActGlobalReaction(16, 0), 0u);
    EXPECT_EQ(f.alarms.almCfgVersion().Major, 5);
    EXPECT_EQ(f.alarms.setActGlobalReaction(16, 2), 0u);
    EXPECT_EQ(f.alarms.getActGlobalReaction(16), 2u);
    EXPECT_EQ(f.alarms.almCfgVersion().Major, 0);
    EXPECT_EQ(f.alarms.almCfgVersion().Minor, 0);
    EXPECT_NE(f.alarms.almCfgVersion().Guid.Data1, 1u);
    EXPECT_EQ(f.alarms.getActGlobalReaction(17), 0x7FFFFFFFu);

    // Local setters: not allowed, unknown alarm, a new value.
    EXPECT_EQ(f.alarms.setActLocalReaction(16, 3, 1), 12u);
    EXPECT_EQ(f.alarms.setActLocalReaction(16, 4, 0), 12u);
    EXPECT_EQ(f.alarms.setActLocalParam(16, 1, 2), 12u);  // parameter 1 has no allowed list
    EXPECT_EQ(noAlarm.setActLocalReaction(16, 3, 2), 0xFFFFu);
    EXPECT_EQ(f.alarms.setActLocalReaction(16, 3, 2), 0u);
    EXPECT_EQ(f.alarms.getActLocalReactions(16), (CBoAlmIdxValueMap{{3, 2}}));
    // The index the alarm does not hold: 0, nothing stored, version renewed.
    CBoAlarm* a = f.alarms.alarms().at(16).get();
    a->m_reactions.clear();
    f.alarms.setAlmCfgVersion(VRX_VersionStamp{{1, 2, 3, {4}}, 5, 6});
    EXPECT_EQ(f.alarms.setActLocalReaction(16, 3, 2), 0u);
    EXPECT_TRUE(f.alarms.getActLocalReactions(16).empty());
    EXPECT_EQ(f.alarms.almCfgVersion().Major, 0);
    // Getters of the type.
    EXPECT_EQ(f.alarms.getPossibleGlobalDiagBufferEntry(16), (CBoAlmValueList{0, 2}));
    EXPECT_TRUE(noTypes.getPossibleGlobalReaction(16).empty());
    EXPECT_EQ(f.alarms.getPossibleLocalReaction(16, 3), (CBoAlmValueList{0, 2}));
    EXPECT_TRUE(f.alarms.getPossibleLocalParam(16, 1).empty());
    EXPECT_EQ(f.alarms.getLocalParamTextIdx(16), (CBoAlmIdxValueMap{{1, 1}}));
}

TEST(AlarmContainers, ReadAlarms)
{
    const struct {
        const char* name;
        std::string list;
        uint32_t result;
        const char* trace;
    } cases[] = {
        {"duplicate key", "2 16 0 2 0 2 1 3 0 \r\n1 1 2  16 0 2 0 2 1 3 0 \r\n1 1 2 ", 1, nullptr},
        {"size mismatch", "0 ", 38, "mismatch of alarm size with act(1) and read(0)"},
        {"index mismatch", "1 16 0 2 0 2 1 4 0 \r\n1 1 2 ", 38,
         "mismatch of local reaction index for alarm 0x00000010 with act(3) and read(4)"},
        {"param size", "1 16 0 2 0 2 1 3 0 \r\n0 ", 38,
         "mismatch of local param size for alarm 0x00000010 with act(1) and read(0)"},
        {"truncated", "1 16 0 2 0", 27, "StreamError"},
        {"refused", "1 16 1 2 0 2 1 3 0 \r\n1 1 2 ", 12,
         "setActGlobalReaction failed for alarm 0x00000010 with value 1"},
        {"local refused", "1 16 2 2 0 2 1 3 1 \r\n1 1 2 ", 12,
         "setActLocalReaction failed for alarm 0x00000010 with index 3 and value 1"},
        {"param refused", "1 16 2 2 0 0 1 3 2 \r\n1 1 7 ", 12,
         "setActLocalParam failed for alarm 0x00000010 with index 1 and value 7"},
        {"applied", "1 16 2 2 0 0 1 3 2 \r\n1 1 0 ", 0, nullptr},
    };
    for (const auto& c : cases) {
        Fixture f(true);
        FsSecClMem s;
        fill(s, c.list);
        CTraceCapture trace;
        EXPECT_EQ(f.alarms.readAlarms(s), c.result) << c.name;
        if (c.trace) {
            ASSERT_EQ(trace.count(), 1u) << c.name;
            EXPECT_EQ(trace.lines()[0].message, c.trace) << c.name;
            EXPECT_EQ(trace.lines()[0].level, 4u);
        } else {
            EXPECT_EQ(trace.count(), 0u) << c.name;
        }
        if (c.result == 0) {
            EXPECT_EQ(f.alarms.getActGlobalReaction(16), 2u);
            EXPECT_EQ(f.alarms.getActGlobalDiagBufferEntry(16), 0u);
            EXPECT_EQ(f.alarms.getActLocalReactions(16), (CBoAlmIdxValueMap{{3, 2}}));
        }
    }

    // A refused value in the second of two alarms: the first keeps what was
    // applied.
    Fixture f(true);
    CBoAlmTypeCont& types = f.types;
    CBoAlarmType* second = new CBoAlarmType(*types.findAlarmType(16));
    second->m_alarmId = 17;
    ASSERT_TRUE(types.addAlarmType(17, second));
    CBoAlmCont alarms(&types);
    alarms.createAlarms();
    FsSecClMem s;
    fill(s, "2 16 2 2 0 2 1 3 0 \r\n1 1 2  17 0 2 5 2 1 3 0 \r\n1 1 2 ");
    CTraceCapture trace;
    EXPECT_EQ(alarms.readAlarms(s), 12u);
    ASSERT_EQ(trace.count(), 1u);
    EXPECT_EQ(trace.lines()[0].message, "setActGlobalType failed for alarm 0x00000011 with value 5");
    EXPECT_EQ(alarms.getActGlobalReaction(16), 2u);
}

TEST(AlarmContainers, DigestAndItsFailure)
{
    Fixture a, b;
    a.alarms.calculateAlmCfgVersion();
    b.alarms.calculateAlmCfgVersion();
    EXPECT_EQ(a.alarms.almCfgVersion().stamp(), b.alarms.almCfgVersion().stamp());
    EXPECT_EQ(b.alarms.setActLocalReaction(16, 3, 2), 0u);
    b.alarms.calculateAlmCfgVersion();
    EXPECT_NE(a.alarms.almCfgVersion().stamp(), b.alarms.almCfgVersion().stamp());

    // A hash that has been read takes no more data.
    CoCryptHashVariant finished;
    GUID g;
    ASSERT_TRUE(finished.getHashAsGUID(&g));
    CTraceCapture trace;
    a.alarms.calculateAlmCfgVersionWith(finished);
    EXPECT_TRUE(a.alarms.almCfgVersion().isInvalid());
    bool traced = false;
    for (const auto& l : trace.lines()) traced = traced || l.message == "getHashAsGUID failed";
    EXPECT_TRUE(traced);
}

TEST(AlarmContainers, LoadDataMustBeOverwritten)
{
    CTraceCapture trace;
    CBoAlmTypeCont types;
    CBoAlmCont alarms(&types);
    EXPECT_EQ(types.loadData(), 0xFFFFu);
    EXPECT_EQ(alarms.loadData(), 0xFFFFu);
    ASSERT_EQ(trace.count(), 2u);
    EXPECT_EQ(trace.lines()[1].message, "loadData must be overwritten");
}

// The digest of seeded random alarm lists equals hashlib's MD5 over the
// words the digest takes (alarm_digest.py reads the saved lists).
TEST(AlarmContainers, DigestMatchesHashlib)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    std::mt19937 rng(7);
    std::string input;
    for (int round = 0; round < 50; ++round) {
        CBoAlmTypeCont types;
        fillRandomTypes(types, rng);
        CBoAlmCont alarms(&types);
        alarms.createAlarms();
        FsSecClMem s;
        ASSERT_TRUE(alarms.save(s));
        alarms.calculateAlmCfgVersion();
        std::string list = content(s);
        for (size_t at; (at = list.find("\r\n")) != std::string::npos;) list.replace(at, 2, " ");
        input += tvp::guidToString(alarms.almCfgVersion().Guid) + " " + list + "\n";
    }
    char path[] = "/tmp/alarm_digestXXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, input.data(), input.size()), ssize_t(input.size()));
    ::close(fd);
    const std::string cmd =
        "/usr/bin/python3 '" + std::string(TV_SOURCE_DIR) + "/tests/bo/alc/alarm_digest.py' '" + path + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    const int rc = ::pclose(p);
    ::unlink(path);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out, "50 digests match\n");
}

}  // namespace
