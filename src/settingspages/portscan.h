// The serial ports the device map lists now. Nothing is opened (opening a Bluetooth port
// connects to its device and can take seconds); what the device tree says of each port comes
// from PortsInTree().
#pragma once

#include <string>
#include <vector>

// The port names of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, as listed there.
std::vector<std::u16string> MappedPorts();
