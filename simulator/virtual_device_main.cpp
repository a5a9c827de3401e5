// quillanterbrooke-virtual-device: the keypad encoder as a device of the running Linux kernel, through /dev/uhid.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/Trace.h"
#include "simulator/VirtualBench.h"
#include "simulator/VirtualDevice.h"

namespace {

constexpr char kUsage[] =
    "Usage: quillanterbrooke-virtual-device [OPTIONS]\n"
    "\n"
    "Creates a VELMORA Quillanterbrooke (USB 04D8:FD37) in the running kernel through /dev/uhid and answers it\n"
    "like the device, so that quillanterbrooke and quillanterbrooke-cli find, write, read and test it without\n"
    "--simulate. Needs root (or write access to /dev/uhid) and a kernel with uhid (modprobe uhid). The tool\n"
    "opens it through /dev/hidraw*, which is root-only unless the udev rule is installed.\n"
    "\n"
    "Options:\n"
    "  --program-mode     appear with the firmware loader's release (0001) instead of the application's (0004)\n"
    "  --delay MS         answer every report MS milliseconds late (default 0)\n"
    "  --key N            hold key N (1..16, the device's key number) down from the start\n"
    "  --serial TEXT      the USB serial number string (default: none)\n"
    "  --received FILE    write every report received to FILE, one a line as 130 hex digits (with --count,\n"
    "                     the encoder's number and a space first)\n"
    "  --count N          N encoders (1..64), each a device of its own, numbered 1..N\n"
    "  --serial-base N    encoder k's serial number (in its identity answer and as USB serial number string)\n"
    "                     is N + k - 1 (default 1)\n"
    "  --unplugged        start with no encoder plugged in (plug them with 'plug K')\n"
    "  --fail K           encoder K keeps a wrong settings byte, so the verification of a write to it fails\n"
    "                     (may be given several times)\n"
    "  --help             this text\n"
    "\n"
    "Standard input takes one command a line: key N (0 releases), delay MS, unplug, replug,\n"
    "unplug-after N (vanish on the N-th report from now, unanswered), mode program, mode application, quit;\n"
    "these apply to every encoder, or to encoder K alone when preceded by K (\"3 key 5\"). Also: plug K, unplug K,\n"
    "swap K L (K unplugged and L plugged in at once), fault K on|off.\n"
    "End of input, SIGINT and SIGTERM unplug the devices and end the program.\n"
    "\n"
    "With --count, each line is \"encoder K: ...\", and every plug and unplug is told as\n"
    "  event plug|unplug K serial=S monotonic=SECONDS realtime=SECONDS\n"
    "(the system's monotonic clock and seconds since 1970, UTC, to the microsecond).\n"
    "\n"
    "Through hidraw the tool sees release 0000 for any kernel-made device, so it cannot tell program mode from\n"
    "the application by the release here: it finds this device by vendor and product alone.\n";

constexpr int kMaxCount = 64;

bool ParseInt(const std::string& text, int min, int max, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

int BadUsage(const std::string& what) {
    std::cerr << "quillanterbrooke-virtual-device: " << what << "\n\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    qb::VirtualDeviceOptions options;
    std::string receivedPath;
    int count = 1;
    bool numbered = false;  // --count given
    std::optional<int> serialBase;
    bool unplugged = false;
    std::vector<int> failing;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        int number = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--program-mode") {
            options.programMode = true;
        } else if (arg == "--delay" && hasValue && ParseInt(args[i + 1], 0, 60000, number)) {
            options.answerDelay = std::chrono::milliseconds(number);
            ++i;
        } else if (arg == "--key" && hasValue && ParseInt(args[i + 1], 0, 16, number)) {
            options.keyDown = number;
            ++i;
        } else if (arg == "--serial" && hasValue) {
            options.serial = args[++i];
        } else if (arg == "--received" && hasValue) {
            receivedPath = args[++i];
        } else if (arg == "--count" && hasValue && ParseInt(args[i + 1], 1, kMaxCount, number)) {
            count = number;
            numbered = true;
            ++i;
        } else if (arg == "--serial-base" && hasValue && ParseInt(args[i + 1], 0, 2000000000, number)) {
            serialBase = number;
            ++i;
        } else if (arg == "--unplugged") {
            unplugged = true;
        } else if (arg == "--fail" && hasValue && ParseInt(args[i + 1], 1, kMaxCount, number)) {
            failing.push_back(number);
            ++i;
        } else {
            return BadUsage("bad argument: " + arg);
        }
    }
    for (const int k : failing)
        if (k > count) return BadUsage("--fail " + std::to_string(k) + ": there are only " + std::to_string(count));
    if (count > 1 && !options.serial.empty()) return BadUsage("--serial names one encoder: use --serial-base");

