// Linux: a hidraw node read and written directly. hidapi's hidraw backend does no more than write() and
// poll()/read() on the node, but its read cannot be woken from another thread; this one waits on an eventfd
// beside the device, so the reader blocks without a time-out and a silent device costs no wake-ups.
//
// The kernel hands every input report to every open handle of a node, so two programs talking to one device
// would read each other's answers. A session therefore holds an advisory lock (flock) on the node: a second
// program's session is refused as in use, and /proc/locks names the holder.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "device/Transport.h"

namespace qb {

class HidrawHandle : public HidHandle {
public:
    // Opens `path` for reading and writing and takes its exclusive lock; a refusal for want of rights, and one
    // because another program holds the lock, are told apart. Any file that flock works on will do.
    static OpenResult Open(const std::string& path);
    // What Open(path) would meet now, without taking the lock even for an instant: a session starting at the
    // same moment never fails because of a look.
    static OpenCheck Probe(const std::string& path);
    // Takes `fd` (one report per read, as a hidraw node or a packet socket gives them).
    explicit HidrawHandle(int fd);
    ~HidrawHandle() override;
    HidrawHandle(const HidrawHandle&) = delete;
    HidrawHandle& operator=(const HidrawHandle&) = delete;

    bool write(const std::uint8_t* data, std::size_t size) override;
    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override;
    bool readsInterruptible() const override { return wake_ >= 0; }
    void interruptRead() override;
    // The same open file (a dup): the lock lasts until the last of them is closed.
    std::unique_ptr<HidHandle> duplicate() override;

private:
    int fd_;
    int wake_;
    std::atomic<bool> interrupted_{false};
};

// The program holding an exclusive flock on the file (device and inode numbers as stat() gives them), as
// "NAME, process PID", from `procLocks` (the text of /proc/locks); nothing when no such lock is listed, and an
// empty text when the holder is not visible from here. The name is left out where /proc does not show it.
std::optional<std::string> FlockHolder(const std::string& procLocks, unsigned long long device,
                                       unsigned long long inode);

}  // namespace qb
