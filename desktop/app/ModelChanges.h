// Tells the windows that `model` has changed: an edit passed through
// SendEdit (connected or not), or an operation ended and `model` took the
// unit's picture (UnitTasks.h: connect, recall, store, delete, reset,
// memory-file load), or, not connected, `model` shows the document's
// current setting (CQuenbarDoc). A window that shows the model follows it through
// changed(). Only the GUI thread uses it.
#pragma once

#include <QObject>

class ModelChanges : public QObject {
    Q_OBJECT
signals:
    void changed();
};

// The program's one notifier.
ModelChanges& ModelChangeNotifier();

// Emits changed() on the notifier.
void NotifyModelChanged();
