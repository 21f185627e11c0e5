// The reading pipeline: the receive buffer and its flush rules on the user-interface thread,
// the send queue, and the send-key worker that types or records each flushed item (the worker
// half is in readingpipeline_worker.cpp).
// The main frame owns one and forwards its messages (WM_COMM_READ, WM_CLEAR_BUFFER, the
// service timer) to it; everything outside goes through the host and platform interfaces.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/core/keysynthesizer.h"
#include "pipeline/core/pipelineports.h"
#include "pipeline/core/readingassembler.h"
#include "pipeline/core/readingjournal.h"
#include "pipeline/core/readingrules.h"
#include "pipeline/core/servicestate.h"
#include "pipeline/core/shapingthread.h"
#include "pipeline/core/targetprogram.h"
#include "pipeline/core/waitingbound.h"
#include "settings/core/appprofile.h"

namespace dorvane {

class CReadingPipeline {
public:
    // The journal's reason for a reading a disable or the exit cut off.
    static constexpr char16_t kStoppedReason[] = u"the service stopped";

    CReadingPipeline(IPipelineHost& host, IPipelinePlatform& platform, CKeySynthesizer& keys,
                     CAppProfile& profile);
    ~CReadingPipeline();
    CReadingPipeline(const CReadingPipeline&) = delete;
    CReadingPipeline& operator=(const CReadingPipeline&) = delete;

    // Reads the settings, allocates the buffer, starts the worker. On failure everything built
    // is released again, the error was reported with a box, and the result is false.
    bool SetService();
    // Ends the worker and releases what SetService built; queued readings are lost (traced).
    // Harmless when nothing runs.
    void RemoveService();

    // A burst of received bytes (WM_COMM_READ); the bytes are valid during the call only.
    void OnCommRead(size_t length, const char* bytes);
    // From the reader's thread, as bytes come in before they are handed on as a burst.
    void OnBytesArriving();
    // WM_CLEAR_BUFFER: the buffered bytes are discarded.
    void OnClearBuffer();
    // The 500 ms service tick.
    void OnTimer();
    void CheckFlush();
    void FlushBuffer();
    // Shows `picture` in the tray, or without one the picture the state calls for; the tray is
    // touched only when the choice differs from the last one shown.
    void UpdateStatusIcon(std::optional<TrayPicture> picture = std::nullopt);
    // The tray shows something else than the last choice (the change failed, or a picture was
    // set directly): the next UpdateStatusIcon shows the state's picture again.
    void ForgetStatusIcon();

    // The enable starts the idle time anew.
    void RestartIdleTime() { m_dwIdleTick = m_platform.TickCount(); }
    // Bytes in the receive buffer, waiting for a flush.
    int BufferedBytes() const { return m_nBufferCount.load(); }
    // What SetService builds (the buffer, the wake-up event, the worker) is held: it succeeded
    // and RemoveService has not run since.
    bool IsSet() const { return m_hBuffer || m_hSendEvent || m_hSendKeyThread; }
    // The recording file could not be opened: recorded readings are dropped from then on, for
    // as long as this pipeline lives (the frame's, the process's time), across enables.
    bool RecordingDisabled() const { return m_bRecordDisabled.load(); }
    // "COM read": bytes received while enabled, dropped bursts included; never reset.
    uint32_t ComReadCount() const { return m_nComRead.load(std::memory_order_relaxed); }
    size_t QueuedItems();
    // Items the worker has typed, recorded or dropped since the process started (with whole
    // readings assembled, each reading is an item).
    uint32_t HandledItems() const { return m_nHandledItems.load(); }
    // Readings a check refused since the enable (the tooltip counts them).
    uint32_t RefusedReadings() const { return m_nRefused.load(); }

    // The last reading flushed with any text (before the reading rules), kept across enables
    // for the settings page's sample; empty until one came.
    std::u16string LastReading();

