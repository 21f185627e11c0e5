#include "settingspages/core/portlist.h"

#include <algorithm>

namespace dorvane {

namespace {

// "COM12" -> 12; other names sort after every COM port, by name.
unsigned long PortNumber(const std::u16string& name) {
    if (name.size() <= 3 || name.compare(0, 3, u"COM") != 0) {
        return ~0ul;
    }
    unsigned long number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < u'0' || name[i] > u'9' || number > 100000) {
            return ~0ul;
        }
        number = number * 10 + (name[i] - u'0');
    }
    return number;
}

std::u16string WithoutPortSuffix(std::u16string friendly, const std::u16string& name) {
    const std::u16string suffix = u" (" + name + u")";
    if (friendly.size() >= suffix.size() && friendly.compare(friendly.size() - suffix.size(), suffix.size(), suffix) == 0) {
        friendly.resize(friendly.size() - suffix.size());
    }
    return friendly;
}

}  // namespace

std::u16string DescribePresentPorts(std::vector<PresentPort> ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const PresentPort& a, const PresentPort& b) {
        const unsigned long na = PortNumber(a.name), nb = PortNumber(b.name);
        return na != nb ? na < nb : a.name < b.name;
    });
    std::u16string text = u"On this PC: ";
    bool first = true;
    for (size_t i = 0; i < ports.size(); ++i) {
        if (i > 0 && ports[i].name == ports[i - 1].name) {
            continue;  // listed by the device map and by the device's own entry
        }
        const std::u16string friendly = WithoutPortSuffix(ports[i].friendlyName, ports[i].name);
        text += (first ? u"" : u", ") + ports[i].name;
        if (!friendly.empty() && friendly != ports[i].name) {
            text += u" (" + friendly + u")";
        }
        first = false;
    }
    return first ? text + u"none found" : text;
}

}  // namespace dorvane
