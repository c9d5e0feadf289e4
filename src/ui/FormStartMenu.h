// The start menu, the program's home screen: chooses the operation, shows the
// connected units, reconnects them, holds the diagnostics log and ends the
// program.
#pragma once

#include <QWidget>

class TFormStartMenu : public QWidget {
    Q_OBJECT
public:
    explicit TFormStartMenu(QWidget* parent = nullptr);
    ~TFormStartMenu() override;

    // Shows the menu in front (every "back" path ends here).
    void ShowInFront();
    // "Session Finished" in the waiting label, centred; then ShowInFront.
    void ShowSessionFinished();
    // The device counts on the menu, the setup screen and the download screen.
    void UpdateDeviceCounts();
    void ApplyNetworkModeLayout();
    // Appends one line to the diagnostics log (GUI thread).
    void AppendLog(const QString& line);

public Q_SLOTS:
    void BitBtnOpenSessionClick();
};
