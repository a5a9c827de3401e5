// Copies the window's configuration controls into the record and back.
#pragma once

namespace qb {

class ConfigView;
struct KeypadConfig;

// Overwrites Settings and the text (plus one zero byte) at the start of every message slot; the rest of each
// slot is left as it was. A message longer than 63 bytes in its 8-bit form is cut to 63 bytes.
void PackConfig(const ConfigView& view, KeypadConfig& config);
// Sets every control from the record; does not change the record.
void UnpackConfig(const KeypadConfig& config, ConfigView& view);

}  // namespace qb