    // Readings that wait for the chosen program to come to the front (0: none wait), and that
    // program as the user named it; the user-interface thread reads them for the tray.
    uint32_t WaitingReadings() const { return m_nWaitingReadings.load(); }
    const std::u16string& WaitingFor() const { return m_strWaitingFor; }
    // Readings dropped because too many waited (0 once the waiting is over).
    uint32_t DroppedReadings() const { return m_nDroppedReadings.load(); }
    // Typing is held (a window of ours, the shell or no window in front, the chosen program not
    // there) with a reading waiting: requests to the device would only pile up readings.
    bool ReadingsWait() const {
        return m_bHeld.load() || m_nWaitingReadings.load() != 0 || m_bWaitingForCopy.load();
    }
    // A reading has waited more than 2 s for the typing of another copy (another profile);
    // the user-interface thread reads it for the tray.
    bool WaitingForCopy() const { return m_bWaitingForCopy.load(); }
    // What the held readings wait for, as the tray says it: the chosen program, or the window
    // to type into.
    std::u16string HeldFor() const;
    // Drops every reading that waits for the chosen program (the tray menu's command), within
    // a poll of the worker; nothing when none waits.
    void DiscardWaitingReadings() { m_bDiscardWaiting = m_nWaitingReadings.load() != 0; }

    // What became of this run's readings (the Readings window and the log file read it); it
    // outlives every enable.
    CReadingJournal& Journal() { return m_journal; }
    // Queues a reading's bytes once more as a reading of its own (Type Again): it goes through
    // the rules, the holds and the target rules like one that just came, behind those queued.
    // False while the service is off (nothing is queued then).
    bool TypeAgain(const std::string& raw);

private:
    // A queued text: a whole reading, or with nothing to assemble a flushed item.
    struct QueuedText {
        std::u16string text;
        bool lineEndTail = false;  // goes where the reading before it went, if it is still there
        uint32_t readings = 0;     // readings that start in it, for the bound
        std::string raw;           // the bytes it came as
        uint64_t journalId = 0;    // its reading in the journal; 0: none (line ends alone)
        uint32_t completedTick = 0;  // when it was complete, for the repeat check
        // Asked for by the user (Type Again), not sent by the device: never a repeat of what the
        // device sent, and the device is not acknowledged for it.
        bool typedAgain = false;
    };
    // How the worker was done with a reading; the device is told of all but a lost one.
    enum class Fate { kKept, kSkipped, kLost };
    // What became of an item, for the journal.
    struct HandedOn {
        Fate fate = Fate::kLost;
        Outcome outcome = Outcome::kLost;
        std::u16string reason;
        std::u16string typed;  // named keys in braces
    };

