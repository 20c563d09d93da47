// Answers the modal windows a handler opens, so that a test never hangs on
// one: every message box is recorded and answered, the store dialog and the
// file dialog are handed to the test's own actions (or cancelled).
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>

class CDlgStore;
class QFileDialog;

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
};

class ModalAnswerer : public QObject {
public:
    ModalAnswerer();

    // The button pressed in every message box; where the box lacks it, its
    // escape button or else its only one.
    QMessageBox::StandardButton boxAnswer = QMessageBox::Ok;
    std::function<void(CDlgStore&)> onStore;
    std::function<void(QFileDialog&)> onFileDialog;

    QList<SeenBox> boxes;
    int storeDialogs = 0;

    QStringList BoxTexts() const;

private:
    void Poll();
    void Handle(QPointer<QWidget> window);
    void Answer(QMessageBox& box);

    QTimer timer_;
    QSet<QWidget*> inHand_;  // windows whose answer is running (it may open another)
};
