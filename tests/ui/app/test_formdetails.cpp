// Details of the screens an operator meets: hints a screen reader reads out,
// names of the buttons that show only an icon, the file dialogs' filter and
// columns, the shot strip filling its box and the cant value beside its
// picture.
#include "AccessibleHints.h"
#include "FormPrepareDownload.h"
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "QtPrompts.h"
#include "SessionFiles.h"
#include "TestTargets.h"
#include "UiRig.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QTemporaryDir>
#include <QTreeView>

namespace {

TEST(ControlWords, TheControlNameWithoutItsKindInWords)
{
    const std::pair<const char*, const char*> cases[] = {
        {"BitBtnCloseSession", "Close Session"}, {"SpeedButtonZeroing", "Zeroing"}, {"ButtonCancel", "Cancel"},
        {"ImageDeviceCount", "Device Count"},    {"ButtonOK", "OK"},                {"BitBtnSaveOKFile", "Save OK File"},
        {"Buttons", "Buttons"},                  {"BitBtn", "Bit Btn"},             {"Label2Top", "Label2 Top"},
    };
    for (const auto& [name, words] : cases)
        EXPECT_EQ(ControlWords(QString::fromLatin1(name)), QString::fromLatin1(words)) << name;
}

class FormDetailsTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
    }
};

TEST_F(FormDetailsTest, HintsAreReadOutAndIconButtonsAreNamed)
{
    const struct {
        QWidget* form;
        const char* control;
        const char* hint;
    } hints[] = {
        {FormStartMenu, "BitBtnClose", "Quit Application"},
        {FormStartMenu, "ButtonAppSettings", "Application Settings"},
        {FormStartMenu, "ImageDeviceCount", "Click to reconnect device(s)"},
        {FormSelectSetup, "ButtonStart", "Start Connected Simulation"},
        {FormSelectSetup, "ButtonSetup", "Setup Stand-alone Real Training"},
        {FormSelectSetup, "SpeedButtonMounting", "Set Device Mounting"},
        {FormPrepareDownload, "ImageDeviceCount", "Click to reconnect device(s)"},
    };
    for (const auto& h : hints) {
        auto* control = Control<QWidget>(h.form, h.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(std::pair(control->toolTip(), control->accessibleDescription()),
                  std::pair(QString::fromLatin1(h.hint), QString::fromLatin1(h.hint)))
            << h.control;
    }
    // A hint changed later (a language) is read out as changed.
    auto* close = Control<QWidget>(FormStartMenu, "BitBtnClose");
    close->setToolTip(QStringLiteral("Programm beenden"));
    EXPECT_EQ(close->accessibleDescription(), QStringLiteral("Programm beenden"));

    EXPECT_EQ(Control(FormPrepareDownload, "ButtonCancel")->accessibleName(), QStringLiteral("Cancel"));
    // Every button of every screen and of a viewer has something to read out.
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 2);
    QList<QWidget*> screens = QApplication::topLevelWidgets();
    screens << AddViewer(nullptr, shooter, false);
    for (QWidget* screen : screens) {
        for (QAbstractButton* button : screen->findChildren<QAbstractButton*>()) {
            if (button->objectName().isEmpty() || button->objectName().startsWith(QLatin1String("qt_")))
                continue; // parts of Qt's own widgets
            const bool speaks = !button->text().trimmed().isEmpty() || !button->toolTip().isEmpty()
                || !button->accessibleName().isEmpty();
            EXPECT_TRUE(speaks) << screen->objectName().toStdString() << "." << button->objectName().toStdString();
        }
    }
}

TEST_F(FormDetailsTest, FileDialogsShowThePlainFilterMatchAnyCaseAndKeepColumnsReadable)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"Upper.SHOTFILE.XML", "lower.shotfile.xml", "notes.txt", "lower.shotfile.xml.bak"})
        WriteFile(folder.filePath(QString::fromLatin1(name)), "<x/>");
    TFileRequest request;
    request.folder = folder.path();
    request.filters = QStringList {ShotFileFilter()};
    QFileDialog dialog;
    PrepareFileDialog(dialog, request);
    EXPECT_EQ(dialog.nameFilters(), QStringList {QStringLiteral("TRAXEL Shot File (*.shotfile.xml)")});

    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    const auto listed = [&] {
        QStringList names;
        const QModelIndex root = list->rootIndex();
        for (int row = 0; row < list->model()->rowCount(root); ++row)
            names << list->model()->index(row, 0, root).data().toString();
        names.sort();
        return names;
    };
    const QStringList expected {QStringLiteral("Upper.SHOTFILE.XML"), QStringLiteral("lower.shotfile.xml")};
    EXPECT_TRUE(WaitFor([&] { return listed() == expected; })) << listed().join(QLatin1Char('|')).toStdString();

    // The names take the room the size, type and date columns leave.
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->header()->sectionResizeMode(0), QHeaderView::Stretch);
    EXPECT_GE(dialog.width(), 800);
}

TEST_F(FormDetailsTest, TheStripFillsItsBoxAndTheCantValueSitsBesideItsPicture)
{
    TShooter* shooter = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, GoldenRing(), 1);
    TFormShooter* viewer = AddViewer(nullptr, shooter, false);
    viewer->resize(1900, 700);
    viewer->show();
    ASSERT_TRUE(WaitFor([&] { return !viewer->DrawPending() && viewer->Strip().EntryCount() == 1; }));
    auto* box = Control<QAbstractScrollArea>(viewer, "ScrollBoxShotString");
    ASSERT_GT(box->viewport()->width(), viewer->Strip().Bitmap().width());
    const QImage shown = box->viewport()->grab().toImage();
    const QColor stripBlue = viewer->Strip().Bitmap().pixelColor(viewer->Strip().Bitmap().width() - 1, 1);
    EXPECT_EQ(shown.pixelColor(shown.width() - 3, 1), stripBlue);
    SaveScreen(*viewer, QStringLiteral("viewer_wide"));

    auto* status = Control<QLabel>(viewer, "ImageStatus");
    auto* rotate = Control<QLabel>(viewer, "ImageRotate");
    auto* cant = Control<QLabel>(viewer, "LabelRotation");
    for (QWidget* w : {static_cast<QWidget*>(status), static_cast<QWidget*>(rotate), static_cast<QWidget*>(cant)})
        w->show();
    cant->setText(QStringLiteral("-12"));
    viewer->LayoutControls();
    EXPECT_FALSE(cant->geometry().intersects(rotate->geometry()));
    EXPECT_GE(cant->x(), rotate->x() + rotate->width());
    EXPECT_GE(cant->width(), cant->fontMetrics().horizontalAdvance(QStringLiteral("-12")));
}

} // namespace
