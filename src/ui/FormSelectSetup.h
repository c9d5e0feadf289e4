// "Training Setup": picks a setup from the setup list and programs it into
// every connected unit; Start then opens one live viewer per unit.
#pragma once

#include <QWidget>

class QPixmap;

class TFormSelectSetup : public QWidget {
    Q_OBJECT
public:
    explicit TFormSelectSetup(QWidget* parent = nullptr);
    ~TFormSelectSetup() override;

    // CheckBoxModeDynamic (set by the start menu; no effect on programming).
    void SetModeDynamic(bool dynamic);
    void EnableSetupButtons();
    void DisableSetupButtons();
    // True while units are being programmed.
    bool Programming() const;
    // The device count text and icon the start menu computed.
    void ShowDeviceCount(const QString& text, const QPixmap& icon);
    // Reloads the setup list from path (the settings dialog's new default);
    // false after "Error loading setup file".
    bool ReloadSetupList(const QString& path);
};
