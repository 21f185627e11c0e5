// Tries a port off the user-interface thread. Opening a Bluetooth outgoing port connects to the
// device, which takes seconds when it is off or out of range; meanwhile the tray, broadcasts and
// the installer's quit request must still be answered.
// In the serial floor, below both its users (the settings sheet's General page and the frame
// waiting for its device): trying a port is the serial link's business, whatever window asks.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CPortTryRunner {
public:
    // Whether the port opens and answers; runs on a thread of its own.
    using ProbeFn = std::function<bool(const std::u16string& name)>;
    explicit CPortTryRunner(ProbeFn probe) : m_probe(std::move(probe)) {}

    // Starts a try. When it is done, `message` is posted to `window` with no parameters (a
    // message carries nothing another program could forge); TakeAnswers gives the results.
    // A try still running when this object goes is let finish; its answer is then dropped.
    bool Start(HWND window, UINT message, const std::u16string& name);

    struct Answer {
        std::u16string name;
        bool opens;
    };
    std::vector<Answer> TakeAnswers();
    // Blocks at most `milliseconds` until an answer is waiting; for a caller that can spare a
    // moment before it goes on without one (most ports answer in a few milliseconds).
    bool WaitForAnswer(DWORD milliseconds);

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable answered;
        std::vector<Answer> answers;
    };
    ProbeFn m_probe;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};
