// Shared pieces of the boot-function tests: a parser that records every
// reduction and hands out counted values (so that a test sees every value
// deleted exactly once), a parser fed from a token list, the scanner's
// tokens with their texts, and message texts that show their arguments.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/cm/cmmsgentry.h"
#include "base/cm/cmmsgtab.h"
#include "block_reads.h"
#include "test_split_driver_support.h"
#include "tools/md/tavolin/MdBfBisonParser.tab.hpp"
#include "tools/md/tavolin/MdBfParser.h"

namespace bftest {

// Messages 0, 501, 502, 513 and 516 with texts made of their arguments.
inline CmMsgTable* argumentTable()
{
    static const CmMsgTableEntry entries[] = {
        {0, 2, 0, u"Interner Fehler"}, {501, 2, 0, u"%s"}, {502, 2, 0, u"%s"},
        {513, 2, 0, u"%s|%s"},         {516, 1, 0, u"%s"},
    };
    static CmMemoryMsgTable table(entries, sizeof entries / sizeof entries[0]);
    return &table;
}

// A value of the recording parser; counts the live ones.
struct CountedValue : MdBfValue {
    explicit CountedValue(int r) : rule(r) { ++live; }
    ~CountedValue() override { --live; }
    int rule;
    static inline int live = 0;
};

class RecordingBfParser : public MdBfGrammar {
public:
    RecordingBfParser() { noteReductions(); }
    struct Reduction {
        int rule;
        int32_t line;
    };

    // Reads in (identifiers lower-cased when lowerCase) with the given
    // classifier, without the class-provider step.
    void read(std::istream& in, bool lowerCase = true, INameClassifier* classifier = nullptr)
    {
        setInput(&in);
        setLowerCase(lowerCase);
        setClassifier(classifier);
    }
    std::vector<int> rules() const
    {
        std::vector<int> r;
        for (const Reduction& x : reductions) r.push_back(x.rule);
        return r;
    }

    std::vector<Reduction> reductions;
    std::vector<std::string> paths;  // operand paths of MODIFY

    void rule46(String* path, String* code) override
    {
        paths.push_back(path ? path->c_str() : "(null)");
        MdBfGrammar::rule46(path, code);
    }

protected:
    void reduced(int rule, int32_t line) override { reductions.push_back(Reduction{rule, line}); }
    MdBfValue* newValue(int rule) override { return new CountedValue(rule); }
};

// Parses text with the recording parser, no classifier.
struct BfRun {
    int result = -1;
    int32_t errors = 0;
    std::vector<int> rules;
    std::vector<std::string> paths;
};

inline BfRun parseSection(const std::string& text)
{
    std::istringstream in(text);
    RecordingBfParser p;
    p.read(in);
    BfRun r;
    r.result = p.parse();
    r.errors = p.errorCount();
    r.rules = p.rules();
    r.paths = p.paths;
    return r;
}

// The recording parser fed from a list of tokens (code, text; the text
// only for value tokens) in place of the scanner.
class TokenFeedParser : public RecordingBfParser {
public:
    explicit TokenFeedParser(std::vector<std::pair<int, const char*>> tokens) : m_tokens(std::move(tokens)) {}
    int yylex() override
    {
        if (m_next == m_tokens.size()) return 0;
        const auto& t = m_tokens[m_next++];
        if (t.second) MdBflval.text = new String(t.second);
        return t.first;
    }

private:
    std::vector<std::pair<int, const char*>> m_tokens;
    size_t m_next = 0;
};

// Tokens whose value is a text.
inline bool isTextToken(int code)
{
    return (code >= BF_FUNCTION_NAME_TEXT && code <= BF_FUNCTION_BODY_TEXT) || code == BF_DOLLAR_NUMBER ||
           code == BF_AT_NUMBER || (code >= BF_IDENTIFIER && code <= BF_CODE_TEXT);
}

struct Token {
    int code;
    std::string text;  // value tokens only
    int32_t line;      // the scanner's line after the token
    bool operator==(const Token& o) const { return code == o.code && text == o.text; }
};

inline std::ostream& operator<<(std::ostream& os, const Token& t)
{
    return os << t.code << " \"" << t.text << "\" @" << t.line;
}

// Every token of text up to the end of input; the scanner reads blocks of
// at most `block` bytes (0: as it asks).
inline std::vector<Token> scanAll(const std::string& text, bool lowerCase = true, INameClassifier* c = nullptr,
                                  int32_t* errors = nullptr, int block = 0)
{
    std::istringstream in(text);
    BlockReads<RecordingBfParser> p;
    p.block = block;
    p.read(in, lowerCase, c);
    std::vector<Token> tokens;
    for (int code; (code = p.yylex()) != 0 && tokens.size() < 10000;) {
        Token t{code, std::string(), p.lineno()};
        if (isTextToken(code)) {
            t.text = MdBflval.text ? MdBflval.text->c_str() : "(null)";
            delete MdBflval.text;
        }
        tokens.push_back(t);
    }
    if (errors) *errors = p.errorCount();
    return tokens;
}

}  // namespace bftest
