// Writing a file all at once: the bytes go beside the target and replace it
// only once they are all written and flushed, so a failure leaves an
// existing file as it was.
#pragma once

#include <QByteArray>
#include <QString>

// False when the file cannot be written completely.
bool WriteWholeFile(const QString& path, const QByteArray& bytes);
