#include "device/WindowsTransport.h"

#include "config/Win32.h"

#include <setupapi.h>
extern "C" {  // MinGW's header declares the functions without C linkage
#include <hidsdi.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>

#include "config/Text.h"
#include "device/HidReport.h"

namespace qb {

namespace {

// The published device interface class of HID devices.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
// A write the device does not take within this is given up: the reply time-out then reports the device.
constexpr DWORD kWriteTimeoutMs = 1000;
// A session's open refused for sharing is tried again for this long: another program's look at the device
// holds it only for an instant, while another program's session holds it until that session ends.
constexpr int kSharingRetries = 10;
constexpr DWORD kSharingRetryMs = 20;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the system's wide text is UTF-16");

std::string Utf8(const wchar_t* text) {
    return ToUtf8(reinterpret_cast<const char16_t*>(text));
}

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

// The four hex digits after `key` ("VID_", "PID_", "REV_") in a hardware id, in any case; 0 when absent.
std::uint16_t NumberAfter(const std::string& id, const char* key) {
    std::string upper = id;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    const std::size_t at = upper.find(key);
    if (at == std::string::npos || at + std::strlen(key) + 4 > upper.size()) return 0;
    const std::string digits = upper.substr(at + std::strlen(key), 4);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); })) return 0;
    return static_cast<std::uint16_t>(std::stoul(digits, nullptr, 16));
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// Duplicates share the system's handle (both directions of a connection: a second open of a device opened
// without sharing would be refused); each has its own read, and the handle is closed with the last of them.
class OverlappedHidHandle : public HidHandle {
public:
    OverlappedHidHandle(std::shared_ptr<Handle> handle, std::size_t inputReportLength)
        : shared_(std::move(handle)),
          handle_(*shared_),
          readEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          buffer_(inputReportLength) {}

    ~OverlappedHidHandle() override {
        // The system writes into buffer_ until a pending read is over; only this handle's read is cancelled.
        if (pending_) {
            CancelIoEx(handle_.get(), &readOverlapped_);
            DWORD ignored = 0;
            GetOverlappedResult(handle_.get(), &readOverlapped_, &ignored, TRUE);
        }
    }
    OverlappedHidHandle(const OverlappedHidHandle&) = delete;
    OverlappedHidHandle& operator=(const OverlappedHidHandle&) = delete;

    bool write(const std::uint8_t* data, std::size_t size) override {
        Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event.valid()) return false;
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        if (!WriteFile(handle_.get(), data, static_cast<DWORD>(size), nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return false;
        if (WaitForSingleObject(event.get(), kWriteTimeoutMs) != WAIT_OBJECT_0) CancelIoEx(handle_.get(), &overlapped);
        DWORD written = 0;
        return GetOverlappedResult(handle_.get(), &overlapped, &written, TRUE) && written == size;
    }

    // One read stays pending across calls: a time-out leaves it running, so no report is lost by asking again.
    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        if (!readEvent_.valid() || buffer_.empty()) return -1;
        if (!pending_) {
            readOverlapped_ = OVERLAPPED{};
            readOverlapped_.hEvent = readEvent_.get();
            if (!ReadFile(handle_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), nullptr,
                          &readOverlapped_) &&
                GetLastError() != ERROR_IO_PENDING)
                return -1;
            pending_ = true;
        }
        const DWORD waited = WaitForSingleObject(readEvent_.get(), static_cast<DWORD>(std::max(timeoutMs, 0)));
        if (waited == WAIT_TIMEOUT) return 0;
        pending_ = false;
        DWORD received = 0;
        if (waited != WAIT_OBJECT_0 || !GetOverlappedResult(handle_.get(), &readOverlapped_, &received, FALSE))
            return -1;
        if (received == 0) return 0;
        // The system puts the report id first; the caller wants the data bytes only.
        const std::size_t count = std::min<std::size_t>(received - 1, capacity);
        std::memcpy(data, buffer_.data() + 1, count);
        return static_cast<int>(count);
    }

    std::unique_ptr<HidHandle> duplicate() override {
        return std::make_unique<OverlappedHidHandle>(shared_, buffer_.size());
    }