    void SendKeyThread();
    // Takes one queued text and hands it on; false when a stop or a discard ended the handling.
    bool HandleQueued(QueuedText queued);
    // The LF of a CR LF that came apart: typed into its reading's window only while that is in
    // front (it never holds the readings behind it), recorded after a recorded reading.
    void HandleLineEndTail(const std::u16string& text);
    // completedTick: when the reading was complete; none, not checked for repeats.
    HandedOn HandOn(const std::u16string& text, uintptr_t window, std::optional<uint32_t> completedTick);
    // Refuses each reading equal to the last one typed within DATA_REPEAT_MS of it; returns what
    // the typed readings of this item would make the last one.
    std::optional<std::u16string> CheckRepeats(std::vector<ShapedReading>& readings, uint32_t completedTick);
    // A reading's outcome became final: SIGNAL_SOUND's sound for it.
    void Signal(Outcome outcome);
    // The item's outcome and the window it went to, in the journal.
    void JournalHandedOn(uint64_t id, const HandedOn& handed, std::optional<uintptr_t> window);
    // Queues flushed bytes: whole readings when the rules, the acknowledgement or the chosen
    // program work per reading, the item as it is otherwise. The queue lock is held.
    // Returns how many readings were dropped because too many wait.
    size_t QueueFlushed(const std::string& raw);
    // One assembled reading, within the bound; true when it was dropped (a tail is never counted).
    bool QueueReading(AssembledBytes reading, bool typedAgain = false);
    // An item as it was flushed (its text and its bytes); a reading the bound drops is cut out
    // whole. Returns the drops.
    size_t QueueItem(std::u16string_view text, std::string_view raw);
    // A complete reading enters the journal (0 for text without a reading in it: line ends).
    uint64_t AddToJournal(std::string raw, std::u16string_view text, Outcome outcome, std::u16string reason = {});
    // The last reading with text in what was queued becomes the settings page's sample.
    void NoteSample(std::u16string_view queued);
    // The text with no line end has waited a quiet flush time-out: it is a reading of its own.
    void QueueQuietRest();
    // Traces each dropped reading, tells the first of a waiting period with a balloon.
    void ReportDropped(size_t dropped);
    // Traces the readings a stop drops, and journals them as lost.
    void CountLostAtStop();
    // A character (vk 0) or a named key with its modifiers.
    struct TypedUnit {
        char16_t ch;
        uint8_t vk;
        uint8_t modifiers;
    };
    // The item as the reading rules shape it (skipped readings traced), for typing and for
    // the recording file.
    // Nothing when a stop ended the shape.
    std::optional<std::vector<ShapedReading>> Shape(const std::u16string& text);
    // Traces the skipped and refused readings; false when every reading with text was one.
    bool TraceSkipped(const std::vector<ShapedReading>& readings);
    static std::vector<TypedUnit> UnitsOf(const std::vector<ShapedReading>& readings);
    static std::u16string RecordedTextOf(const std::vector<ShapedReading>& readings);
    // Types an item into `window`, holding while it is not in front; false when it did not go in
    // whole (a stop, an elevated window, its window closed).
    bool TypeItem(const std::vector<TypedUnit>& units, uintptr_t window);
    TypingTarget TargetOf(uintptr_t window);
    // One trace line and one notice per elevated window the user types at.
    void ReportElevatedTarget(uintptr_t window);
    // Waits until keys may go to itemWindow (none: to whichever application window is in front):
    // while a window of this program, the shell or no window is in front, another window than
    // the item's, or after the system refused keys (`refusal`, the reason). Modifiers are let go
    // and the sending picture is not shown meanwhile; `sending` takes the sending state up again
    // afterwards. Returns the window to type into, or nothing when a stop came or the item's
    // window was closed.
    std::optional<uintptr_t> WaitForTypingWindow(std::optional<uintptr_t> itemWindow, bool sending,
                                                 const char16_t* refusal);
    // Waits for a lock the copies share (tryLock tries it for the given milliseconds), telling
    // the tray when it lasts; the lock as taken, or nothing when a stop came first.
    std::optional<TypingLockTry> WaitForCopies(const std::function<TypingLockTry(uint32_t)>& tryLock);
    // Takes the typing lock before keys go out; after a copy that ended holding it, lets go of
    // the modifiers it left down. False when a stop came first.
    bool TakeTypingLock();
    // Lets go of the held modifiers and of the typing lock, if it is held.
    void LetTypingGo();
    void SetWaitingForCopy(bool waiting);
    // A foreground change was announced, or the last look is a while ago.
    bool FrontMayHaveChanged();
    // Looks at the window in front and its typing target while a reading arrives, so that its
    // item can start without these questions once the reading is complete.
    void LookAhead();
    // What is in front now: the look ahead while nothing has changed since (it is used once),
    // otherwise asked.
    FrontWindow FrontNow();
    // Whether keys may start a reading in the window in front, as the chosen program rule says.
    bool IsChosenProgram(uintptr_t window);
    // Counts the readings waiting for the chosen program (0 ends the waiting) for the tray.
    void SetWaitingReadings(uint32_t count);
    // Drops the held reading and those queued behind it (DiscardWaitingReadings).
    void DiscardWaiting();
    bool StopRequested() const { return m_bStopWorker || g_bStopSendKey; }
    void StopWorker();
    // More than limitMs since the tick `since`, counted modulo 2^32.
    bool MoreThanSince(uint32_t since, int limitMs);

    IPipelineHost& m_host;
    IPipelinePlatform& m_platform;
    CKeySynthesizer& m_keys;
    CAppProfile& m_profile;

