// The other end of the link tests: publishes "TESTPEER"/<name> and answers.
//   WM_USER+7 (posted): posts WM_USER+8 with wParam + 1 back to the window in lParam.
//   WM_COPYDATA: answers dwData * 1000 + cbData, plus 500000 if the bytes are not "abcd\0".
//   WM_USER+9: ends (peers may not post it: the link drops it).
#include "platform/event_loop.h"
#include "platform/link.h"
#include "platform/window.h"

#include <cstdio>
#include <cstring>

using namespace plat;

static LRESULT proc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 7) {
        postMessage(static_cast<HWND>(lParam), WM_USER + 8, wParam + 1, 0);
    } else if (msg == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        bool same = cds->cbData == 5 && std::memcmp(cds->lpData, "abcd", 5) == 0;
        return static_cast<LRESULT>(cds->dwData * 1000 + cds->cbData + (same ? 0 : 500000));
    } else if (msg == WM_USER + 9) {
        postQuitMessage(0);
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2 || !registerClass("TESTPEER", proc)) return 1;
    HWND w = createWindow("TESTPEER", argv[1], 0);
    if (publishWindow(w, "TESTPEER", argv[1], WM_USER + 7) != PublishResult::Published) return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    return runMessageLoop();
}
