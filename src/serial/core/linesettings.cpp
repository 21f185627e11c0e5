#include "serial/core/linesettings.h"

namespace dorvane {

uint32_t ReadField32(const LineSettings& settings, size_t offset) {
    return static_cast<uint32_t>(settings[offset]) | static_cast<uint32_t>(settings[offset + 1]) << 8 |
           static_cast<uint32_t>(settings[offset + 2]) << 16 | static_cast<uint32_t>(settings[offset + 3]) << 24;
}

void WriteField32(LineSettings& settings, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        settings[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool RefusedByWindows(const LineSettings& settings) {
    return ReadField32(settings, 0) != kLineSettingsSize || settings[dcb::kXonChar] == settings[dcb::kXoffChar];
}

bool MakeAcceptable(LineSettings& settings) {
    const LineSettings before = settings;
    WriteField32(settings, 0, kLineSettingsSize);
    WriteField32(settings, dcb::kFlags, ReadField32(settings, dcb::kFlags) | dcb::kBinaryFlag);
    if (settings[dcb::kXonChar] == settings[dcb::kXoffChar]) {
        settings[dcb::kXonChar] = dcb::kXon;
        settings[dcb::kXoffChar] = dcb::kXoff;
    }
    if (ReadField32(settings, dcb::kBaudRate) == 0) {
        WriteField32(settings, dcb::kBaudRate, 9600);
    }
    if (settings[dcb::kByteSize] < 5 || settings[dcb::kByteSize] > 8) {
        settings[dcb::kByteSize] = 8;
    }
    if (settings[dcb::kParity] > 4) {
        settings[dcb::kParity] = 0;
    }
    if (settings[dcb::kStopBits] > 2) {
        settings[dcb::kStopBits] = 0;
    }
    return settings != before;
}

}  // namespace dorvane
