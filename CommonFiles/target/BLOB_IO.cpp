#include "CommonFiles/target/BLOB_IO.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kExclamation = 48;

// Closes the connection however the store ends.
struct ConnectionCloser {
    ado::Connection& cn;
    ~ConnectionCloser() { cn.Close(); }
};

QByteArray readWholeFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(75, "Path/File access error: '" + path + "': " + f.errorString());
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw AppError(75, "Path/File access error: '" + path + "': " + f.errorString());
    return bytes;
}

} // namespace

bool BLOBPutFile(const QString& localPath, const QString& dirName, const QString& fileName,
                 bool deleteAfterwards, std::int32_t& id) {
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager)) {
        AppMsgBox().QtxMsgBox(QStringLiteral("Unable to init Vesk DRAQ Connection Manager"), kExclamation);
        return false;
    }
    ado::Connection cn;
    manager.ConfigCnn4QTXROOT(cn);
    QString error;
    if (!ConnectToTarget(cn, error, false)) {
        AppMsgBox().QtxMsgBox(QStringLiteral("Error :\n") + error, kExclamation,
                              QStringLiteral("Failed to connect to Vesk DRAQ"));
        return false;
    }
    ConnectionCloser closer{cn};

    if (!QFileInfo(localPath).isFile()) return false;

    const QString dir = dirName.toUpper();
    const QString file = fileName.toUpper();
    ado::Command select;
    select.setActiveConnection(cn);
    select.setCommandText(QStringLiteral("SELECT * FROM FILES WHERE DIRNAME=? AND FILENAME=?"));
    select.setCommandType(ado::adCmdText);
    select.appendParameter(
        select.CreateParameter(QStringLiteral("DIRNAME"), ado::adVarChar, ado::adParamInput, 0, dir));
    select.appendParameter(
        select.CreateParameter(QStringLiteral("FILENAME"), ado::adVarChar, ado::adParamInput, 0, file));
    ado::Recordset rs;
    rs.Open(select, ado::adOpenKeyset, ado::adLockOptimistic);
    if (rs.Eof()) {
        rs.AddNew();
        rs.setField(QStringLiteral("DIRNAME"), dir);
        rs.setField(QStringLiteral("FILENAME"), file);
    }
    rs.setField(QStringLiteral("AUDITUSER"), GetWriteAsUser());
    rs.setField(QStringLiteral("AUDITTIMESTAMP"), Variant::fromDate(OleDate::now()));
    // Binary data crosses the database layer as a text of its bytes, one character per byte.
    rs.setField(QStringLiteral("FILEDATA"), QString::fromLatin1(readWholeFile(localPath)));
    rs.Update();
    if (TargetDbType() == DbTypeOracle) rs.Resync();
    id = rs.Fields(QStringLiteral("ID")).toInt32();
    rs.Close();

    if (deleteAfterwards) DeleteLocalFile(localPath);
    return true;
}

bool BLOBUploadFile(const QString& localPath, const QString& dirName, const QString& fileName,
                    QString& idText) {
    idText = QStringLiteral("-1");
    std::int32_t id = 0;
    if (!BLOBPutFile(localPath, dirName, fileName, false, id)) return false;
    idText = QString::number(id);
    return true;
}

void DeleteLocalFile(const QString& path) {
    try {
        QFile::remove(path);
    } catch (...) {
    }
}
