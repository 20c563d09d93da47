// A file's bytes, read and written whole, for the memory-file tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Empty when the file cannot be read.
inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
