// quillanterbrooke-virtual-device: the keypad encoder as a device of the running Linux kernel, through /dev/uhid.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "device/Trace.h"
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
    "  --received FILE    write every report received to FILE, one a line as 130 hex digits\n"
    "  --help             this text\n"
    "\n"
    "Standard input takes one command a line: key N (0 releases), delay MS, unplug, replug,\n"
    "unplug-after N (vanish on the N-th report from now, unanswered), mode program, mode application, quit.\n"
    "End of input, SIGINT and SIGTERM unplug the device and end the program.\n"
    "\n"
    "Through hidraw the tool sees release 0000 for any kernel-made device, so it cannot tell program mode from\n"
    "the application by the release here: it finds this device by vendor and product alone.\n";

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
        } else {
            return BadUsage("bad argument: " + arg);
        }
    }

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
    const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int why = errno;
        std::cerr << "quillanterbrooke-virtual-device: cannot open /dev/uhid: " << std::strerror(why) << '\n'
                  << (why == ENOENT                   ? "The kernel has no uhid device: load it with 'modprobe uhid'.\n"
                      : why == EACCES || why == EPERM ? "Run it as root (sudo).\n"
                                                      : "");
        if (received) std::fclose(received);
        return 1;
    }

    int status = 0;
    {
        qb::VirtualDevice device(fd, options);
        bool logFailed = false;
        device.onStatus = [](const std::string& line) { std::cout << line << std::endl; };
        if (received) {
            device.onReport = [&](const qb::HidReport& report) {
                // Flushed line by line: whoever watches the file sees each report as it arrives.
                logFailed |=
                    std::fprintf(received, "%s\n", qb::FormatReport(report).c_str()) < 0 || std::fflush(received) != 0;
            };
        }
        status = device.run(STDIN_FILENO);
        if (!device.error().empty()) std::cerr << "quillanterbrooke-virtual-device: " << device.error() << '\n';
        if (logFailed) {
            std::cerr << "quillanterbrooke-virtual-device: cannot write " << receivedPath << '\n';
            status = 1;
        }
    }
    ::close(fd);
    if (received && std::fclose(received) != 0) status = 1;
    return status;
}
