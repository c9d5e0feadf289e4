// "Open Previous Session": lists the saved session files, newest first, and
// opens one for review.
//
// GUI thread. Owns the list of files shown (refilled on every show) and the
// grid's model over it. Opening a file closes the running session first
// (through the panel, "Save session?" included); the file's shooters with
// shots then move into CurrentSession, each with a new review viewer in
// ShooterViewers (owned by neither this form nor the list: the session close
// deletes them).
//
// The grid always has a selected row while it lists files: the newest when
// the list shows. Open, Enter on the grid (Open is the default button) and a
// double click open the selected row; without one Open is disabled. Escape
// is Close.
//
// No timers, no hooks. Waits: the close question and the browse dialog run
// nested loops; Open is disabled meanwhile and the form is checked to still
// exist afterwards.
#pragma once

#include "SessionFileListModel.h"

#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QTableView;
class QToolButton;
class TSession;

class TFormOpenSession : public QWidget {
    Q_OBJECT
public:
    explicit TFormOpenSession(QWidget* parent = nullptr);
    ~TFormOpenSession() override;

    // Reads path; on success closes the current session and shows a review
    // viewer for every shooter of the file that has shots. A file that cannot
    // be read, a file without shooters, or a close the operator declined
    // leave the running session as it was.
    void OpenSessionFile(const QString& path);

    // The files listed now.
    const std::vector<TOpenListItem>& Items() const { return items_; }

    // ---- Handlers ----
    void ListSessionFiles();
    void FillSessionGrid();
    void BitBtnOpenClick();
    void StringGridSessionsDblClick();
    void ButtonShowBrowseDialogClick();
    void BitBtnCloseClick();

protected:
    void showEvent(QShowEvent* event) override;     // FormShow
    void closeEvent(QCloseEvent* event) override;   // FormClose
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void BuildLayout();
    void ConnectHandlers();
    void SetColumnWidths();
    // The selected data row's file, or empty.
    QString SelectedPath() const;
    // Open is usable with a selected row and while no file is being opened.
    void UpdateOpenButton();
    // OpenSessionFile's work, while Open is disabled.
    void ReadAndOpen(const QString& path);
    // Moves the loaded shooters with shots into CurrentSession, one review
    // viewer each; the others stay in loaded and go with it.
    void TakeShooters(TSession& loaded);

    QLabel* LabelSelectSession = nullptr;
    QTableView* StringGridSessions = nullptr;
    QPushButton* BitBtnOpen = nullptr;
    QPushButton* BitBtnClose = nullptr;
    QPushButton* BitBtnShowBrowseDialog = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLabel* ImageOpenPreviousSession = nullptr;

    std::vector<TOpenListItem> items_;
    TSessionFileListModel* model_ = nullptr;
    bool opening_ = false;
};
