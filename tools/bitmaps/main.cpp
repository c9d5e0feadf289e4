// Draws the program's bitmap files into a folder (the runtime folder's
// "Bitmaps" during the build).
#include "BitmapArt.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: bitmapgen <output folder>\n";
        return 2;
    }
    QStringList failed;
    const int written = GenerateUiBitmaps(args[1], &failed);
    for (const QString& name : failed)
        err << "bitmapgen: cannot write " << name << "\n";
    return failed.isEmpty() && written > 0 ? 0 : 1;
}
