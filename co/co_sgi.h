// State-graph interpreter: runs a table of rows over a stream of input steps.
//
// A row says: in state `from`, when `condition` holds and `action`
// succeeds, enter `next`. The derived class supplies the input (one step per
// readNextToken), the conditions and actions as its member functions, the
// rows, the state names and the start state (in onEnterStateGraph).
//
// interpret reads exactly one step per transition, the first one in the
// start state too; rows are tried strictly in table order, and the first row
// of the current state whose condition holds and whose action succeeds
// wins. An action that fails does not stop the search. Once the final state
// is entered no further step is read.
//
// The table carries its length and must end with a row whose from-state is
// the error state; the scan of one step stops there ("error state
// encountered - end of table", the state stays and the next step is read).
// A table without that final row is refused before anything is read.
//
// Result: 0 in the final state with no error code; the error code when a
// condition or action set one (m_dwRet), even in the final state; 14 when the
// input or the run ended before the final state with no code set; 65535 when
// the run cannot start. Lines of levels 1 and 3 are written only when
// tracing, those of level 4 always (source "co_sgi").
#pragma once
#include <cstddef>
#include <cstdint>

#include "co/TraceApi.h"

namespace SGI {

template <class State, class Derived>
struct StateGraphRow {
    State from;
    bool (Derived::*condition)();
    bool (Derived::*action)();
    State next;
    const char* conditionName;
    const char* actionName;
};

template <class State, class Derived>
class CStateGraphInterpreter {
public:
    using Row = StateGraphRow<State, Derived>;

    static constexpr uint32_t kNotFinal = 14;
    static constexpr uint32_t kCannotStart = 65535;

    CStateGraphInterpreter(const Row* rows, size_t rowCount, const char* const* stateNames, size_t stateCount)
        : m_state(State()), m_dwRet(0), m_rows(rows), m_rowCount(rowCount), m_stateNames(stateNames),
          m_stateCount(stateCount)
    {
    }
    virtual ~CStateGraphInterpreter() = default;

    // Called once at the start of interpret; sets the start state.
    virtual bool onEnterStateGraph() { return true; }
    // Produces the next input step; false when there is none.
    virtual bool readNextToken() { return true; }

    uint32_t interpret(const State& errorState, const State& finalState, bool trace);

    State currentState() const { return m_state; }

protected:
    State m_state;
    uint32_t m_dwRet;  // error code; conditions and actions may set it

private:
    const char* stateName(State s) const
    {
        size_t i = size_t(s);
        return i < m_stateCount && m_stateNames && m_stateNames[i] ? m_stateNames[i] : "?";
    }

    const Row* m_rows;
    size_t m_rowCount;
    const char* const* m_stateNames;
    size_t m_stateCount;
};

template <class State, class Derived>
uint32_t CStateGraphInterpreter<State, Derived>::interpret(const State& errorState, const State& finalState,
                                                          bool trace)
{
    static const char kFile[] = "co_sgi";
    static const char kMethod[] = "CStateGraphInterpreter::interpret";
    m_dwRet = 0;
    if (!onEnterStateGraph()) {
        TV_TRACE(4, kFile, kMethod, "error onEnterStateGraph");
        return kCannotStart;
    }
    Derived* self = dynamic_cast<Derived*>(this);
    if (!self) {
        TV_TRACE(4, kFile, kMethod, "use a correctly derived class!");
        return kCannotStart;
    }
    if (!m_rows || m_rowCount == 0 || m_rows[m_rowCount - 1].from != errorState) {
        TV_TRACE(4, kFile, kMethod, "state graph without a final error row");
        return kCannotStart;
    }
    if (trace) TV_TRACE(1, kFile, kMethod, "state: %s", stateName(m_state));
    while (m_state != finalState) {
        if (m_state == errorState) break;
        if (!readNextToken()) break;
        for (size_t i = 0; i < m_rowCount && m_state != errorState && m_state != finalState; ++i) {
            const Row& row = m_rows[i];
            if (row.from == errorState) {
                TV_TRACE(4, kFile, kMethod, "error state encountered - end of table");
                break;
            }
            if (row.from != m_state) continue;
            if (!(self->*row.condition)()) {
                if (trace) TV_TRACE(3, kFile, kMethod, "condition %s missed", row.conditionName);
                continue;
            }
            if (trace) TV_TRACE(1, kFile, kMethod, "condition %s fulfilled", row.conditionName);
            if (!(self->*row.action)()) {
                if (trace) TV_TRACE(3, kFile, kMethod, "action %s failed", row.actionName);
                continue;
            }
            if (trace) TV_TRACE(1, kFile, kMethod, "action %s succeeded", row.actionName);
            m_state = row.next;
            if (trace) TV_TRACE(1, kFile, kMethod, "entering state: %s", stateName(m_state));
            break;
        }
    }
    if (m_state != finalState && m_dwRet == 0) m_dwRet = kNotFinal;
    return m_dwRet;
}

}  // namespace SGI
