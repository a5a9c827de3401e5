// Windows: the system's device-arrival and removal notifications for HID interfaces, received by a hidden
// window of our own. Nothing runs until the system reports a change.
#include "config/Win32.h"
// dbt.h needs windows.h first.
#include <dbt.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include "gui/bus/PlatformBusWatcher.h"

namespace qb {

namespace {

// The published device interface class of HID devices.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr int kSettleMs = 50;

class WinBusWatcher : public BusWatcher, public QAbstractNativeEventFilter {
public:
    WinBusWatcher() = default;
    ~WinBusWatcher() override {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        if (registration_) UnregisterDeviceNotification(registration_);
    }
    WinBusWatcher(const WinBusWatcher&) = delete;
    WinBusWatcher& operator=(const WinBusWatcher&) = delete;

    bool setUp() {
        window_.setAttribute(Qt::WA_NativeWindow);
        window_.setAttribute(Qt::WA_DontShowOnScreen);
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kHidInterfaceClass;
        registration_ = RegisterDeviceNotificationW(reinterpret_cast<HANDLE>(window_.winId()), &filter,
                                                    DEVICE_NOTIFY_WINDOW_HANDLE);
        return registration_ != nullptr;
    }

    void start(std::function<void()> changed) override {
        settle_.setSingleShot(true);
        settle_.setInterval(kSettleMs);
        QObject::connect(&settle_, &QTimer::timeout, std::move(changed));
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->hwnd == reinterpret_cast<HWND>(window_.winId()) && msg->message == WM_DEVICECHANGE &&
            (msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE))
            settle_.start();
        return false;
    }

private:
    QWidget window_;
    HDEVNOTIFY registration_ = nullptr;
    QTimer settle_;
};

}  // namespace

std::unique_ptr<BusWatcher> MakeNativeBusWatcher() {
    auto watcher = std::make_unique<WinBusWatcher>();
    if (!watcher->setUp()) return nullptr;
    return watcher;
}

}  // namespace qb
