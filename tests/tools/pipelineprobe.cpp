// Runs the keystroke pipeline with its real Win32 pieces (settings from the registry, the
// ANSI code page, the recording file, error boxes, SendInput into the focused window), driven
// by steps given on the command line. Results go to OUT_FILE.
//   pipelineprobe.exe OUT_FILE STEP...
//     burst:TEXT              a burst of received bytes (\r, \n, \t, \\ and \xHH escapes)
//     tick                    the service timer's tick
//     sleep:MS
//     until-record-disabled   waits (at most 30 s) until a failed recording open was answered
//     until-handled:N         waits (at most 30 s) until N items were handled (a box answered)
// At the end the service is disabled and the probe writes:
//   comread N / sentkeys N / handled N / recorddisabled 0|1 / icons ID... / offrequests N
#include <windows.h>

#include <string>
#include <vector>

#include "app/traypicture.h"
#include "pipeline/core/readingpipeline.h"
#include "pipeline/sendkey.h"
#include "pipeline/win32pipeline.h"
#include "settings/appprofile.h"
#include "toolio.h"

using namespace dorvane;

namespace {

class CProbeHost : public CWin32PipelineHost {
public:
    std::vector<int> icons;
    int offRequests = 0;
    bool ShowTrayPicture(TrayPicture picture) override {
        icons.push_back(PictureResource(picture));
        return true;
    }
    void PostServiceOff() override { ++offRequests; }
};

std::string Unescape(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\' || i + 1 == text.size()) {
            out.push_back(static_cast<char>(text[i]));
            continue;
        }
        const wchar_t next = text[++i];
        if (next == L'x' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(std::wstring(text, i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(next == L'r'   ? '\r'
                          : next == L'n' ? '\n'
                          : next == L't' ? '\t'
                                         : static_cast<char>(next));
        }
    }
    return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc < 2) {
        return 2;
    }
    toolio::LineFile out(__wargv[1]);
    CProbeHost host;
    CWin32PipelinePlatform platform;
    CWin32KeyboardLayout layout;
    CWin32KeyInjector injector;
    CKeySynthesizer keys(layout, injector);
    CReadingPipeline service(host, platform, keys, theProfile);

    if (!service.SetService()) {
        out.Write("setservice failed");
        return 1;
    }
    g_bServiceEnabled = true;
    service.RestartIdleTime();
    service.UpdateStatusIcon();
    for (int i = 2; i < __argc; ++i) {
        const std::wstring step = __wargv[i];
        if (step.rfind(L"burst:", 0) == 0) {
            const std::string bytes = Unescape(step.substr(6));
            service.OnCommRead(bytes.size(), bytes.c_str());
        } else if (step == L"tick") {
            service.OnTimer();
        } else if (step.rfind(L"sleep:", 0) == 0) {
            Sleep(static_cast<DWORD>(_wtoi(step.c_str() + 6)));
        } else if (step.rfind(L"until-handled:", 0) == 0) {
            const uint32_t count = static_cast<uint32_t>(_wtoi(step.c_str() + 14));
            for (int waited = 0; service.HandledItems() < count && waited < 30000; waited += 50) {
                Sleep(50);
            }
        } else if (step == L"until-record-disabled") {
            for (int waited = 0; !service.RecordingDisabled() && waited < 30000; waited += 50) {
                Sleep(50);
            }
        }
    }
    service.RemoveService();
    keys.ReleaseModifierKeys();
    g_bServiceEnabled = false;

    out.Write("comread " + std::to_string(service.ComReadCount()));
    out.Write("sentkeys " + std::to_string(keys.SentKeyCount()));
    out.Write("handled " + std::to_string(service.HandledItems()));
    out.Write("recorddisabled " + std::to_string(service.RecordingDisabled() ? 1 : 0));
    std::string icons = "icons";
    for (int icon : host.icons) {
        icons.append(" ").append(std::to_string(icon));
    }
    out.Write(icons);
    out.Write("offrequests " + std::to_string(host.offRequests));
    return 0;
}
