// Native figures of the keystroke pipeline with its real worker thread: readings per second
// through OnCommRead -> flush -> worker -> a keyboard that injects nothing, and -> a recording
// file on disk; and the time from a CR/LF burst to the first injected key.
// Prints a table and writes JSON to the path given as the first argument.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "pipeline/core/readingpipeline.h"
#include "pipeline/core/readingrules.h"
#include "pipeline/core/shapingthread.h"
#include "settings/core/registry.h"
#include "settings/core/settingkeys.h"

using namespace dorvane;
using Clock = std::chrono::steady_clock;

namespace {

// A store that holds values in memory only.
class MemoryRegistry : public IRegistry {
public:
    RegKey OpenSoftwareKey() override { return 1; }
    RegKey CreateKey(RegKey, std::u16string_view) override { return 1; }
    void CloseKey(RegKey) override {}
    bool QueryValue(RegKey, std::u16string_view name, size_t, RegValue& out) override {
        auto found = m_values.find(std::u16string(name));
        if (found == m_values.end()) {
            return false;
        }
        out = found->second;
        return true;
    }
    bool SetValue(RegKey, std::u16string_view name, RegType type, const uint8_t* data, size_t size) override {
        m_values[std::u16string(name)] = RegValue{type, std::vector<uint8_t>(data, data + size)};
        return true;
    }
    bool DeleteValue(RegKey, std::u16string_view) override { return true; }
    bool DeleteKey(RegKey, std::u16string_view) override { return true; }

private:
    std::map<std::u16string, RegValue> m_values;
};

// The settings live in the registry fake: no file is ever asked for.
class NoIni : public IPrivateProfile {
public:
    bool LockFile(const char16_t*) override { return true; }
    void UnlockFile(const char16_t*) override {}
    FileBytes ReadBytes(const char16_t*, size_t) override { return {}; }
    FileAccess WriteAccess(const char16_t*) override { return FileAccess::kReadOnly; }
    bool MarkEmptyFileUtf16(const char16_t*) override { return false; }
    bool WriteString(const char16_t*, const char16_t*, const char16_t*, const char16_t*) override {
        return true;
    }
    std::optional<std::u16string> GetString(const char16_t*, const char16_t*, const char16_t*) override {
        return std::nullopt;
    }
};

class QuietHost : public IPipelineHost {
public:
    void Trace(const std::u16string&) override {}
    void ReportError(const char16_t* text, bool) override {
        std::fprintf(stderr, "error: %zu\n", std::char_traits<char16_t>::length(text));
    }
    bool ShowTrayPicture(TrayPicture) override { return true; }
    void PostServiceOff() override {}
};

// UTF-16LE with CR LF line ends and a flush per item, as the Windows runtime writes it.
class FileWriter : public IRecordWriter {
public:
    explicit FileWriter(FILE* file) : m_file(file) {}
    ~FileWriter() override { std::fclose(m_file); }
    bool Write(const std::u16string& text) override {
        std::u16string out;
        for (char16_t ch : text) {
            if (ch == u'\n') {
                out.push_back(u'\r');
            }
            out.push_back(ch);
        }
        const bool written = std::fwrite(out.data(), 2, out.size(), m_file) == out.size();
        return std::fflush(m_file) == 0 && written;
    }

private:
    FILE* m_file;
};

class RealPlatform : public IPipelinePlatform {
public:
    uint32_t TickCount() override {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
    }
    std::u16string AnsiToUtf16(const char* text) override {
        std::u16string out;
        for (; *text; ++text) {
            out.push_back(static_cast<unsigned char>(*text));
        }
        return out;
    }
    std::unique_ptr<IRecordWriter> OpenRecordFile(const std::u16string& path) override {
        FILE* file = std::fopen(std::string(path.begin(), path.end()).c_str(), "ab");
        return file ? std::make_unique<FileWriter>(file) : nullptr;
    }
};

class AnyKey : public IKeyboardLayout {
public:
    int16_t LookupKey(char16_t ch) override { return static_cast<int16_t>(ch & 0x7F); }
};

// Injects nothing; notes when the first key after a mark arrives.
class NullKeyboard : public IKeyInjector {
public:
    std::atomic<bool> waiting{false};
    std::atomic<int64_t> firstKeyNs{0};
    size_t Inject(const KeyStroke*, size_t count) override {
        if (waiting.exchange(false)) {
            firstKeyNs = Clock::now().time_since_epoch().count();
        }
        return count;
    }
};

struct Rig {
    MemoryRegistry registry;
    NoIni ini;
    CAppProfile profile{u"Velmora", u"DORVANE", registry, ini};
    QuietHost host;
    RealPlatform platform;
    AnyKey layout;
    NullKeyboard keyboard;
    CKeySynthesizer keys{layout, keyboard};
    CReadingPipeline service{host, platform, keys, profile};

