// A hidden window that receives the serial link's hand-offs in place of the main frame, for the
// end-to-end tests of the real port. Steps come as posted messages; results go to LOG_FILE.
//   serialprobe.exe LOG_FILE            writes "ready HWND" once the window exists
//   WM_APP+1  enable:  "enable 0|1 buffer SIZE"
//   WM_APP+5  disable: "disable", then "stop_us US" (how long the stop took)
//   WM_APP+3  wParam N: N cycles of enable, 60..140 ms in the message loop, 120 ms not serving
//             hand-offs (the reader blocks in one), disable: "cycles N max_stop_us US"
//   WM_APP+9  quit
// Hand-offs: "burst COUNT T_US" (T: the performance counter's microseconds), "dropped COUNT"
// while the link stops, "late COUNT" after a disable returned (must never happen). The off
// request the link posts when the port is lost: "off request", then the probe disables the link.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "app/appmessages.h"
#include "resource.h"
#include "serial/serialport.h"
#include "toolio.h"

using namespace dorvane;

namespace {

std::unique_ptr<toolio::LineFile> g_log;
bool g_disabled = true;
constexpr UINT_PTR kCycleTimer = 1;
int g_cycles = 0;
int g_cyclesLeft = 0;
long long g_worstStopUs = 0;

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMM_READ:
            if (!TheSerialLink().AcceptsHandOff()) {
                g_log->Write("dropped " + std::to_string(wParam));
            } else if (g_disabled) {
                g_log->Write("late " + std::to_string(wParam));
            } else {
                g_log->Write("burst " + std::to_string(wParam) + " " +
                             std::to_string(toolio::NowMicroseconds()));
            }
            return 1;
        case WM_SERVICE_OFF:
            g_log->Write("off request");
            DisableComm();
            g_disabled = true;
            g_log->Write("disable");
            return 0;
        case WM_APP + 1: {
            g_disabled = false;
            const bool ok = EnableComm();
            g_disabled = !ok;
            g_log->Write("enable " + std::to_string(ok) + " buffer " +
                         std::to_string(TheSerialLink().ReadBufferSize()));
            return 0;
        }
        case WM_APP + 5: {
            const long long start = toolio::NowMicroseconds();
            DisableComm();
            g_disabled = true;
            g_log->Write("disable");
            g_log->Write("stop_us " + std::to_string(toolio::NowMicroseconds() - start));
            return 0;
        }
        case WM_APP + 3:  // the cycles run from the message loop, as the frame's enable and disable do
            g_cyclesLeft = static_cast<int>(wParam);
            g_cycles = g_cyclesLeft;
            g_worstStopUs = 0;
            PostMessageW(hwnd, WM_APP + 4, 0, 0);
            return 0;
        case WM_APP + 4:
            g_disabled = false;
            EnableComm();
            SetTimer(hwnd, kCycleTimer, 60 + 40 * (g_cyclesLeft % 3), nullptr);
            return 0;
        case WM_TIMER: {
            KillTimer(hwnd, kCycleTimer);
            Sleep(120);  // not serving: a burst arriving now leaves the reader blocked in its hand-off
            const long long start = toolio::NowMicroseconds();
            DisableComm();
            g_worstStopUs = std::max(g_worstStopUs, toolio::NowMicroseconds() - start);
            g_disabled = true;
            if (--g_cyclesLeft > 0) {
                PostMessageW(hwnd, WM_APP + 4, 0, 0);
            } else {
                g_log->Write("cycles " + std::to_string(g_cycles) + " max_stop_us " +
                             std::to_string(g_worstStopUs));
            }
            return 0;
        }
        case WM_APP + 9:
            DisableComm();
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (__argc < 2) {
        return 2;
    }
    g_log = std::make_unique<toolio::LineFile>(__wargv[1]);
    WNDCLASSW wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"DorvaneSerialProbe";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(wc.lpszClassName, L"serialprobe", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                              nullptr, instance, nullptr);
    RegisterCommWindow(hwnd, WM_COMM_READ);
    TheSerialLink().SetLossObserver([hwnd] { PostMessageW(hwnd, WM_SERVICE_OFF, kOffPortLost, 0); });
    g_log->Write("ready " + std::to_string(reinterpret_cast<UINT_PTR>(hwnd)));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    return 0;
}
