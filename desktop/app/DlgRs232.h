// The "RS232" dialog: picks the COM number (1..10) the program talks over
// and the device that number stands for. OK closes the port, stores the
// choice and opens the chosen port at once; Cancel changes nothing.
#pragma once

#include <QDialog>

class QButtonGroup;
class QComboBox;

// What OK does with the "Ports"/"COM<n>" entry, given the device the field
// showed when it was filled and the text it holds now: an untouched field
// keeps the entry, a blank one removes it (back to the default device),
// anything else is stored.
enum class PortDeviceEdit { Keep, Remove, Store };
PortDeviceEdit ClassifyPortDeviceEdit(const QString& shown, const QString& typed);

class CDlgRs232 : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFirstRadioId = 1050;  // radio id = 1050 + port number

    explicit CDlgRs232(QWidget* parent = nullptr);

    // The checked port number, or 0 when none is checked.
    int CheckedPortNumber() const;
    void CheckPortNumber(int number);
    QComboBox* DeviceField() const { return device_; }

    void accept() override;

private:
    void CreatePortRadios();
    void CreateDeviceField();
    void CreateButtons();
    void ShowDeviceOf(int number);

    QButtonGroup* ports_ = nullptr;
    QComboBox* device_ = nullptr;
    QString shownDevice_;
};
