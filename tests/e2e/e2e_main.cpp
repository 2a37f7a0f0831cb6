// Entry of the end-to-end driver.
//
//   roicalc_e2e [gtest flags] <roicalc.exe>
//       runs every scenario, then prints the measurements.
//   roicalc_e2e --screenshot [--demo | --widest] [--help-screen] <roicalc.exe>
//       starts the program in the current directory, dismisses the first-run notice,
//       prints "READY main <left> <top> <right> <bottom>" and waits for a line on
//       stdin (the caller takes its screenshot meanwhile); with --help-screen it then
//       opens the help screen and does the same with "READY help ...". --demo fills in
//       an example and presses CALCULATE first (it writes bankroll.roi); --widest does
//       the same with figures whose results fill every position of the cells. Then it
//       closes the program and reports its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/app_driver.h"

namespace roi_test::e2e {
namespace {

// No run of the driver may take longer; CTest's own limit is higher.
constexpr unsigned WATCHDOG_SECONDS = 480;

HANDLE lineRead = nullptr;

DWORD WINAPI readOneLine(void*) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD got = 0;
    while (in && in != INVALID_HANDLE_VALUE && ReadFile(in, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    }
    SetEvent(lineRead);
    return 0;
}

// Waits for the caller's line (or end of input) for at most timeoutMs.
bool waitForCaller(DWORD timeoutMs) {
    ResetEvent(lineRead);
    HANDLE thread = CreateThread(nullptr, 0, readOneLine, nullptr, 0, nullptr);
    if (!thread) {
        return false;
    }
    CloseHandle(thread);
    return waitUntil([] { return WaitForSingleObject(lineRead, 0) == WAIT_OBJECT_0; }, timeoutMs);
}

// Lets the window paint, says where it is and waits up to a minute for the caller's shot.
bool holdForScreenshot(const char* what, HWND window, DWORD paintMs) {
    waitUntil([] { return false; }, paintMs);
    RECT r{};
    GetWindowRect(window, &r);
    std::printf("READY %s %ld %ld %ld %ld\n", what, r.left, r.top, r.right, r.bottom);
    std::fflush(stdout);
    return waitForCaller(60000);
}

// Figures typed into the cells before CALCULATE.
struct Typed {
    int id;
    const wchar_t* text;
};
// 150 won on 100 bet, 3 of 10 bets won, bankroll 1000: the README's example.
const std::vector<Typed> DEMO = {{1001, L"150"}, {1002, L"100"}, {1003, L"10"}, {1004, L"3"}, {1024, L"1000"}};
// ROI $9999.99, WIN% 100.00%, AVERAGE MUTUEL $9,999.99 and a bankroll in the millions.
const std::vector<Typed> WIDEST = {
    {1001, L"999999"}, {1002, L"100"}, {1003, L"100"}, {1004, L"100"}, {1024, L"8888888.88"}};

// The started calculator's main window, the first-run notice dismissed; null (says why).
HWND mainWindowPastTheNotice(const App& app) {
    if (!waitUntil([&] { return findAnyMessageBox(app.pid()) || findMainWindow(app.pid()); })) {
        std::printf("screenshot: the calculator showed no window within %lu ms\n", WAIT_MS);
        return nullptr;
    }
    if (HWND box = findAnyMessageBox(app.pid())) {
        const BoxContent content = readMessageBox(box);
        std::printf("screenshot: dismissing the first-run notice \"%s\"\n",
                    content.texts.empty() ? "" : narrow(content.texts[0]).c_str());
        dismissMessageBox(box);
    }
    HWND main = nullptr;
    if (!waitUntil([&] { return (main = findMainWindow(app.pid())) != nullptr; })) {
        std::printf("screenshot: the main window did not appear\n");
    }
    return main;
}

// Opens the help screen with "?", holds it for its screenshot and closes it.
void screenshotHelp(const App& app, HWND main) {
    HWND help = nullptr;
    const auto opened = [&] {
        const std::vector<HWND> all = helpWindowsOf(app.pid());
        help = all.empty() ? nullptr : all.front();
        return help != nullptr;
    };
    if (!postButton(main, 1021) || !waitUntil(opened)) {
        std::printf("screenshot: the help screen did not open\n");
        return;
    }
    holdForScreenshot("help", help, 800);
    PostMessageW(help, WM_SYSCOMMAND, SC_CLOSE, 0);
    waitUntil([&] { return !IsWindow(help); });
}

int runScreenshot(const std::vector<Typed>& typed, bool helpScreen) {
    lineRead = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t here[MAX_PATH + 1];
    if (!GetCurrentDirectoryW(MAX_PATH, here)) {
        std::printf("screenshot: no current directory\n");
        return 1;
    }
    App app(here);
    if (!app.start()) {
        std::printf("screenshot: the calculator could not be started (error %lu)\n", GetLastError());
        return 1;
    }
    HWND main = mainWindowPastTheNotice(app);
    if (main == nullptr) {
        return 1;
    }
    if (!typed.empty()) {
        for (const Typed& cell : typed) {
            setCellText(main, cell.id, cell.text);
        }
        pressButton(main, 1009);
    }
    bringToFront(main);
    if (!holdForScreenshot("main", main, 500)) {
        std::printf("screenshot: no answer from the caller; closing\n");
    }
    if (helpScreen) {
        screenshotHelp(app, main);
    }
    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    const std::optional<DWORD> code = app.waitForExit();
    if (!code) {
        std::printf("screenshot: the calculator did not close; ending it\n");
        return 1;
    }
    std::printf("screenshot: the calculator closed with exit code %lu\n", *code);
    return *code == 0 ? 0 : 1;
}

void printMeasurements() {
    Measurements& m = measurements();
    const auto summary = [](std::vector<double> values) {
        if (values.empty()) {
            return std::string("not measured");
        }
        std::sort(values.begin(), values.end());
        char text[160];
        std::snprintf(text, sizeof text, "median %.1f ms, min %.1f ms, max %.1f ms over %zu runs",
                      values[values.size() / 2], values.front(), values.back(), values.size());
        return std::string(text);
    };
    std::printf("\nmeasurements (printed, not asserted):\n");
    std::printf("  start-up to the main window shown: %s\n", summary(m.startupMs).c_str());
    std::printf("  one CALCULATE (BM_CLICK sent until it returned, save and re-read included): %s\n",
                summary(m.calculateMs).c_str());
    if (m.idleCpuPercent) {
        std::printf("  CPU use while the window waits idle (3 s): %.2f %% of one core\n", *m.idleCpuPercent);
    } else {
        std::printf("  CPU use while idle: %s\n", m.idleNote.empty() ? "not measured" : m.idleNote.c_str());
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(programPath().c_str(), GetFileExInfoStandard, &data)) {
        const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        std::printf("  size of %s: %llu bytes\n", narrow(programPath()).c_str(), size);
    }
    std::printf("  %s\n", describeInput().c_str());
    std::fflush(stdout);
}

}  // namespace
}  // namespace roi_test::e2e

