// The program's document: a memory file (".cmf") open in the program, its
// six memories and the current setting (MemoryDocument), with the File
// menu's commands and the question before unsaved changes are lost.
//
// While no unit is connected, the pages edit the document's current setting
// through `model`: the document takes the edits (TakeCurrentFromModel) and
// `model` shows the document's current setting after New, Open and a
// disconnect. While connected, `model` is the unit's and the document only
// changes by its own commands and by Read Unit into Document.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "app/EditHistory.h"
#include "memfile/MemoryDocument.h"

class QWidget;

class CQuenbarDoc : public QObject {
    Q_OBJECT
public:
    // `window` owns the questions, boxes and file dialogs.
    explicit CQuenbarDoc(QWidget* window);
    ~CQuenbarDoc() override;

    const MemoryDocument& Document() const { return document_; }
    QString PathName() const { return path_; }
    // "name.cmf - Quenbar", "Untitled - Quenbar"; a modified document's name
    // ends in an asterisk.
    QString Title() const;

    // The File menu. Each returns whether it was carried out.
    bool OnFileNew();
    bool OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    // The document's memories into the unit, as Open File stores a file's,
    // once the user has agreed to the unit's memories it replaces; a document
    // with no memory in use sends nothing and says so.
    void OnSendToUnit();
    // The unit's memories into the document, as Save File reads them; the
    // unit's current setting becomes the document's.
    void OnReadFromUnit();

    // Opens or saves the file at `path`, without asking anything first;
    // failures are shown.
    bool OpenFile(const QString& path);
    bool SaveFile(const QString& path);

    // Before changes would be lost: "Save changes to name.cmf?" with Save,
    // Discard and Cancel. True unless cancelled (or the save failed).
    bool SaveModified();

    // Applies a change to the document's memories.
    void Edit(const std::function<void(MemoryDocument&)>& change);
    // While not connected: the current setting becomes `model`'s, if the
    // pages changed it since the document's was shown.
    void TakeCurrentFromModel();
    // While not connected: `model` shows the document's current setting,
    // which enters the edit history as `entry` says.
    void ShowCurrentInModel(const HistoryEntry& entry);
    // After a connect or disconnect: a disconnect shows the document again.
    void FollowConnection();

signals:
    // The document's content, name or modified state changed.
    void changed();

private:
    QString DisplayName() const;  // the file's name, or "Untitled"
    // The warning that the opened file holds values beyond their ranges.
    void WarnOfOutOfRangeValues() const;

    QWidget* window_;
    MemoryDocument document_;
    QString path_;
    MemoryDocument::Image shown_{};  // `model`'s setting when it last matched the document's
    bool wasConnected_ = false;
};