    explicit Rig(const std::string& recordFile, bool wholeReadings = false) {
        ResetServiceState();
        if (!recordFile.empty()) {
            WriteSetting(profile, RECORDDATA, 1);
            WriteSetting(profile, RECORDDATA_FILENAME, std::u16string(recordFile.begin(), recordFile.end()));
        }
        if (wholeReadings) {  // the acknowledgement works per reading: readings are assembled
            WriteSetting(profile, DEVICE_ACK, u"\\x06");
        }
        service.SetService();
        g_bServiceEnabled = true;
    }
    ~Rig() {
        service.RemoveService();
        g_bServiceEnabled = false;
    }
};

constexpr char kReading[] = "4006381333931\r\n";  // 13 digits and a line end
constexpr int kReadingBytes = sizeof(kReading) - 1;

// Readings per second through the whole pipeline until the worker has handled all of them.
double Throughput(const std::string& recordFile, int readings) {
    Rig rig(recordFile);
    const auto start = Clock::now();
    for (int i = 0; i < readings; ++i) {
        // A device faster than the typing would fill the queue to its bound, which drops readings.
        while (rig.service.QueuedItems() >= kMaxWaitingReadings / 2) {
            std::this_thread::yield();
        }
        rig.service.OnCommRead(kReadingBytes, kReading);
    }
    while (rig.service.HandledItems() < static_cast<uint32_t>(readings)) {
        std::this_thread::yield();
    }
    return readings / std::chrono::duration<double>(Clock::now() - start).count();
}

// Microseconds the user-interface thread spends per burst (receive, flush, queue), with the
// defaults (each item queued as it is flushed) or with whole readings assembled. A reading comes
// in two bursts, the line end with the second.
double FlushUsPerBurst(bool wholeReadings, int readings) {
    Rig rig("", wholeReadings);
    constexpr int kHalf = kReadingBytes / 2;
    std::chrono::nanoseconds spent{0};
    for (int i = 0; i < readings; ++i) {
        const auto start = Clock::now();
        rig.service.OnCommRead(kHalf, kReading);
        rig.service.OnCommRead(kReadingBytes - kHalf, kReading + kHalf);
        spent += Clock::now() - start;
        if (i % 1000 == 999) {
            while (rig.service.QueuedItems() > 0) {  // a queue that never drains would drop readings
                std::this_thread::yield();
            }
        }
    }
    return std::chrono::duration<double, std::micro>(spent).count() / (2.0 * readings);
}

// gapMs after each reading: 700 finds the worker back in its wait; 5 finds it in the 300 ms
// pause it takes after the queue ran empty, which holds the next reading until the pause ends.
std::vector<double> LatenciesUs(int samples, int gapMs) {
    Rig rig("");
    std::vector<double> result;
    for (int i = 0; i < samples; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        rig.keyboard.waiting = true;
        const int64_t sent = Clock::now().time_since_epoch().count();
        rig.service.OnCommRead(kReadingBytes, kReading);
        while (rig.keyboard.waiting) {
            std::this_thread::yield();
        }
        result.push_back((rig.keyboard.firstKeyNs - sent) / 1000.0);
    }
    std::sort(result.begin(), result.end());
    return result;
}

// Microseconds the reading rules take for one 50-character scale line with every rule on (the
// expression compiled once, as at an enable).
// `handOff`: through the shaping thread, as the worker runs them while an expression is set.
double RulesUsPerReading(int readings, bool handOff) {
    auto rulesOwner = std::make_shared<dorvane::CReadingRules>();
    dorvane::CReadingRules& rules = *rulesOwner;
    dorvane::ReadingRuleSettings settings;
    settings.strip = u"\\x02\\x03";
    settings.extract = u"^ST,(?:GS|NT),(.*)$";
    settings.number = 2;
    settings.decimal = u",";
    settings.textCase = 1;
    settings.prefix = u"{DATE} ";
    settings.suffix = u"kg{TAB}";
    settings.keepLineEnd = false;
    if (rules.Set(settings)) {
        return -1;
    }
    const std::u16string line = u"\x02ST,GS,+0012.345kg  tare 0000.100 #0042 ok, line\x03\r\n";
    const dorvane::DateTimeText dateTime = [](bool) { return std::u16string(u"09.12.2026"); };
    size_t pieces = 0;
    dorvane::CShapingThread shaping;
    const auto start = Clock::now();
    for (int i = 0; i < readings; ++i) {
        pieces += handOff ? shaping.Shape(rulesOwner, line, u"09.12.2026", u"", [] { return false; })->at(0).pieces.size()
                          : rules.Apply(line, dateTime).at(0).pieces.size();
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / readings;
    return pieces == 0 ? -1 : us;
}

double Percentile(const std::vector<double>& sorted, double p) {
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()))];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string json = argc > 1 ? argv[1] : "pipeline.json";
    const std::string recordFile = json + ".record.txt";
    std::remove(recordFile.c_str());

    const double typing = Throughput("", 20000);
    const double recording = Throughput(recordFile, 20000);
    std::remove(recordFile.c_str());
    const std::vector<double> idle = LatenciesUs(40, 700);
    const std::vector<double> busy = LatenciesUs(20, 5);
    const double rulesUs = RulesUsPerReading(20000, false);
    const double rulesHandOffUs = RulesUsPerReading(20000, true);
    const double burstUsDefaults = FlushUsPerBurst(false, 20000);
    const double burstUsWhole = FlushUsPerBurst(true, 20000);

    std::printf("%-48s %14s\n", "native pipeline", "value");
    std::printf("%-48s %14.0f\n", "typing: readings/s (15 bytes each)", typing);
    std::printf("%-48s %14.0f\n", "typing: bytes/s", typing * kReadingBytes);
    std::printf("%-48s %14.0f\n", "recording: readings/s", recording);
    std::printf("%-48s %14.0f\n", "recording: bytes/s", recording * kReadingBytes);
    std::printf("%-48s %14.2f\n", "reading rules, all on: us per 50-char reading", rulesUs);
    std::printf("%-48s %14.2f\n", "the same on the shaping thread: us", rulesHandOffUs);
    std::printf("%-48s %14.2f\n", "per burst, defaults (items as flushed): us", burstUsDefaults);
    std::printf("%-48s %14.2f\n", "per burst, whole readings assembled: us", burstUsWhole);
    std::ofstream out(json);
    out << "{\"typing_readings_per_s\": " << typing << ", \"typing_bytes_per_s\": " << typing * kReadingBytes
        << ", \"recording_readings_per_s\": " << recording
        << ", \"recording_bytes_per_s\": " << recording * kReadingBytes << ", \"rules_us_per_reading\": " << rulesUs << ", \"rules_us_shaping_thread\": " << rulesHandOffUs
        << ", \"burst_us_defaults\": " << burstUsDefaults << ", \"burst_us_whole_readings\": " << burstUsWhole;
    for (auto [label, key, sorted] : {std::tuple{"worker waiting", "latency_us_waiting", &idle},
                                      std::tuple{"worker in its pause", "latency_us_in_pause", &busy}}) {
        out << ", \"" << key << "\": {";
        const char* separator = "";
        for (auto [name, p] : {std::pair{"p50", 0.5}, {"p90", 0.9}, {"p99", 0.99}, {"max", 1.0}}) {
            std::printf("burst -> first key, %-20s %-6s us %14.1f\n", label, name, Percentile(*sorted, p));
            out << separator << "\"" << name << "\": " << Percentile(*sorted, p);
            separator = ", ";
        }
        out << "}";
    }
    out << "}\n";
    return 0;
}
