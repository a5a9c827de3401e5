// The Win32 window's hand-off to its thread: work from any thread runs there, later and in order; once the window
// is gone it is dropped, never run.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "win32/Win32MainForm.h"

namespace qb::win32 {
namespace {

// A message-only window that runs the dispatcher's queue when woken, as the main window does.
class QueueWindow {
public:
    QueueWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            auto* self = reinterpret_cast<QueueWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            if (message == kRunQueuedWork && self) {
                self->dispatcher.runPending([self](const std::u16string& error) { self->errors.push_back(error); });
                return 0;
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        };
        windowClass.lpszClassName = L"QuillanterbrookeDispatcherTest";
        RegisterClassW(&windowClass);
        hwnd =
            CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        dispatcher.attach(hwnd);
    }
    ~QueueWindow() {
        if (hwnd) DestroyWindow(hwnd);
    }
    // Handles what is queued for this thread now.
    void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }

    HWND hwnd = nullptr;
    WindowDispatcher dispatcher;
    std::vector<std::u16string> errors;
};

TEST(WindowDispatcher, RunsWorkFromOtherThreadsOnTheWindowsThreadLaterAndInOrder) {
    QueueWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    const DWORD windowThread = GetCurrentThreadId();
    std::vector<int> order;
    std::atomic<bool> elsewhere{false};
    window.dispatcher.post([&] { order.push_back(0); });
    window.dispatcher.post([] { throw std::runtime_error("broken"); });  // told, and the rest still runs
    EXPECT_TRUE(order.empty());                                          // never inline
    std::thread other([&] {
        for (int i = 1; i <= 3; ++i)
            window.dispatcher.post([&, i] {
                order.push_back(i);
                if (GetCurrentThreadId() != windowThread) elsewhere = true;
            });
    });
    other.join();
    window.pump();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(window.errors, std::vector<std::u16string>{u"broken"});
    EXPECT_FALSE(elsewhere);
}

TEST(WindowDispatcher, DropsWorkQueuedBeforeOrAfterTheWindowIsGone) {
    QueueWindow window;
    auto token = std::make_shared<int>(0);
    bool ran = false;
    window.dispatcher.post([&ran, token] { ran = true; });
    window.dispatcher.close();  // as the window's WM_DESTROY does
    window.dispatcher.post([&ran, token] { ran = true; });
    window.pump();
    EXPECT_FALSE(ran);
    EXPECT_EQ(token.use_count(), 1);  // the dropped work is released, not kept
}

}  // namespace
}  // namespace qb::win32
