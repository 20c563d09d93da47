// A black box with a white caption: a channel label on the main view's black
// background. It looks the same pressed, focused or disabled.
#pragma once

#include <QPushButton>

class CLabelButton : public QPushButton {
    Q_OBJECT
public:
    explicit CLabelButton(QWidget* parent = nullptr);
    explicit CLabelButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
