// Generated sources: random sections in random order, line ends LF, CRLF or
// mixed, random masks. Every body line must land on its source line in its
// section's stream; masked bodies must leave no trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tools/md/tavolin/MdSectionSplitter.h"

namespace {

using Scanner = MdSectionScanner;

struct GenSection {
    int section;
    int32_t line;                     // source line of the begin keyword
    std::vector<std::string> lines;   // body split at its line ends
    std::vector<std::string> markers;
};

class SourceGen {
public:
    explicit SourceGen(uint32_t seed) : m_rng(seed) {}

    std::string source;
    std::vector<GenSection> sections;
    int32_t kind = -1;
    int repeats = 0;
    uint32_t mask = 0;

    void generate()
    {
        m_eolMode = pick(3);
        const uint32_t bits[] = {0x2, 0x4, 0x8, 0x10, 0x20, 0x40};
        if (pick(3) != 0)
            for (uint32_t b : bits)
                if (pick(3) == 0) mask |= b;

        std::vector<std::vector<int>> groups = {
            {Scanner::SecVarComment}, {Scanner::SecConfigs}, {Scanner::SecResolve},
            {Scanner::SecAttributes}, {Scanner::SecValues}, {Scanner::SecDynArray},
            {Scanner::SecBitfieldTypes, Scanner::SecBitfields}, {Scanner::SecInterface},
            {Scanner::SecAlarm}, {Scanner::SecAlarmStringTable}, {Scanner::SecAlarmErrorText},
            {Scanner::SecBfFunctions}, {Scanner::SecBootFunctionDecl, Scanner::SecBootFunctions},
            {Scanner::SecBfAdrResolution}, {Scanner::SecBfErrorText}, {Scanner::SecBfdComment},
            {Scanner::SecSupportedToTypes}, {Scanner::SecLicenceData}, {Scanner::SecIoData},
        };
        std::vector<std::vector<int>> items;
        for (const auto& g : groups) {
            if (pick(2) == 0) continue;
            items.push_back(g);
            if (pick(10) == 0) {
                items.push_back(g);
                ++repeats;
            }
        }
        switch (pick(3)) {
        case 0: items.push_back({Scanner::SecDescription}); break;
        case 1: items.push_back({Scanner::SecDescription, Scanner::SecImplementation}); break;
        default: break;
        }
        std::shuffle(items.begin(), items.end(), m_rng);
        const bool withHeader = pick(2) == 0;
        const std::size_t headerAt = withHeader ? pick(int(items.size()) + 1) : 0;

        separator(true);
        for (std::size_t i = 0; i <= items.size(); ++i) {
            if (withHeader && i == headerAt) {
                header();
                separator(false);
            }
            if (i == items.size()) break;
            for (int sec : items[i]) {
                section(sec);
                separator(false);
            }
        }
        if (pick(2) == 0) source += eol();
    }

private:
    int pick(int n) { return int(m_rng() % uint32_t(n)); }

    std::string eol()
    {
        ++m_line;
        const int mode = m_eolMode == 2 ? pick(2) : m_eolMode;
        return mode == 0 ? "\n" : "\r\n";
    }

    void separator(bool first)
    {
        switch (pick(first ? 5 : 6)) {
        case 0: source += " "; break;
        case 1: source += eol(); break;
        case 2: source += "\t" + eol() + eol() + "  "; break;
        case 3:
            source += " (* about ";
            source += eol();
            source += " the next section *) ";
            break;
        case 4: source += eol() + "(**)" + eol(); break;
        default: break;  // nothing: an end keyword directly followed by the next keyword
        }
    }

    void header()
    {
        static const char* const begins[] = {"TO_HEADER", "DV_TO_HEADER", "TP_HEADER", "DV_TP_HEADER"};
        static const int kinds[] = {1, 2, 4, 5};
        const int k = pick(4);
        kind = kinds[k];
        source += begins[k];
        source += eol();
        source += "TOTYPE := {0B77C3C0-79ED-11D5-AE65-0040C7998E91}, 1.0;" + eol();
        if (pick(2)) source += "PROXY:={00000000-0000-0000-0000-000000000000},2.3;" + eol();
        source += "DATE := DT#2004-03-01;" + eol();
        if (pick(2)) source += "COMMENT := \"x \\\" y\";" + eol();
        source += "END_";
        source += begins[k];
    }

    // A piece of body text without line ends, holding a unique marker.
    std::string fragment(int section, GenSection& gen)
    {
        static const char alphabet[] = "abcxyz0123456789 ;:=()[]$\"'{}-.,#*\t";
        std::string f;
        const int n = pick(12);
        for (int i = 0; i < n; ++i) {
            switch (pick(14)) {
            case 0: {
                // Another section's end keyword is plain text here, unless it
                // would contain this section's own end keyword.
                const std::string word = Scanner::sectionInfo(pick(Scanner::SecCount)).end;
                if (word.find(Scanner::sectionInfo(section).end) == std::string::npos) f += " " + word + " ";
                break;
            }
            case 1: f += char(0x1A); break;
            case 2: f += char(pick(2) ? 0xE4 : 0); break;
            case 3: f += " E V @ "; break;
            default: f += alphabet[pick(int(sizeof alphabet) - 1)]; break;
            }
        }
        const std::string marker = "<m" + std::to_string(m_marker++) + ">";
        gen.markers.push_back(marker);
        return f + marker + " ";
    }

