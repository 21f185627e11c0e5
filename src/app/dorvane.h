// The application object: start-up, the single-instance rule and the About command.
#pragma once

#include "framework/winapp.h"

class CDorvaneApp : public framework::CWinApp {
public:
    CDorvaneApp();

    BOOL InitInstance() override;
    BOOL OnCmdMsg(UINT id, framework::CCmdUI* ui) override;

private:
    void OnAbout();
};

extern CDorvaneApp theApp;
