// The channel settings sheet, opened from the main view's blocks.
#pragma once

class QWidget;

// Runs the sheet modally with the "Sub Chan" page in front for slot 2 and
// the "Left&&Right" page for any other slot.
void ShowChannelSettings(int slot, QWidget* owner = nullptr);
