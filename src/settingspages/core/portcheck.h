// What the General page knows of its selected port while tries to open it run off the
// user-interface thread (a Bluetooth port out of range takes seconds to refuse).
#pragma once

#include <map>
#include <optional>
#include <string>

namespace dorvane {

class CPortCheck {
public:
    // The selection is now `port`; its answer is unknown until a try for it ends. Returns
    // whether a try must be started (it is counted as running from then): never a second one
    // for a port already being tried (two opens of one port at once, and the second is refused
    // as "in use"). A new selection also ends a wait of OK: the user is choosing again.
    bool Select(const std::u16string& port);

    // The answer for the selected port, once a try for it has ended.
    std::optional<bool> Known() const;

    // OK was pressed. The answer used is one from a try that ends after this press (the port
    // may have been taken since the selection), or from the try already running for it. On
    // kWait, `startTry` says whether a try must be started for the selected port.
    enum class AtOk { kOpens, kDoesNotOpen, kWait };
    AtOk PressOk(bool& startTry);

    // A try for `port` ended. Returns true when OK waits for exactly this answer: the page
    // presses OK again and PressOk then decides.
    bool Take(const std::u16string& port, bool opens);

private:
    std::u16string m_selected;
    std::optional<bool> m_known;
    std::map<std::u16string, int> m_running;  // tries started and not yet answered, per port
    bool m_okWaits = false;
    std::optional<bool> m_okAnswer;  // the answer for the press that waited
};

}  // namespace dorvane
