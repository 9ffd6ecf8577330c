// State-graph interpreter: row order, failed actions, error codes set on the
// way, the end-of-table line and the trace levels, on a small graph over a
// list of input characters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "co/co_sgi.h"

namespace {

enum class St { Start, A, Done, Err };
const char* const kNames[] = {"START", "A", "DONE", "ERR"};

class Graph : public SGI::CStateGraphInterpreter<St, Graph> {
public:
    using Base = SGI::CStateGraphInterpreter<St, Graph>;
    Graph(const Row* rows, size_t n, std::string input, St start = St::Start)
        : Base(rows, n, kNames, 4), m_input(std::move(input)), m_start(start)
    {
    }
    bool onEnterStateGraph() override
    {
        m_state = m_start;
        return true;
    }
    bool readNextToken() override
    {
        ++reads;
        if (m_pos >= m_input.size()) return false;
        m_tok = m_input[m_pos++];
        return true;
    }
    bool isA() { return m_tok == 'a'; }
    bool isB() { return m_tok == 'b'; }
    bool setCode()
    {
        m_dwRet = 77;
        return m_tok == 'c';
    }
    bool always() { return true; }
    bool fail() { return false; }
    bool nothing() { return true; }

    int reads = 0;

private:
    std::string m_input;
    size_t m_pos = 0;
    char m_tok = 0;
    St m_start;
};

using Row = Graph::Row;
const Row kRows[] = {
    {St::Start, &Graph::isA, &Graph::fail, St::Err, "isA", "fail"},        // a failing action...
    {St::Start, &Graph::isA, &Graph::nothing, St::A, "isA", "nothing"},    // ...gives way to the next row
    {St::Start, &Graph::setCode, &Graph::nothing, St::Done, "setCode", "nothing"},
    {St::A, &Graph::isB, &Graph::nothing, St::Done, "isB", "nothing"},
    {St::Err, &Graph::always, &Graph::nothing, St::Err, "always", "nothing"},
};
constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];

struct Case {
    const char* input;
    St start;
    uint32_t result;
    St endState;
    int reads;
};

TEST(StateGraphInterpreter, Runs)
{
    const Case cases[] = {
        {"ab", St::Start, 0, St::Done, 2},      // failed action, then the next matching row
        {"abzz", St::Start, 0, St::Done, 2},    // input after the final state is not read
        {"", St::Done, 0, St::Done, 0},         // start equals final: nothing read
        {"", St::Start, 14, St::Start, 1},      // first read fails
        {"c", St::Start, 77, St::Done, 1},      // a code set on the way survives the final state
        {"d", St::Start, 77, St::Start, 2},     // code set by a missed condition, then end of input
        {"aa", St::Start, 14, St::A, 3},        // no row in A matches: end of table, next step
    };
    for (const Case& c : cases) {
        Graph g(kRows, kRowCount, c.input, c.start);
        EXPECT_EQ(c.result, g.interpret(St::Err, St::Done, false)) << c.input;
        EXPECT_EQ(c.endState, g.currentState()) << c.input;
        EXPECT_EQ(c.reads, g.reads) << c.input;
    }
}

TEST(StateGraphInterpreter, TraceLevels)
{
    {
        CTraceCapture cap;
        Graph g(kRows, kRowCount, "aa");
        g.interpret(St::Err, St::Done, false);
        ASSERT_EQ(1u, cap.count());  // only the level-4 line without tracing
        EXPECT_EQ("error state encountered - end of table", cap.lines()[0].message);
        EXPECT_EQ("co_sgi", cap.lines()[0].file);
        EXPECT_EQ("CStateGraphInterpreter::interpret", cap.lines()[0].method);
    }
    CTraceCapture cap;
    Graph g(kRows, kRowCount, "ab");
    g.interpret(St::Err, St::Done, true);
    std::vector<std::string> got;
    for (const auto& l : cap.lines()) got.push_back(std::to_string(l.level) + " " + l.message);
    const std::vector<std::string> want = {
        "1 state: START",           "1 condition isA fulfilled", "3 action fail failed",
        "1 condition isA fulfilled", "1 action nothing succeeded", "1 entering state: A",
        "1 condition isB fulfilled", "1 action nothing succeeded", "1 entering state: DONE",
    };
    EXPECT_EQ(want, got);
}

TEST(StateGraphInterpreter, RefusesTableWithoutFinalErrorRow)
{
    CTraceCapture cap;
    Graph g(kRows, kRowCount - 1, "ab");
    EXPECT_EQ(65535u, g.interpret(St::Err, St::Done, false));
    EXPECT_EQ(0, g.reads);
    Graph empty(kRows, 0, "ab");
    EXPECT_EQ(65535u, empty.interpret(St::Err, St::Done, false));
}

}  // namespace