private:
    std::shared_ptr<Handle> shared_;
    const Handle& handle_;
    Handle readEvent_;
    OVERLAPPED readOverlapped_{};
    bool pending_ = false;
    std::vector<std::uint8_t> buffer_;
};

OpenFailure FailureOf(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) return OpenFailure::AccessDenied;
    return error == ERROR_SHARING_VIOLATION ? OpenFailure::InUse : OpenFailure::Other;
}

// The device's serial number, asked through a handle that may neither read nor write (which any user may open).
std::string SerialNumber(const std::wstring& path) {
    Handle device(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device.valid()) return {};
    wchar_t text[127] = {};  // a USB string descriptor holds at most 126 characters
    return HidD_GetSerialNumberString(device.get(), text, sizeof text - sizeof(wchar_t)) ? Utf8(text) : std::string();
}

// The device's hardware ids (a list of texts, each ended by a zero, the list by another).
std::vector<std::string> HardwareIds(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size);
    std::vector<wchar_t> list(size / sizeof(wchar_t) + 2, L'\0');
    std::vector<std::string> ids;
    if (size == 0 || !SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr,
                                                        reinterpret_cast<PBYTE>(list.data()), size, nullptr))
        return ids;
    for (const wchar_t* id = list.data(); *id != L'\0'; id += std::wcslen(id) + 1) ids.push_back(Utf8(id));
    return ids;
}

}  // namespace

std::unique_ptr<HidHandle> MakeOverlappedHidHandle(void* handle, std::size_t inputReportLength) {
    return std::make_unique<OverlappedHidHandle>(std::make_shared<Handle>(static_cast<HANDLE>(handle)),
                                                 inputReportLength);
}

std::vector<HidInterfaceInfo> WindowsTransport::enumerate() {
    std::vector<HidInterfaceInfo> result;
    const HDEVINFO set =
        SetupDiGetClassDevsW(&kHidInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return result;  // no list at all: nothing found
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kHidInterfaceClass, index, &interfaceData)) break;

        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<DWORD> storage(size / sizeof(DWORD) + 1);  // aligned for the structure
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, size, nullptr, &device)) continue;

        HidInterfaceInfo info;
        info.path = Utf8(detail->DevicePath);
        info.hardwareIds = HardwareIds(set, device);
        if (!info.hardwareIds.empty()) info.release = NumberAfter(info.hardwareIds.front(), "REV_");
        info.serialNumber = SerialNumber(detail->DevicePath);
        result.push_back(std::move(info));
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

OpenResult WindowsTransport::open(const std::string& path) {
    // Without sharing: while the session lasts, every other program's open for reading or writing fails, so no
    // two programs read each other's answers. The connection's second handle is a duplicate of this one.
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0;; ++attempt) {
        handle = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || attempt == kSharingRetries)
            break;
        Sleep(kSharingRetryMs);
    }
    if (handle == INVALID_HANDLE_VALUE) return OpenResult::Failed(FailureOf(GetLastError()));
    // A read must ask for the whole input report; the device says how long its reports are.
    std::size_t inputLength = kReportSize;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (HidD_GetPreparsedData(handle, &preparsed)) {
        HIDP_CAPS caps{};
        if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS && caps.InputReportByteLength > 0)
            inputLength = caps.InputReportByteLength;
        HidD_FreePreparsedData(preparsed);
    }
    return {MakeOverlappedHidHandle(handle, inputLength)};
}

OpenCheck WindowsTransport::probe(const std::string& path) {
    // Shared, and closed at once: a session's open that meets it tries again (see open()). The system does not
    // tell which program holds a device.
    Handle device(CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    return {device.valid() ? OpenFailure::None : FailureOf(GetLastError()), {}};
}

}  // namespace qb
