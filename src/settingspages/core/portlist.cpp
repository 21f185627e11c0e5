#include "settingspages/core/portlist.h"

#include <algorithm>
#include <utility>

#include "core/textcase.h"

namespace dorvane {

namespace {

// Between a port's name and what the tree says of it (DescribeTreePort).
constexpr std::u16string_view kDescriptionMark = u" \u2014 ";

// "COM12" -> 12; other names sort after every COM port, by name.
unsigned long PortNumber(const std::u16string& name) {
    if (name.size() <= 3 || !SameTextIgnoringCase(std::u16string_view(name).substr(0, 3), u"COM")) {
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

const TreePort* InTree(const std::u16string& name, const std::vector<TreePort>& tree) {
    const auto found = std::find_if(tree.begin(), tree.end(),
                                    [&](const TreePort& port) { return SameTextIgnoringCase(port.name, name); });
    return found == tree.end() ? nullptr : &*found;
}

}  // namespace

std::u16string PortListItem(const std::u16string& name, const std::vector<TreePort>& tree) {
    const TreePort* known = InTree(name, tree);
    if (known == nullptr) {
        return name;
    }
    TreePort port = *known;
    port.name = name;  // the list's spelling: the entry is found by it
    return DescribeTreePort(port);
}

std::u16string PortOfListItem(std::u16string_view item) {
    return std::u16string(item.substr(0, item.find(kDescriptionMark)));
}

std::u16string DeviceToStore(const std::u16string& picked, const std::u16string& storedPort,
                             const std::u16string& storedDevice, const std::vector<TreePort>& tree) {
    // A port set before devices were remembered is bound to its device at the next OK: the
    // user sees it described in the list and keeps it, which is picking it.
    if (SameTextIgnoringCase(picked, storedPort) && !storedDevice.empty()) {
        return storedDevice;
    }
    return IdentityToStore(picked, tree);
}

std::u16string DescribePresentPorts(const std::vector<std::u16string>& mapped, const std::vector<TreePort>& tree) {
    std::vector<std::pair<std::u16string, std::u16string>> ports;  // name, description
    for (const TreePort& port : tree) {
        ports.emplace_back(port.name, DescribeTreePort(port));
    }
    for (const std::u16string& name : mapped) {
        if (InTree(name, tree) == nullptr) {
            ports.emplace_back(name, name);
        }
    }
    std::stable_sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
        const unsigned long na = PortNumber(a.first), nb = PortNumber(b.first);
        return na != nb ? na < nb : a.first < b.first;
    });
    std::u16string text = u"On this PC: ";
    for (size_t i = 0; i < ports.size(); ++i) {
        if (i > 0 && SameTextIgnoringCase(ports[i].first, ports[i - 1].first)) {
            continue;  // a port the device map lists twice
        }
        text += (i > 0 ? u", " : u"") + ports[i].second;
    }
    return ports.empty() ? text + u"none found" : text;
}

}  // namespace dorvane
