// Waiting for a lost device: after the port's device is gone (a USB adapter pulled out, a PC
// resumed from sleep), the service is off and the port is tried again now and then; as soon as
// it opens, the service is enabled again exactly as the menu does. Tries are quiet: one trace
// line per change of state, never one per try, and no box.
#pragma once

#include <string>

namespace dorvane {

// What the system's device notices mean for the port the service has open: the device was
// removed (a port of that name, DBT_DEVICEREMOVECOMPLETE), or devices changed and the port no
// longer answers (DBT_DEVNODES_CHANGED). Port names compare without regard to case.
enum class DeviceNotice { kPortRemoved, kDevicesChanged, kOther };
bool NoticeMeansPortLost(DeviceNotice notice, const std::u16string& removedPort, const std::u16string& openPort,
                         bool openPortResponds);

class IPortWatchHost {
public:
    virtual ~IPortWatchHost() = default;
    // The configured port, read anew at each try (the settings may change while waiting).
    virtual std::u16string WatchedPortName() = 0;
    // Starts finding out whether the port opens and answers now, on a thread of its own (opening
    // a Bluetooth port connects to the device, which takes seconds when it is out of range); the
    // answer comes back on the waiting thread through CPortWatch::OnTryAnswer.
    virtual void StartPortTry(const std::u16string& name) = 0;
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
    // A periodic try, or the system announced a new port: a try is started unless one runs.
    void Try();
    // The answer of a try: if the port waited for opens, the waiting ends and the service is
    // enabled.
    void OnTryAnswer(const std::u16string& name, bool opens);
    // The user turned the service off or quit: no more tries.
    void StopWaiting();
    // The settings may name another port now: wait for that one, and try at once.
    void Restart();

    bool IsWaiting() const { return m_bWaiting; }
    const std::u16string& PortName() const { return m_strPort; }

private:
    IPortWatchHost& m_host;
    bool m_bWaiting = false;
    bool m_bTryRunning = false;
    bool m_bTryAgain = false;  // a try was asked for while one ran
    std::u16string m_strPort;
};

}  // namespace dorvane
