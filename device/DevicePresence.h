// Which encoders are attached now, whether this user may open them, and what the status line says about the
// one the operations use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceLink.h"
#include "device/Transport.h"

namespace qb {

enum class EncoderState {
    Attached,     // its application firmware, or a release the search takes last
    ProgramMode,  // its firmware loader
    NoAccess,     // present, but this user may not open it
    InUse,        // open in another program's session
};

struct AttachedEncoder {
    HidInterfaceInfo info;
    EncoderState state = EncoderState::Attached;
    std::string key;     // what chooses it: the USB serial number string, or the path where it has none
    std::string holder;  // InUse: the program holding it, where the platform tells
};

// What an operation's identify step learnt about the device it talked to.
struct EncoderIdentity {
    std::string path;
    std::u16string version;
    std::int32_t serial = 0;
};

// Lives on the window's thread, like the link whose transport it shares.
class DevicePresence {
public:
    DevicePresence(Transport& transport, DeviceLink& link);

    // Looks at the bus again: every matching interface, in the search's order (application, program mode, any
    // release). One the link has not open is looked at (Transport::probe) to learn whether this user may open it
    // and whether another program holds it; the look never makes that program's session fail. Returns
    // true if the status text or the list of encoders changed. Sets the link's selector to the chosen
    // encoder while more than one is attached, and clears it otherwise.
    bool refresh();
    // The identify step of an operation on the link's open connection accepted the device.
    void identified(std::u16string version, std::int32_t serial);
    // Chooses the encoder the operations use, by its key; kept while that encoder is attached.
    void choose(const std::string& key);

    const std::vector<AttachedEncoder>& encoders() const { return encoders_; }
    // Index of the encoder the operations use, or -1 when none is attached.
    int chosen() const;
    std::u16string statusText() const;
    // One line for `encoder`, as the chooser lists it.
    std::u16string describe(const AttachedEncoder& encoder) const;

private:
    // The encoder's state as `found` by the search step, unless a look at it tells otherwise.
    AttachedEncoder probe(const HidInterfaceInfo& info, EncoderState found);

    Transport& transport_;
    DeviceLink& link_;
    std::vector<AttachedEncoder> encoders_;
    std::string chosenKey_;
    std::optional<EncoderIdentity> identity_;
};

}  // namespace qb
