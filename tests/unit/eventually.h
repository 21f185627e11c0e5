// Waits for something another thread does: polls check() for at most five seconds.
#pragma once

#include <chrono>
#include <thread>

namespace dorvane::testing {

template <class Check>
bool Eventually(Check check) {
    for (int i = 0; i < 500; ++i) {
        if (check()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return check();
}

}  // namespace dorvane::testing
