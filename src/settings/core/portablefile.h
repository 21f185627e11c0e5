// Dorvane.ini beside the program (a portable copy): what the start makes of the file before
// any setting is read from it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "settings/core/registry.h"

namespace dorvane {

struct PortableFileUse {
    enum class Use { kWritable, kReadOnly, kRefused };
    Use use = Use::kWritable;
    std::u16string refusal;  // with kRefused: the box's text
    bool busy = false;       // another program held the file open all the while it was tried
};

// How long a file another program holds open is tried before it is used as it is.
inline constexpr uint32_t kBusyTries = 20, kBusyPauseMs = 100;

// Under the copies' lock: whether the file can be written (a file another program holds open
// for a moment is tried again, and then counts as writable, not read-only), and whether the
// profile functions read it as it was saved: a file in UTF-8 (with or without its mark) or
// UTF-16 BE is refused with how to save it, as is one over kMaxSettingsFileBytes. An empty
// writable file is given the UTF-16 mark, so that every character the user stores survives.
PortableFileUse OpenPortableFile(IPrivateProfile& files, const std::u16string& fileName,
                                 const std::function<void(uint32_t ms)>& pause);

}  // namespace dorvane
