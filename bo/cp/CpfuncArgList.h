// The argument list of a call built by the compile side: one operand per
// parameter with the parameter's owner. The list owns its operands.
#pragma once
#include <memory>
#include <vector>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StIds.h"

struct CpfuncArg {
    std::unique_ptr<StASMOperand> operand;
    StSymbEntryID owner;
};

class CpfuncArgList : public std::vector<CpfuncArg> {
public:
    void add(StASMOperand* operand, StSymbEntryID owner) { push_back(CpfuncArg{std::unique_ptr<StASMOperand>(operand), owner}); }
};
