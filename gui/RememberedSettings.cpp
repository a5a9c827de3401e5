#include "gui/RememberedSettings.h"

#include <QFileInfo>
#include <QSettings>

namespace qb {

namespace {

QSettings Remembered() {
    return QSettings(QStringLiteral("VELMORA"), QStringLiteral("Quillanterbrooke"));
}

// Where the settings file is, found without opening it: QSettings reads its file as soon as it is made, and a FIFO
// there would never answer. Empty where settings are no file of ours to look at (the Windows registry, macOS's
// preferences).
QString SettingsFile() {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return {};
#else
    // A name nobody uses shows the folder: <folder>/<organisation>/<application>.conf.
    const QString probe =
        QSettings(QStringLiteral("Quillanterbrooke-settings-probe"), QStringLiteral("probe")).fileName();
    return QFileInfo(QFileInfo(probe).path()).path() + QStringLiteral("/VELMORA/Quillanterbrooke.conf");
#endif
}

}  // namespace

RememberedSettings::RememberedSettings() {
    const QString path = SettingsFile();
    const QFileInfo file(path);
    usable_ = path.isEmpty() || (!file.exists() && !file.isSymLink()) || (file.isFile() && !file.isSymLink());
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