    std::signal(SIGPIPE, SIG_IGN);  // a closed log or status pipe is reported as a failed write, not a kill
    std::FILE* received = nullptr;
    if (!receivedPath.empty()) {
        received = std::fopen(receivedPath.c_str(), "w");
        if (received == nullptr) {
            std::cerr << "quillanterbrooke-virtual-device: cannot write " << receivedPath << ": "
                      << std::strerror(errno) << '\n';
            return 1;
        }
    }
    // One /dev/uhid opened per encoder: each is a device of its own.
    std::vector<int> fds;
    for (int k = 0; k < count; ++k) {
        const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            fds.push_back(fd);
            continue;
        }
        const int why = errno;
        std::cerr << "quillanterbrooke-virtual-device: cannot open /dev/uhid: " << std::strerror(why) << '\n'
                  << (why == ENOENT                   ? "The kernel has no uhid device: load it with 'modprobe uhid'.\n"
                      : why == EACCES || why == EPERM ? "Run it as root (sudo).\n"
                                                      : "");
        for (const int open : fds) ::close(open);
        if (received) std::fclose(received);
        return 1;
    }

    int status = 0;
    {
        std::vector<std::unique_ptr<qb::VirtualDevice>> devices;
        std::vector<qb::VirtualDevice*> bench;
        for (int k = 1; k <= count; ++k) {
            devices.push_back(std::make_unique<qb::VirtualDevice>(fds[k - 1], options));
            qb::VirtualDevice& device = *devices.back();
            if (serialBase || count > 1) {
                device.model.serial = serialBase.value_or(1) + k - 1;
                device.setSerialNumber(std::to_string(device.model.serial));
            }
            if (std::find(failing.begin(), failing.end(), k) != failing.end())
                device.model.storeFault = qb::DeviceModel::StoreFault{0, 1};
            device.onStatus = [](const std::string& line) { std::cout << line << std::endl; };
            bench.push_back(&device);
        }
        bool logFailed = false;
        if (received) {
            for (int k = 1; k <= count; ++k) {
                devices[k - 1]->onReport = [&, k](const qb::HidReport& report) {
                    // Flushed line by line: whoever watches the file sees each report as it arrives.
                    const std::string who = numbered ? std::to_string(k) + " " : "";
                    logFailed |= std::fprintf(received, "%s%s\n", who.c_str(), qb::FormatReport(report).c_str()) < 0 ||
                                 std::fflush(received) != 0;
                };
            }
        }
        qb::VirtualBench runner(bench, numbered);
        runner.onStatus = [](const std::string& line) { std::cout << line << std::endl; };
        status = runner.run(STDIN_FILENO, !unplugged);
        for (const auto& device : devices)
            if (!device->error().empty()) std::cerr << "quillanterbrooke-virtual-device: " << device->error() << '\n';
        if (logFailed) {
            std::cerr << "quillanterbrooke-virtual-device: cannot write " << receivedPath << '\n';
            status = 1;
        }
    }
    for (const int fd : fds) ::close(fd);
    if (received && std::fclose(received) != 0) status = 1;
    return status;
}
