#include "simulator/DeviceModel.h"

#include <algorithm>

#include "config/Bytes.h"
#include "config/MemoryConfigView.h"
#include "config/UserSink.h"
#include "protocol/DeviceImage.h"

namespace qb {

namespace {

// The default messages are single legends and always translate.
class NoMessages : public MessageSink {
public:
    void showError(const std::u16string&) override {}
    void showInformation(const std::u16string&) override {}
};

}  // namespace

// The same defaults and translation as the window's "Write To VELMORA" of a new configuration.
std::array<BlockImage, kBlockCount> DeviceModel::NewDeviceBlocks() {
    ConfigStore store;
    MemoryConfigView view;
    store.SetDefaultConfig(view);
    NoMessages sink;
    store.TranslateMessages(sink);
    return WrittenImage(store.Config.Settings, store.DeviceMessages).blocks;
}

// Answer byte i is report byte i + 1: the report id is not delivered.
DeviceModel::Answer DeviceModel::answer(const HidReport& report) {
    constexpr std::size_t kAt = kReplyDataByte - 1;  // where an answer's fields start in what a read delivers
    Answer out{};
    const std::uint8_t command = report[1];
    const std::uint8_t blockNumber = report[kBlockNumberByte];
    out[0] = command;  // echoed; the host never looks at it
    switch (command) {
        case kCmdIdentify: {
            std::copy(identity.begin(), identity.end(), out.begin() + (kIdentityByte - 1));
            WriteInt32LE(out.data() + (kSerialByte - 1), serial);
            const std::size_t room = kAnswerSize - (kVersionByte - 1);
            std::copy_n(version.begin(), std::min(version.size(), room), out.begin() + (kVersionByte - 1));
            break;
        }
        case kCmdFirstHalf:
        case kCmdSecondHalf:
            out[kAt] = blockNumber;
            if (blockNumber < kBlockCount) {
                const std::size_t half = command == kCmdFirstHalf ? 0 : kBlockHalfSize;
                std::copy_n(report.begin() + kBlockDataByte, kBlockHalfSize, blocks[blockNumber].begin() + half);
                if (storeFault && storeFault->block == blockNumber && storeFault->offset - half < kBlockHalfSize)
                    blocks[blockNumber][storeFault->offset] ^= 0x5A;
            }
            break;
        case kCmdReadFirstHalf:
        case kCmdReadSecondHalf:
            if (blockNumber < kBlockCount) {
                const std::size_t half = command == kCmdReadFirstHalf ? 0 : kBlockHalfSize;
                const BlockImage& block = blocks[servesMessageBlocks ? blockNumber : 0];
                std::copy_n(block.begin() + half, kBlockHalfSize, out.begin() + kAt);
            }
            break;
        case kCmdKeyPoll:
            out[kKeyNumberByte - 1] = keyDown;
            break;
        default:  // "E", "Z" and anything else: a bare acknowledgement
            break;
    }
    return out;
}

}  // namespace qb
