// Windows: a message-only window on the watcher's own thread, registered for the arrivals and removals of HID
// interfaces. Each notification names the interface's path, the same one enumeration gives.
#include "config/Win32.h"
// dbt.h needs windows.h first.
#include <dbt.h>

#include <future>
#include <thread>

#include "config/Text.h"
#include "device/BusDelivery.h"
#include "device/PlatformBusWatcher.h"

namespace qb {

namespace {

// The published device interface class of HID devices.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr wchar_t kWindowClass[] = L"QuillanterbrookeBusWatcher";

class WinBusWatcher : public PlatformBusWatcher {
public:
    WinBusWatcher(Dispatcher& dispatcher, std::chrono::milliseconds settle) : delivery_(dispatcher), settler_(settle) {}
    ~WinBusWatcher() override {
        if (thread_.joinable()) {
            PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
            thread_.join();
        }
        delivery_.close();
    }
    WinBusWatcher(const WinBusWatcher&) = delete;
    WinBusWatcher& operator=(const WinBusWatcher&) = delete;

    bool setUp() {
        std::promise<bool> ready;
        std::future<bool> result = ready.get_future();
        thread_ = std::thread([this, &ready] { run(ready); });
        if (result.get()) return true;
        thread_.join();
        return false;
    }
    void watch(EventsHandler changed) override { delivery_.setHandler(std::move(changed)); }
    const char* kind() const override { return "windows"; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
            auto* self = reinterpret_cast<WinBusWatcher*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            if (self && header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
                const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
                BusEvent event;
                event.action = wParam == DBT_DEVICEARRIVAL ? BusEvent::Action::Added : BusEvent::Action::Removed;
                event.node = ToUtf8(reinterpret_cast<const char16_t*>(device->dbcc_name));
                self->settler_.add({std::move(event)}, BusSettler::Clock::now());
            }
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void run(std::promise<bool>& ready) {
        threadId_ = GetCurrentThreadId();
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);  // fails harmlessly when a second watcher registers it again
        HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        HDEVNOTIFY registration = nullptr;
        if (window) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = kHidInterfaceClass;
            registration = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        }
        if (registration == nullptr) {
            if (window) DestroyWindow(window);
            ready.set_value(false);
            return;
        }
        // The queue exists once the window does: a stop posted from now on is received.
        ready.set_value(true);
        for (bool running = true; running;) {
            DWORD timeoutMs = INFINITE;
            if (const auto due = settler_.due()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - BusSettler::Clock::now());
                timeoutMs = static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, QS_ALLINPUT);
            MSG message;
            while (running && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT)
                    running = false;
                else
                    DispatchMessageW(&message);
            }
            if (auto batch = settler_.take(BusSettler::Clock::now())) delivery_.post(std::move(*batch));
        }
        UnregisterDeviceNotification(registration);
        DestroyWindow(window);
    }

    BusDelivery delivery_;
    BusSettler settler_;  // only the watching thread touches it
    DWORD threadId_ = 0;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<PlatformBusWatcher> detail::MakeNativeBusWatcher(Dispatcher& dispatcher,
                                                                 std::chrono::milliseconds settle) {
    auto watcher = std::make_unique<WinBusWatcher>(dispatcher, settle);
    if (!watcher->setUp()) return nullptr;
    return watcher;
}

}  // namespace qb
