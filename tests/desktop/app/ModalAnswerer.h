// Answers the modal windows a test causes, so that it never hangs on one:
// every message box is recorded and answered, the store dialog and the file
// dialog and the PEQ proposal are handed to the test's own actions (or
// cancelled), and so are the fit's options (or taken as they are).
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>
#include <vector>

class CDlgFitOptions;
class CDlgPeqProposal;
class CDlgStore;
class QFileDialog;

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

class ModalAnswerer : public QObject {
public:
    ModalAnswerer();

    // The button pressed in every message box; where the box lacks it, its
    // default button, else its escape button, else its first one.
    QMessageBox::StandardButton boxAnswer = QMessageBox::Ok;
    std::function<void(CDlgStore&)> onStore;
    std::function<void(QFileDialog&)> onFileDialog;
    std::function<void(CDlgPeqProposal&)> onPeqProposal;
    std::function<void(CDlgFitOptions&)> onFitOptions;

    const std::vector<SeenBox>& Seen() const { return boxes_; }
    QStringList BoxTexts() const;
    int storeDialogs = 0;

private:
    void Poll();
    void Handle(QPointer<QWidget> window);
    void Answer(QMessageBox& box);

    QTimer timer_;
    std::vector<SeenBox> boxes_;
    QSet<QWidget*> inHand_;  // windows whose answer is running (it may open another)
};
