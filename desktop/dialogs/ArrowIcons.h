// The arrow pictures of the PEQ dialog's band-stepping buttons.
#pragma once

#include <QIcon>

enum class ArrowDirection { Left, Right };

// A filled arrow head pointing left or right, drawn at the given size,
// with a greyed form for a disabled button.
QIcon ArrowIcon(ArrowDirection direction, int size = 32);
