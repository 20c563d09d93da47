#include "app/DialogUnits.h"

#include <QFontMetrics>

namespace {

// The average character width as the platform's dialog manager measures it:
// the width of the 52 letters, rounded to the nearest whole pixel per letter.
int AverageCharWidth(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int total = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return (total / 26 + 1) / 2;
}

int CharHeight(const QFont& font) { return QFontMetrics(font).height(); }

}  // namespace

QFont DialogFont()
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setPointSize(8);
    return font;
}

QRect DialogUnitsToPixels(int x, int y, int w, int h, const QFont& font)
{
    const int cx = AverageCharWidth(font);
    const int cy = CharHeight(font);
    return QRect(x * cx / 4, y * cy / 8, w * cx / 4, h * cy / 8);
}

QSize DialogUnitsToPixels(int w, int h, const QFont& font) { return DialogUnitsToPixels(0, 0, w, h, font).size(); }

void PlaceInDialogUnits(QWidget* child, int x, int y, int w, int h)
{
    child->setGeometry(DialogUnitsToPixels(x, y, w, h, child->font()));
}
