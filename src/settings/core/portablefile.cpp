#include "settings/core/portablefile.h"

#include "settings/core/settingstext.h"

namespace dorvane {

namespace {

std::u16string Refusal(std::u16string_view problem, const std::u16string& fileName,
                       std::u16string_view help) {
    std::u16string text(u"Setting file ");
    text.append(problem).append(u"!\t").append(fileName).append(u"\n").append(help);
    return text;
}

}  // namespace

PortableFileUse OpenPortableFile(IPrivateProfile& files, const std::u16string& fileName,
                                 const std::function<void(uint32_t ms)>& pause) {
    const char16_t* name = fileName.c_str();
    // While the lock is held no copy is in the middle of rewriting the file, so a sharing
    // violation comes from some other program; without the lock (a copy stuck holding it) the
    // file is looked at all the same.
    const bool locked = files.LockFile(name);
    PortableFileUse result;
    FileAccess access = files.WriteAccess(name);
    FileBytes file = files.ReadBytes(name, kMaxSettingsFileBytes);
    for (uint32_t tries = 1;
         tries < kBusyTries && (access == FileAccess::kBusy || file.status == FileBytes::Status::kBusy);
         ++tries) {
        pause(kBusyPauseMs);
        if (access == FileAccess::kBusy) {
            access = files.WriteAccess(name);
        }
        if (file.status == FileBytes::Status::kBusy) {
            file = files.ReadBytes(name, kMaxSettingsFileBytes);
        }
    }
    result.busy = access == FileAccess::kBusy || file.status == FileBytes::Status::kBusy;
    const TextEncoding encoding = DetectEncoding(file.bytes);
    if (file.status == FileBytes::Status::kTooLarge) {
        result.use = PortableFileUse::Use::kRefused;
        result.refusal =
            Refusal(u"is larger than 1 MiB", fileName,
                    u"DORVANE keeps a few kilobytes in it: put an exported settings file in its place.");
    } else if (encoding == TextEncoding::kUtf8 || encoding == TextEncoding::kUtf8Mark ||
               encoding == TextEncoding::kUtf16Be) {
        // The profile functions know only the UTF-16 LE mark and read any other file in the
        // ANSI code page, UTF-8 too: its first section would be lost and every character
        // beyond ASCII garbled.
        // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-writeprivateprofilestringw
        // https://devblogs.microsoft.com/oldnewthing/20240606-00/?p=109861
        std::u16string problem(u"is saved as ");
        problem.append(EncodingName(encoding)).append(u", which Windows reads wrongly");
        result.use = PortableFileUse::Use::kRefused;
        result.refusal = Refusal(problem, fileName,
                                 u"Open it in Notepad, choose File > Save As, set Encoding to \"UTF-16 LE\" "
                                 u"(\"Unicode\" in older Notepads), save it and start DORVANE again.");
    } else if (access == FileAccess::kReadOnly) {
        result.use = PortableFileUse::Use::kReadOnly;
    } else if (file.status == FileBytes::Status::kRead && file.bytes.empty()) {
        files.MarkEmptyFileUtf16(name);
    }
    if (locked) {
        files.UnlockFile(name);
    }
    return result;
}

}  // namespace dorvane
