#include "device/TracingTransport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qb {

namespace {

class TracingHandle : public HidHandle {
public:
    TracingHandle(std::unique_ptr<HidHandle> inner, TracingTransport& owner)
        : inner_(std::move(inner)), owner_(owner) {}

    bool write(const std::uint8_t* data, std::size_t size) override {
        // Recorded before it goes out: the answer cannot be recorded ahead of it.
        HidReport report{};
        std::copy_n(data, std::min(size, report.size()), report.begin());
        owner_.record(TraceDirection::ToDevice, report);
        return inner_->write(data, size);
    }

    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        const int n = inner_->read(data, capacity, timeoutMs);
        if (n > 0) {
            HidReport report{};  // report id 0 in front, as the reports are numbered everywhere else
            std::copy_n(data, std::min<std::size_t>(static_cast<std::size_t>(n), report.size() - 1),
                        report.begin() + 1);
            owner_.record(TraceDirection::FromDevice, report);
        }
        return n;
    }

    // The second handle keeps the first one's hold on the device.
    std::unique_ptr<HidHandle> duplicate() override {
        std::unique_ptr<HidHandle> other = inner_->duplicate();
        return other ? std::make_unique<TracingHandle>(std::move(other), owner_) : nullptr;
    }

private:
    std::unique_ptr<HidHandle> inner_;
    TracingTransport& owner_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Created or emptied; a FIFO without a reader is refused instead of blocking the program.
std::FILE* OpenTraceFile(const std::string& path, std::string& error) {
#if defined(_WIN32)
    std::FILE* file = std::fopen(path.c_str(), "wb");
#else
    std::FILE* file = nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file = ::fdopen(fd, "w");
        if (file == nullptr) ::close(fd);
    }
#endif
    if (file == nullptr) {
        error = "Cannot write the trace " + path + ": " +
                (errno == ENXIO ? std::string("nobody reads that pipe") : std::string(std::strerror(errno)));
    }
    return file;
}

}  // namespace

TracingTransport::TracingTransport(std::unique_ptr<Transport> inner, LineWriter writeLine)
    : inner_(std::move(inner)), writeLine_(std::move(writeLine)), start_(Clock::now()) {}

std::unique_ptr<TracingTransport> TracingTransport::ToFile(std::unique_ptr<Transport> inner, const std::string& path,
                                                           std::string& error) {
    std::FILE* opened = OpenTraceFile(path, error);
    if (opened == nullptr) return nullptr;
    std::shared_ptr<std::FILE> file(opened, FileCloser());
    // Flushed line by line: the trace up to the last report survives a crash or a killed program.
    auto writeLine = [file](std::string_view line) {
        return std::fwrite(line.data(), 1, line.size(), file.get()) == line.size() && std::fflush(file.get()) == 0;
    };
    if (!writeLine(kTraceHeader)) {
        error = "Cannot write the trace " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<TracingTransport>(std::move(inner), writeLine);
}

OpenResult TracingTransport::open(const std::string& path) {
    OpenResult result = inner_->open(path);
    if (result.handle) result.handle = std::make_unique<TracingHandle>(std::move(result.handle), *this);
    return result;
}

void TracingTransport::record(TraceDirection direction, const HidReport& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Taken under the lock, so that the lines' times never go backwards.
    const auto time = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_);
    if (!writeLine_(FormatTraceLine(time, direction, report) + '\n')) ok_.store(false);
}

}  // namespace qb
