// qb_plug_watch: prints each encoder plug and unplug as the bus watcher and the plug tracker see them, with the
// time on the monotonic clock, until its standard input ends. For the guest test, which measures how soon a
// plug is seen against the virtual device's own times.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "device/DeviceIds.h"
#include "device/DeviceLink.h"
#include "device/PlatformBusWatcher.h"
#include "device/PlatformTransport.h"
#include "device/PlugTracker.h"
#include "device/QueueDispatcher.h"

namespace {

double Monotonic() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Print(const char* what, const qb::Plug& plug) {
    std::printf("%s %llu %s serial=%s monotonic=%.6f\n", what, static_cast<unsigned long long>(plug.id),
                plug.info.path.c_str(), plug.info.serialNumber.c_str(), Monotonic());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int settleMs = static_cast<int>(qb::kBusSettleTime.count());
    if (argc == 3 && std::string(argv[1]) == "--settle")
        settleMs = std::stoi(argv[2]);
    else if (argc != 1) {
        std::cerr << "Usage: qb_plug_watch [--settle MS]   (ends with its standard input)\n";
        return 2;
    }
    qb::QueueDispatcher dispatcher;
    qb::PlatformTransport transport;
    qb::PlugTracker tracker;
    bool running = true;
    const std::string anyRelease = qb::RevisionSubstring(std::nullopt);
    const auto look = [&](const qb::BusEvents& events) {
        tracker.events(events);
        std::vector<qb::HidInterfaceInfo> encoders;
        for (qb::HidInterfaceInfo& info : transport.enumerate())
            if (qb::MatchesRevision(info, anyRelease)) encoders.push_back(std::move(info));
        tracker.look(encoders);
        for (const qb::Plug& plug : tracker.removed()) Print("unplug", plug);
        for (const qb::Plug& plug : tracker.added()) Print("plug", plug);
    };
    auto watcher = qb::MakePlatformBusWatcher(dispatcher, std::chrono::milliseconds(settleMs));
    std::printf("watching with %s\n", watcher->kind());
    watcher->watch(look);
    look({});
    std::thread input([&] {
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        dispatcher.post([&] { running = false; });
    });
    while (running) dispatcher.runOne(std::chrono::hours(1));
    input.join();
    return 0;
}
