// The lines of the tavolin command that must never hold it: those written
// while every signal is held back (the outputs are being put in place, and
// after), and the line a signal handler writes before the command ends by
// that signal. Standard error may be a pipe nobody reads, full to the brim:
// a plain write would wait there for ever, with no signal left to end it
// but SIGKILL. Such a line is written at once, whole, or dropped, and the
// command ends with its status all the same.
//
// How: a pipe or FIFO is written through an open file description of its
// own, opened non-blocking through /proc/self/fd/2 (the shared one's flags
// stay as they are); a socket with a send that does not wait; a terminal or
// another device only when poll says it takes a line now; a regular file as
// it is (a write there does not wait on a reader). A line of at most
// PIPE_BUF bytes reaches a pipe whole or not at all; a longer one may be
// cut where the pipe filled.
#pragma once

#include <cstddef>
#include <string>

// Writes size bytes of text on standard error at once, or nothing when it
// cannot take them now; never waits for a reader. True when all were
// written. Async-signal-safe: no memory is allocated, only fstat, open,
// poll, write, send and close are called.
bool hostSayNow(const char* text, size_t size);
// The same for a line already made.
bool hostSayNow(const std::string& line);

// The name of a signal: "SIGTERM", "SIGRTMIN+3", "signal 99" for one
// without a name.
std::string hostSignalName(int sig);

// Makes, before a compile, the text of the line that says it was ended by
// a signal; fates says what became of its files ("t.dsc and t.rc are as
// they were, t.m4h and t.m4c not written", see hostFatesWords). A text that
// would not reach a pipe whole (longer than PIPE_BUF) is byRole instead,
// which names them by their roles. Called before the handlers that say it
// are installed; a second call keeps the first text.
void hostPrepareSignalLine(const std::string& fates, const std::string& byRole);
// Says, from a signal handler, that sig ends the command: "tavolin:
// interrupted by SIGINT: FILES are as they were" (with fault, "ended by
// SIGSEGV: ..."); once the outputs were being put in place (placing) that
// each is whole, the old one or the new one. Nothing before
// hostPrepareSignalLine. Async-signal-safe, through hostSayNow.
void hostSaySignalEnd(int sig, bool fault, bool placing);
// Says that memory ran out and the command ends: "tavolin: memory ran out:
// FILES are as they were" (placing: that each is whole, the old one or the
// new one), from the text hostPrepareSignalLine made: nothing is allocated.
void hostSayMemoryRanOut(bool placing);
