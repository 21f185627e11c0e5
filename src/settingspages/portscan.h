// The serial ports this PC has now, as Windows lists them, with the devices' friendly names.
// Nothing is opened (opening a Bluetooth port connects to its device and can take seconds).
#pragma once

#include <vector>

#include "settingspages/core/portlist.h"

// From HKLM\HARDWARE\DEVICEMAP\SERIALCOMM; friendly names from the Ports device class.
std::vector<dorvane::PresentPort> PresentPorts();
