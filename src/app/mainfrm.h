// The hidden main window: it owns the service, the tray view and the child view, decodes their
// messages (the tray callback, the received bytes, the timers, device and power notices) and
// runs the tasks other threads post back to it.
#pragma once

#include <string>

#include "app/childview.h"
#include "app/readingswnd.h"
#include "app/service.h"
#include "app/trayview.h"
#include "framework/core/taskqueue.h"
#include "framework/framewnd.h"

class CMainFrame : public framework::CFrameWnd, private IReadingsHost {
public:
    // profile: the profile this copy runs for (empty: the default settings); its name starts
    // the tray's tooltip, so that two copies can be told apart.
    explicit CMainFrame(std::u16string profile = {});
    ~CMainFrame() override;

    BOOL OnCmdMsg(UINT id, framework::CCmdUI* ui) override;

protected:
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    int OnCreate(CREATESTRUCTW* cs) override;
    void OnClose() override;
    void OnDestroy() override;
    void OnTimer(UINT_PTR id) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnEnableComPort();
    void OnUpdateEnableComPort(framework::CCmdUI& ui);
    void OnSetting();
    void OnUpdateSetting(framework::CCmdUI& ui);
    void OnHelp();
    void OnReadings();
    void OnQuit();
    void Quit(dorvane::OffReason reason);
    // The installer's quit request (QuitRequestMessage): the service is turned off and the
    // program ends without a question.
    void OnQuitRequest();
    void OnClear();
    void OnDiscardWaiting();
    void OnSendCommand();
    void OnUpdateSendCommand(framework::CCmdUI& ui);
    void OnServiceOff(WPARAM reason, LPARAM extra);
    void OnDeviceChange(WPARAM event, LPARAM data);

    // What the Readings window asks.
    std::vector<dorvane::JournalEntry> Readings() override { return m_service.Journal().Entries(); }
    void WatchReadings(std::function<void()> changed) override {
        m_service.SetJournalWatcher(std::move(changed));
    }
    bool ServiceOn() override { return m_service.Switch().IsEnabled(); }
    bool TypeAgain(const std::string& raw) override { return m_service.TypeAgain(raw); }
    bool ReadingsWait() override { return m_service.WaitingReadings() != 0; }
    void DiscardWaitingReadings() override { m_service.DiscardWaitingReadings(); }
    std::u16string Profile() override { return m_strProfile; }

    static const framework::CommandEntry<CMainFrame> kCommands[];

    std::u16string m_strProfile;  // before the tray, which takes its own copy
    HICON m_hIcon = nullptr;
    CChildView m_wndView;
    // Declared before what posts to it: it goes last.
    dorvane::CTaskQueue m_tasks;
    CTrayView m_tray;
    // Declared last: it ends its worker before the tray goes.
    CService m_service;
};
