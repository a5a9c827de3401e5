#include "device/DevicePresence.h"

#include <algorithm>

#include "config/Text.h"
#include "device/DeviceIds.h"

namespace qb {

namespace {

std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// What the chooser shows of the list: each encoder's key and state.
std::string Signature(const std::vector<AttachedEncoder>& encoders) {
    std::string text;
    for (const AttachedEncoder& e : encoders) text += e.key + '\n' + char('0' + int(e.state)) + e.holder + '\n';
    return text;
}

}  // namespace

DevicePresence::DevicePresence(Transport& transport, DeviceLink& link) : transport_(transport), link_(link) {}

AttachedEncoder DevicePresence::probe(const HidInterfaceInfo& info, EncoderState found) {
    AttachedEncoder encoder{info, found, info.serialNumber.empty() ? info.path : info.serialNumber, {}};
    if (link_.deviceOpen() && link_.openInterface().path == info.path) return encoder;
    // An open that fails otherwise is left to the operations to report.
    OpenCheck check = transport_.probe(info.path);
    if (check.failure == OpenFailure::AccessDenied) encoder.state = EncoderState::NoAccess;
    if (check.failure == OpenFailure::InUse) {
        encoder.state = EncoderState::InUse;
        encoder.holder = std::move(check.holder);
    }
    return encoder;
}

bool DevicePresence::refresh() {
    const std::u16string before = statusText();
    const std::string beforeList = Signature(encoders_);

    const std::vector<HidInterfaceInfo> present = transport_.enumerate();
    std::vector<AttachedEncoder> found;
    const std::pair<std::optional<std::uint16_t>, EncoderState> steps[] = {
        {kApplicationRelease, EncoderState::Attached},
        {kProgramModeRelease, EncoderState::ProgramMode},
        {std::nullopt, EncoderState::Attached},
    };
    for (const auto& [release, state] : steps) {
        const std::string wanted = RevisionSubstring(release);
        for (const HidInterfaceInfo& info : present) {
            const bool known = std::any_of(found.begin(), found.end(),
                                           [&](const AttachedEncoder& e) { return e.info.path == info.path; });
            if (known || !MatchesRevision(info, wanted)) continue;
            found.push_back(probe(info, state));
        }
    }
    // Two devices with one serial number string are told apart by their paths.
    for (AttachedEncoder& e : found) {
        const auto same = std::count_if(found.begin(), found.end(), [&](const AttachedEncoder& other) {
            return other.info.serialNumber == e.info.serialNumber;
        });
        if (same > 1) e.key = e.info.path;
    }
    encoders_ = std::move(found);

    if (identity_ && std::none_of(encoders_.begin(), encoders_.end(),
                                  [&](const AttachedEncoder& e) { return e.info.path == identity_->path; }))
        identity_.reset();
    link_.setSelector(encoders_.size() > 1 ? DeviceSelector{encoders_[chosen()].key} : DeviceSelector{});

    return before != statusText() || beforeList != Signature(encoders_);
}

void DevicePresence::identified(std::u16string version, std::int32_t serial) {
    identity_ = EncoderIdentity{link_.openInterface().path, std::move(version), serial};
}

void DevicePresence::choose(const std::string& key) {
    chosenKey_ = key;
    if (encoders_.size() > 1) link_.setSelector(DeviceSelector{encoders_[chosen()].key});
}

int DevicePresence::chosen() const {
    if (encoders_.empty()) return -1;
    // Nothing chosen: the device the operations use already, so a device plugged in later never takes its
    // place unasked; else the one the search would take.
    const bool open = chosenKey_.empty() && link_.deviceOpen();
    const DeviceSelector wanted{open ? link_.openInterface().path : chosenKey_};
    if (wanted.pathOrSerial.empty()) return 0;
    for (std::size_t i = 0; i < encoders_.size(); ++i)
        if (wanted.matches(encoders_[i].info)) return static_cast<int>(i);
    return 0;  // the chosen one is gone
}

std::u16string DevicePresence::describe(const AttachedEncoder& encoder) const {
    std::u16string text;
    switch (encoder.state) {
        case EncoderState::Attached:
            text = u"VELMORA attached";
            break;
        case EncoderState::ProgramMode:
            text = u"VELMORA in program mode";
            break;
        case EncoderState::NoAccess:
            text = u"VELMORA present, but not accessible to this user";
            break;
        case EncoderState::InUse:
            text = u"VELMORA in use by another program";
            if (!encoder.holder.empty()) text += u" (" + FromUtf8(encoder.holder) + u")";
            break;
    }
    const HidInterfaceInfo& info = encoder.info;
    text += info.serialNumber.empty() ? u" at " + Widen(info.path) : u", USB serial " + Widen(info.serialNumber);
    if (identity_ && identity_->path == info.path && encoder.state != EncoderState::NoAccess &&
        encoder.state != EncoderState::InUse)
        text +=
            u": appware version " + identity_->version + u", serial number " + Widen(std::to_string(identity_->serial));
    return text;
}

std::u16string DevicePresence::statusText() const {
    const int index = chosen();
    return index < 0 ? std::u16string(u"VELMORA not attached") : describe(encoders_[index]);
}

}  // namespace qb
