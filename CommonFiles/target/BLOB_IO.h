#pragma once

#include <QString>

#include <cstdint>

// Whole files kept in the target's root table FILES, addressed by directory and file name (both
// stored upper-cased); storing a pair that exists replaces its bytes and keeps its row id.
//
// The target connection comes from the configuration. A manager that cannot be initialised or a
// connection that cannot be opened is reported in a message box and gives False. A missing local
// file gives False without a message. Database and file errors after that reach the caller.

// Stores the file and sets id to the row's id; deletes the local file afterwards when asked.
bool BLOBPutFile(const QString& localPath, const QString& dirName, const QString& fileName,
                 bool deleteAfterwards, std::int32_t& id);
// BLOBPutFile without deleting; idText is the id in decimal on success, "-1" otherwise.
bool BLOBUploadFile(const QString& localPath, const QString& dirName, const QString& fileName,
                    QString& idText);
// Deletes a local file, ignoring every error.
void DeleteLocalFile(const QString& path);
