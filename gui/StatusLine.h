// The line under the window's designed area: whether the encoder is attached, and who it is; with several
// attached, which one the operations use; and the serial monitor's button.
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

signals:
    void deviceChosen(const std::string& key);
    void monitorRequested();

private:
    QLabel* text_ = nullptr;
    QLabel* progress_ = nullptr;
    QComboBox* chooser_ = nullptr;
    QPushButton* monitor_ = nullptr;
};

}  // namespace qb
