// A clean-up that runs when the scope is left, on every path.
#pragma once
#include <utility>

template <class F>
class MdScopeExit {
public:
    explicit MdScopeExit(F f) : m_f(std::move(f)) {}
    ~MdScopeExit() { m_f(); }
    MdScopeExit(const MdScopeExit&) = delete;
    MdScopeExit& operator=(const MdScopeExit&) = delete;

private:
    F m_f;
};
