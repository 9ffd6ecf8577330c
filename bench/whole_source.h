// Description sources of any size that compile whole: the axis example with
// every growable section extended by numbered entries, each repetition
// renumbering what must be unique, so that every section method succeeds
// without a message however far the source is grown - unlike the sources of
// main_road_source.h, whose repeated bodies repeat ids and stop the compilers
// at the first repetition.
//
// A repetition (about 2 KB) adds six variable keys (three system variables
// under two configuration masks each) with a comment, attributes and values,
// one connection, one alarm with its name text and error text, one boot
// function with a check block and its error text, and two boot-function
// comments. Its system variables come beside it as a list for mksymb
// (`wholeSysVars`): the axis example's and three more per sixteen
// repetitions, declared in the source's system-variable section too.
//
// The texts of a source take at most 65 534 resource-string ids (twelve per
// repetition), so only the first kTextRepeats repetitions bring texts of
// their own: a later one reuses the texts of repetition r % kTextRepeats
// (its comments repeat those texts, its alarm names that text, its boot
// function returns that error) and adds no alarm text, alarm error text or
// boot-function error text. Every size compiles whole.
//
// Header only: the main-road benchmark and the identity test of whole
// compiles build the same sources from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wholesrc {

// Repetitions share the addresses of a group of three system variables,
// sixteen at a time, each taking two of the 32 configuration bits.
constexpr int kRepeatsPerGroup = 16;
constexpr int kVariablesPerGroup = 3;
constexpr uint32_t kFirstAddress = 1000;
// The alarm string table's entries before the grown ones (the example's).
constexpr int kExampleAlarmTexts = 13;
// The largest number of repetitions: boot-function CS values are 16-bit.
constexpr int kMaxRepeats = 65000;
// The repetitions with texts of their own: 12 ids each, beside the
// example's, stay below the last id a resource script takes (0xFFFD).
constexpr int kTextRepeats = 5000;

inline std::string num(long long v)
{
    return std::to_string(v);
}

inline std::string hex(uint32_t v)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[v & 15]);
        v >>= 4;
    } while (v);
    return "16#" + s;
}

inline uint32_t addressOf(int repeat, int variable)
{
    return kFirstAddress + uint32_t(repeat / kRepeatsPerGroup) * kVariablesPerGroup + uint32_t(variable);
}

// The six keys of a repetition: "$A[16#M]".
inline std::string keyOf(int repeat, int k)
{
    const int bit = (repeat % kRepeatsPerGroup) * 2 + (k & 1);
    return "$" + num(addressOf(repeat, k / 2)) + "[" + hex(uint32_t(1) << bit) + "]";
}

// What each growable section gets per repetition, by the line that closes it.
struct Growth {
    std::string sysVars, varComment, attributes, values, connections, alarmTexts, alarms, alarmErrors, bootDecl,
        bfErrors, bfComments;
};

