#pragma once

#include <QString>

// A fresh folder for the suite's embedded databases and application folders, removed with its
// contents afterwards. It lies in memory (/dev/shm) when the host has room there, since the
// suite runs hundreds of imports and each committed write would otherwise wait for the disk;
// else in the temporary folder like any other.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const QString& path() const { return path_; }
    QString file(const QString& name) const { return path_ + QLatin1Char('/') + name; }

private:
    QString path_;
};
