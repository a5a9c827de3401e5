#include "simulator/VirtualDevice.h"

#include <linux/input.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "device/DeviceIds.h"
#include "simulator/VirtualBench.h"

namespace qb {

namespace {

constexpr std::uint8_t kDescriptor[] = {
    0x06, 0x00, 0xFF,  // usage page: vendor defined 0xFF00
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection: application
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size: 8 bits
    0x95, 0x40,        //   report count: 64
    0x09, 0x02,        //   usage 2
    0x81, 0x02,        //   input: data, variable, absolute
    0x95, 0x40,        //   report count: 64
    0x09, 0x03,        //   usage 3
    0x91, 0x02,        //   output: data, variable, absolute
    0xC0,              // end collection
};

constexpr std::size_t kDataSize = DeviceModel::kAnswerSize;

void CopyText(std::uint8_t* to, std::size_t room, const std::string& text) {
    std::memcpy(to, text.data(), std::min(text.size(), room - 1));  // the event was zeroed: always terminated
}

}  // namespace

// "word rest": the first word and what follows it, both without surrounding blanks.
std::pair<std::string_view, std::string_view> SplitControlWord(std::string_view line) {
    const auto trim = [](std::string_view s) {
        const std::size_t first = s.find_first_not_of(" \t\r");
        if (first == std::string_view::npos) return std::string_view();
        return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
    };
    line = trim(line);
    const std::size_t space = line.find_first_of(" \t");
    if (space == std::string_view::npos) return {line, {}};
    return {line.substr(0, space), trim(line.substr(space))};
}

std::optional<int> ControlNumber(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) return std::nullopt;
    return value;
}

std::span<const std::uint8_t> VirtualDeviceDescriptor() {
    return kDescriptor;
}

VirtualDevice::VirtualDevice(int uhidFd, const VirtualDeviceOptions& options) : fd_(uhidFd), options_(options) {
    model.release = options.programMode ? kProgramModeRelease : kApplicationRelease;
    model.keyDown = static_cast<std::uint8_t>(options.keyDown);
}

VirtualDevice::~VirtualDevice() {
    if (plugged_) unplug();
}

void VirtualDevice::status(const std::string& line) {
    if (onStatus) onStatus(line);
}

bool VirtualDevice::fail(const std::string& what) {
    error_ = what + ": " + std::strerror(errno);
    return false;
}

bool VirtualDevice::writeEvent(const void* event, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd_, event, size);
        if (n == static_cast<ssize_t>(size)) return true;
        if (n < 0 && errno == EINTR) continue;
        if (n >= 0) errno = EIO;
        return fail("writing to /dev/uhid");
    }
}

bool VirtualDevice::plugIn() {
    if (plugged_) return true;
    uhid_event event{};
    event.type = UHID_CREATE2;
    uhid_create2_req& create = event.u.create2;
    CopyText(create.name, sizeof create.name, options_.product);
    CopyText(create.phys, sizeof create.phys, "quillanterbrooke-virtual-device");
    CopyText(create.uniq, sizeof create.uniq, options_.serial);
    create.rd_size = sizeof kDescriptor;
    std::memcpy(create.rd_data, kDescriptor, sizeof kDescriptor);
    create.bus = BUS_USB;
    create.vendor = kVelmoraVendorId;
    create.product = kQuillanterbrookeProductId;
    create.version = model.release;
    if (!writeEvent(&event, sizeof event)) return false;
    plugged_ = true;
    if (onPlug) onPlug(true);
    char line[64];
    std::snprintf(line, sizeof line, "plugged in (%s, release %04X)",
                  model.release == kProgramModeRelease ? "program mode" : "application", model.release);
    status(line);
    return true;
}

bool VirtualDevice::unplug() {
    if (!plugged_) return true;
    pending_.clear();  // what the device had not sent yet goes with it
    plugged_ = false;
    uhid_event event{};
    event.type = UHID_DESTROY;
    if (!writeEvent(&event, sizeof event)) return false;
    if (onPlug) onPlug(false);
    status("unplugged");
    return true;
}

