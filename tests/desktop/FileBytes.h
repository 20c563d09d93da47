// Test helpers for files: their bytes read and written whole, and a name
// chosen in the program's file dialog.
#pragma once

#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>

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

// Types the name into the file dialog and presses its accept button.
inline void ChooseFile(QFileDialog& files, const QString& path)
{
    files.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    static_cast<QDialog&>(files).accept();  // QFileDialog::accept, as its button does
}
