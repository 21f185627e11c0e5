#include "serial/core/btdiscover.h"

#include "core/decimal.h"

namespace dorvane {

namespace {

// A result larger than this is not worth the memory: the walk ends instead.
constexpr uint32_t kLargestResultBytes = 64 * 1024;

}  // namespace

bool DiscoverBluetoothDevices(IBluetoothNameService& service,
                              const std::function<void(const std::u16string&)>& trace) {
    if (!service.Startup()) {
        trace(u"WSAStartup failed!");
        return false;
    }
    int error = 0;
    if (!service.Begin(kBluetoothLookupFlags, error)) {
        trace(u"WSALookupServiceBegin failed! err=" + DecimalText(error));
        service.Cleanup();
        return false;
    }
    std::vector<uint8_t> buffer(kBluetoothResultBytes);
    bool enlarged = false;
    for (;;) {
        uint32_t length = static_cast<uint32_t>(buffer.size());
        BluetoothDevice device;
        const int result = service.Next(kBluetoothLookupFlags, buffer, length, device);
        if (result == 0) {
            const std::u16string name =
                device.name && !device.name->empty() ? *device.name : u"[no service name]";
            trace(u"found BT dev, addr=" + device.address + u", name=\"" + name + u"\", id=" +
                  device.classId);
            continue;
        }
        if (result == kWsaNoMore || result == kWsaCancelled) {
            break;
        }
        if (result == kWsaFault) {
            trace(u"WSALookupServiceNext error, buffer too small");
            // The result is retried once in a buffer of the size it asks for; a second refusal,
            // or a size that is no larger or unreasonable, ends the walk instead of looping.
            if (enlarged || length <= buffer.size() || length > kLargestResultBytes) {
                break;
            }
            buffer.assign(length, 0);
            enlarged = true;
            continue;
        }
        trace(u"WSALookupServiceNext error: " + DecimalText(result) + u", disvover aborted!");
        break;
    }
    service.End();
    service.Cleanup();
    return true;
}

}  // namespace dorvane
