// The pre-compiler's built-in message table (German texts, ids 0-1302).
#pragma once
#include "base/cm/cmmsgentry.h"

class CmMsgTable;

constexpr std::size_t kCmBuiltinMsgCount = 101;
extern const CmMsgTableEntry g_cmBuiltinMsgEntries[kCmBuiltinMsgCount];

// The table over those entries; built on first use, lives until the process ends.
CmMsgTable* cmBuiltinMsgTable();
