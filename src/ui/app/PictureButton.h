// A picture that acts on a click, reachable and pressed from the keyboard
// like a button: Tab stops at it (a click focuses it too, as it does a push
// button), Space, Return or Enter press it, and a frame in the highlight
// colour marks it while it has the focus. It takes the Return it presses, so
// a form's default button is not pressed as well. Screen readers see a
// button named by its hint (the tool tip, following translation) with a
// press action.
//
// GUI thread. A QLabel still: the picture is set and read as on any label.
#pragma once

#include <QLabel>

class TPictureButton : public QLabel {
    Q_OBJECT
public:
    explicit TPictureButton(QWidget* parent = nullptr);

    // What a click does, when the picture is enabled.
    void Click();

Q_SIGNALS:
    void Clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
