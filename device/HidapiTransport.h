// The real HID layer: hidapi (the hidraw backend on Linux, the platform's own backend elsewhere).
#pragma once

#include <memory>

#include "device/Transport.h"

namespace qb {

class HidapiLibrary;  // keeps hidapi initialised while a transport or one of its handles exists

class HidapiTransport : public Transport {
public:
    HidapiTransport();
    ~HidapiTransport() override;
    HidapiTransport(const HidapiTransport&) = delete;
    HidapiTransport& operator=(const HidapiTransport&) = delete;

    // Every HID interface present, with the first hardware id built from its vendor id, product id and release.
    std::vector<HidInterfaceInfo> enumerate() override;
    // A hidraw node (Linux) is held for the session by an advisory lock; elsewhere hidapi opens the device as the
    // system does.
    OpenResult open(const std::string& path) override;
    OpenCheck probe(const std::string& path) override;

private:
    std::shared_ptr<HidapiLibrary> library_;
};

}  // namespace qb
