// The simulated device's serial port: where a pressed key's message goes, at the format written into the
// device. Here it is the device side of a pseudo-terminal, so a serial monitor can open the other side like
// any serial port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// Block 0 bytes 25..27 of the device's configuration image, as the settings block holds them.
struct SerialFormat {
    std::uint8_t baudCode = 0;  // index into kBaudRates
    std::uint8_t parity = 0;    // 0 none, 1 even, 2 odd
    std::uint8_t stopBits = 1;  // 1 or 2
};

class SerialLine {
public:
    virtual ~SerialLine() = default;
    // Sends `bytes` at `format`. A receiver set to another rate or parity sees garbage, as on a real line.
    virtual void send(std::string_view bytes, const SerialFormat& format) = 0;
};

// A pseudo-terminal pair whose far end (portName()) a serial monitor opens. Bytes sent while nobody has it
// open are lost, as on a line with nothing attached. Not available on Windows (no pseudo-terminals there).
class PseudoTerminalLine : public SerialLine {
public:
    PseudoTerminalLine();
    ~PseudoTerminalLine() override;
    PseudoTerminalLine(const PseudoTerminalLine&) = delete;
    PseudoTerminalLine& operator=(const PseudoTerminalLine&) = delete;

    bool isOpen() const { return master_ >= 0; }
    // The port to open, e.g. /dev/pts/3; empty if the pair could not be made.
    const std::string& portName() const { return portName_; }
    void send(std::string_view bytes, const SerialFormat& format) override;
    // What the receiver has set, if it has the port open.
    bool receiverFormat(SerialFormat& format) const;

private:
    int master_ = -1;
    std::string portName_;
};

}  // namespace qb
