// The line under the window's designed area: whether the encoder is attached, and who it is; with several
// attached, which one the operations use; a note on what the window waits for; the serial monitor's and the
// backups' buttons.
#pragma once

#include <string>

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace qb {

class DevicePresence;

class StatusLine : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 28;

    explicit StatusLine(QWidget* parent = nullptr);
    // Shows what `presence` knows now. The chooser is shown only while more than one encoder is attached.
    void showPresence(const DevicePresence& presence);
    // The chooser is locked while an operation is under way: an operation never changes devices.
    void setChoiceLocked(bool locked);
    // "Writing: 12 of 37 reports" while a write or read runs; nothing when `planned` is 0.
    void showProgress(int done, int planned, bool writing);
    // A line on what the window is waiting for ("Closing once the write has finished..."); empty hides it.
    void showNote(const QString& note);

signals:
    void deviceChosen(const std::string& key);
    void monitorRequested();
    void backupsRequested();

private:
    QLabel* text_ = nullptr;
    QLabel* progress_ = nullptr;
    QLabel* note_ = nullptr;
    QComboBox* chooser_ = nullptr;
    QPushButton* monitor_ = nullptr;
    QPushButton* backups_ = nullptr;
};

}  // namespace qb
