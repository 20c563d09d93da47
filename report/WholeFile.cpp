#include "WholeFile.h"

#include <QSaveFile>

bool WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    // commit() alone may report success although the data never reached the
    // disk (a full disk shows only at the flush), so the flush is checked.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit();
}