inline void appendRepeat(Growth& g, int r)
{
    const std::string n = num(r);
    // The number in the texts, and whether the repetition brings texts.
    const std::string t = num(r % kTextRepeats);
    const bool texts = r < kTextRepeats;
    if (r % kRepeatsPerGroup == 0)
        for (int v = 0; v < kVariablesPerGroup; ++v) {
            const std::string a = num(addressOf(r, v));
            g.sysVars += "    grown" + a + " : LREAL;                    (* $" + a + " *)\n";
        }
    for (int k = 0; k < 6; ++k) {
        const std::string key = keyOf(r, k);
        g.varComment += "    " + key + " : \"Grenzwert " + t + "." + num(k) + " der Achse\"\n";
        g.attributes += "    " + key + " : " + num(k % 4) + " 0 0 1 2\n";
        g.values += "    " + key + " : Def(" + num(r % 1000) + ".5) Min(-1.0E6) Max(1.0E6) Unit(61)\n";
    }
    g.connections += "    CONNECTION grownLink" + n + " (" + num(r + 3) +
                     ") : {7C9E6679-7425-40DE-944B-E07FC1F90AE7}\n"
                     "        DIRECTION := IN;\n"
                     "        VERSION := 1.0;\n"
                     "        REMOTE := NO;\n"
                     "        MULTIPOINT := NO;\n"
                     "        MUST_BE_CONNECTED := YES;\n"
                     "    END_CONNECTION\n";
    const std::string text = num(kExampleAlarmTexts + r % kTextRepeats);
    const std::string alarm = num(20003 + r);
    if (texts) g.alarmTexts += "    \"Ueberwachung " + n + " ausgeloest\"\n";
    g.alarms += "    VRX_ERROR(" + alarm + ") AlarmName " + text +
                "\n"
                "    BEGIN_GLOBAL\n"
                "        DefaultReaction 1 PossibleReaction 0, 1, 2\n"
                "        DefaultConfirm 4 PossibleConfirm 3, 4\n"
                "        DefaultType 6 PossibleTypes 5, 6\n"
                "        DefaultDiagBuffer 8 PossibleDiagBuffer 7, 8\n"
                "    END_GLOBAL\n"
                "    BEGIN_LOCAL\n"
                "        REACTION\n"
                "            TextReaction[0] 10 DefaultReaction[0] 1 PossibleReaction[0] 1, 2\n"
                "        END_REACTION\n"
                "        PARAM\n"
                "        END_PARAM\n"
                "    END_LOCAL\n"
                "    END\n";
    if (texts)
        g.alarmErrors += "    VRX_ERROR_TEXT(" + alarm + ", CmErrorMsg, 5, \"Ueberwachung " + n + ": Grenze verletzt\")\n";
    const std::string bf = "grownLimit" + n;
    const std::string err = num(3 + r % kTextRepeats);
    g.bootDecl += "    BEGIN_BF " + bf + " (CS := " + num(3 + r) +
                  ")\n"
                  "        VAR\n"
                  "            limit : LREAL := 100.0 (ALTERABLE);\n"
                  "            steps : DINT := " + n + ";\n"
                  "        END_VAR\n"
                  "        SUB_FUNCTIONS\n"
                  "        END_SUBFUNCTIONS\n"
                  "        DEFAULT BEGIN_ACT\n"
                  "            steps := steps + 1;\n"
                  "        END_ACT\n"
                  "        CHECK\n"
                  "            IF limit <= 0.0 THEN RETURN " + err + "; END_IF;\n"
                  "        END_CHECK\n"
                  "    END_BF\n";
    if (texts)
        g.bfErrors += "    MC_ERRORTEXT(" + err + ", CmErrorMsg, 0, \"Grenze " + n + " muss groesser als 0 sein\")\n";
    g.bfComments += "    $" + bf + ".limit : \"Grenze " + t + " beim Hochlauf\"\n"
                    "    $" + bf + ".steps : \"Schritte " + t + " beim Hochlauf\"\n";
}

// The example with `repeats` repetitions inserted before the end of each
// growable section (`example` is examples/axis.tos).
inline std::string wholeSource(const std::string& example, int repeats)
{
    Growth g;
    for (int r = 0; r < repeats; ++r) appendRepeat(g, r);
    const std::pair<const char*, const std::string*> at[] = {
        {"END_VAR\n@END_DESCRIPTION", &g.sysVars},   {"END_VARCOMMENT", &g.varComment},
        {"END_ATTRIBUTES", &g.attributes},           {"END_VALUES", &g.values},
        {"END_INTERFACE", &g.connections},           {"END_ALARM_STRING_TABLE", &g.alarmTexts},
        {"END_ALARM\n", &g.alarms},                  {"END_ALARM_VRX_ERROR_TEXT", &g.alarmErrors},
        {"END_BOOT_FUNCTIONDECL", &g.bootDecl},      {"END_BF_ERRORTEXT", &g.bfErrors},
        {"END_BFDCOMMENT", &g.bfComments},
    };
    std::string out = example;
    std::size_t grown = 0;
    for (const auto& a : at) grown += a.second->size();
    out.reserve(example.size() + grown);
    for (const auto& a : at) {
        // Each closing line stands at the start of a line once in the example.
        const std::size_t p = out.find(std::string("\n") + a.first);
        if (p != std::string::npos) out.insert(p + 1, *a.second);
    }
    return out;
}

// Repetitions for a source of at least `bytes` bytes.
inline int repeatsFor(const std::string& example, std::size_t bytes)
{
    std::size_t size = example.size();
    int r = 0;
    for (; r < kMaxRepeats && size < bytes; ++r) {
        Growth g;
        appendRepeat(g, r);
        for (const std::string* s : {&g.sysVars, &g.varComment, &g.attributes, &g.values, &g.connections,
                                     &g.alarmTexts, &g.alarms, &g.alarmErrors, &g.bootDecl, &g.bfErrors,
                                     &g.bfComments})
            size += s->size();
    }
    return r;
}

// The system-variable list for mksymb of a source with `repeats`
// repetitions (`exampleList` is examples/axis.sysvars).
inline std::string wholeSysVars(const std::string& exampleList, int repeats)
{
    std::string s = exampleList;
    for (int r = 0; r < repeats; r += kRepeatsPerGroup)
        for (int v = 0; v < kVariablesPerGroup; ++v)
            s += num(addressOf(r, v)) + " grown" + num(addressOf(r, v)) + " LREAL\n";
    return s;
}

}  // namespace wholesrc
