// The pre-compiler's built-in message table (German texts, ids 0-1302).
#pragma once
#include "base/cm/cmmsgentry.h"

constexpr std::size_t kCmBuiltinMsgCount = 88;
extern const CmMsgTableEntry g_cmBuiltinMsgEntries[kCmBuiltinMsgCount];
