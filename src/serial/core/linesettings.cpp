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

namespace {

// The record's flag bits this program sets for a flow control.
constexpr uint32_t kParityFlag = 1u << 1;
constexpr uint32_t kOutxCtsFlow = 1u << 2, kOutxDsrFlow = 1u << 3, kDsrSensitivity = 1u << 6;
constexpr uint32_t kOutX = 1u << 8, kInX = 1u << 9;
constexpr uint32_t kDtrControlMask = 3u << 4, kDtrEnable = 1u << 4;
constexpr uint32_t kRtsControlMask = 3u << 12, kRtsEnable = 1u << 12, kRtsHandshake = 2u << 12;

}  // namespace

LineFields ReadLineFields(const LineSettings& settings) {
    LineFields fields;
    fields.baud = ReadField32(settings, dcb::kBaudRate);
    fields.dataBits = settings[dcb::kByteSize];
    fields.parity = settings[dcb::kParity];
    fields.stopBits = settings[dcb::kStopBits];
    const uint32_t flags = ReadField32(settings, dcb::kFlags);
    if ((flags & kOutxCtsFlow) && (flags & kRtsControlMask) == kRtsHandshake) {
        fields.flow = FlowControl::kRtsCts;
    } else if (flags & (kOutX | kInX)) {
        fields.flow = FlowControl::kXonXoff;
    }
    return fields;
}

void WriteLineFields(LineSettings& settings, const LineFields& fields) {
    WriteField32(settings, dcb::kBaudRate, fields.baud);
    settings[dcb::kByteSize] = fields.dataBits;
    settings[dcb::kParity] = fields.parity;
    settings[dcb::kStopBits] = fields.stopBits;
    uint32_t flags = ReadField32(settings, dcb::kFlags);
    flags = fields.parity != 0 ? flags | kParityFlag : flags & ~kParityFlag;
    // DSR flow is never offered: it is off, and DTR simply on, whichever flow is chosen.
    flags &= ~(kOutxCtsFlow | kOutxDsrFlow | kDsrSensitivity | kOutX | kInX | kDtrControlMask | kRtsControlMask);
    flags |= kDtrEnable;
    switch (fields.flow) {
        case FlowControl::kNone:
            flags |= kRtsEnable;
            break;
        case FlowControl::kXonXoff:
            flags |= kOutX | kInX | kRtsEnable;
            break;
        case FlowControl::kRtsCts:
            flags |= kOutxCtsFlow | kRtsHandshake;
            break;
    }
    WriteField32(settings, dcb::kFlags, flags);
    MakeAcceptable(settings);
}

bool ValidStopBits(uint8_t dataBits, uint8_t stopBits) {
    constexpr uint8_t kOneAndHalf = 1, kTwo = 2;
    return stopBits <= kTwo && !(dataBits == 5 && stopBits == kTwo) && !(dataBits > 5 && stopBits == kOneAndHalf);
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
    if (!ValidStopBits(settings[dcb::kByteSize], settings[dcb::kStopBits])) {
        settings[dcb::kStopBits] = settings[dcb::kByteSize] == 5 ? 1 : 2;
    }
    return settings != before;
}

}  // namespace dorvane
