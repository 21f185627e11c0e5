// Waiting for a lost device: after the port's device is gone (a USB adapter pulled out, a PC
// resumed from sleep), the service is off and the port is tried again now and then; as soon as
// it opens, the service is enabled again exactly as the menu does. Tries are quiet: one trace
// line per change of state, never one per try, and no box.
#pragma once

#include <string>

namespace dorvane {

class IPortWatchHost {
public:
    virtual ~IPortWatchHost() = default;
    // The configured port, read anew at each try (the settings may change while waiting).
    virtual std::u16string WatchedPortName() = 0;
    // Whether the port opens and answers now; closes it again, traces nothing.
    virtual bool PortOpens(const std::u16string& name) = 0;
    // Enables the service as the menu does.
    virtual void EnableServiceAgain() = 0;
    virtual void TraceWatch(const std::u16string& line) = 0;
    // The periodic tries: started while waiting, stopped otherwise.
    virtual void StartTries() = 0;
    virtual void StopTries() = 0;
};

class CPortWatch {
public:
    explicit CPortWatch(IPortWatchHost& host) : m_host(host) {}

    // The device is gone: wait for it.
    void StartWaiting();
    // A periodic try, or the system announced a new port: if the port opens, the waiting ends
    // and the service is enabled.
    void Try();
    // The user turned the service off or quit: no more tries.
    void StopWaiting();
    // The settings may name another port now: wait for that one, and try at once.
    void Restart();

    bool IsWaiting() const { return m_bWaiting; }
    const std::u16string& PortName() const { return m_strPort; }

private:
    IPortWatchHost& m_host;
    bool m_bWaiting = false;
    std::u16string m_strPort;
};

}  // namespace dorvane
