// The settings sheet "Setting": loads its two pages from the store, shows them, and stores them
// after OK; a port that cannot be opened sends the user round again.
#pragma once

void RunSettingSheet();
