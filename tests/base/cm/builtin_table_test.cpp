// The built-in message table: every id, level and text exactly as the host
// has always shown them, and the lookup rules of static tables.
#include <gtest/gtest.h>

#include <list>
#include <string>

#include "base/cm/cmbuiltinmsgs.h"
#include "base/cm/cmmsgtab.h"
#include "platform/text.h"

namespace {

const uint32_t E = 2, W = 1;

struct Expected {
    uint32_t id;
    uint32_t level;
    const char* utf8;
};

// UTF-8 here, UTF-16 in the table: the two spellings must agree.
const Expected kExpected[] = {
    {0, E, "Interner Fehler"},
    {100, E, "File %s konnte nicht geöffnet werden"},
    {101, E, "Sektion %s konnte nicht geöffnet werden"},
    {102, E, "Falscher ObjektTyp"},
    {200, E, "Syntax Fehler"},
    {201, E, "Scanner Fehler, unerwartetes Zeichen %s"},
    {202, E, "Parser Fehler: %s"},
    {203, E, "Sektion kommt %s mal vor"},
    {204, E, "Systemfunktionssektion muß nach Systemvariablensektion stehen"},
    {300, E, "Syntax Fehler"},
    {301, E, "Scanner Fehler, unerwartetes Zeichen %s"},
    {302, E, "Parser Fehler: %s"},
    {303, E, "Sektion konnte nicht beschrieben werden"},
    {304, E, "Der erste Wert muß kleiner als der zweite sein"},
    {305, E, "Text ist zu lang: %s Zeichen, höchstens 65535"},
    {306, W, "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text verwerfen oder kürzen"},
    {400, E, "Syntax Fehler"},
    {401, E, "Scanner Fehler, unerwartetes Zeichen %s"},
    {402, E, "Parser Fehler: %s"},
    {403, E, "%s beschreibt keine physikalische Größe"},
    {404, E, "%s beschreibt keine Einheit"},
    {405, E, "Einheit %s paßt nicht zu physikalischer Größe %s"},
    {406, E, "Es wurde keine physikalische Größe angegeben"},
    {407, E, "Wert kommt %s mal vor"},
    {408, E, "Wert %s ist zu groß"},
    {409, E, "Wert muß zwischen %s und %s liegen"},
    {410, E, "Eintrag(%s, %s) ist schon vorhanden"},
    {411, E, "ungültige Adresse %s"},
    {412, E, "ungültige Config %s"},
    {413, E, "Falscher Typ, Typ muß _REAL oder _DOUBLE sein"},
    {414, E, "Adressen(%s - %s) müssen von gleichem Typ sein"},
    {415, E, "Eintrag(%s) ist schon vorhanden"},
    {416, E, "Bit %s ist nich gültig"},
    {417, E, "Größenvariable %s ohne Wert in VALUES"},
    {418, E, "Text ist zu lang: %s Zeichen, höchstens 65535"},
    {419, W, "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text verwerfen oder kürzen"},
    {500, E, "falsche Syntax"},
    {501, E, "Fehler im Scanner"},
    {502, E, "Fehler im Parser"},
    {503, E, "kein Speicher mehr verfügbar"},
    {504, E, "Fehler beim Einfügen der BootFunktion %s"},
    {505, E, "doppelte Definition von %s"},
    {506, E, "der Wertebereich wurde überschritten"},
    {507, E, "ungültige Anzahl von Werten"},
    {508, E, "Wert darf nicht negativ sein"},
    {509, E, "falsche Initialisierung mit %s"},
    {510, E, "Typ erwartet %s"},
    {511, E, "Konstante erwartet %s"},
    {512, E, "falsche Initialisierung"},
    {513, E, "%s ist kein Element von %s"},
    {514, W, "Implementierung wird zu %s verschoben"},
    {515, W, "Fehler in der Fehlertextbeschreibung"},
    {516, W, "Schluesselwort \"%s\" nicht als Bezeichner zulässig"},
    {517, W, "m4-Anführungszeichen in %s nicht ausgeglichen"},
    {518, E, "Zeichen %s in %s nicht zulässig"},
    {600, E, "falsche Syntax"},
    {601, E, "Fehler im Scanner"},
    {602, E, "Fehler im Parser"},
    {603, E, "kein Speicher mehr verfügbar"},
    {604, E, "Fehler beim Einfügen der Verbindung"},
    {700, E, "falsche Syntax"},
    {701, E, "Fehler im Scanner"},
    {702, E, "Fehler im Parser"},
    {703, E, "Eintrag %s nicht in ValListe"},
    {704, E, "Alarm %s konnte nicht eingefügt werden"},
    {705, E, "Eintrag schon vorhanden"},
    {706, E, "Indizes sind verschieden"},
    {707, E, "Sektion konnte nicht beschrieben werden"},
    {708, E, "Text ist zu lang: %s Zeichen, höchstens 65535"},
    {709, W, "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text verwerfen oder kürzen"},
    {800, E, "falsche Syntax"},
    {801, E, "Fehler im Scanner"},
    {802, E, "Fehler im Parser"},
    {803, E, "Sektion konnte nicht beschrieben werden"},
    {900, E, "falsche Syntax"},
    {901, E, "Fehler im Scanner"},
    {902, E, "Fehler im Parser"},
    {903, E, "Sektion konnte nicht beschrieben werden"},
    {904, E, "Text ist zu lang: %s Zeichen, höchstens 65535"},
    {905, W, "Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text verwerfen oder kürzen"},
    {1000, E, "falsche Syntax"},
    {1001, E, "Fehler im Scanner"},
    {1002, E, "Fehler im Parser"},
    {1003, E, "Sektion konnte nicht beschrieben werden"},
    {1004, W, "m4-Anführungszeichen in %s nicht ausgeglichen"},
    {1005, E, "Zeichen %s in %s nicht zulässig"},
    {1100, E, "kein Speicher mehr verfügbar"},
    {1101, E, "Stream %s konnte nicht geöffnet werden"},
    {1102, E, "beim lesen von Stream %s ist ein Fehler aufgetreten"},
    {1200, E, "falsche Syntax"},
    {1201, E, "Sektion konnte nicht beschrieben werden"},
    {1202, E, "Teile des Headers nicht vorhanden"},
    {1203, E, "Symbol %s ist (in der Basis) nicht vorhanden"},
    {1204, E, "Enums müssen vom Datentyp I2 oder UI2 sein"},
    {1205, E, "kein gültiger DriveAccessLevel"},
    {1206, E, "Array %s hat (in der Basis) nicht dieselbe Größe"},
    {1207, E, "Das dimensionsbestimmende Symbol P/%s für das dynamische Array %s ist (in der Basis) nicht vorhanden"},
    {1208, E, "Der Enumtype für das Symbol %s unterscheidet sich (zur Basis)"},
    {1300, E, "ACX Fatal Error %i"},
    {1301, E, "ACX Error %i"},
    {1302, W, "ACX Warning %i"},
};

std::string utf8(const WString& w) { return tvp::wideToUtf8(std::u16string(w.units(), w.length())); }

}  // namespace

