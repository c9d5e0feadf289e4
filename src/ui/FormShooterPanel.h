// "Control": the strip at the right edge of the work area while a session
// runs. Tiles the viewers and closes the session.
#pragma once

#include <QWidget>

class TFormShooter;

class TFormShooterPanel : public QWidget {
    Q_OBJECT
public:
    explicit TFormShooterPanel(QWidget* parent = nullptr);
    ~TFormShooterPanel() override;

    void ShowSingleViewer(TFormShooter* viewer);
    void ArrangePanelButtons();
    void LayoutPanelButtons();
    // Closes the session after "Save session?" when it is unsaved: stops the
    // units, deletes the viewers and the shooters, shows the start menu.
    // False when the operator chose to save first or cancelled (the session
    // stays as it was).
    bool CloseSession();
};

// Lays out every viewer of ShooterViewers beside the panel and shows them;
// every path that adds viewers calls it.
void ShowSessionViewers();
