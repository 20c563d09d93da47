#include "tests/desktop/app/ModalAnswerer.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QPushButton>

#include "graph/FitOptionsDialog.h"
#include "graph/PeqProposalDialog.h"
#include "memory/DlgStore.h"

ModalAnswerer::ModalAnswerer()
{
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
    timer_.start(10);
}

QStringList ModalAnswerer::BoxTexts() const
{
    QStringList texts;
    for (const SeenBox& box : boxes_) {
        texts << box.text;
    }
    return texts;
}

void ModalAnswerer::Answer(QMessageBox& box)
{
    boxes_.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons()});
    QAbstractButton* button = box.button(boxAnswer);
    if (button == nullptr) button = box.defaultButton();
    if (button == nullptr) button = box.escapeButton();
    if (button == nullptr) button = box.buttons().front();
    button->click();
}

void ModalAnswerer::Handle(QPointer<QWidget> window)
{
    if (window == nullptr || !window->isVisible()) {
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        Answer(*box);
    } else if (auto* store = qobject_cast<CDlgStore*>(window)) {
        ++storeDialogs;
        onStore ? onStore(*store) : store->reject();
    } else if (auto* files = qobject_cast<QFileDialog*>(window)) {
        onFileDialog ? onFileDialog(*files) : files->reject();
    } else if (auto* proposal = qobject_cast<CDlgPeqProposal*>(window)) {
        onPeqProposal ? onPeqProposal(*proposal) : proposal->reject();
    } else if (auto* options = qobject_cast<CDlgFitOptions*>(window)) {
        onFitOptions ? onFitOptions(*options) : options->accept();
    }
}

void ModalAnswerer::Poll()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || inHand_.contains(window)) {
            continue;
        }
        inHand_.insert(window);
        // Answered from a posted call, not from the timer: an answer may open
        // another modal window, and a timer never fires inside its own slot.
        QMetaObject::invokeMethod(
            this,
            [this, window, guarded = QPointer<QWidget>(window)] {
                Handle(guarded);
                inHand_.remove(window);  // only a key here; it may be gone
            },
            Qt::QueuedConnection);
    }
}
