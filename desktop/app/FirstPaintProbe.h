// A start-up probe for measurements: with QUENBAR_EXIT_AFTER_FIRST_PAINT set
// in the environment, the program prints "first paint" once its main window
// has been painted for the first time, and quits. bench.sh times the start
// from the spawn to that line.
#pragma once

class QApplication;

// Installs the probe when the environment asks for it; otherwise does nothing.
void InstallFirstPaintProbe(QApplication& application);
