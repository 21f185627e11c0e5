// The line-settings record (the Windows DCB, 28 bytes) as the port's SetCommState takes it.
// Wine applies records that Windows refuses; a refused record, once stored, would fail every
// enable with "SetCommState failed!". Records are made acceptable before they are applied or
// stored, keeping every value that is already valid.
#pragma once

#include <cstdint>

#include "serial/core/commport.h"

namespace dorvane {

// Offsets and values of the record's fields that this program reads or mends.
namespace dcb {
inline constexpr size_t kBaudRate = 4, kFlags = 8, kByteSize = 18, kParity = 19, kStopBits = 20;
inline constexpr size_t kXonChar = 21, kXoffChar = 22;
inline constexpr uint32_t kBinaryFlag = 0x1;  // fBinary: Windows supports binary mode only
inline constexpr uint8_t kXon = 0x11, kXoff = 0x13;
}  // namespace dcb

uint32_t ReadField32(const LineSettings& settings, size_t offset);
void WriteField32(LineSettings& settings, size_t offset, uint32_t value);

// The fields a user chooses in the line-settings dialog.
enum class FlowControl { kNone, kXonXoff, kRtsCts };
struct LineFields {
    uint32_t baud = 9600;
    uint8_t dataBits = 8;  // 5 to 8
    uint8_t parity = 0;    // none, odd, even, mark, space
    uint8_t stopBits = 0;  // 1, 1.5, 2 stop bits
    FlowControl flow = FlowControl::kNone;
    bool operator==(const LineFields&) const = default;
};

LineFields ReadLineFields(const LineSettings& settings);
// Writes the fields into the record (every other field kept) and makes it one Windows accepts.
void WriteLineFields(LineSettings& settings, const LineFields& fields);

// Whether data bits (5 to 8) go with stop bits (0 = 1, 1 = 1.5, 2 = 2): the DCB reference calls
// 5 data bits with 2 stop bits, and 6 to 8 data bits with 1.5 stop bits, invalid.
// https://learn.microsoft.com/windows/win32/api/winbase/ns-winbase-dcb
bool ValidStopBits(uint8_t dataBits, uint8_t stopBits);

// Mends what Windows would refuse or cannot mean: the length field, binary mode, equal XON and
// XOFF characters (both become DC1 and DC3), a zero baud rate (9600), a byte size outside 5..8
// (8), parity beyond space (none), stop bits beyond two (one), and stop bits that do not go
// with the data bits (5 data bits with 1.5 instead of 2, 6 to 8 with 2 instead of 1.5: the
// nearest length the line allows). True when anything changed.
bool MakeAcceptable(LineSettings& settings);

}  // namespace dorvane
