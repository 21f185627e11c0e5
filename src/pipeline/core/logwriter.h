// The log file: each reading whose outcome is final becomes one CSV line appended to LOG_FILE,
// on a thread of its own so that a slow or failing file (a network share, a full disk) never
// holds typing. A write that fails is traced and reported (once until a write succeeds again);
// its lines stay queued and go with the next reading's, up to a bound.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/workerthread.h"

namespace dorvane {

// LOG_FILE as the log writer opens it: a relative path is taken in `baseFolder` (no separator
// at its end), a full one ("C:\\...", "\\\\server\\...", "\\..." on the current drive) as it is.
std::u16string LogPathFor(std::u16string_view setting, std::u16string_view baseFolder);

class ILogFile {
public:
    virtual ~ILogFile() = default;
    // Appends `bytes` to the file at `path`, made when missing; `header` goes first when the
    // file is new or empty. False with the system's error code when nothing was written.
    virtual bool Append(const std::u16string& path, const std::string& header, const std::string& bytes,
                        uint32_t& error) = 0;
};

class CLogWriter {
public:
    // Lines kept while the file cannot be written; the oldest leave beyond (traced).
    static constexpr size_t kMaxPendingLines = 10000;

    struct Hooks {
        std::function<void(const std::u16string&)> trace;
        std::function<void(const std::u16string& path, uint32_t error)> failed;  // after a write that failed
        std::function<void()> recovered;  // the first write that succeeds after a failure
    };
    CLogWriter(ILogFile& file, Hooks hooks);
    ~CLogWriter();
    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    // Starts writing to `path` (empty: no log, nothing is kept). False when no thread could be
    // started (then nothing is written, and the caller reports it).
    bool Start(std::u16string path);
    // From any thread: the line (without its line end) is queued; never waits for the file.
    void Write(std::u16string line);
    // Writes what is queued (one more try) and ends the thread.
    void Stop();

private:
    struct Line {
        uint64_t seq;
        std::u16string text;
    };
    void Run();
    bool WriteBatch(const std::deque<Line>& lines);

    ILogFile& m_file;
    Hooks m_hooks;
    std::u16string m_path;
    std::unique_ptr<IWorkerThread> m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Line> m_lines;  // queued, oldest first
    uint64_t m_nextSeq = 0;
    bool m_stop = false;
    bool m_newLines = false;  // a line came since the last try
    bool m_failing = false;   // the writer thread's: the last write failed
};

}  // namespace dorvane
