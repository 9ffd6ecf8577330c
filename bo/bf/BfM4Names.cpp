// Names that the macro files write without quotes, as GNU m4 reads them:
// the scan follows m4's reading of a macro's argument token by token.
#include "bo/bf/BfM4Names.h"

namespace {

// GNU m4's builtins that it expands wherever the word stands.
const char* const kAlwaysExpanded[] = {
    "__file__", "__gnu__",  "__line__", "__program__", "__unix__", "changecom", "changequote", "debugfile", "debugmode",
    "divert",   "divnum",   "dnl",      "dumpdef",     "m4exit",   "sysval",    "traceoff",    "traceon",   "undivert",
};

// GNU m4's builtins that it calls only when "(" follows the word, and
// otherwise reads as text.
const char* const kCalledWithArguments[] = {
    "builtin",  "decr",    "define",   "defn",    "errprint", "esyscmd", "eval",    "format",   "ifdef",
    "ifelse",   "include", "incr",     "index",   "indir",    "len",     "m4wrap",  "maketemp", "mkstemp",
    "patsubst", "popdef",  "pushdef",  "regexp",  "shift",    "sinclude", "substr", "syscmd",   "translit",
    "undefine",
};

// The macros the macro files call, which the macro package defines: m4
// expands each wherever the word stands.
const char* const kPackageMacros[] = {
    "NAME",           "INCLUDE",        "DECLCONT",       "BEGIN_FCT_DECL",   "FKT_DECL",
    "MSG_FKT_DECL",   "END_FCT_DECL",   "BEGIN_DECL",     "DEFAULT_DECL",     "CFGCHANGE_DECL",
    "MODIFY_DECL",    "DECL_MODIFY",    "UNIT_DECL",      "DECL_UNIT",        "INSTANTIATE_DECL",
    "CHECK_DECL",     "CHECKEX_DECL",   "END_DECL",       "DECLPRINTER",      "IMPLPRINTER",
    "BEGIN_CREATE_IMPL", "CREATE",      "DEFAULT_CREATE", "END_CREATE_IMPL",  "FKT_IMPL",
    "MSG_FKT_IMPL",   "BEGIN_INIT_IMPL", "INIT_MODIFY",   "INIT_UNIT",        "END_INIT_IMPL",
    "DEFAULT",        "CFGCHANGED",     "MODIFY_IMPL",    "MODIFY",           "UNIT_IMPL",
    "UNITCHANGED",    "CHECK",          "CHECKEX",        "BEGIN_INSTANTIATE_IMPL", "INSTANTIATE",
    "END_INSTANTIATE_IMPL", "USE_MODIFY_FKT", "USE_UNIT_FKT", "BEGIN_DECLIMPL", "DECL_IO",
    "DECL_NO_IO",     "END_DECLIMPL",   "IMPL_IMPL",      "IO_IMPL",          "NO_IO_IMPL",
};

template <size_t N>
bool listed(const char* const (&list)[N], const std::string& word)
{
    for (const char* w : list)
        if (word == w) return true;
    return false;
}

bool isBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isWordByte(unsigned char c)
{
    return isLetter(c) || (c >= '0' && c <= '9');
}

}  // namespace

std::string bfM4Misreading(const std::string& text)
{
    if (!text.empty() && isBlank(static_cast<unsigned char>(text[0])))
        return "would drop the blanks and line ends it begins with";
    size_t depth = 0;  // parentheses open inside the argument
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '#') {
            // A comment is kept as it stands, up to its line end.
            const size_t end = text.find('\n', i);
            if (end == std::string::npos)
                return "would read the rest of its line from the # on, the closing ) too, as a comment";
            i = end;
        } else if (c == '`') {
            return "would take the ` as an opening quote";
        } else if (c == ',' && depth == 0) {
            return "would split it into arguments at the comma";
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) return "would end it at the ) that no ( before it opens";
            --depth;
        } else if (isLetter(c)) {
            size_t end = i + 1;
            while (end < text.size() && isWordByte(static_cast<unsigned char>(text[end]))) ++end;
            const std::string word = text.substr(i, end - i);
            // The writer closes the argument with ")" right after it.
            const bool called = end < text.size() && text[end] == '(';
            if (listed(kAlwaysExpanded, word) || (called && listed(kCalledWithArguments, word)))
                return "would expand the word " + word + " as its builtin macro " + word;
            if (listed(kPackageMacros, word))
                return "would expand the word " + word + " as the macro package's macro " + word;
            i = end - 1;
        }
    }
    if (depth > 0) return "would read on past its end for the ) that closes its (";
    return std::string();
}

std::string bfM4SetName(const std::string& path)
{
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}
