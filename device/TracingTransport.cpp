#include "device/TracingTransport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
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

// The file a trace goes to. A trace never blocks the program: a pipe that stays full for longer than kStallLimit
// (its reader stopped reading) ends the trace as failed, and a FIFO without a reader is refused when opened.
class TraceFile {
public:
    static constexpr int kStallLimitMs = 2000;

#if defined(_WIN32)
    explicit TraceFile(std::FILE* file) : file_(file) {}
    ~TraceFile() {
        std::fclose(file_);
    }
    bool write(std::string_view line) {
        return std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0;
    }

private:
    std::FILE* file_;
#else
    explicit TraceFile(int fd) : fd_(fd) {}
    ~TraceFile() {
        ::close(fd_);
    }
    bool write(std::string_view line) {
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
            if (n > 0) {
                done += std::size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
            pollfd ready{fd_, POLLOUT, 0};
            if (::poll(&ready, 1, kStallLimitMs) <= 0) return false;  // stalled, or the reader is gone
        }
        return true;
    }

private:
    int fd_;
#endif
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;
};

// Whether `path` holds something a trace must not replace: a regular file with content that is not a trace.
bool HoldsSomethingElse(const std::string& path) {
    std::FILE* existing = std::fopen(path.c_str(), "rb");
    if (existing == nullptr) return false;
    // The header's first line, whatever line end a copy of the file has been given.
    const std::string_view header(kTraceHeader, sizeof kTraceHeader - 2);
    char start[sizeof kTraceHeader] = {};
    const std::size_t n = std::fread(start, 1, header.size(), existing);
    std::fclose(existing);
    return n > 0 && std::string_view(start, n) != header.substr(0, n);
}

std::shared_ptr<TraceFile> OpenTraceFile(const std::string& path, std::string& error) {
#if !defined(_WIN32)
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISREG(st.st_mode) && HoldsSomethingElse(path)) {
        error = "Cannot write the trace " + path + ": the file exists and is not a trace; choose another name";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0) return std::make_shared<TraceFile>(fd);
    error = "Cannot write the trace " + path + ": " +
            (errno == ENXIO ? std::string("nobody reads that pipe") : std::string(std::strerror(errno)));
    return nullptr;
#else
    if (HoldsSomethingElse(path)) {
        error = "Cannot write the trace " + path + ": the file exists and is not a trace; choose another name";
        return nullptr;
    }
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) return std::make_shared<TraceFile>(file);
    error = "Cannot write the trace " + path + ": " + std::strerror(errno);
    return nullptr;
#endif
}

}  // namespace

TracingTransport::TracingTransport(std::unique_ptr<Transport> inner, LineWriter writeLine)
    : inner_(std::move(inner)), writeLine_(std::move(writeLine)), start_(Clock::now()) {}

std::unique_ptr<TracingTransport> TracingTransport::ToFile(std::unique_ptr<Transport> inner, const std::string& path,
                                                           std::string& error) {
    std::shared_ptr<TraceFile> file = OpenTraceFile(path, error);
    if (!file) return nullptr;
    // Written line by line: the trace up to the last report survives a crash or a killed program.
    auto writeLine = [file](std::string_view line) { return file->write(line); };
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
    // A trace that failed once stays failed: it is not written on with a gap in it.
    if (!ok_.load()) return;
    if (!writeLine_(FormatTraceLine(time, direction, report) + '\n')) {
        ok_.store(false);
        if (onFailure_) onFailure_();
    }
}

}  // namespace qb
