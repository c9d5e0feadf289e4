#include "Screens.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

QString ScreensFolder()
{
    const QString folder = QStringLiteral(TRAXEL_SCREENS_DIR);
    QDir().mkpath(folder);
    return folder;
}

void SaveScreen(QWidget& widget, const QString& name)
{
    widget.ensurePolished();
    const QString path = ScreensFolder() + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!widget.grab().save(path, "PNG"))
        std::fprintf(stderr, "screen not saved: %s\n", qUtf8Printable(path));
}
