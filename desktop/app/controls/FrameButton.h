// A white box with a thin black frame that shows a value as its caption.
// Held down, only the caption moves (one pixel right and down); the face
// looks the same with or without the keyboard focus.
#pragma once

#include <QPushButton>

class CFrameButton : public QPushButton {
    Q_OBJECT
public:
    explicit CFrameButton(QWidget* parent = nullptr);
    explicit CFrameButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
