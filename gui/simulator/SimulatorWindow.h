// The "Simulated device" window of --simulate: a keypad to hold keys down on, and the device's faults.
#pragma once

#include <array>

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace qb {

class SimulatedDevice;

class SimulatorWindow : public QWidget {
    Q_OBJECT

public:
    explicit SimulatorWindow(SimulatedDevice& device, QWidget* parent = nullptr);

    // Puts the window to the right of `main`.
    void placeBeside(const QWidget& main);
    // The pad button of the key the device numbers `keyNumber` (1..16).
    QPushButton* padButton(int keyNumber) const { return pad_.at(keyNumber - 1); }

private:
    void holdKey(int keyNumber, bool down);
    void setPlugged(bool plugged);
    void setProgramMode(bool on);
    void refreshStatus();

    SimulatedDevice& device_;
    std::array<QPushButton*, 16> pad_{};
    QCheckBox* latch_ = nullptr;
    QCheckBox* plugged_ = nullptr;
    QCheckBox* programMode_ = nullptr;
    QSpinBox* delay_ = nullptr;
    QPushButton* drop_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* refresh_ = nullptr;
    int held_ = 0;
};

}  // namespace qb