int main(int argc, char** argv) {
    using namespace roi_test::e2e;
    testing::InitGoogleTest(&argc, argv);
    bool screenshot = false;
    std::vector<Typed> typed;
    bool helpScreen = false;
    std::string program;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0) {
            screenshot = true;
        } else if (std::strcmp(argv[i], "--demo") == 0) {
            typed = DEMO;
        } else if (std::strcmp(argv[i], "--widest") == 0) {
            typed = WIDEST;
        } else if (std::strcmp(argv[i], "--help-screen") == 0) {
            helpScreen = true;
        } else {
            program = argv[i];
        }
    }
    if (program.empty()) {
        std::fprintf(stderr, "usage: roicalc_e2e [--screenshot [--demo | --widest] [--help-screen]] <roicalc.exe>\n");
        return 2;
    }
    setProgramPath(toWindowsPath(program));
    if (GetFileAttributesW(programPath().c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "roicalc_e2e: %s not found\n", roi_test::narrow(programPath()).c_str());
        return 2;
    }
    unsigned limit = WATCHDOG_SECONDS;
    char text[16] = "";
    if (GetEnvironmentVariableA("ROI_E2E_LIMIT", text, sizeof text) > 0 && std::atoi(text) > 0) {
        limit = static_cast<unsigned>(std::atoi(text));  // seconds; to try the watchdog out
    }
    startWatchdog(limit);
    if (screenshot) {
        return runScreenshot(typed, helpScreen);
    }
    const int result = RUN_ALL_TESTS();
    printMeasurements();
    return result;
}
