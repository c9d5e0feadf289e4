#include "ComEnum.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

namespace ComBackend {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool LessNoCase(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char ca = Lower(a[i]), cb = Lower(b[i]);
        if (ca != cb)
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b; // names differing only in case keep a fixed order
}

// A legacy 8250 port slot without a UART reports type 0.
bool IsEmptyLegacyPort(const std::string& entryPath)
{
    FILE* f = std::fopen((entryPath + "/type").c_str(), "r");
    if (!f)
        return false;
    char buf[16] = {};
    std::size_t n = std::fread(buf, 1, sizeof(buf) - 1, f);
    std::fclose(f);
    std::string text(buf, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text == "0";
}

} // namespace

int EnumComPortNames(const std::string& sysfsRoot, std::vector<std::string>& names)
{
    names.clear();
    const std::string classDir = sysfsRoot + "/class/tty";
    DIR* dir = opendir(classDir.c_str());
    if (!dir)
        return errno ? errno : EIO;

    std::vector<std::string> found;
    int readError = 0;
    for (;;) {
        errno = 0; // readdir reports its errors only through errno
        dirent* e = readdir(dir);
        if (!e) {
            readError = errno;
            break;
        }
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string entryPath = classDir + "/" + name;
        // Virtual terminals, ptys and the console have no device link.
        struct stat st;
        if (lstat((entryPath + "/device").c_str(), &st) != 0)
            continue;
        if (name.rfind("ttyS", 0) == 0 && IsEmptyLegacyPort(entryPath))
            continue;
        found.push_back(name);
    }
    closedir(dir);
    if (readError != 0)
        return readError;

    std::sort(found.begin(), found.end(), LessNoCase);
    names = std::move(found);
    return 0;
}

} // namespace ComBackend
