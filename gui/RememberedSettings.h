// The window's remembered choices. The settings file is read and written only while it is a regular file of its
// own (or absent): a link, a FIFO or a device standing in its place is never followed, replaced or waited on, and
// the choices then fall back to their defaults for this run. A choice is written only when it changes.
#pragma once

#include <QString>

namespace qb {

class RememberedSettings {
public:
    RememberedSettings();

    bool value(const QString& key, bool fallback) const;
    void setValue(const QString& key, bool value);
    // False when something other than a regular file stands where the settings file goes.
    bool usable() const { return usable_; }

private:
    bool usable_ = false;
};

}  // namespace qb
