#include "device/HidapiTransport.h"

#include <hidapi.h>

#include <mutex>
#include <set>

#if !defined(_WIN32)
#include <unistd.h>
#include <cerrno>
#endif

#include "config/Text.h"
#if defined(__linux__)
#include "device/HidrawHandle.h"
#endif

namespace qb {

// hid_init / hid_exit once per process, however many transports and handles come and go.
class HidapiLibrary {
public:
    HidapiLibrary() {
        std::lock_guard<std::mutex> lock(mutex());
        if (users()++ == 0) initialised() = hid_init() == 0;
    }
    ~HidapiLibrary() {
        std::lock_guard<std::mutex> lock(mutex());
        if (--users() == 0 && initialised()) {
            hid_exit();
            initialised() = false;
        }
    }
    HidapiLibrary(const HidapiLibrary&) = delete;
    HidapiLibrary& operator=(const HidapiLibrary&) = delete;

    bool ok() const {
        std::lock_guard<std::mutex> lock(mutex());
        return initialised();
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static int& users() {
        static int n = 0;
        return n;
    }
    static bool& initialised() {
        static bool done = false;
        return done;
    }
};

namespace {

// Both directions of a connection share one hidapi device (a duplicate), which reads and writes from two
// threads at once; it is closed with the last of them.
class HidapiHandle : public HidHandle {
public:
    HidapiHandle(std::shared_ptr<hid_device> device, std::shared_ptr<HidapiLibrary> library)
        : library_(std::move(library)), device_(std::move(device)) {}
    HidapiHandle(const HidapiHandle&) = delete;
    HidapiHandle& operator=(const HidapiHandle&) = delete;

    bool write(const std::uint8_t* data, std::size_t size) override {
        const int written = hid_write(device_.get(), data, size);
        return written >= 0 && static_cast<std::size_t>(written) == size;
    }

    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        const int n = hid_read_timeout(device_.get(), data, capacity, timeoutMs);
        return n < 0 ? -1 : n;
    }

    std::unique_ptr<HidHandle> duplicate() override { return std::make_unique<HidapiHandle>(device_, library_); }

private:
    std::shared_ptr<HidapiLibrary> library_;  // declared first: outlives device_
    std::shared_ptr<hid_device> device_;
};

// hidapi's wide strings: UTF-32 on Linux and macOS, UTF-16 on Windows.
std::string WideToUtf8(const wchar_t* text) {
    if (text == nullptr) return {};
    std::u16string utf16;
    for (const wchar_t* p = text; *p; ++p) {
        const auto c = static_cast<char32_t>(*p);
        if (sizeof(wchar_t) == 4 && c >= 0x10000) {
            utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            utf16 += static_cast<char16_t>(c);
        }
    }
    return ToUtf8(utf16);
}

// hidapi says only that an open failed; the device node tells whether this user may open it at all.
OpenFailure WhyOpenFailed(const std::string& path) {
#if !defined(_WIN32)
    if (::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return OpenFailure::AccessDenied;
#endif
    (void)path;
    return OpenFailure::Other;
}

}  // namespace

HidapiTransport::HidapiTransport() : library_(std::make_shared<HidapiLibrary>()) {}

HidapiTransport::~HidapiTransport() = default;

std::vector<HidInterfaceInfo> HidapiTransport::enumerate() {
    std::vector<HidInterfaceInfo> result;
    if (!library_->ok()) return result;
    hid_device_info* list = hid_enumerate(0, 0);
    // Some hidapi versions list one path once per usage; the search must see each interface once.
    std::set<std::string> seen;
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (info->path == nullptr || !seen.insert(info->path).second) continue;
        HidInterfaceInfo entry =
            HidInterfaceInfo::Make(info->vendor_id, info->product_id, info->release_number, info->path);
        entry.serialNumber = WideToUtf8(info->serial_number);
        result.push_back(std::move(entry));
    }
    hid_free_enumeration(list);
    return result;
}

OpenResult HidapiTransport::open(const std::string& path) {
#if defined(__linux__)
    // hidapi's hidraw paths: opened directly, for reads that a stop can wake.
    if (path.rfind("/dev/hidraw", 0) == 0) return HidrawHandle::Open(path);
#endif
    if (!library_->ok()) return OpenResult::Failed(OpenFailure::Other);
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr) return OpenResult::Failed(WhyOpenFailed(path));
    return {std::make_unique<HidapiHandle>(std::shared_ptr<hid_device>(device, hid_close), library_)};
}

OpenCheck HidapiTransport::probe(const std::string& path) {
#if defined(__linux__)
    if (path.rfind("/dev/hidraw", 0) == 0) return HidrawHandle::Probe(path);
#endif
    // Elsewhere no lock of ours is held: a look is an open closed again.
    return Transport::probe(path);
}

}  // namespace qb
