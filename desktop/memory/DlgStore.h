// The "Store to Memory" dialog: shows the slot number and takes the name
// under which the current setting is stored.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

class CDlgStore : public QDialog {
    Q_OBJECT

public:
    explicit CDlgStore(QWidget* parent = nullptr);

    void SetSlot(int slot);  // shows "Memory No:<slot>"
    void SetName(const QString& name);
    QString Name() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* label_;
    QLineEdit* nameEdit_;
};
