#include "tests/reliability/ScratchDir.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/statvfs.h>

namespace {

QString root() {
    static const QString chosen = [] {
        struct statvfs fs {};
        if (statvfs("/dev/shm", &fs) == 0 && double(fs.f_bavail) * double(fs.f_frsize) > 512.0 * 1024 * 1024)
            return QStringLiteral("/dev/shm");
        return QDir::tempPath();
    }();
    return chosen;
}

} // namespace

ScratchDir::ScratchDir() {
    QTemporaryDir dir(root() + QStringLiteral("/k48213-reliability-XXXXXX"));
    dir.setAutoRemove(false);
    path_ = dir.path();
}

ScratchDir::~ScratchDir() {
    if (!path_.isEmpty()) QDir(path_).removeRecursively();
}
