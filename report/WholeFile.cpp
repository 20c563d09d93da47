#include "WholeFile.h"

bool WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && CommitWholeFile(file, bytes);
}

bool CommitWholeFile(QSaveFile& file, const QByteArray& bytes)
{
    // commit() alone may report success although the data never reached the
    // disk (a full disk shows only at the flush), so the flush is checked.
    return file.write(bytes) == bytes.size() && file.flush() && file.commit();
}