TEST(BuiltinMsgTable, HoldsEveryMessageVerbatim)
{
    ASSERT_EQ(sizeof kExpected / sizeof kExpected[0], kCmBuiltinMsgCount);
    CmMsgTable* table = cmBuiltinMsgTable();
    ASSERT_NE(table, nullptr);
    uint32_t previous = 0;
    for (std::size_t i = 0; i < kCmBuiltinMsgCount; ++i) {
        const Expected& e = kExpected[i];
        SCOPED_TRACE(e.id);
        EXPECT_EQ(g_cmBuiltinMsgEntries[i].id, e.id);
        EXPECT_EQ(g_cmBuiltinMsgEntries[i].group, 0);
        if (i > 0) {
            EXPECT_GT(e.id, previous);
        }
        previous = e.id;

        uint32_t level = 99, helpId = 0;
        uint16_t group = 99;
        WString module(u"stale");
        WString text = table->findMsg(CmMsgKey(e.id), &level, &group, &helpId, &module);
        EXPECT_EQ(utf8(text), e.utf8);
        EXPECT_EQ(level, e.level);
        EXPECT_EQ(group, 0);
        EXPECT_EQ(helpId, 0xFFFFFFFFu);
        EXPECT_TRUE(module.empty());
    }
    std::list<uint32_t> ids;
    EXPECT_EQ(table->listIds(ids), 101u);
    EXPECT_EQ(ids.front(), 0u);
    EXPECT_EQ(ids.back(), 1302u);
}

// Sorted tables are searched by halving, others walked: both give the
// first entry of an id and nothing for an id between or beyond the entries.
TEST(MemoryMsgTable, FirstEntryOfAnIdSortedOrNot)
{
    static const CmMsgTableEntry sorted[] = {{1, 0, 0, u"a"}, {3, 0, 0, u"b"}, {3, 0, 0, u"c"}, {9, 0, 0, u"d"}};
    static const CmMsgTableEntry unsorted[] = {{9, 0, 0, u"d"}, {3, 0, 0, u"b"}, {1, 0, 0, u"a"}, {3, 0, 0, u"c"}};
    for (const CmMsgTableEntry* entries : {sorted, unsorted}) {
        CmMemoryMsgTable t(entries, 4);
        for (const auto& c : {std::make_pair(1u, "a"), std::make_pair(3u, "b"), std::make_pair(9u, "d"),
                              std::make_pair(0u, ""), std::make_pair(2u, ""), std::make_pair(10u, "")})
            EXPECT_EQ(utf8(t.findMsg(CmMsgKey(c.first), nullptr, nullptr, nullptr, nullptr)), c.second) << c.first;
    }
}

TEST(MemoryMsgTable, UnknownIdsAndClampedLevels)
{
    static const CmMsgTableEntry entries[] = {{1, 9, 7, u"nine"}, {2, 3, 0, u"safety"}};
    static const CmMsgTableEntry texts[] = {{40, 0, 0, u"forty"}};
    CmMemoryMsgTable t(entries, 2, texts, 1);
    uint32_t level = 0, helpId = 0;
    uint16_t group = 0;
    EXPECT_EQ(utf8(t.findMsg(CmMsgKey(1), &level, &group, &helpId, nullptr)), "nine");
    EXPECT_EQ(level, 4u);
    EXPECT_EQ(group, 7);
    t.findMsg(CmMsgKey(2), &level, nullptr, nullptr, nullptr);
    EXPECT_EQ(level, 3u);

    group = 5;
    EXPECT_TRUE(t.findMsg(CmMsgKey(105), &level, &group, &helpId, nullptr).empty());
    EXPECT_EQ(level, 4u);
    EXPECT_EQ(group, 0);
    EXPECT_EQ(helpId, 0xFFFFFFFFu);

    EXPECT_EQ(utf8(t.findText(40)), "forty");
    EXPECT_TRUE(t.findText(1).empty());
    WString dummy;
    EXPECT_FALSE(t.findEnumText(WString(u"E"), 1, &dummy));

    // The built-in table has no plain texts, and nothing between its blocks.
    EXPECT_TRUE(cmBuiltinMsgTable()->findText(100).empty());
    EXPECT_TRUE(cmBuiltinMsgTable()->findMsg(CmMsgKey(105), nullptr, nullptr, nullptr, nullptr).empty());
}
