// Scanner class of the alarm section (MdAlarmScanner.lpp):
// MdAlarmScannerFlexLexer, the flex base renamed for this kind so that
// several scanners share one library.
//
// Tokens (codes of MdAlarmBisonParser.ypp): the keywords of the section
// (case-sensitive), "(", ")", "[", "]", ",", ":", numbers - decimal digits,
// or "16#" and hexadecimal digits of either case, 32-bit unsigned - and
// strings in double quotes, where a backslash followed by a double quote
// stands for a double quote and any other character (a backslash included)
// for itself; the text of a string is appended to mdAlarmTextStore and
// the token's value (MdAlarmText) tells where it stands. Blanks, tabs, line ends and "(* ... *)" comments (not nested)
// are skipped; line feeds are counted. Any other character is reported
// through LexerError and gives the token INVALID, which no rule accepts. A
// number that does not fit 32 bits is reported through LexerError and kept
// as 0xFFFFFFFF; an unterminated comment is reported as "unexpected end of
// file".
//
// Two tokens stand for a run of the tokens above, where the run lies on
// one line in the scanner's buffer: INDEX for "[" decimal number "]", and,
// right after a "Possible..." keyword (or its INDEX), LIST for two or more
// decimal numbers with commas between them, blanks and tabs around the
// commas. The grammar takes each wherever it takes the run; a run that
// breaks off (a comment, a line end, a "16#" number, a number too large)
// leaves the rest to the tokens above.
//
// A third, STRINGS, stands for strings one after the other with nothing but
// blanks and line ends between them, when the texts are not kept and the
// token before was a string too: the grammar takes a string only as a
// table entry, so they are entries without a number, whose texts nobody
// reads. Its value is their count; their line feeds are counted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The generated scanner has declared its class already (it defines
// MD_ALARM_SCANNER_GENERATED before including this header); everybody else
// gets the declaration here.
#ifndef MD_ALARM_SCANNER_GENERATED
#undef yyFlexLexer
#define yyFlexLexer MdAlarmScannerFlexLexer
#include <FlexLexer.h>
#undef yyFlexLexer
#endif

// The texts of the strings scanned so far, one after the other; process-wide
// as the grammar's value is (one alarm compile runs at a time). Whoever
// reads the texts empties it. When keep is false the texts are not kept
// (every string's value is then empty).
//
// Beside them the values of the lists read as one token (MdAlarmNumbers),
// which the grammar takes (mdAlarmTakeNumbers), and whether the token
// before was a "Possible..." keyword, perhaps with its index: only there
// does a list stand as one token.
struct MdAlarmTextStore {
    std::string text;
    bool keep = true;
    std::vector<int32_t> numbers;
    bool listNext = false;
    bool runNext = false;  // the token before was a string (or a run of them)
};
MdAlarmTextStore& mdAlarmTextStore();
