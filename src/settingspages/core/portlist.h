// The General page's port list and the line under it that names the ports this PC has, and the
// device identity stored beside the chosen port.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "serial/core/portidentity.h"

namespace dorvane {

// The list's entry for the port `name`: "COM5 — USB Serial Port (FTDI)" when the device tree
// knows the port, else the name alone. Every entry starts with its port's name.
std::u16string PortListItem(const std::u16string& name, const std::vector<TreePort>& tree);

// The port an entry of the list stands for: "COM5 — USB Serial Port (FTDI)" -> "COM5".
std::u16string PortOfListItem(std::u16string_view item);

// COMPORT_DEVICE to store when OK takes the port `picked`. The port as it was stored keeps the
// identity stored with it, whether or not its device is present now (it will come back); any
// other choice, and the stored port with no identity yet, takes the identity the tree gives
// the port now, empty for a port the tree does not know (under Wine: always).
std::u16string DeviceToStore(const std::u16string& picked, const std::u16string& storedPort,
                             const std::u16string& storedDevice, const std::vector<TreePort>& tree);

// "On this PC: COM3 — USB Serial Port (FTDI), COM7": the ports of the device map (`mapped`,
// names only) and of the device tree, in number order, each once, described as the list
// describes them; "On this PC: none found" when there are none.
std::u16string DescribePresentPorts(const std::vector<std::u16string>& mapped, const std::vector<TreePort>& tree);

}  // namespace dorvane
