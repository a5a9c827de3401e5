// qb_plug_watch: prints each encoder plug and unplug as the bus watcher and the plug tracker see them, with the
// time on the monotonic clock, until its standard input ends. For the guest test, which measures how soon a
// plug is seen against the virtual device's own times.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "device/PlatformTransport.h"
#include "device/PlugWatcher.h"
#include "device/QueueDispatcher.h"

namespace {

void Print(const char* what, const qb::Plug& plug) {
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    std::printf("%s %llu %s serial=%s monotonic=%.6f\n", what, static_cast<unsigned long long>(plug.id),
                plug.info.path.c_str(), plug.info.serialNumber.c_str(), now);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int settleMs = static_cast<int>(qb::kBusSettleTime.count());
    if (argc == 3 && std::string(argv[1]) == "--settle") {
        settleMs = std::stoi(argv[2]);
    } else if (argc != 1) {
        std::cerr << "Usage: qb_plug_watch [--settle MS]   (ends with its standard input)\n";
        return 2;
    }
    qb::QueueDispatcher dispatcher;
    qb::PlatformTransport transport;
    qb::PlugWatcher plugs(transport, qb::MakePlatformBusWatcher(dispatcher, std::chrono::milliseconds(settleMs)));
    std::printf("watching with %s\n", plugs.kind());
    plugs.start([](const std::vector<qb::Plug>& removed, const std::vector<qb::Plug>& added) {
        for (const qb::Plug& plug : removed) Print("unplug", plug);
        for (const qb::Plug& plug : added) Print("plug", plug);
    });
    bool running = true;
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
