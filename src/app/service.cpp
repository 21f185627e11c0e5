#include "app/service.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>

#include "app/appmessages.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "diag/misc.h"
#include "serial/porttree.h"
#include "serial/serialport.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"
#include "pipeline/core/journalcsv.h"

using namespace dorvane;

namespace {

FaultReport LogFileFault(const std::u16string& path, uint32_t error) {
    std::u16string reason(AsUtf16View(GetErrorText(error, nullptr).c_str()));
    while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r' || reason.back() == u' ')) {
        reason.pop_back();
    }
    return FaultReport{Fault::kLogFile, u"log file not written", u"DORVANE",
                       u"The log file " + path + u" cannot be written (" + reason +
                           u"). Readings are typed all the same; the log is tried again with the next reading."};
}

// The user's Documents folder, or empty when the system cannot tell it.
// https://learn.microsoft.com/windows/win32/api/shlobj_core/nf-shlobj_core-shgetknownfolderpath
std::u16string DocumentsFolder() {
    PWSTR path = nullptr;
    std::u16string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path))) {
        folder = AsUtf16View(path);
    }
    CoTaskMemFree(path);  // asked of the caller whether or not the call succeeded
    return folder;
}

}  // namespace

CService::CService(CTrayView& tray, CTaskQueue& tasks)
    : m_tray(tray),
      m_tasks(tasks),
      m_portTry([](const std::u16string& name) { return TheSerialLink().ProbePort(name); }),
      m_deviceHost([this](const FaultReport& report) { RaiseFault(report); },
                   [this](Fault fault) { ClearFault(fault); }),
      m_logWriter(m_logFile, CLogWriter::Hooks{[this](const std::u16string& line) { Trace(line); },
                                               [this](const std::u16string& path, uint32_t error) {
                                                   RaiseFault(LogFileFault(path, error));
                                               },
                                               [this] { ClearFault(Fault::kLogFile); }}),
      m_pipeline(*this, m_platform, m_keys, theProfile) {
    m_pipeline.Journal().SetObservers([this] { JournalChanged(); },
                                      [this](const JournalEntry& entry) {
                                          m_logWriter.Write(LogLine(entry, m_tray.Profile(), entry.port));
                                      });
}

bool CService::StartPipeline() {
    if (!m_pipeline.SetService()) {
        return false;
    }
    // Readings are typed whether or not their log can be written: a log that cannot start is
    // told like one whose writes fail, and the service goes on.
    ClearFault(Fault::kLogFile);
    const std::u16string path = LogFilePath();
    if (!m_logWriter.Start(path)) {
        RaiseFault(LogFileFault(path, GetLastError()));
    }
    return true;
}

void CService::StopPipeline() {
    m_pipeline.RemoveService();  // the readings it still held are journaled as lost, and logged
    m_logWriter.Stop();
}

std::u16string CService::LogFilePath() {
    const std::u16string setting = ReadSetting(theProfile, LOG_FILE);
    std::u16string base;
    if (theProfile.UsesIniFile()) {
        base = theProfile.IniFileName();
        base.erase(std::min(base.size(), base.find_last_of(u"\\/")));
    } else {
        base = DocumentsFolder();
    }
    return LogPathFor(setting, base);
}


void CService::JournalChanged() {
    if (m_journalRefreshPending.exchange(true)) {
        return;  // one refresh is on its way: it reads every change made until it runs
    }
    m_tasks.Post([this] {
        m_journalRefreshPending = false;
        if (m_journalWatcher) {
            m_journalWatcher();
        }
    });
}

void CService::Attach(HWND window) {
    m_hWnd = window;
    m_platform.StartCapsLockWatch();
    m_deviceHost.Attach(window);
    TheSerialLink().SetWriteObserver(
        [this](WriteOutcome outcome, uint32_t error) { m_requests.OnWriteEnded(outcome, error); });
    TheSerialLink().SetArrivalObserver([this] { m_pipeline.OnBytesArriving(); });
    TheSerialLink().SetLossObserver(
        [this] { m_tasks.Post([this] { m_switch.TurnOff(dorvane::OffReason::kPortLost); }); });
}

void CService::Detach() {
    TheSerialLink().SetWriteObserver(nullptr);  // the service is off: the writer has ended
    TheSerialLink().SetArrivalObserver(nullptr);  // and so has the reader
    TheSerialLink().SetLossObserver(nullptr);
    m_platform.StopCapsLockWatch();
}

ServiceView CService::View() {
    ServiceView view;
    view.enabled = m_switch.IsEnabled();
    if (view.enabled) {
        view.record = g_bRecordData;
        view.port = ReadSetting(theProfile, COMPORT);
        view.comReads = m_pipeline.ComReadCount();
        view.sentKeys = m_keys.SentKeyCount();
        view.waiting = m_pipeline.WaitingReadings();
        view.waitingFor = m_pipeline.WaitingFor();
        view.dropped = m_pipeline.DroppedReadings();
        view.refused = m_pipeline.RefusedReadings();
        view.heldFor = m_pipeline.HeldFor();
        view.waitingForCopy = m_pipeline.WaitingForCopy();
        view.fault = m_faults.Tip();
    } else {
        view.watchingPort = m_switch.IsWaitingForPort();
        view.watchedPort = m_switch.WaitedPort();
        view.deviceAbsent = m_switch.MissingDevice() == PortChoice::Outcome::kAbsent;
        view.deviceAmbiguous = m_switch.MissingDevice() == PortChoice::Outcome::kAmbiguous;
    }
    return view;
}

