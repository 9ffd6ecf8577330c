// Description sources of any size for measuring and checking the main road
// (openSource, the section methods, copySections): made from the example
// sources so that every byte is something the split really meets.
//
// Header only: the benchmarks and the byte-identity test of the main road
// build the same sources from it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mainroad {

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The line without its leading and trailing blanks and its line end.
inline std::string trimmed(const std::string& line)
{
    const std::size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    const std::size_t e = line.find_last_not_of(" \t\r\n");
    return line.substr(b, e - b + 1);
}

// The end keyword that closes a section begun by the line, or empty when the
// line begins no section (comments, header lines, blank lines).
inline std::string sectionEnd(const std::string& line)
{
    const std::string w = trimmed(line);
    if (w.empty() || w.find_first_not_of("@ABCDEFGHIJKLMNOPQRSTUVWXYZ_") != std::string::npos) return std::string();
    if (w.size() >= 6 && w.compare(w.size() - 6, 6, "HEADER") == 0) return std::string();
    if (w.compare(0, 4, "END_") == 0 || w.compare(0, 5, "@END_") == 0) return std::string();
    if (w[0] == '@') return "@END_" + w.substr(1);
    if (w.compare(0, 6, "BEGIN_") == 0) return "END_" + w.substr(6);
    return "END_" + w;
}

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size() - 1;
        out.push_back(text.substr(at, nl - at + 1));
        at = nl + 1;
    }
    return out;
}

// The section whose every repeated entry takes a resource-string id of its
// own (the others' texts are shared or stop their compiler early), and the
// most repetitions of its body: a source has at most 65 534 such ids.
const char kAlarmTableEnd[] = "END_ALARM_STRING_TABLE";
constexpr std::size_t kMaxAlarmTableRepeats = 4000;

// The example source with every section body repeated until the whole
// source holds at least `bytes` bytes, the alarm string table's body at
// most kMaxAlarmTableRepeats times; the header and the text between the
// sections stay as they are. Every third repeated line ends in "\r\n", so
// both line ends are met.
inline std::string grownSource(const std::string& example, std::size_t bytes)
{
    const std::vector<std::string> in = lines(example);
    std::size_t bodyBytes = 0, tableBytes = 0;
    {
        std::string end;
        for (const std::string& l : in) {
            if (end.empty()) {
                end = sectionEnd(l);
            } else if (trimmed(l) == end) {
                end.clear();
            } else {
                bodyBytes += l.size();
                if (end == kAlarmTableEnd) tableBytes += l.size();
            }
        }
    }
    const std::size_t other = example.size() - bodyBytes;
    std::size_t repeats =
        bodyBytes == 0 ? 1 : (bytes > other ? (bytes - other + bodyBytes - 1) / bodyBytes : 1);
    // Past the table's last repetition the other bodies make up the bytes.
    const std::size_t otherBodies = bodyBytes - tableBytes;
    if (repeats > kMaxAlarmTableRepeats && otherBodies > 0) {
        const std::size_t fixed = other + kMaxAlarmTableRepeats * tableBytes;
        repeats = std::max(kMaxAlarmTableRepeats, (bytes - fixed + otherBodies - 1) / otherBodies);
    }
    std::string out;
    out.reserve(example.size() + bodyBytes * repeats + bodyBytes * repeats / 16);
    std::vector<std::string> body;
    std::string end;
    unsigned n = 0;
    for (const std::string& l : in) {
        if (end.empty()) {
            out += l;
            end = sectionEnd(l);
            body.clear();
        } else if (trimmed(l) == end) {
            const std::size_t times = end == kAlarmTableEnd ? std::min(repeats, kMaxAlarmTableRepeats) : repeats;
            for (std::size_t r = 0; r < times; ++r) {
                for (const std::string& b : body) {
                    if (++n % 3 == 0 && b.size() > 1 && b[b.size() - 1] == '\n' && b[b.size() - 2] != '\r') {
                        out.append(b, 0, b.size() - 1);
                        out += "\r\n";
                    } else {
                        out += b;
                    }
                }
            }
            out += l;
            end.clear();
        } else {
            body.push_back(l);
        }
    }
    return out;
}

// `blankLines` empty lines followed by the example and an implementation of
// system functions behind its system variables and a list of supported
// types, so that every temporary stream is padded down to the end of the
// blank lines.
inline std::string blankLinesSource(const std::string& example, std::size_t blankLines)
{
    std::string s(blankLines, '\n');
    const std::string descEnd = "@END_DESCRIPTION\n";
    std::string body = example;
    const std::size_t at = body.find(descEnd);
    if (at != std::string::npos)
        body.insert(at + descEnd.size(),
                    "IMPLEMENTATION\nFUNCTION _f : DINT\nEND_FUNCTION\nEND_IMPLEMENTATION\n");
    s += body;
    s += "\nSUPPORTED_TO_TYPES\n    posAxis := {5A3C2E10-8B41-4C7D-9E2F-1A6B3C4D5E60}, 2.1;\n"
         "END_SUPPORTED_TO_TYPES\n";
    return s;
}

}  // namespace mainroad
