#pragma once

#include <QString>

// A fresh folder under the system's temporary folder, removed with its contents afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const QString& path() const { return path_; }
    QString file(const QString& name) const { return path_ + "/" + name; }

private:
    QString path_;
};
