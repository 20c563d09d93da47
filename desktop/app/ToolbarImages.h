// The tool bar's five 16 x 15 images and the program icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

enum class ToolbarImage { Connect, Disconnect, Rs232, Memory, About };

inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 15;

QPixmap DrawToolbarImage(ToolbarImage image);

// A 32 x 32 picture of the unit: the window and About box icon.
QIcon ProgramIcon();
