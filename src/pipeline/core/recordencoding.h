// The bytes of the recording file. Written by the program itself, not by the C runtime's
// "ccs=" text modes: those differ between runtimes (the system's msvcrt.dll this build links
// is undocumented, and the documented runtime's table for ccs=UNICODE changed between editions),
// and the file's bytes are the interface other programs read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dorvane {

enum class RecordEncoding { kUtf16Le, kUtf8 };

// The encoding an append continues in, from the file's first bytes (as many as it has, up to
// three): a file that starts with the UTF-8 byte-order mark stays UTF-8, any other UTF-16LE.
RecordEncoding EncodingForAppend(const uint8_t* head, size_t count);

// One item's bytes: every LF stored as CR LF, nothing between items; `mark` puts the byte-order
// mark first (a new or empty UTF-16LE file).
std::string EncodeRecordItem(const std::u16string& text, RecordEncoding encoding, bool mark);

}  // namespace dorvane
