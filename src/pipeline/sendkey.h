// The Win32 side of keystroke synthesis: the keyboard layouts (VkKeyScanExW, ToUnicodeEx) and
// injection into the system's input stream (SendInput).
#pragma once

#include "pipeline/core/keysynthesizer.h"

namespace dorvane {

class CWin32KeyboardLayout : public IKeyboardLayout {
public:
    int16_t LookupKey(char16_t ch) override;
    int16_t LookupKeyIn(char16_t ch, LayoutId layout) override;
    KeyOutput Output(uint8_t vk, uint8_t state, bool capsLock, LayoutId layout) override;
    ScanCode ScanCodeOf(uint8_t vk, LayoutId layout) override;
};

class CWin32KeyInjector : public IKeyInjector {
public:
    // One SendInput call per batch; returns how many events the system took (fewer when input
    // is blocked, for one by a window of higher integrity).
    size_t Inject(const KeyStroke* strokes, size_t count) override;
};

// A window as a typing target: its thread's layout, and whether its process runs at a higher
// integrity level than this one (Caps Lock comes from CCapsLockWatch).
TypingTarget TypingTargetFor(uintptr_t window);
// Whether a process runs at a higher integrity level than this one (or cannot be asked).
bool RunsHigher(uint32_t processId);

}  // namespace dorvane
