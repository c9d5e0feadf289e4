// The start-up splash: the application's main form, created first. It starts
// the first device scan, shows its progress and then gives way to the start
// menu; it stays hidden for the rest of the run.
#pragma once

#include <QWidget>

class TFormStartupSplash : public QWidget {
    Q_OBJECT
public:
    explicit TFormStartupSplash(QWidget* parent = nullptr);
    ~TFormStartupSplash() override;
};
