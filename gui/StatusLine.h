// The line under the window's designed area: whether the encoder is attached, and who it is; with several
// attached, which one the operations use; a note on what the window waits for; the serial monitor's and the
// backups' buttons.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace qb {

class StatusLine : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 28;

    // What it shows is the presenter's: the controls PresenceText, DeviceChooser (shown only while more than one
    // encoder is attached), ProgressText, NoteText.
    explicit StatusLine(QWidget* parent = nullptr);

signals:
    void deviceChosen(int index);
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
