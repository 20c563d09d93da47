// Writing a file all at once: the bytes go beside the target and replace it
// only once they are all written and flushed, so a failure leaves an
// existing file as it was.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// False when the file cannot be written completely.
bool WriteWholeFile(const QString& path, const QByteArray& bytes);

// The same for a save file its caller has opened already (to tell a file
// that cannot be opened from one that cannot be written).
bool CommitWholeFile(QSaveFile& file, const QByteArray& bytes);
