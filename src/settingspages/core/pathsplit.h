// Splitting a path at its last separator, into fixed buffers that are never overrun.
#pragma once

#include <cstddef>

namespace dorvane {

// The part before the last separator (without it), or null with an empty destination when the
// source holds no separator. A part that does not fit destChars (terminator included) is not
// copied: the destination stays empty and the result is null.
const char16_t* GetPathFolder(const char16_t* source, char16_t* dest, size_t destChars, char16_t separator);
// The part after the last separator (possibly empty), or the whole source when it has none.
// A part that does not fit is not copied: the destination stays empty and the result is null.
const char16_t* GetPathFileName(const char16_t* source, char16_t* dest, size_t destChars, char16_t separator);

}  // namespace dorvane
