// What every class of the stand-in class-provider library shares: the call
// log and the knobs, both taken from environment variables at each call so
// that one process can change them between calls.
//
//   TVCLSPRV_LOG           file that every call is appended to (no log when unset)
//   TVCLSPRV_HR            HRESULT the operations return (decimal or 0x-hex; S_OK)
//   TVCLSPRV_STATUS        status they set (decimal or 0x-hex; 0)
//   TVCLSPRV_TEXT          text the system-variable operation returns
//                          ("tvclsprv stand-in")
//   TVCLSPRV_SECTION       section written into the storage the call gets
//                          (nothing written when unset)
//   TVCLSPRV_SECTION_TEXT  its content (empty)
//   TVCLSPRV_SECTION_FILE  file holding its content, in place of the text
//                          (when it cannot be read: nothing written, the
//                          file and the reason on standard error, and the
//                          operation fails with E_FAIL)
//
// Log lines are "<name> <value>\n"; byte contents are escaped (\r, \n, \t,
// \\, \" and \xNN for other bytes outside the printable ASCII range) and
// quoted.
#pragma once
#include <cstdint>
#include <string>

#include "platform/storage.h"
#include "platform/wintypes.h"

namespace clsprv {

// Appends one line to the log.
void log(const std::string& name, const std::string& value);
// Whether a log is kept: what only the log shows need not be gathered.
bool logging();
// A slot the stand-in does not serve: logs "call <name>", answers E_NOTIMPL.
HRESULT notImplemented(const char* name);
// A byte string quoted and escaped for the log.
std::string quoted(const std::string& bytes);
// Text of a wide string (UTF-8; a path as its bytes, see tvp::pathToWide),
// "(null)" for null.
std::string textOf(const char16_t* s);

// The whole content of a file; false when it cannot be read, with the
// system's error number in *error when given.
bool readFile(const std::string& path, std::string& bytes, int* error = nullptr);
// Up to limit bytes from the start of the named stream of storage; false
// when the stream does not open.
bool streamHead(IStorage* storage, const char* name, size_t limit, std::string& bytes);
// Whether a storage answers: its elements can be enumerated.
bool storageOpens(IStorage* storage);

// The knobs.
HRESULT resultKnob();
LONG statusKnob();
std::string textKnob();
// Writes the knob's section into storage (nothing when unset); logs what
// it did. False when its file cannot be read (said on standard error).
bool writeSectionKnob(IStorage* storage);

}  // namespace clsprv
