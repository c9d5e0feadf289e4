#include "BitmapArt.h"
#include "DisplayTestSupport.h"
#include "Globals.h"
#include "UiBitmaps.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

class UiBitmapFiles : public ::testing::Test {
protected:
    TArtFolderScope art;
    const QString root = GeneratedArt().root;
};

TEST_F(UiBitmapFiles, GeneratorWritesEveryNamedFile)
{
    const TGeneratedArt& generated = GeneratedArt();
    EXPECT_TRUE(generated.errors.isEmpty()) << generated.errors.join(QLatin1Char(' ')).toStdString();
    const QStringList names = BitmapFiles::All();
    EXPECT_EQ(std::tuple(generated.written, names.size()), std::tuple(names.size(), 56));
    const QStringList files = QDir(root + QStringLiteral("/Bitmaps")).entryList(QDir::Files);
    for (const QString& name : names) {
        // Written under the spelling of its users, case included.
        const QString file = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).section(QLatin1Char('/'), -1);
        EXPECT_TRUE(files.contains(file)) << file.toStdString();
        const QImage image = LoadBitmapFile(name);
        EXPECT_EQ(image.size(), UiPictureSize(name)) << file.toStdString();
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
    }
    EXPECT_EQ(UiPictureSize(QStringLiteral("Bitmaps\\NoSuch.bmp")), QSize(0, 0));
    EXPECT_TRUE(DrawUiPicture(QStringLiteral("Bitmaps\\NoSuch.bmp")).isNull());
}

TEST_F(UiBitmapFiles, NamesResolveWhateverTheirCase)
{
    const QString hitrange = root + QStringLiteral("/Bitmaps/hitrange.bmp");
    EXPECT_EQ(ResolveBitmapPath(root, QStringLiteral("BITMAPS/HitRange.BMP")), hitrange);
    EXPECT_EQ(ResolveBitmapPath(root, QStringLiteral("Bitmaps\\GRADINGHEAD.bmp")),
              root + QStringLiteral("/Bitmaps/GradingHead.bmp"));
    EXPECT_TRUE(ResolveBitmapPath(root, QStringLiteral("Bitmaps\\..\\Bitmaps\\hitrange.bmp")).isEmpty());
    EXPECT_TRUE(ResolveBitmapPath(root, QStringLiteral("Bitmaps")).isEmpty()); // a folder is no file
    EXPECT_TRUE(ResolveBitmapPath(root, QString()).isEmpty());

    EXPECT_FALSE(LoadBitmapFile(QStringLiteral("bitmaps\\GRADE1.BMP")).isNull());
    EXPECT_FALSE(LoadBitmapFile(hitrange).isNull());
    EXPECT_TRUE(UiBitmap(QStringLiteral("BITMAPS\\hitRANGE.bmp")).Loaded());
    EXPECT_TRUE(UiBitmaps().Contains(BitmapFiles::HitRange));
    LoadStatusBitmaps();
    LoadUIBitmaps();
    EXPECT_TRUE(UiBitmaps().Contains(BitmapFiles::AllSilhTargets));
    FreeUIBitmaps();
    EXPECT_FALSE(UiBitmaps().Contains(BitmapFiles::AllSilhTargets));
    EXPECT_TRUE(UiBitmaps().Contains(BitmapFiles::Bluetooth_OK));
}

TEST_F(UiBitmapFiles, MissingOrBadFilesAreReportedOnceAndDrawNothing)
{
    TLogRecorder log;
    const QString missing = QStringLiteral("Bitmaps\\Missing.bmp");
    EXPECT_FALSE(UiBitmap(missing).Loaded());
    EXPECT_FALSE(UiBitmap(QStringLiteral("bitmaps\\MISSING.bmp")).Loaded());
    UiBitmaps().Load({ missing, missing });
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_TRUE(log.lines[0].contains(QStringLiteral("Missing.bmp")));

    QImage layer = NewLayer(20, 20);
    layer.fill(0xFF123456u);
    const QImage before = layer.copy();
    {
        TCanvas canvas(layer);
        DrawBitmap(canvas, 0, 0, UiBitmap(missing));
        DrawBitmapTransparent(canvas, 0, 0, UiBitmap(missing));
    }
    EXPECT_EQ(std::tuple(layer, log.lines.size()), std::tuple(before, 1));
    EXPECT_THROW(LoadBitmapFile(missing), Exception);

    // A file that is no bitmap: an error naming it, and nothing drawn.
    QFile bad(root + QStringLiteral("/Bitmaps/Broken.bmp"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("BM this is not a bitmap");
    bad.close();
    EXPECT_THROW(LoadBitmapFile(QStringLiteral("Bitmaps\\Broken.bmp")), Exception);
    EXPECT_FALSE(UiBitmap(QStringLiteral("Bitmaps\\Broken.bmp")).Loaded());
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_TRUE(log.lines[1].contains(QStringLiteral("Broken.bmp")));
    bad.remove();

    // Freed entries are looked for (and reported) again.
    UiBitmaps().Free({ missing });
    UiBitmap(missing);
    EXPECT_EQ(log.lines.size(), 3);
}

} // namespace
