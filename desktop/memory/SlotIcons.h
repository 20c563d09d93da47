// The pictures of the memory list: image 0 marks a used slot, image 1 an
// empty one. Each comes at 32 x 32 and 16 x 16 pixels, drawn as image strips
// on magenta, which is the transparent colour.
#pragma once

#include <QIcon>
#include <QPixmap>

inline constexpr int kSlotImageUsed = 0;
inline constexpr int kSlotImageEmpty = 1;

// The strip of both images, side by side, size x size each, on magenta.
QPixmap SlotImageStrip(int size);

// Image kSlotImageUsed or kSlotImageEmpty at both sizes, magenta transparent.
QIcon SlotIcon(int image);
