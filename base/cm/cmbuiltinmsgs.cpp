// The built-in German message table of the pre-compiler: 101 messages sorted
// by id. Blocks by reporter: 0 and 100-102 the COM methods, 200-204 the
// section split, 300-306 comments, 400-419 variable extensions, 500-518 boot
// functions, 600-604 connections, 700-709 alarms, 800-803 supported
// technology objects, 900-905 error texts, 1000-1005 implementations,
// 1100-1102 the section stream reader, 1200-1208 and 1300-1302 ACX import.
// The texts are kept exactly as the host shows them (spellings included).
#include "base/cm/cmbuiltinmsgs.h"

#include "base/cm/cmmsgtab.h"

namespace {

// The warning of every block whose texts go to the resource script.
constexpr const char16_t* kUndefinedByte =
    u"Byte %s ist in Codepage 1252 nicht belegt, ein Ressourcencompiler kann den Text verwerfen oder kürzen";

}  // namespace

const CmMsgTableEntry g_cmBuiltinMsgEntries[kCmBuiltinMsgCount] = {
    {0, 2, 0, u"Interner Fehler"},
    {100, 2, 0, u"File %s konnte nicht geöffnet werden"},
    {101, 2, 0, u"Sektion %s konnte nicht geöffnet werden"},
    {102, 2, 0, u"Falscher ObjektTyp"},
    {200, 2, 0, u"Syntax Fehler"},
    {201, 2, 0, u"Scanner Fehler, unerwartetes Zeichen %s"},
    {202, 2, 0, u"Parser Fehler: %s"},
    {203, 2, 0, u"Sektion kommt %s mal vor"},
    {204, 2, 0, u"Systemfunktionssektion muß nach Systemvariablensektion stehen"},
    {300, 2, 0, u"Syntax Fehler"},
    {301, 2, 0, u"Scanner Fehler, unerwartetes Zeichen %s"},
    {302, 2, 0, u"Parser Fehler: %s"},
    {303, 2, 0, u"Sektion konnte nicht beschrieben werden"},
    {304, 2, 0, u"Der erste Wert muß kleiner als der zweite sein"},
    {305, 2, 0, u"Text ist zu lang: %s Zeichen, höchstens 65535"},
    {306, 1, 0, kUndefinedByte},
    {400, 2, 0, u"Syntax Fehler"},
    {401, 2, 0, u"Scanner Fehler, unerwartetes Zeichen %s"},
    {402, 2, 0, u"Parser Fehler: %s"},
    {403, 2, 0, u"%s beschreibt keine physikalische Größe"},
    {404, 2, 0, u"%s beschreibt keine Einheit"},
    {405, 2, 0, u"Einheit %s paßt nicht zu physikalischer Größe %s"},
    {406, 2, 0, u"Es wurde keine physikalische Größe angegeben"},
    {407, 2, 0, u"Wert kommt %s mal vor"},
    {408, 2, 0, u"Wert %s ist zu groß"},
    {409, 2, 0, u"Wert muß zwischen %s und %s liegen"},
    {410, 2, 0, u"Eintrag(%s, %s) ist schon vorhanden"},
    {411, 2, 0, u"ungültige Adresse %s"},
    {412, 2, 0, u"ungültige Config %s"},
    {413, 2, 0, u"Falscher Typ, Typ muß _REAL oder _DOUBLE sein"},
    {414, 2, 0, u"Adressen(%s - %s) müssen von gleichem Typ sein"},
    {415, 2, 0, u"Eintrag(%s) ist schon vorhanden"},
    {416, 2, 0, u"Bit %s ist nich gültig"},
    {417, 2, 0, u"Größenvariable %s ohne Wert in VALUES"},
    {418, 2, 0, u"Text ist zu lang: %s Zeichen, höchstens 65535"},
    {419, 1, 0, kUndefinedByte},
    {500, 2, 0, u"falsche Syntax"},
    {501, 2, 0, u"Fehler im Scanner"},
    {502, 2, 0, u"Fehler im Parser"},
    {503, 2, 0, u"kein Speicher mehr verfügbar"},
    {504, 2, 0, u"Fehler beim Einfügen der BootFunktion %s"},
    {505, 2, 0, u"doppelte Definition von %s"},
    {506, 2, 0, u"der Wertebereich wurde überschritten"},
    {507, 2, 0, u"ungültige Anzahl von Werten"},
    {508, 2, 0, u"Wert darf nicht negativ sein"},
    {509, 2, 0, u"falsche Initialisierung mit %s"},
    {510, 2, 0, u"Typ erwartet %s"},
    {511, 2, 0, u"Konstante erwartet %s"},
    {512, 2, 0, u"falsche Initialisierung"},
    {513, 2, 0, u"%s ist kein Element von %s"},
    {514, 1, 0, u"Implementierung wird zu %s verschoben"},
    {515, 1, 0, u"Fehler in der Fehlertextbeschreibung"},
    {516, 1, 0, u"Schluesselwort \"%s\" nicht als Bezeichner zulässig"},
    {517, 1, 0, u"m4-Anführungszeichen in %s nicht ausgeglichen"},
    {518, 2, 0, u"Zeichen %s in %s nicht zulässig"},
    {600, 2, 0, u"falsche Syntax"},
    {601, 2, 0, u"Fehler im Scanner"},
    {602, 2, 0, u"Fehler im Parser"},
    {603, 2, 0, u"kein Speicher mehr verfügbar"},
    {604, 2, 0, u"Fehler beim Einfügen der Verbindung"},
    {700, 2, 0, u"falsche Syntax"},
    {701, 2, 0, u"Fehler im Scanner"},
    {702, 2, 0, u"Fehler im Parser"},
    {703, 2, 0, u"Eintrag %s nicht in ValListe"},
    {704, 2, 0, u"Alarm %s konnte nicht eingefügt werden"},
    {705, 2, 0, u"Eintrag schon vorhanden"},
    {706, 2, 0, u"Indizes sind verschieden"},
    {707, 2, 0, u"Sektion konnte nicht beschrieben werden"},
    {708, 2, 0, u"Text ist zu lang: %s Zeichen, höchstens 65535"},
    {709, 1, 0, kUndefinedByte},
    {800, 2, 0, u"falsche Syntax"},
    {801, 2, 0, u"Fehler im Scanner"},
    {802, 2, 0, u"Fehler im Parser"},
    {803, 2, 0, u"Sektion konnte nicht beschrieben werden"},
    {900, 2, 0, u"falsche Syntax"},
    {901, 2, 0, u"Fehler im Scanner"},
    {902, 2, 0, u"Fehler im Parser"},
    {903, 2, 0, u"Sektion konnte nicht beschrieben werden"},
    {904, 2, 0, u"Text ist zu lang: %s Zeichen, höchstens 65535"},
    {905, 1, 0, kUndefinedByte},
    {1000, 2, 0, u"falsche Syntax"},
    {1001, 2, 0, u"Fehler im Scanner"},
    {1002, 2, 0, u"Fehler im Parser"},
    {1003, 2, 0, u"Sektion konnte nicht beschrieben werden"},
    {1004, 1, 0, u"m4-Anführungszeichen in %s nicht ausgeglichen"},
    {1005, 2, 0, u"Zeichen %s in %s nicht zulässig"},
    {1100, 2, 0, u"kein Speicher mehr verfügbar"},
    {1101, 2, 0, u"Stream %s konnte nicht geöffnet werden"},
    {1102, 2, 0, u"beim lesen von Stream %s ist ein Fehler aufgetreten"},
    {1200, 2, 0, u"falsche Syntax"},
    {1201, 2, 0, u"Sektion konnte nicht beschrieben werden"},
    {1202, 2, 0, u"Teile des Headers nicht vorhanden"},
    {1203, 2, 0, u"Symbol %s ist (in der Basis) nicht vorhanden"},
    {1204, 2, 0, u"Enums müssen vom Datentyp I2 oder UI2 sein"},
    {1205, 2, 0, u"kein gültiger DriveAccessLevel"},
    {1206, 2, 0, u"Array %s hat (in der Basis) nicht dieselbe Größe"},
    {1207, 2, 0, u"Das dimensionsbestimmende Symbol P/%s für das dynamische Array %s ist (in der Basis) nicht vorhanden"},
    {1208, 2, 0, u"Der Enumtype für das Symbol %s unterscheidet sich (zur Basis)"},
    {1300, 2, 0, u"ACX Fatal Error %i"},
    {1301, 2, 0, u"ACX Error %i"},
    {1302, 1, 0, u"ACX Warning %i"},
};

CmMsgTable* cmBuiltinMsgTable()
{
    static CmMemoryMsgTable* table = new CmMemoryMsgTable(g_cmBuiltinMsgEntries, kCmBuiltinMsgCount);
    return table;
}
