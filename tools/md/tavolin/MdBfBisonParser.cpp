// Default actions of the boot-function grammar that build a text: the
// operand path of MODIFY, identifiers joined by "." and indices in "[ ]".
#include "tools/md/tavolin/MdBfBisonParser.h"

String* MdBfBisonParser::rule50(String* path, String* name)
{
    if (path && name) {
        path->cat(".");
        path->cat(*name);
    }
    delete name;
    return path;
}

String* MdBfBisonParser::rule51(String* path, String* index)
{
    if (path && index) {
        path->cat("[");
        path->cat(*index);
        path->cat("]");
    }
    delete index;
    return path;
}
