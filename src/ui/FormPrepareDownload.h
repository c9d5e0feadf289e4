// "Download": fetches the shots the units stored, one review viewer per
// finished unit. Also the program's receiver of port arrival and removal and
// of suspend and resume, in every mode.
#pragma once

#include <QWidget>

class QPixmap;

class TFormPrepareDownload : public QWidget {
    Q_OBJECT
public:
    explicit TFormPrepareDownload(QWidget* parent = nullptr);
    ~TFormPrepareDownload() override;

    void SetClearShotsAfterDownload(bool clear);
    void ShowDeviceCount(const QString& text, const QPixmap& icon);

    // Port "COMn" arrived or left (hot-plug); n is the COM number, 0 or -1
    // when the name held none.
    void OnPortArrival(int number);
    void OnPortRemoval(int number);
    // The machine is about to sleep / has woken up.
    void OnSuspend();
    void OnResume();
};
