// The "RS232" dialog: picks the COM number (1..10) the program talks over
// and the device that number stands for. OK closes the port, stores the
// choice and opens the chosen port at once; Cancel changes nothing. The
// device field lists the system's serial devices; "Find unit" probes them
// and fills in the one where the unit answered. Where a QUENBAR_COM<n>
// variable decides the device, the field shows it and cannot be changed.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;

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
    QPushButton* FindUnitButton() const { return findUnit_; }
    // What the dialog says below the field: which variable decides, or what
    // "Find unit" found.
    QString Note() const;

    // Probes every device the field lists and the one typed in, and fills in
    // the first where the unit answered.
    void FindUnit();

    void accept() override;

private:
    void CreatePortRadios();
    void CreateDeviceField();
    void CreateButtons();
    void ShowDeviceOf(int number);
    std::vector<std::string> ProbeCandidates() const;

    QButtonGroup* ports_ = nullptr;
    QComboBox* device_ = nullptr;
    QPushButton* findUnit_ = nullptr;
    QLabel* note_ = nullptr;
    QString shownDevice_;
};
