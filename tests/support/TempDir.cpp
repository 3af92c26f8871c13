#include "tests/support/TempDir.h"

#include <QDir>
#include <QTemporaryDir>

TempDir::TempDir() {
    QTemporaryDir dir(QDir::tempPath() + "/k48213-test-XXXXXX");
    dir.setAutoRemove(false);
    path_ = dir.path();
}

TempDir::~TempDir() {
    if (!path_.isEmpty()) QDir(path_).removeRecursively();
}
