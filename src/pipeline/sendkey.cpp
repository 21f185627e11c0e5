#include "pipeline/sendkey.h"

#include <windows.h>

#include <vector>

namespace dorvane {

int16_t CWin32KeyboardLayout::LookupKey(char16_t ch) {
    return VkKeyScanW(static_cast<WCHAR>(ch));
}

void CWin32KeyInjector::Inject(const KeyStroke* strokes, size_t count) {
    // Every field but the type, the virtual key and the key-up flag stays zero: no scan code,
    // no time stamp, no extra information.
    std::vector<INPUT> inputs(count, INPUT{});
    for (size_t i = 0; i < count; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = strokes[i].vk;
        inputs[i].ki.dwFlags = strokes[i].keyUp ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(static_cast<UINT>(count), inputs.data(), sizeof(INPUT));
}

}  // namespace dorvane
