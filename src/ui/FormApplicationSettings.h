// "Application Settings": the network role, the options, the default setup
// file and the language. Not built yet: the dialog shows nothing to change.
#pragma once

#include <QDialog>

class TFormApplicationSettings : public QDialog {
    Q_OBJECT
public:
    explicit TFormApplicationSettings(QWidget* parent = nullptr);
    ~TFormApplicationSettings() override;
};
