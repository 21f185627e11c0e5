// One Bluetooth device inquiry through a name service; every device found becomes a trace line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dorvane {

// Lookup flags: the devices themselves, every field, a fresh inquiry rather than the cache.
inline constexpr uint32_t kBluetoothLookupFlags = 0x0002 | 0x0FF0 | 0x1000;
inline constexpr int kWsaNoMore = 10110;
inline constexpr int kWsaCancelled = 10111;
inline constexpr int kWsaFault = 10014;
inline constexpr size_t kBluetoothResultBytes = 5000;

struct BluetoothDevice {
    std::u16string address;              // empty when it could not be converted
    std::optional<std::u16string> name;  // the service instance name, when present
    std::u16string classId;              // the service class GUID in braces
};

class IBluetoothNameService {
public:
    virtual ~IBluetoothNameService() = default;
    virtual bool Startup() = 0;
    virtual void Cleanup() = 0;
    // On failure, error holds the system's code.
    virtual bool Begin(uint32_t flags, int& error) = 0;
    // 0 with device filled in, or the error code. The result goes into buffer (of length
    // bytes); after kWsaFault, length holds the size the result needs.
    virtual int Next(uint32_t flags, std::vector<uint8_t>& buffer, uint32_t& length,
                     BluetoothDevice& device) = 0;
    virtual void End() = 0;
};

// True when a lookup was begun and ended (even if the walk stopped on an error).
bool DiscoverBluetoothDevices(IBluetoothNameService& service,
                              const std::function<void(const std::u16string&)>& trace);

}  // namespace dorvane
