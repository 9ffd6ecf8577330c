// Technology-object sources with large boot-function sections, for the
// boot-function benchmark: scale * 1 000 boot functions of 50 declarations
// each (scale * 50 000), every declaration kind in turn, a sub-function per
// boot function, every kind of dependency, a global block and an address
// table. Every boot function compiles without a message.
//
// Header only; bench_bf_compile --write-source SCALE FILE writes one out.
#pragma once

#include <string>

namespace bfbench {

constexpr int kFunctionsPerScale = 1000;
constexpr int kDeclarationsPerFunction = 50;

// One declaration of the kind i % 5, with names unique in its boot function.
inline void appendDeclaration(std::string& s, int i)
{
    const std::string n = std::to_string(i);
    switch (i % 5) {
    case 0: s += "            v" + n + " : DINT := " + n + ";\n"; break;
    case 1: s += "            r" + n + " : LREAL := 1.5 (ALTERABLE);\n"; break;
    case 2: s += "            TYPE a" + n + " : ARRAY [0 .. 3] OF INT := [1, 2, 3, 4];\n"; break;
    case 3: s += "            e" + n + " : (E" + n + "A, E" + n + "B := 5) s" + n + " := E" + n + "B;\n"; break;
    default: s += "            t" + n + " : STRUCT x : INT; y : REAL; END_STRUCT w" + n + ";\n"; break;
    }
}

// A dependency of the kind 0 to 3: DEFAULT setting first, CFGCHANGED
// setting second, UNITCHANGED setting the real, or MODIFY of modified and
// of member, each setting second.
inline void appendDependency(std::string& s, int kind, const std::string& first, const std::string& second,
                             const std::string& real, const std::string& modified, const std::string& member)
{
    switch (kind) {
    case 0: s += "        DEFAULT BEGIN_ACT\n            " + first + " := 1;\n        END_ACT\n"; break;
    case 1: s += "        CFGCHANGED BEGIN_ACT\n            " + second + " := 2;\n        END_ACT\n"; break;
    case 2: s += "        UNITCHANGED (2) BEGIN_ACT\n            " + real + " := 3.0;\n        END_ACT\n"; break;
    default:
        s += "        DEPENDENCIES\n            MODIFY (" + modified + ") BEGIN_ACT\n                " + second +
             " := 4;\n            END_ACT\n            MODIFY (" + member + ") BEGIN_ACT\n                " + second +
             " := 5;\n            END_ACT\n        END_DEPENDENCIES\n";
        break;
    }
}

// Boot function f: its declarations, a sub-function typed by the first boot
// function (none in the first; a chain of nested types would grow the
// layouts with the square of the count), and one dependency of the kind
// f % 4.
inline void appendFunction(std::string& s, int f)
{
    const std::string n = std::to_string(f);
    s += "    BEGIN_BF bf" + n + " (CS := " + std::to_string(f % 60000) + ")\n        VAR\n";
    for (int i = 0; i < kDeclarationsPerFunction; ++i) appendDeclaration(s, i);
    s += "        END_VAR\n        SUB_FUNCTIONS\n";
    if (f > 0) s += "            helper : bf0 (RULE);\n";
    s += "        END_SUBFUNCTIONS\n";
    appendDependency(s, f % 4, "v0", "v5", "r1", "v0", "w4.x");
    s += "        CHECK\n            IF v0 < 0 THEN RETURN 1; END_IF;\n        END_CHECK\n    END_BF\n";
}

// A source of the given number of boot functions (at least 1), each
// appended by append and named prefix<f>, with a global block that
// instantiates the last one and an address table of a key per function.
inline std::string sourceWith(int functions, const char* prefix, void (*append)(std::string&, int),
                              size_t bytesPerFunction)
{
    std::string s =
        "TO_HEADER\n  TOTYPE := {11111111-2222-3333-4444-555555555555}, 1.0;\n  DATE := DT#2024-01-01;\n"
        "END_TO_HEADER\n"
        "BEGIN_BF_FUNCTIONS\nBF_FUNCTION(check)(BF_CONTEXT* ctx)\n{\n    return BF_OK;\n}\nEND_BF_FUNCTIONS\n"
        "BOOT_FUNCTIONDECL\n";
    s.reserve(size_t(functions) * bytesPerFunction);
    for (int f = 0; f < functions; ++f) append(s, f);
    s += "END_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS\n    VAR\n        count : UINT := 1;\n    END_VAR\n"
         "    SUB_FUNCTIONS\n        last : " + std::string(prefix) + std::to_string(functions - 1) +
         " (USER);\n    END_SUBFUNCTIONS\n"
         "    INSTANTIATE (last) BEGIN_ACT\n        count := count + 1;\n    END_ACT\nEND_BOOT_FUNCTIONS\n"
         "BEGIN_BF_ADR_RESOLUTION\n";
    for (int a = 0; a < functions; ++a)
        s += "    $" + std::to_string(a + 1) + " : @16#" + std::to_string(100000 + a * 8) + "\n";
    s += "END_BF_ADR_RESOLUTION\n";
    return s;
}

// The whole source with the given number of boot functions (at least 1).
inline std::string sourceOf(int functions)
{
    return sourceWith(functions, "bf", appendFunction, 2400);
}

// The boot functions with texts of their own: a comment on an address key,
// a comment on a variable and an error text each take a resource-string
// id, and a source has at most 65 534 (three per boot function, a few
// besides).
constexpr int kTextFunctions = 20000;

// A boot-function source grown by repetition, as a large technology object
// brings it: boot function f is "drive<f>" with the telegram number
// f % 65535 + 1, variables of every kind, a sub-function typed by the first
// boot function (none in the first), a dependency of the kind f % 4, a check
// block returning the error text t + 1, and its own address key; the error
// texts 1 .. min(functions, kTextFunctions) and a comment on each boot
// function's first variable and on its address key follow, t being
// f % kTextFunctions: past the first kTextFunctions boot functions the
// texts repeat (the comments share their ids). The whole method compiles it
// without a message: names and address keys never repeat.
inline void appendGrownBody(std::string& s, int f, bool uniqueTypes)
{
    const std::string n = std::to_string(f);
    const std::string mode = uniqueTypes ? "mode" + n : std::string("mode");
    s += "    BEGIN_BF drive" + n + " (CS := " + std::to_string(f % 65535 + 1) + ")\n        VAR\n"
         "            maxVelocity : LREAL := 1000.0 (ALTERABLE);\n"
         "            maxAcceleration : LREAL := 10000.0 (ALTERABLE_WITH_RESTART);\n"
         "            " + mode + " : (STANDARD, FAST := 2) run := STANDARD;\n"
         "            TYPE gearTable : ARRAY [0 .. 3] OF DINT := [1, 2, 3, " + n + "];\n"
         "            limits : STRUCT velocity : LREAL; jerk : LREAL; END_STRUCT lim;\n"
         "            count : UDINT := " + n + ";\n"
         "        END_VAR\n        SUB_FUNCTIONS\n";
    if (f > 0) s += "            helper : drive0 (RULE);\n";
    s += "        END_SUBFUNCTIONS\n";
    appendDependency(s, f % 4, "count", "count", "maxVelocity", "maxVelocity", "lim.jerk");
    s += "        CHECK\n            IF maxVelocity <= 0.0 THEN RETURN " + std::to_string(f % kTextFunctions + 1) +
         "; END_IF;\n        END_CHECK\n    END_BF\n";
}

inline void appendGrownFunction(std::string& s, int f)
{
    appendGrownBody(s, f, false);
}

inline void appendGrownFunctionOwnTypes(std::string& s, int f)
{
    appendGrownBody(s, f, true);
}

// uniqueTypes: each boot function's enumeration type named "mode<f>" (an
// exported name each) instead of "mode" in all.
inline std::string grownSourceOf(int functions, bool uniqueTypes = false)
{
    std::string s =
        sourceWith(functions, "drive", uniqueTypes ? appendGrownFunctionOwnTypes : appendGrownFunction, 1200);
    s += "BEGIN_BF_ERRORTEXT\n";
    for (int f = 0; f < functions && f < kTextFunctions; ++f)
        s += "    MC_ERRORTEXT(" + std::to_string(f + 1) + ", CmErrorMsg, 0, \"Grenzwert von drive" +
             std::to_string(f) + " muss groesser als 0 sein\")\n";
    s += "END_BF_ERRORTEXT\nBFDCOMMENT\n";
    for (int f = 0; f < functions; ++f) {
        const std::string t = std::to_string(f % kTextFunctions);
        s += "    $" + std::to_string(f + 1) + " : \"Adresse von drive" + t + "\"\n    $drive" + std::to_string(f) +
             ".maxVelocity : \"Hoechstgeschwindigkeit " + t + "\"\n";
    }
    s += "END_BFDCOMMENT\n";
    return s;
}

// The source of the given scale (1: 1 000 boot functions).
inline std::string source(int scale)
{
    return sourceOf(kFunctionsPerScale * scale);
}

}  // namespace bfbench
