#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size()) << path.toStdString();
}

QByteArray ReadDataFile(const QString& folder, const char* name)
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    const QByteArray bytes = ReadAll(path);
    EXPECT_FALSE(bytes.isEmpty()) << "no data file " << path.toStdString();
    return bytes;
}

struct CommaCLocale::Folder {
    QTemporaryDir dir;
};

namespace {

bool UsesComma(const char* name)
{
    return std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0;
}

} // namespace

CommaCLocale::CommaCLocale()
{
    for (const char* name : { "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "nl_NL.UTF-8" }) {
        if (UsesComma(name)) {
            active_ = true;
            return;
        }
    }
    // A bare machine has no such locale installed: compile one for the test.
    folder_ = std::make_unique<Folder>();
    if (!folder_->dir.isValid())
        return;
    const QString target = folder_->dir.filePath(QStringLiteral("de_DE.UTF-8"));
    const QString command = QStringLiteral("localedef -i de_DE -f UTF-8 '%1' >/dev/null 2>&1").arg(target);
    if (std::system(command.toLocal8Bit().constData()) != 0)
        return;
    qputenv("LOCPATH", folder_->dir.path().toLocal8Bit());
    active_ = UsesComma("de_DE.UTF-8");
}

CommaCLocale::~CommaCLocale()
{
    std::setlocale(LC_ALL, "C");
    qunsetenv("LOCPATH");
}
