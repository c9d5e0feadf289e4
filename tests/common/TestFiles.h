// Small file and locale helpers shared by the tests of every layer.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The whole file, or empty when it cannot be read.
QByteArray ReadAll(const QString& path);
// Writes bytes as the whole file; fails the calling test when it cannot.
void WriteAll(const QString& path, const QByteArray& bytes);

// The whole file folder/name; fails the calling test when it is missing or
// empty. TestData(name) reads from the test's own tests/<layer>/data folder.
QByteArray ReadDataFile(const QString& folder, const char* name);
#ifdef TRAXEL_TEST_DATA_DIR
inline QByteArray TestData(const char* name) { return ReadDataFile(QStringLiteral(TRAXEL_TEST_DATA_DIR), name); }
#endif

// Switches the C library to a locale whose decimal separator is ',' for its
// lifetime (compiling one into a temporary folder when none is installed),
// and back to "C" afterwards. Proves that number handling ignores the C locale.
class CommaCLocale {
public:
    CommaCLocale();
    ~CommaCLocale();
    CommaCLocale(const CommaCLocale&) = delete;
    CommaCLocale& operator=(const CommaCLocale&) = delete;

    // False when no such locale could be had; the caller skips.
    bool Active() const { return active_; }

private:
    struct Folder;
    std::unique_ptr<Folder> folder_;
    bool active_ = false;
};
