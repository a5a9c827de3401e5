#include "gui/RememberedSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace qb {

namespace {

QSettings Remembered() {
    return QSettings(QStringLiteral("VELMORA"), QStringLiteral("Quillanterbrooke"));
}

}  // namespace

RememberedSettings::RememberedSettings() {
    // Where the platform keeps settings in a registry, there is no file to look at.
    const QFileInfo file(Remembered().fileName());
    usable_ = !file.exists() && !file.isSymLink() ? true : file.isFile() && !file.isSymLink();
}

bool RememberedSettings::value(const QString& key, bool fallback) const {
    if (!usable_) return fallback;
    return Remembered().value(key, fallback).toBool();
}

void RememberedSettings::setValue(const QString& key, bool value) {
    if (!usable_) return;
    QSettings settings = Remembered();
    if (settings.contains(key) && settings.value(key).toBool() == value) return;
    settings.setValue(key, value);
}

}  // namespace qb
