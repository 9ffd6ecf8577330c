// Names that the macro files write without quotes, as GNU m4 reads them.
//
// The macro files name their set and the headers they include by bare
// arguments: NAME(base), INCLUDE(base.h) and INCLUDE(name) for each name
// the caller gives. That form is fixed (the files' readers expect it), so a
// name m4 reads otherwise cannot be written safely at all: m4 reads such an
// argument as input, and a comma splits it, an unmatched parenthesis ends
// it early or late, a grave accent opens a quote, a "#" makes the rest of
// its line a comment, blanks or line ends at its start are dropped, and a
// word that is a macro is expanded (m4 splits words as
// [A-Za-z_][A-Za-z0-9_]*, so "x-dnl.h" holds the word "dnl"). The macros
// are GNU m4's builtins and those the macro files call, which the macro
// package defines; a builtin that m4 calls only with arguments ("define",
// "len", ...) is read as text unless "(" follows it. Bytes from 0x80 up are
// neither letters nor blanks, as in the C locale and in UTF-8 ones.
// Balanced parentheses, commas inside them, an apostrophe alone and blanks
// after the first character are read back as written.
#pragma once

#include <string>

// What m4 would do with text written as the whole argument of one of the
// macro files' macros ("NAME(" text ")" and a line end): empty when m4 reads
// text back as one argument, byte for byte; else how it reads it otherwise,
// a phrase that begins with "would" ("would split it into arguments at the
// comma").
std::string bfM4Misreading(const std::string& text);

// The name of the set of macro files at path (path + ".m4h" and ".m4c"),
// which they write as NAME(set) and INCLUDE(set.h): the part of path after
// its last "\" or "/" (all of it when it has neither). A path of the host's
// kind ends its folder part at a backslash, one of this system's at a
// slash, and either would make the set's name a folder.
std::string bfM4SetName(const std::string& path);
