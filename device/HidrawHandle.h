// Linux: a hidraw node read and written directly. hidapi's hidraw backend does no more than write() and
// poll()/read() on the node, but its read cannot be woken from another thread; this one waits on an eventfd
// beside the device, so the reader blocks without a time-out and a silent device costs no wake-ups.
#pragma once

#include <atomic>
#include <string>

#include "device/Transport.h"

namespace qb {

class HidrawHandle : public HidHandle {
public:
    // Opens `path` for reading and writing; a refusal for want of rights is told apart.
    static OpenResult Open(const std::string& path);
    // Takes `fd` (one report per read, as a hidraw node or a packet socket gives them).
    explicit HidrawHandle(int fd);
    ~HidrawHandle() override;
    HidrawHandle(const HidrawHandle&) = delete;
    HidrawHandle& operator=(const HidrawHandle&) = delete;

    bool write(const std::uint8_t* data, std::size_t size) override;
    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override;
    bool readsInterruptible() const override { return wake_ >= 0; }
    void interruptRead() override;

private:
    int fd_;
    int wake_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace qb
