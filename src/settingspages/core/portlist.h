// The line under the General page's port list that names the ports this PC has.
#pragma once

#include <string>
#include <vector>

namespace dorvane {

struct PresentPort {
    std::u16string name;          // "COM3"
    std::u16string friendlyName;  // "USB Serial Port (COM3)" where the system has one, else empty
};

// "On this PC: COM3 (USB Serial Port), COM7": the ports in number order, each once, a friendly
// name without its own "(COMn)" ending; "On this PC: none found" when there are none.
std::u16string DescribePresentPorts(std::vector<PresentPort> ports);

}  // namespace dorvane
