// The settings sheet "Setting": loads its pages from the store, shows them, and stores them
// after OK; a port that cannot be opened sends the user round again. `sample` is the reading
// the Data page previews first (the last one received, or empty).
#pragma once

#include <string>

void RunSettingSheet(const std::u16string& sample);
