#include "pipeline/win32logfile.h"

#include <windows.h>

#include "core/widestr.h"

namespace dorvane {

namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                             written == bytes.size());
}

}  // namespace

bool CWin32LogFile::Append(const std::u16string& path, const std::string& header, const std::string& bytes,
                           uint32_t& error) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file, even
    // when another writer has appended meanwhile.
    // https://learn.microsoft.com/windows/win32/fileio/file-access-rights-constants
    HANDLE file = CreateFileW(AsWide(path.c_str()), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    const bool sized = GetFileSizeEx(file, &size) != FALSE;
    const bool ok = sized && (size.QuadPart != 0 || WriteAll(file, header)) && WriteAll(file, bytes);
    error = ok ? 0 : GetLastError();
    CloseHandle(file);
    return ok;
}

}  // namespace dorvane
