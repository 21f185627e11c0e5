// Bluetooth device discovery through Windows Sockets' name service; traces every device found.
#pragma once

#include "serial/core/btdiscover.h"

namespace dorvane {

class CWinsockBluetoothNameService : public IBluetoothNameService {
public:
    bool Startup() override;
    void Cleanup() override;
    bool Begin(uint32_t flags, int& error) override;
    int Next(uint32_t flags, std::vector<uint8_t>& buffer, uint32_t& length,
             BluetoothDevice& device) override;
    void End() override;

private:
    void* m_hLookup = nullptr;
};

// Runs one inquiry with the system's name service; the lines go to the trace.
bool DiscoverBluetoothDevices();

}  // namespace dorvane
