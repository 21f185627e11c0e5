#include "pipeline/core/logwriter.h"

#include <utility>

#include "core/decimal.h"
#include "pipeline/core/journalcsv.h"
#include "pipeline/core/recordencoding.h"

namespace dorvane {

std::u16string LogPathFor(std::u16string_view setting, std::u16string_view baseFolder) {
    const bool full = (!setting.empty() && (setting[0] == u'\\' || setting[0] == u'/')) ||
                      (setting.size() >= 2 && setting[1] == u':');
    if (setting.empty() || full || baseFolder.empty()) {
        return std::u16string(setting);
    }
    return std::u16string(baseFolder) + u'\\' + std::u16string(setting);
}

CLogWriter::CLogWriter(ILogFile& file, Hooks hooks) : m_file(file), m_hooks(std::move(hooks)) {}

CLogWriter::~CLogWriter() {
    Stop();
}

bool CLogWriter::Start(std::u16string path) {
    Stop();
    m_path = std::move(path);
    if (m_path.empty()) {
        return true;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stop = false;
    }
    m_thread = StartWorkerThread([this] { Run(); });
    return m_thread != nullptr;
}

void CLogWriter::Write(std::u16string line) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread || m_stop) {
            return;  // no log
        }
        if (m_lines.size() == kMaxPendingLines) {
            m_lines.pop_front();
            if (m_hooks.trace) {
                m_hooks.trace(u"log: a line was dropped, " + DecimalText(kMaxPendingLines) + u" wait for the file");
            }
        }
        m_lines.push_back(Line{m_nextSeq++, std::move(line)});
        m_newLines = true;
    }
    m_wake.notify_one();
}

void CLogWriter::Stop() {
    if (!m_thread) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_newLines = true;  // one last try for what waits
    }
    m_wake.notify_one();
    m_thread->Join();
    m_thread.reset();
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

void CLogWriter::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_newLines || m_stop; });
        const bool last = m_stop;
        m_newLines = false;
        const std::deque<Line> batch = m_lines;  // kept in the queue until written
        lock.unlock();
        const bool written = !batch.empty() && WriteBatch(batch);
        lock.lock();
        // Lines queued meanwhile stay; lines the bound dropped meanwhile are gone already.
        while (written && !m_lines.empty() && m_lines.front().seq <= batch.back().seq) {
            m_lines.pop_front();
        }
        if (last) {
            return;
        }
    }
}

bool CLogWriter::WriteBatch(const std::deque<Line>& lines) {
    std::u16string text;
    for (const Line& line : lines) {
        text += line.text;
        text += u'\n';  // stored as CR LF
    }
    static const std::string kHeader = LogFileStart();
    uint32_t error = 0;
    if (!m_file.Append(m_path, kHeader, EncodeRecordItem(text, RecordEncoding::kUtf8, false), error)) {
        if (m_hooks.trace) {
            m_hooks.trace(u"log: writing " + m_path + u" failed, err=" + DecimalText(error));
        }
        if (!m_failing && m_hooks.failed) {
            m_hooks.failed(m_path, error);
        }
        m_failing = true;
        return false;
    }
    if (m_failing && m_hooks.recovered) {
        m_hooks.recovered();
    }
    m_failing = false;
    return true;
}

}  // namespace dorvane
