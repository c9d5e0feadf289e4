// The built program on a real X server (Xvfb) under a window manager, with
// two simulated units: it comes up to its start menu; two trainings started
// from the menu tile their viewers and the panel, decoration included, each
// window mapped, also after One/Many twice; a viewer the operator moves or
// resizes stays where it was put; it ends from the menu's Close button with
// exit code 0 and writes nothing outside its scratch folders.
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "TSimUnit.h"
#include "UiRig.h"

#include <QDir>
#include <QImage>
#include <QLayout>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// The form with its layouts worked out, as it is when shown.
void LayOut(QWidget& form)
{
    form.ensurePolished();
    if (form.layout())
        form.layout()->activate();
    for (QWidget* widget : form.findChildren<QWidget*>())  // parents before their children
        if (widget->layout())
            widget->layout()->activate();
}

// Where a button of the form sits in its window.
QPoint CentreIn(QWidget& form, const char* name)
{
    LayOut(form);
    const auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
    return button ? button->mapTo(&form, button->rect().center()) : QPoint();
}

QString Point(const QPoint& p) { return QStringLiteral("%1,%2").arg(p.x()).arg(p.y()); }

QString Value(const QString& output, const QString& key)
{
    for (const QString& line : output.split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1).trimmed();
    return QString();
}

// The rig's scratch folders and units; the program runs in its own process.
using RealWindowTest = UiRigTest;

