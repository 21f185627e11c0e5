#include <doctest/doctest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/core/taskqueue.h"

using namespace dorvane;

TEST_CASE("tasks run on the window thread in order, one wake-up per batch, a failed wake-up asked again") {
    int wakes = 0;
    bool wakeWorks = true;
    CTaskQueue queue([&] {
        ++wakes;
        return wakeWorks;
    });
    std::string ran;
    queue.Post([&] { ran += 'a'; });
    queue.Post([&] { ran += 'b'; });
    CHECK(wakes == 1);  // the second task rides on the first one's wake-up
    CHECK(ran.empty());  // nothing runs on the posting thread
    queue.RunTasks();
    CHECK(ran == "ab");

    // A task posting a task: it runs at the next wake-up, which it asked for.
    queue.Post([&] {
        ran += 'c';
        queue.Post([&] { ran += 'd'; });
    });
    queue.RunTasks();
    CHECK(ran == "abc");
    CHECK(wakes == 3);
    queue.RunTasks();
    CHECK(ran == "abcd");

    // A full message queue: the wake-up is not handed on, and the next post asks again.
    wakeWorks = false;
    queue.Post([&] { ran += 'e'; });
    wakeWorks = true;
    queue.Post([&] { ran += 'f'; });
    CHECK(wakes == 5);
    queue.RunTasks();
    CHECK(ran == "abcdef");

    // A forged wake-up runs nothing that was not posted; Clear drops what waits.
    queue.RunTasks();
    queue.Post([&] { ran += 'g'; });
    queue.Clear();
    queue.RunTasks();
    CHECK(ran == "abcdef");
}

TEST_CASE("tasks posted from several threads all run once, each thread's in its order") {
    std::atomic<int> wakes{0};
    CTaskQueue queue([&] {
        ++wakes;
        return true;
    });
    constexpr int kThreads = 3;
    constexpr int kTasks = 500;
    std::vector<std::vector<int>> seen(kThreads);  // touched only by the running thread
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kTasks; ++i) {
                queue.Post([&seen, t, i] { seen[t].push_back(i); });
            }
        });
    }
    std::atomic<bool> done{false};
    std::thread runner([&] {
        while (!done.load()) {
            queue.RunTasks();
        }
        queue.RunTasks();
    });
    for (std::thread& poster : posters) {
        poster.join();
    }
    done = true;
    runner.join();
    for (const std::vector<int>& one : seen) {
        REQUIRE(one.size() == kTasks);
        for (int i = 0; i < kTasks; ++i) {
            CHECK(one[i] == i);
        }
    }
}
