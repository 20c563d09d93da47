// Tells the windows that the model has changed: an edit passed through
// SendEdit (connected or not), or an operation rewrote the setting or the
// memory directory (connect, recall, store, delete, reset, memory-file
// load). A window that shows the model follows it through changed().
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
