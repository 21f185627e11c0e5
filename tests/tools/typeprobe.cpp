// Types a text through the product's keystroke synthesiser and its Win32 adapters into
// whatever window has the focus, after writing the layout lookup of every character:
//   lookup 0x0041 0x0141        (UTF-16 unit, VkKeyScanW result as 16 bits)
//   sent 12                     (the synthesiser's "Sent Key" count afterwards)
//   caps 0|1                    (with "target": Caps Lock as the foreground window's thread sees it)
//   typeprobe.exe TEXT_FILE_UTF8 OUT_FILE [target]
// With "target" the text is typed for the foreground window (its layout, its Caps Lock) as the
// send-key worker does; without, with the plain rules of the calling thread's layout.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/widestr.h"
#include "pipeline/capslockwatch.h"
#include "pipeline/sendkey.h"
#include "toolio.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc < 3) {
        return 2;
    }
    std::ifstream input(__wargv[1], std::ios::binary);
    const std::string utf8((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    const std::wstring text = toolio::Decode(CP_UTF8, utf8);
    toolio::LineFile out(__wargv[2]);
    if (!input || !out.ok()) {
        return 3;
    }

    dorvane::CWin32KeyboardLayout layout;
    dorvane::CWin32KeyInjector injector;
    char line[64];
    for (wchar_t ch : text) {
        std::snprintf(line, sizeof(line), "lookup 0x%04x 0x%04x", static_cast<unsigned>(ch),
                      static_cast<unsigned>(static_cast<uint16_t>(layout.LookupKey(ch))));
        out.Write(line);
    }

    dorvane::CKeySynthesizer synth(layout, injector);
    dorvane::CCapsLockWatch capsLock;
    if (__argc > 3 && std::wstring(__wargv[3]) == L"target") {
        capsLock.Start();
        dorvane::TypingTarget target =
            dorvane::TypingTargetFor(reinterpret_cast<uintptr_t>(GetForegroundWindow()));
        target.capsLock = capsLock.IsOn();
        out.Write(target.capsLock ? "caps 1" : "caps 0");
        synth.BeginItem(target);
    }
    synth.SendKeys(dorvane::AsUtf16(text.c_str()));
    synth.ReleaseModifierKeys();
    std::snprintf(line, sizeof(line), "sent %u", synth.SentKeyCount());
    out.Write(line);
    return 0;
}
