// Sources whose one text section holds far more texts than the 65 534
// resource-string ids a source has: each is refused with the one message of
// its compiler at the first text past the last id, and what lies past it
// must cost neither memory nor more time than a valid source of its size;
// and sources whose one text is far longer than a string resource holds,
// or whose one token of a section compiler (a name, a text block) is the
// whole section.
// The benchmarks set its time beside the compile of the source that compiles
// whole of the same size; bench/main_road_rss.sh measures its peak memory.
#pragma once

#include <cstddef>
#include <string>

namespace textflood {

struct Flood {
    const char* name;
    const char* head;  // the section, and what it must follow
    const char* tail;  // its end, and what must follow it
    // Line n of the body (each distinct).
    std::string (*line)(std::size_t n);
};

inline std::string numbered(const char* before, std::size_t n, const char* after)
{
    return before + std::to_string(n) + after;
}

// A piece of one long text: letters, escaped quotes, backslash pairs.
inline std::string longPiece()
{
    return std::string(60, 'a') + "\\\"" + std::string(60, 'b') + "\\\\";
}

// A piece of one long token: small letters (no keyword, no end word).
inline std::string letters()
{
    return "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijkl";
}

inline constexpr Flood kFloods[] = {
    // one empty string after the other: 2 bytes an entry
    {"alarm_quotes", "ALARM_STRING_TABLE\n", "\nEND_ALARM_STRING_TABLE\nBEGIN_ALARM\nEND_ALARM\n",
     [](std::size_t) { return std::string("\"\""); }},
    {"alarm_texts", "ALARM_STRING_TABLE\n", "END_ALARM_STRING_TABLE\nBEGIN_ALARM\nEND_ALARM\n",
     [](std::size_t n) { return numbered("\"t", n, "\"\n"); }},
    {"configs", "CONFIGS\n", "END_CONFIGS\n", [](std::size_t n) { return numbered("", n, " \"t\"\n"); }},
    {"bit_types", "BITFIELDTYPES\n", "END_BITFIELDTYPES\nBITFIELDS\nEND_BITFIELDS\n",
     [](std::size_t n) { return numbered("", n, " \"\" \"\"\n"); }},
    {"alarm_error_texts",
     "ALARM_STRING_TABLE\nEND_ALARM_STRING_TABLE\nBEGIN_ALARM\nEND_ALARM\nBEGIN_ALARM_VRX_ERROR_TEXT\n",
     "END_ALARM_VRX_ERROR_TEXT\n", [](std::size_t n) { return numbered("VRX_ERROR_TEXT(", n, ",CmHelpMsg,0,\"\")\n"); }},
    {"boot_error_texts", "BEGIN_BF_ERRORTEXT\n", "END_BF_ERRORTEXT\n",
     [](std::size_t n) { return numbered("MC_ERRORTEXT(", n, ",CmHelpMsg,0,\"\")\n"); }},
    {"var_comments", "VARCOMMENT\n", "END_VARCOMMENT\n", [](std::size_t n) { return numbered("$1[16#1]:\"t", n, "\"\n"); }},
    {"boot_comments", "BFDCOMMENT\n", "END_BFDCOMMENT\n", [](std::size_t n) { return numbered("$1:\"t", n, "\"\n"); }},
    // One text far longer than a string resource holds (65 535 characters),
    // escaped quotes and backslash pairs among its letters: refused by its
    // compiler's message for a text too long, without a copy of it kept.
    {"long_comment", "VARCOMMENT\n$1[16#1]:\"", "t\"\nEND_VARCOMMENT\n", [](std::size_t) { return longPiece(); }},
    {"long_config", "CONFIGS\n1 \"", "t\"\nEND_CONFIGS\n", [](std::size_t) { return longPiece(); }},
    {"long_alarm_text", "ALARM_STRING_TABLE\n\"", "t\"\nEND_ALARM_STRING_TABLE\nBEGIN_ALARM\nEND_ALARM\n",
     [](std::size_t) { return longPiece(); }},
    {"long_error_text", "BEGIN_BF_ERRORTEXT\nMC_ERRORTEXT(1,CmHelpMsg,0,\"", "t\")\nEND_BF_ERRORTEXT\n",
     [](std::size_t) { return longPiece(); }},
    // One token of the whole section, of letters alone (no escape, no line
    // end: one run for the rules), each refused by its compiler: an I/O
    // text block that the end of the section cuts (1001), a boot-function
    // name (502), an alarm's and a boot function's error text too long for
    // a string resource (904).
    {"huge_io_text", "BEGIN_IO_DATA\nBEGIN_ACT\n", "\nEND_IO_DATA\n", [](std::size_t) { return letters(); }},
    {"huge_bf_name", "BOOT_FUNCTIONDECL\nBEGIN_BF b",
     " (CS := 1)\nEND_BF\nEND_BOOT_FUNCTIONDECL\nBOOT_FUNCTIONS\nEND_BOOT_FUNCTIONS\n",
     [](std::size_t) { return letters(); }},
    {"huge_vrx_text",
     "ALARM_STRING_TABLE\nEND_ALARM_STRING_TABLE\nBEGIN_ALARM\nEND_ALARM\nBEGIN_ALARM_VRX_ERROR_TEXT\n"
     "VRX_ERROR_TEXT(1,CmHelpMsg,0,\"",
     "\")\nEND_ALARM_VRX_ERROR_TEXT\n", [](std::size_t) { return letters(); }},
    {"huge_mc_text", "BEGIN_BF_ERRORTEXT\nMC_ERRORTEXT(1,CmHelpMsg,0,\"", "\")\nEND_BF_ERRORTEXT\n",
     [](std::size_t) { return letters(); }},
};

// header (a TO_HEADER section), then the flood's section with about bytes of body.
inline std::string source(const std::string& header, const Flood& flood, std::size_t bytes)
{
    std::string s = header + flood.head;
    s.reserve(s.size() + bytes + 256);
    const std::size_t end = s.size() + bytes;
    for (std::size_t n = 0; s.size() < end; ++n) s += flood.line(n);
    return s + flood.tail;
}

inline const Flood* find(const std::string& name)
{
    for (const Flood& f : kFloods)
        if (name == f.name) return &f;
    return nullptr;
}

}  // namespace textflood
