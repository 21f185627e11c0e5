// The application's name: the caption of every message box and the tray tooltip at start.
#pragma once

namespace dorvane {

inline constexpr char16_t kAppName[] = u"DORVANE";

}  // namespace dorvane

namespace dorvane {

// The company key the settings live under: HKEY_CURRENT_USER\software\Velmora\DORVANE.
inline constexpr char16_t kCompanyKey[] = u"Velmora";

}  // namespace dorvane
