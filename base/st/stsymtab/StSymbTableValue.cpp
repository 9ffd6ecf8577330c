// Binding a constant to a symbol as the compilers' actions do it: the value
// becomes the symbol's initial value when its type accepts it, and the
// answer says only whether the table failed or the value did not fit.
#include "base/st/stsymtab/StSymbTable.h"

int StSymbTable::getSymbolValue(StSymbEntryID sid, StConstEntryID cid)
{
    switch (setSymbolValue(sid, cid)) {
    case 0: return 0;
    case 1: return 1;
    default: return 2;  // unknown symbol, a kind without a value, wrong type, too long
    }
}