bool VirtualDevice::takeReport(const std::uint8_t* data, std::size_t size) {
    // hidraw hands the report over with the report id 0 still in front; a USB device would get the 64 data bytes.
    if (size == kReportSize && data[0] == 0) {
        ++data;
        --size;
    }
    HidReport report{};
    std::memcpy(report.data() + 1, data, std::min(size, kDataSize));
    if (onReport) onReport(report);
    if (unplugAfter_ > 0 && --unplugAfter_ == 0) return unplug();
    const Clock::time_point now = Clock::now();
    pending_.push_back({now + options_.answerDelay, model.answer(report)});
    return sendDueAnswers(now);
}

bool VirtualDevice::handleKernelEvent() {
    uhid_event event{};
    const ssize_t n = ::read(fd_, &event, sizeof event);
    if (n < 0) return errno == EINTR || errno == EAGAIN ? true : fail("reading /dev/uhid");
    if (n == 0) {
        errno = EPIPE;
        return fail("reading /dev/uhid");
    }
    switch (event.type) {
        case UHID_OUTPUT:
            if (event.u.output.rtype != UHID_OUTPUT_REPORT) return true;
            return takeReport(event.u.output.data, std::min<std::size_t>(event.u.output.size, UHID_DATA_MAX));
        case UHID_SET_REPORT: {
            // Output reports sent as a request: taken like any other; the device has no feature reports.
            const bool output = event.u.set_report.rtype == UHID_OUTPUT_REPORT;
            uhid_event reply{};
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = event.u.set_report.id;
            reply.u.set_report_reply.err = output ? 0 : EIO;
            if (!writeEvent(&reply, sizeof reply)) return false;
            return !output ||
                   takeReport(event.u.set_report.data, std::min<std::size_t>(event.u.set_report.size, UHID_DATA_MAX));
        }
        case UHID_GET_REPORT: {
            // Nothing to read on request: the device only answers output reports.
            uhid_event reply{};
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = event.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            return writeEvent(&reply, sizeof reply);
        }
        default:  // start, stop, open, close: nothing to do
            return true;
    }
}

bool VirtualDevice::sendDueAnswers(Clock::time_point now) {
    while (!pending_.empty() && pending_.front().due <= now) {
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = kDataSize;
        std::memcpy(event.u.input2.data, pending_.front().data.data(), kDataSize);
        pending_.pop_front();
        if (plugged_ && !writeEvent(&event, sizeof event)) return false;
    }
    return true;
}

std::optional<VirtualDevice::Clock::time_point> VirtualDevice::nextAnswerDue() const {
    if (pending_.empty()) return std::nullopt;
    return pending_.front().due;
}

ControlResult VirtualDevice::control(std::string_view line) {
    const auto [word, rest] = SplitControlWord(line);
    const bool ok = [&, word = word, rest = rest]() -> bool {
        if (word.empty() || word.front() == '#') return true;
        if (word == "quit" && rest.empty()) return true;
        if ((word == "unplug" || word == "replug") && rest.empty()) return word == "unplug" ? unplug() : plugIn();
        if (word == "mode" && (rest == "program" || rest == "application")) {
            model.release = rest == "program" ? kProgramModeRelease : kApplicationRelease;
            // The device shows up again in its other mode, as the hardware re-enumerates.
            return !plugged_ || (unplug() && plugIn());
        }
        const std::optional<int> value = ControlNumber(rest, word == "unplug-after" ? 1 : 0, 3600 * 1000);
        if (!value) return false;
        if (word == "key" && *value <= 16) {
            model.keyDown = static_cast<std::uint8_t>(*value);
        } else if (word == "delay") {
            options_.answerDelay = std::chrono::milliseconds(*value);
        } else if (word == "unplug-after") {
            unplugAfter_ = *value;
        } else {
            return false;
        }
        status(std::string(word) + ' ' + std::string(rest));
        return true;
    }();
    if (!ok) return error_.empty() ? ControlResult::Bad : ControlResult::Quit;
    return word == "quit" ? ControlResult::Quit : ControlResult::Done;
}

int VirtualDevice::run(int controlFd) {
    VirtualBench bench({this});
    return bench.run(controlFd, true);
}

}  // namespace qb