    // The receive buffer: m_nBufferCount bytes followed by a NUL, in a block of m_nBufferSize + 4,
    // filled and flushed on the user-interface thread. The worker reads the count for the
    // waiting picture.
    std::unique_ptr<char[]> m_hBuffer;
    int m_nBufferSize = 0;
    std::atomic<int> m_nBufferCount{0};
    // Lock order: m_csBuffer before m_csSendQueue; only a flush holds both.
    std::mutex m_csBuffer;
    std::mutex m_csSendQueue;
    // The flush rules, set at each enable; the user-interface thread's.
    bool m_bSendOnCrLf = false;
    int m_nFlushChars = 0;
    int m_nFlushTimeout = 0;
    bool m_bAutoDisable = false;
    // Set by the worker when the recording file cannot be opened; never cleared.
    std::atomic<bool> m_bRecordDisabled{false};
    std::deque<QueuedText> m_arrSendQueue;  // guarded by m_csSendQueue, like the bound
    CWaitingBound m_bound;
    bool m_bAssemble = false;                // set at each enable
    CByteReadingAssembler m_assembler;       // used on the user-interface thread only
    std::u16string m_strPort;                // the port of this enable, for the journal
    std::atomic<uint32_t> m_nDroppedReadings{0};
    bool m_bNulTraced = false;               // user-interface thread; cleared at each enable
    std::u16string m_strLastReading;  // guarded like the queue
    std::unique_ptr<IAutoResetEvent> m_hSendEvent;
    std::unique_ptr<IWorkerThread> m_hSendKeyThread;
    std::atomic<uint32_t> m_dwFlushTick{0};
    uint32_t m_dwReceiveTick = 0;
    uint32_t m_dwIdleTick = 0;
    int m_nAutoDisableTime = 0;
    std::u16string m_strRecordFile;
    std::unique_ptr<IRecordWriter> m_pRecordWriter;
    bool m_bWriteFailureShown = false;  // worker only; cleared at each enable
    // Worker only: the foreground as last looked at, and a hold after refused keys.
    uint32_t m_nFrontChanges = 0;
    uint32_t m_dwFrontCheckTick = 0;
    bool m_bRefusedHold = false;
    struct FrontLook {
        FrontWindow front;
        TypingTarget target;  // for an application window
        uint32_t changes;     // the announced foreground changes then
        uint32_t tick;
    };
    std::optional<FrontLook> m_frontAhead;      // worker only
    std::optional<TypingTarget> m_targetAhead;  // the same: for the item whose front it was
    std::atomic<bool> m_bLookAhead{false};      // asked by the reader's thread
    std::atomic<uint32_t> m_dwLookAheadAsked{0};  // the same: the tick of the last ask
    uintptr_t m_lastElevatedWindow = 0;  // worker only; cleared at each enable
    // Worker only: Caps Lock as the typing last took it from the platform, and whether a hold
    // or a higher program's window may have kept presses from being followed since.
    bool m_bCapsLockSeen = false;
    bool m_bCapsLockUnseen = false;
    CTargetPrograms m_targets;            // set at each enable, before the worker starts
    std::shared_ptr<const CReadingRules> m_pRules = std::make_shared<CReadingRules>();  // the same
    CShapingThread m_shaping;             // worker only
    // Worker only: where the last reading went, for its line end's tail.
    Fate m_lastFate = Fate::kLost;
    std::optional<uintptr_t> m_lastWindow;
    // Worker only: the journal's reading being handed on, and why typing it stopped short.
    uint64_t m_currentId = 0;
    const char16_t* m_typeFailure = nullptr;
    std::atomic<bool> m_bHeld{false};
    std::atomic<bool> m_bWaitingForCopy{false};
    bool m_bTypingLocked = false;       // worker only
    bool m_bLockRefusalTraced = false;  // the same: until the lock is had again
    bool m_bRulesRefused = false;         // a stored rule cannot work: nothing is typed
    uint32_t m_nTypeDelayMs = 0;
    uint32_t m_nRepeatMs = 0;             // the same
    uint32_t m_nSignalSound = 0;          // the same
    // Worker only: the last reading typed (after the rules) and when it was complete.
    std::optional<std::pair<std::u16string, uint32_t>> m_lastTyped;
    std::atomic<uint32_t> m_nRefused{0};
    std::u16string m_strWaitingFor;       // the same, for the user; set with it
    std::atomic<uint32_t> m_nWaitingReadings{0};
    std::atomic<bool> m_bDiscardWaiting{false};
    std::atomic<uint32_t> m_nComRead{0};
    std::atomic<uint32_t> m_nHandledItems{0};
    CReadingJournal m_journal;

    std::mutex m_csStatusIcon;  // the choice and the tray change go together
    std::optional<TrayPicture> m_lastPicture;  // none: nothing shown yet, or forgotten

    // Ending the worker: a request of its own (the application's quit request is separate),
    // a wake-up for its pauses, and a mark that it has left its loop.
    std::atomic<bool> m_bStopWorker{false};
    std::atomic<bool> m_bWorkerDone{true};
    CAutoResetEvent m_stopSignal;
    // The off request is posted once per idle period.
    bool m_bAutoDisablePosted = false;
};

}  // namespace dorvane