bool CService::OnTimer(UINT_PTR id) {
    if (id == kServiceTimer) {
        m_pipeline.OnTimer();
    } else if (id == kPortWatchTimer) {
        m_switch.TryPort();
    } else if (id == kPollTimer) {
        // The device keeps its data while readings wait: a poll would only pile up more.
        m_requests.OnPollTimer(m_switch.IsEnabled() && m_pipeline.ReadingsWait());
    } else {
        return false;
    }
    return true;
}

void CService::OnCommRead(WPARAM count, LPARAM bytes) {
    // Only the reader's own hand-off; a hand-off served while the serial link stops is dropped:
    // nothing arrives after a disable.
    if (TakeHandOff(count, bytes) && TheSerialLink().AcceptsHandOff()) {
        m_pipeline.OnCommRead(count, reinterpret_cast<const char*>(bytes));
    }
}

void CService::OnHotkey(WPARAM id) {
    if (id == static_cast<WPARAM>(kHotkeyId)) {
        m_requests.SendCommand();
    }
}

void CService::OnPortTried() {
    for (const CPortTryRunner::Answer& answer : m_portTry.TakeAnswers()) {
        m_switch.OnPortTried(answer.name, answer.opens);
    }
}

bool CService::OpenPort() {
    return EnableComm();
}

bool CService::StartTick() {
    return SetTimer(m_hWnd, kServiceTimer, kServiceTimerMs, nullptr) != 0;
}

void CService::StartRequests() {
    m_requests.Start(LoadDeviceRequestSettings(theProfile));
}

void CService::ClosePort() {
    DisableComm();
}

void CService::StopTick() {
    KillTimer(m_hWnd, kServiceTimer);
}

void CService::ShowError(const std::u16string& text) {
    MsgBox(AsWide(text.c_str()), MB_ICONERROR | MB_OK, 0);
}

void CService::ReportSystemError(const std::u16string& text) {
    ::ReportError(AsWide(text.c_str()), FALSE);
}

std::u16string CService::ConfiguredPort() {
    return ReadSetting(theProfile, COMPORT);
}

std::u16string CService::ConfiguredDevice() {
    // Not written back at each enable: with no device picked the store stays as it always was.
    return ReadSettingIfStored(theProfile, COMPORT_DEVICE);
}

std::vector<TreePort> CService::PortsInTree() {
    return ::PortsInTree();
}

void CService::StorePortMove(const std::u16string& from, const std::u16string& to) {
    if (!dorvane::StorePortMove(theProfile, from, to)) {
        DebugPrintf(L"storing the moved port failed");
    }
}

bool CService::ReconnectsAfterLoss() {
    return ReadSetting(theProfile, AUTORECONNECT) != 0;
}

bool CService::PortResponds() {
    return TheSerialLink().PortResponds();
}

void CService::StartPortTry(const std::u16string& name) {
    if (!m_portTry.Start(m_hWnd, WM_PORT_TRIED, name)) {
        m_switch.OnPortTried(name, false);
    }
}

void CService::StartTries() {
    SetTimer(m_hWnd, kPortWatchTimer, kPortWatchMs, nullptr);
}

void CService::StopTries() {
    KillTimer(m_hWnd, kPortWatchTimer);
}

bool CService::ShowTrayPicture(TrayPicture picture) {
    // The worker asks for pictures too. It must not wait on the shell, which may in turn wait
    // for the window's thread: the change goes to that thread.
    m_tasks.Post([this, picture] { m_tray.AskPicture(picture); });
    return true;
}

void CService::PostServiceOff() {
    m_tasks.Post([this] { m_switch.TurnOff(OffReason::kIdle); });
}

void CService::ShowNotice(const std::u16string& title, const std::u16string& text) {
    m_tasks.Post([this, title, text] { m_tray.ShowNotice(title, text); });
}

void CService::RaiseFault(const FaultReport& report) {
    const CFaultBoard::Raised raised = m_faults.Raise(report.fault, report.tip);
    if (raised == CFaultBoard::Raised::kAnnounce) {
        ShowNotice(report.title, report.text);
    }
    if (raised != CFaultBoard::Raised::kUnchanged) {
        WaitingChanged();  // the tooltip tells it from now
    }
}

void CService::ClearFault(Fault fault) {
    if (m_faults.Clear(fault)) {
        WaitingChanged();
    }
}

void CService::WaitingChanged() {
    m_tasks.Post([this] { m_tray.Refresh(); });
    JournalChanged();  // the Readings window's discard follows the count
}
