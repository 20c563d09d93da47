#include "dialogs/FormLayout.h"

#include <QGroupBox>

QLabel* AddLabel(QWidget* form, const char* text, int x, int y, int w, int h, Qt::Alignment alignment)
{
    auto* label = Place(new QLabel(QString::fromLatin1(text), form), x, y, w, h);
    label->setAlignment(alignment | Qt::AlignVCenter);
    return label;
}

void AddFrame(QWidget* form, const char* title, int x, int y, int w, int h)
{
    Place(new QGroupBox(QString::fromLatin1(title), form), x, y, w, h)->lower();
}
