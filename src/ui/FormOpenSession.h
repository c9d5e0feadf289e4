// "Open Previous Session": lists the saved session files, newest first, and
// opens one for review.
#pragma once

#include <QWidget>

class TFormOpenSession : public QWidget {
    Q_OBJECT
public:
    explicit TFormOpenSession(QWidget* parent = nullptr);
    ~TFormOpenSession() override;

    // Reads path; on success closes the current session and shows a review
    // viewer for every shooter of the file that has shots.
    void OpenSessionFile(const QString& path);
};
