#include "app/ErrorBox.h"

#include <QMessageBox>

void ShowErrorBox(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, owner);
    box.exec();
}
