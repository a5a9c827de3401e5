#include "simulator/VirtualBench.h"

#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace qb {

namespace {

volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void OnStopSignal(int) {
    gStopSignal = 1;
}

std::string Seconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%06ld", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000);
    return text;
}

}  // namespace

std::string PlugEventLine(bool plugged, int number, const std::string& serial) {
    return std::string("event ") + (plugged ? "plug " : "unplug ") + std::to_string(number) + " serial=" + serial +
           " monotonic=" + Seconds(CLOCK_MONOTONIC) + " realtime=" + Seconds(CLOCK_REALTIME);
}

VirtualBench::VirtualBench(std::vector<VirtualDevice*> devices, bool numbered)
    : devices_(std::move(devices)), numbered_(numbered) {
    if (!numbered_) return;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const std::string prefix = "encoder " + std::to_string(i + 1) + ": ";
        VirtualDevice& device = *devices_[i];
        device.onStatus = [this, prefix](const std::string& line) { say(prefix + line); };
        device.onPlug = [this, number = static_cast<int>(i + 1), &device](bool plugged) {
            say(PlugEventLine(plugged, number, std::to_string(device.model.serial)));
        };
    }
}

VirtualBench::~VirtualBench() {
    if (!numbered_) return;
    for (VirtualDevice* device : devices_) {
        device->onStatus = nullptr;
        device->onPlug = nullptr;
    }
}

void VirtualBench::say(const std::string& line) {
    if (onStatus) {
        onStatus(line);
    } else if (!numbered_ && devices_.size() == 1 && devices_[0]->onStatus) {
        devices_[0]->onStatus(line);
    }
}

VirtualDevice* VirtualBench::encoder(std::string_view number) const {
    const std::optional<int> n = ControlNumber(number, 1, static_cast<int>(devices_.size()));
    return n ? devices_[static_cast<std::size_t>(*n - 1)] : nullptr;
}

ControlResult VirtualBench::control(std::string_view line) {
    const auto [word, rest] = SplitControlWord(line);
    const auto [first, second] = SplitControlWord(rest);
    const auto failed = [this] {
        for (const VirtualDevice* device : devices_)
            if (!device->error().empty()) return ControlResult::Quit;
        return ControlResult::Bad;
    };
    if ((word == "plug" || word == "unplug") && encoder(rest)) {
        VirtualDevice* device = encoder(rest);
        return (word == "plug" ? device->plugIn() : device->unplug()) ? ControlResult::Done : failed();
    }
    if (word == "swap" && encoder(first) && encoder(second) && encoder(first) != encoder(second))
        return encoder(first)->unplug() && encoder(second)->plugIn() ? ControlResult::Done : failed();
    if (word == "fault" && encoder(first) && (second == "on" || second == "off")) {
        VirtualDevice* device = encoder(first);
        if (second == "on") {
            device->model.storeFault = DeviceModel::StoreFault{0, 1};  // a settings byte: every write brings it
        } else {
            device->model.storeFault.reset();
        }
        if (device->onStatus) device->onStatus("fault " + std::string(second));
        return ControlResult::Done;
    }
    if (devices_.size() > 1 && encoder(word)) return encoder(word)->control(rest);
    // Everything else, to every encoder: refused by one, refused by all, as they are alike.
    ControlResult result = ControlResult::Done;
    for (VirtualDevice* device : devices_) {
        const ControlResult own = device->control(line);
        if (own == ControlResult::Quit) return ControlResult::Quit;
        if (own == ControlResult::Bad) result = ControlResult::Bad;
    }
    return result;
}

int VirtualBench::run(int controlFd, bool plugAll) {
    // The stop signals are let through only while the loop waits, so none is lost between its check and the wait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t oldMask;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &oldMask);
    sigset_t waitMask = oldMask;
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    gStopSignal = 0;

    const auto healthy = [this] {
        return std::all_of(devices_.begin(), devices_.end(), [](const VirtualDevice* d) { return d->error().empty(); });
    };
    bool quit = false;
    for (VirtualDevice* device : devices_) quit = quit || (plugAll && !device->plugIn());
    std::string input;
    std::vector<pollfd> fds(devices_.size() + 1);
    while (!quit && gStopSignal == 0) {
        std::optional<VirtualDevice::Clock::time_point> due;
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            fds[i] = {devices_[i]->fd(), POLLIN, 0};
            const auto own = devices_[i]->nextAnswerDue();
            if (own && (!due || *own < *due)) due = own;
        }
        fds.back() = {controlFd, POLLIN, 0};
        timespec wait{};
        if (due) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::max(VirtualDevice::Clock::duration::zero(), *due - VirtualDevice::Clock::now()));
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
        }
        const nfds_t count = static_cast<nfds_t>(controlFd >= 0 ? fds.size() : devices_.size());
        const int ready = ::ppoll(fds.data(), count, due ? &wait : nullptr, &waitMask);
        if (ready < 0 && errno != EINTR) break;
        for (std::size_t i = 0; ready > 0 && i < devices_.size(); ++i)
            if ((fds[i].revents & (POLLIN | POLLERR | POLLHUP)) && !devices_[i]->handleKernelEvent()) quit = true;
        const auto now = VirtualDevice::Clock::now();
        for (VirtualDevice* device : devices_) quit = !device->sendDueAnswers(now) || quit;
        if (!quit && ready > 0 && controlFd >= 0 && fds.back().revents != 0) {
            char buffer[512];
            const ssize_t n = ::read(controlFd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) input.append(buffer, static_cast<std::size_t>(n));
            if (n <= 0) input += "\nquit\n";  // end of input ends the devices
            for (std::size_t end; !quit && (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
                const std::string line = input.substr(0, end);
                const ControlResult result = control(line);
                if (result == ControlResult::Bad) say("unknown command: " + line);
                quit = result == ControlResult::Quit;
            }
        }
    }
    bool unplugged = true;
    for (VirtualDevice* device : devices_) unplugged = device->unplug() && unplugged;
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    return unplugged && healthy() ? 0 : 1;
}

}  // namespace qb
