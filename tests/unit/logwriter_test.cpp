#include <doctest/doctest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "eventually.h"
#include "pipeline/core/logwriter.h"

using namespace dorvane;

namespace {

// A file that refuses writes while `failing`, and keeps what it was given.
struct FakeLogFile : ILogFile {
    std::mutex mutex;
    std::string content;
    bool failing = false;
    int appends = 0;
    bool Append(const std::u16string&, const std::string& header, const std::string& bytes, uint32_t& error) override {
        std::lock_guard lock(mutex);
        ++appends;
        if (failing) {
            error = 112;  // ERROR_DISK_FULL
            return false;
        }
        if (content.empty()) {
            content = header;
        }
        content += bytes;
        return true;
    }
    std::string Content() {
        std::lock_guard lock(mutex);
        return content;
    }
    void SetFailing(bool value) {
        std::lock_guard lock(mutex);
        failing = value;
    }
};

}  // namespace

TEST_CASE("the log: a header with the UTF-8 mark on a new file, lines in order, a failing file told once and written later") {
    FakeLogFile file;
    std::mutex mutex;
    std::vector<std::string> events;
    auto note = [&](std::string event) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    };
    CLogWriter writer(file, {[&](const std::u16string& line) { note("trace " + std::string(line.begin(), line.end())); },
                             [&](const std::u16string&, uint32_t error) { note("failed " + std::to_string(error)); },
                             [&] { note("recovered"); }});
    REQUIRE(writer.Start(u"C:\\logs\\dorvane.csv"));
    writer.Write(u"a,\u00E4");
    CHECK(testing::Eventually([&] { return file.Content().size() > 3; }));
    CHECK(file.Content() == "\xEF\xBB\xBFtime,profile,port,outcome,typed,raw,program\r\na,\xC3\xA4\r\n");

    file.SetFailing(true);
    writer.Write(u"b");
    writer.Write(u"c");
    CHECK(testing::Eventually([&] {
        std::lock_guard lock(mutex);
        return events.size() >= 2;
    }));
    file.SetFailing(false);
    writer.Write(u"d");  // the next reading: what waited goes first
    CHECK(testing::Eventually([&] { return file.Content().find("d\r\n") != std::string::npos; }));
    writer.Stop();
    CHECK(file.Content().substr(file.Content().find("a,")) == "a,\xC3\xA4\r\nb\r\nc\r\nd\r\n");
    std::lock_guard lock(mutex);
    CHECK(std::count(events.begin(), events.end(), "failed 112") == 1);  // told once however often it fails
    CHECK(events.back() == "recovered");
}

TEST_CASE("a relative log path is taken in the base folder, a full one as it is") {
    struct Case {
        const char16_t* setting;
        const char16_t* base;
        const char16_t* path;
    };
    const Case cases[] = {
        {u"scans.csv", u"C:\\Users\\ana\\Documents", u"C:\\Users\\ana\\Documents\\scans.csv"},
        {u"logs\\scans.csv", u"D:\\Dorvane", u"D:\\Dorvane\\logs\\scans.csv"},
        {u"C:\\Logs\\scans.csv", u"D:\\Dorvane", u"C:\\Logs\\scans.csv"},
        {u"\\\\server\\share\\scans.csv", u"D:\\Dorvane", u"\\\\server\\share\\scans.csv"},
        {u"\\Logs\\scans.csv", u"D:\\Dorvane", u"\\Logs\\scans.csv"},
        {u"scans.csv", u"", u"scans.csv"},  // no folder known: the system's current one
        {u"", u"D:\\Dorvane", u""},          // no log
    };
    for (const Case& c : cases) {
        CAPTURE(&c - cases);
        CHECK(LogPathFor(c.setting, c.base) == c.path);
    }
}

TEST_CASE("no log file: nothing is written, nothing kept") {
    FakeLogFile file;
    CLogWriter writer(file, {});
    CHECK(writer.Start(u""));
    writer.Write(u"a");
    writer.Stop();
    CHECK(file.appends == 0);
}
