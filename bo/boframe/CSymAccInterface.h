// Symbol access to the values of one object: the first four operations of
// every instance-side variable-extension container, through which a reader
// of the object's system variables asks for an address's actual value and
// its bounds without knowing the container behind them.
//
// Every answer is an elementary constant owned by the container (never by
// the caller), or null when the address has no such value.
#pragma once
#include <cstdint>

#include "base/st/stsymtab/StStdConstantVal.h"

class CSymAccInterface {
public:
    virtual ~CSymAccInterface() = default;

    // The actual value of adr for the current configuration; isDefault
    // is set false (the value is the object's own, not the type's).
    /* 0 */ virtual StStdConstantVal* getSymValue(uint32_t adr, bool& isDefault) = 0;
    /* 1 */ virtual StStdConstantVal* getSymMinValue(uint32_t adr) = 0;
    /* 2 */ virtual StStdConstantVal* getSymMaxValue(uint32_t adr) = 0;
    /* 3 */ virtual StStdConstantVal* getSymStdValue(uint32_t adr) = 0;
};
