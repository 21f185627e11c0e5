// The Win32 side of keystroke synthesis: the keyboard layout of the calling thread
// (VkKeyScanW) and injection into the system's input stream (SendInput).
#pragma once

#include "pipeline/core/keysynthesizer.h"

namespace dorvane {

class CWin32KeyboardLayout : public IKeyboardLayout {
public:
    int16_t LookupKey(char16_t ch) override;
};

class CWin32KeyInjector : public IKeyInjector {
public:
    // One SendInput call per batch; its result is not examined, since a blocked injection
    // (a window of higher integrity has the focus) cannot be repaired from here.
    void Inject(const KeyStroke* strokes, size_t count) override;
};

}  // namespace dorvane
