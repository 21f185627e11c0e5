// The serial ports the device tree lists now (the Ports setup class), with each device's
// friendly name, maker and instance ID. Under Wine, and for ports no device entry stands
// behind (some virtual ports), the list has no entry for them.
#pragma once

#include <vector>

#include "serial/core/portidentity.h"

std::vector<dorvane::TreePort> PortsInTree();