TEST_F(RealWindowTest, StartsOnAnXServerWithTwoUnitsAndEndsFromClose)
{
    for (const char* tool : {"Xvfb", "xdotool", "xprop", "xwininfo", "openbox"})
        ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            << tool << " is missing: scripts/ensure-packages.sh installs it";

    const QString root = ScratchRoot();
    for (const char* sub : {"home", "config", "cache", "runtime", "tmp"})
        ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(sub)));
    QFile::setPermissions(root + QStringLiteral("/runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                  | QFileDevice::ExeOwner);
    const QString data = DataPath();
    // Not a first run: no box waits for an operator before the splash.
    ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("/Tavrik/TRAXEL/Shot files")));
    for (int n : {91, 92})
        AddUnit(n, unitsim::UnitName("KBR", n));

    TFormStartMenu menu;
    const QPoint close = CentreIn(menu, "BitBtnClose");
    const QPoint train = CentreIn(menu, "BitBtnDynamicTraining");
    TFormSelectSetup setup;
    const QPoint start = QPoint(setup.width(), setup.height()) - CentreIn(setup, "ButtonStart");
    ASSERT_FALSE(close.isNull() || train.isNull() || start.isNull());
    // On the 1024 x 768 screen without bars: the panel 128 wide at the right
    // edge, the two viewers side by side left of it, full height; one viewer
    // alone fills all left of the panel.
    const QStringList tiles {QStringLiteral("Shooter Viewer 1=0,0,448,768"), QStringLiteral("Shooter Viewer 2=448,0,448,768"),
                             QStringLiteral("Control=896,0,128,768")};
    const QString picture = ScreensFolder() + QStringLiteral("/real_window.png");
    const QString sessionPicture = ScreensFolder() + QStringLiteral("/real_window_session.png");
    QFile::remove(picture);
    QFile::remove(sessionPicture);
    const auto runtimeBefore = FileListing(QStringLiteral(TRAXEL_RUNTIME_DIR));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const auto& [name, sub] : {std::pair {"HOME", "home"}, std::pair {"XDG_DATA_HOME", "data"},
                                    std::pair {"XDG_CONFIG_HOME", "config"}, std::pair {"XDG_CACHE_HOME", "cache"},
                                    std::pair {"XDG_RUNTIME_DIR", "runtime"}, std::pair {"TMPDIR", "tmp"}})
        env.insert(QString::fromLatin1(name), root + QLatin1Char('/') + QLatin1String(sub));
    env.insert(QStringLiteral("TRAXEL_LOG_STDERR"), QStringLiteral("1"));
    // Under the leak checker: the font and message-bus libraries keep their
    // caches until exit, which is no fault of the program's.
    const QString suppressions =
        WriteFile(root + QStringLiteral("/lsan.supp"), "leak:libfontconfig.so\nleak:libdbus-1.so\n");
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               env.value(QStringLiteral("LSAN_OPTIONS")) + QStringLiteral(":suppressions=") + suppressions);

    QProcess run;
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(QStringLiteral(TRAXEL_RUNTIME_DIR));
    run.start(QStringLiteral("bash"), QStringList {QStringLiteral(TRAXEL_REALWINDOW_SCRIPT), QStringLiteral(TRAXEL_PROGRAM),
                                                   QStringLiteral(TRAXEL_SCREENGRAB), picture, Point(close), Point(train),
                                                   Point(start), QStringLiteral("0,0,896,768")}
                                          + tiles);
    ASSERT_TRUE(run.waitForStarted());
    ASSERT_TRUE(run.waitForFinished(280000));
    const QString output = QString::fromUtf8(run.readAllStandardOutput());
    const QString errors = QString::fromUtf8(run.readAllStandardError());
    SCOPED_TRACE(qPrintable(output + QStringLiteral("\n--- stderr ---\n") + errors));

    EXPECT_FALSE(Value(output, QStringLiteral("MENU")).isEmpty()) << "the start menu never appeared";
    // The program found both units behind its ports (its log goes to stderr).
    for (int n : {91, 92})
        EXPECT_TRUE(errors.contains(QStringLiteral("Found COM%1 %2").arg(n).arg(QString::fromStdString(unitsim::UnitName("KBR", n)))))
            << "COM" << n << " not found";
    EXPECT_FALSE(Value(output, QStringLiteral("WM")).isEmpty()) << "no window manager came up";
    EXPECT_EQ(Value(output, QStringLiteral("GRAB")), QStringLiteral("0"));
    // Each check waits until the frames fill their tiles, every window
    // mapped: after Start, after One/Many twice, after a second Start.
    for (const char* check : {"TILED1", "TILED2", "TILED3"})
        EXPECT_EQ(Value(output, QString::fromLatin1(check)), QStringLiteral("ok")) << check;
    EXPECT_EQ(Value(output, QStringLiteral("GRAB_SESSION")), QStringLiteral("0"));
    EXPECT_TRUE(Value(output, QStringLiteral("SINGLE")).startsWith(QStringLiteral("Shooter Viewer ")));
    // Moved and resized by the operator, through the window manager: not
    // placed back into their tiles.
    EXPECT_EQ(Value(output, QStringLiteral("MOVED")), QStringLiteral("kept"));
    EXPECT_EQ(Value(output, QStringLiteral("RESIZED")), QStringLiteral("kept"));
    EXPECT_EQ(Value(output, QStringLiteral("EXIT")), QStringLiteral("0"));
    EXPECT_FALSE(output.contains(QStringLiteral("STILL_RUNNING")));
    EXPECT_EQ(QImage(picture).size(), QSize(1024, 768));

    // Close saved the settings in the scratch data folder; the runtime folder
    // (the program's current directory) is as it was.
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/Tavrik/TRAXEL/TRAXEL.settings.xml")));
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/Tavrik/TRAXEL/Setups/default.setup.xml")));
    EXPECT_EQ(FileListing(QStringLiteral(TRAXEL_RUNTIME_DIR)), runtimeBefore);

    // The start-up figures, for whoever reads the test's output.
    std::printf("resident memory with the menu up: %s kB\n", qPrintable(Value(output, QStringLiteral("RSS_KB"))));
    for (const QString& line : output.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("WM=")) || line.startsWith(QLatin1String("FRAME"))
            || line.startsWith(QLatin1String("SINGLE=")) || line.startsWith(QLatin1String("MOVED="))
            || line.startsWith(QLatin1String("RESIZED=")))
            std::printf("%s\n", qPrintable(line));
    for (const QString& line : errors.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Splash painted")) || line.startsWith(QLatin1String("Start menu shown")))
            std::printf("%s\n", qPrintable(line));
}

}  // namespace