    void section(int sec)
    {
        const Scanner::SectionInfo& info = Scanner::sectionInfo(sec);
        GenSection gen{sec, m_line, {}, {}};
        source += info.begin;
        const int lineEnds = pick(4);
        std::string first = fragment(sec, gen);
        source += " " + first;
        gen.lines.push_back(" " + first);
        for (int i = 0; i < lineEnds; ++i) {
            source += eol();
            std::string f = fragment(sec, gen);
            source += f;
            gen.lines.push_back(f);
        }
        source += info.end;
        sections.push_back(gen);
    }

    std::mt19937 m_rng;
    int m_eolMode = 0;
    int32_t m_line = 1;
    int m_marker = 0;
};

std::vector<std::string> streamLines(const std::string& s)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = s.find("\r\n", start);
        if (p == std::string::npos) {
            lines.push_back(s.substr(start));
            return lines;
        }
        lines.push_back(s.substr(start, p - start));
        start = p + 2;
    }
}

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Checks that the section's body lines stand on their source lines.
void expectAligned(const GenSection& g, const std::string& stream, const char* name)
{
    const Scanner::SectionInfo& info = Scanner::sectionInfo(g.section);
    const std::string begin = std::string(info.begin) + (info.skipBit ? " " : "");
    const std::vector<std::string> lines = streamLines(stream);
    const std::size_t first = std::size_t(g.line - 1);
    ASSERT_LT(first + g.lines.size() - 1, lines.size()) << name << " " << info.begin;
    if (g.lines.size() == 1) {
        EXPECT_NE(lines[first].find(begin + g.lines[0] + info.end), std::string::npos)
            << name << " line " << g.line << ": " << lines[first];
        return;
    }
    EXPECT_TRUE(endsWith(lines[first], begin + g.lines[0])) << name << " line " << g.line << ": " << lines[first];
    for (std::size_t i = 1; i + 1 < g.lines.size(); ++i)
        EXPECT_EQ(lines[first + i], g.lines[i]) << name << " line " << g.line + int32_t(i);
    const std::string& last = lines[first + g.lines.size() - 1];
    EXPECT_EQ(last.compare(0, g.lines.back().size() + std::strlen(info.end), g.lines.back() + info.end), 0)
        << name << " last line of " << info.begin << ": " << last;
}

TEST(SectionSplitProperty, BodiesKeepTheirLinesAndMaskedBodiesVanish)
{
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        SourceGen gen(seed);
        gen.generate();

        MdStringSectionSink sink;
        MdCollectingReporter messages;
        MdSectionSplitter splitter;
        std::istringstream in(gen.source);
        const int result = splitter.split(in, sink, &messages, gen.mask);

        ASSERT_EQ(result, gen.repeats ? 3 : 0) << gen.source;
        EXPECT_EQ(messages.records.size(), std::size_t(gen.repeats));
        EXPECT_EQ(messages.count(MdMsgSectionRepeated), std::size_t(gen.repeats));
        EXPECT_EQ(splitter.header().kind, gen.kind);

        bool withImplementation = false;
        for (const GenSection& g : gen.sections) withImplementation |= g.section == Scanner::SecImplementation;

        for (const GenSection& g : gen.sections) {
            const Scanner::SectionInfo& info = Scanner::sectionInfo(g.section);
            const std::string& stream = sink.stream(info.stream);
            const char* name = mdTmpStreamName(info.stream);
            if ((info.skipBit & gen.mask) == 0) {
                expectAligned(g, stream, name);
                if (g.section == Scanner::SecDescription && withImplementation)
                    expectAligned(g, sink.stream(MdTmpSysFkt), "sysfkt_tmp");
            } else {
                EXPECT_NE(stream.find(std::string(info.begin) + " " + info.end), std::string::npos)
                    << name << ": " << stream;
                for (const std::string& m : g.markers)
                    for (int s = 0; s < MdTmpCount; ++s)
                        EXPECT_EQ(sink.stream(s).find(m), std::string::npos) << m << " in " << mdTmpStreamName(s);
            }
        }
        // No stream runs past the source.
        const std::size_t sourceLines = std::size_t(std::count(gen.source.begin(), gen.source.end(), '\n')) + 1;
        for (int s = 0; s < MdTmpCount; ++s) EXPECT_LE(streamLines(sink.stream(s)).size(), sourceLines + 1);
        if (testing::Test::HasFailure()) {
            ADD_FAILURE() << "source:\n" << gen.source;
            return;
        }
    }
}

}  // namespace
