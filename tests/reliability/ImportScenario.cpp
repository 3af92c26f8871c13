#include "tests/reliability/ImportScenario.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/OleDate.h"
#include "custom/CustomConfiguration.h"

#include <QDir>

#include <cmath>
#include <stdexcept>

namespace reliability {

namespace {

const QString Site = QStringLiteral("NW01");
const QString Table = QStringLiteral("NW01_DATA");
constexpr int Train = 1;
constexpr int FlowSensor = 101;
constexpr int LevelSensor = 102;
constexpr int TotaliserSensor = 103;

Variant timeOfDay(int minutes) {
    return Variant::fromDate(OleDate::fromParts(1899, 12, 30, minutes / 60, minutes % 60));
}

} // namespace

const std::vector<ScenarioVariable>& ImportScenario::variables() {
    using namespace fixtures;
    static const std::vector<ScenarioVariable> list = {
        {"PLANT1", 1101, VarTypeCode::Hourly, 60, "AVERAGE", Train, FlowSensor, 0, 60, false, 2, 1.0},
        {"PLANT1", 1102, VarTypeCode::Daily, 1440, "TOTAL", Train, LevelSensor, 0, 1440, false, 1, 1.0},
        {"PLANT1", 1103, VarTypeCode::FifteenMinute, 15, "MAXIMUM", Train, FlowSensor, 0, 15, false, 3, 2.5},
        {"PLANT1", 1104, VarTypeCode::Daily, 1440, "MINIMUM", Train, LevelSensor, 360, 1800, true, 2, 1.0},
        {"PLANT2", 2101, VarTypeCode::Hourly, 60, "COUNT", Train, LevelSensor, 0, 60, false, 0, 1.0},
        {"PLANT2", 2102, VarTypeCode::ThirtyMinute, 30, "LAST", Train, FlowSensor, 0, 30, false, 2, 1.0},
        {"PLANT2", 2103, VarTypeCode::Daily, 1440, "DIFF", Train, TotaliserSensor, 0, 1440, false, 1, 1.0},
        {"PLANT2", 2104, VarTypeCode::FourHourly, 240, "FIRST", Train, FlowSensor, 0, 240, false, 2, 1.0},
    };
    return list;
}

QStringList ImportScenario::facilities() {
    return {QStringLiteral("PLANT1"), QStringLiteral("PLANT2")};
}

ScenarioDates ImportScenario::datesFor(double lastRun, double rangeEnd) {
    ScenarioDates d;
    d.lastRun = lastRun;
    d.readingsFrom = OleDate::addDays(OleDate::datePart(lastRun), -1);
    d.readingsTo = OleDate::addDays(OleDate::datePart(rangeEnd), 2);
    d.lockDate1 = OleDate::addMinutes(lastRun, 90);
    d.lockDate2 = OleDate::fromParts(1970, 1, 1);
    return d;
}

double ImportScenario::lockDate(const QString& facility) const {
    return facility == QLatin1String("PLANT1") ? dates_.lockDate1 : dates_.lockDate2;
}

QString tableOf(const ScenarioVariable& v) {
    switch (v.slotMinutes) {
    case 1440:
        return QStringLiteral("DATATBL");
    case 240:
        return QStringLiteral("DATADD4");
    case 60:
        return QStringLiteral("DATADDH");
    case 30:
        return QStringLiteral("DATADD3");
    case 15:
        return QStringLiteral("DATADDF");
    case 5:
        return QStringLiteral("DATADD5");
    default:
        return QStringLiteral("DATADD1");
    }
}

QString stampColumnOf(const ScenarioVariable& v) {
    return v.slotMinutes == 1440 ? QStringLiteral("datestamp") : QStringLiteral("slotstarttime");
}

ImportScenario::ImportScenario(const fixtures::DatabaseHost& host, const ScenarioDates& dates)
    : host_(host), dates_(dates) {
    target_.emplace(fixtures::TargetDatabase::create(host_));
    source_.emplace(fixtures::SourceDatabase::create(host_));

    for (const QString& f : facilities())
        target_->addFacility(
            {f, f == QLatin1String("PLANT1") ? QStringLiteral("Plant One") : QStringLiteral("Plant Two"),
             Variant::null(), Variant::fromDate(lockDate(f))});
    target_->addCollector({.interfaceId = CollectorId, .name = QStringLiteral("Reliability site")});
    for (const QString& f : facilities()) {
        QList<fixtures::VariableSpec> specs;
        for (const ScenarioVariable& v : variables()) {
            if (v.facility != f) continue;
            fixtures::VariableSpec s;
            s.varid = v.varid;
            s.varnum = v.varid % 1000;
            s.name = QStringLiteral("Var %1").arg(v.varid);
            s.vartype = v.varType;
            s.units = QStringLiteral("u");
            s.decplaces = double(v.decPlaces);
            s.scadatag = QStringLiteral("KQ:%1:%2").arg(v.train).arg(v.sensor);
            s.statistic = v.statistic;
            s.scalefactor = v.scale;
            s.approval = ApprovalLevel;
            s.interfaceId = CollectorId;
            s.interfacetype = v.nextDay ? QStringLiteral("NEXT") : QStringLiteral("SAME");
            if (v.slotMinutes == 1440) {
                s.starttime = timeOfDay(v.startOffset);
                s.stoptime = timeOfDay((v.stopOffset - 1) % 1440);
            }
            specs.append(s);
        }
        target_->addVariables(f, specs);
    }

    source_->addSite(Site, Table);
    const double from = OleDate::normalize(dates_.readingsFrom);
    const double to = OleDate::normalize(dates_.readingsTo);
    const double gapFrom = OleDate::addMinutes(dates_.lastRun, 120);
    const double gapTo = OleDate::addMinutes(dates_.lastRun, 180);
    std::vector<fixtures::Reading> flow, level, totaliser;
    for (int k = 0;; ++k) {
        const double t = OleDate::addMinutes(from, 5.0 * k);
        if (t >= to) break;
        // The flow meter was off for an hour: those slots have no value and are not written.
        if (!(t >= gapFrom && t < gapTo)) flow.push_back({t, double(40 + (k * 37) % 23), k % 97 == 13});
        level.push_back({t, double(100 + (k * 11) % 17), false});
        if (k % 3 == 0) totaliser.push_back({t, double(1000 + k), false});
    }
    source_->addReadings(Table, Train, FlowSensor, flow);
    source_->addReadings(Table, Train, LevelSensor, level);
    source_->addReadings(Table, Train, TotaliserSensor, totaliser);

    storeInitialRows();
}

void ImportScenario::storeInitialRows() {
    protected_.clear();
    for (const QString& f : facilities())
        target_->addLastRun(
            {.interfaceId = CollectorId, .filename = f, .lastRun = Variant::fromDate(dates_.lastRun)});
    // Written by someone else before the lock date: the import must leave them alone.
    protected_.push_back({"PLANT1", 1101, dates_.lastRun, 999.0, 0, "before the lock date"});
    protected_.push_back(
        {"PLANT1", 1102, OleDate::datePart(dates_.lastRun), 999.5, 0, "before the lock date"});
    // Approved above the collector's level: refused, also though it lies inside the range.
    protected_.push_back(
        {"PLANT2", 2101, OleDate::addMinutes(dates_.lastRun, 60), 777.0, 5, "higher approval"});
    for (const ProtectedRow& p : protected_) {
        const ScenarioVariable* var = nullptr;
        for (const ScenarioVariable& v : variables())
            if (v.varid == p.varid) var = &v;
        const QString suffix = var->slotMinutes == 1440 ? QString() : tableOf(*var).mid(6);
        target_->storeValue(p.facility, suffix,
                            {.varid = p.varid,
                             .date = p.stamp,
                             .value = p.value,
                             .status = p.status,
                             .auditUser = QStringLiteral("OPERATOR")});
    }
}

void ImportScenario::reset() {
    static const QStringList tables{"DATATBL", "DATADD4", "DATADDH", "DATADD3",
                                    "DATADDF", "DATADD5", "DATADD1"};
    for (const QString& f : facilities())
        for (const QString& t : tables)
            target_->exec(f, "DELETE FROM " + t);
    target_->exec(QStringLiteral("QTXROOT"), QStringLiteral("DELETE FROM g2_server_run"));
    target_->exec(QStringLiteral("QTXROOT"), QStringLiteral("DELETE FROM CALCQUEUE"));
    storeInitialRows();
}

std::optional<double> ImportScenario::lastRun(const QString& facility) {
    const auto rows =
        target_->query(QStringLiteral("QTXROOT"),
                       QStringLiteral("SELECT LASTRUN FROM g2_server_run WHERE INTERFACE_ID = ? AND "
                                      "FILENAME = ?"),
                       {Variant(CollectorId), Variant(facility)});
    if (rows.size() != 1 || rows[0][0].isNull()) return std::nullopt;
    return rows[0][0].toDate();
}

QList<std::pair<QString, QString>> ImportScenario::settings(int recoverySeconds) const {
    const QString seconds = QString::number(recoverySeconds);
    return {
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE", "2"},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER", "SQLNCLI"},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE", host_.dataSource()},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS", ""},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT", "5"},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_COMMAND_TIMEOUT", "30"},
        {"VESKDRAQ\\G2_SERVER_INTERFACE_ID", QString::number(CollectorId)},
        {"VESKDRAQ\\G2_INDIRECT_TYPE", "FALSE"},
        {"K48213\\SQL_URL", host_.dataSource()},
        {"K48213\\SITE_ID", Site},
        {"K48213\\DATA_TABLE", ""},
        {"SOURCE\\RECOVERY\\ATTEMPTS", "6"},
        {"SOURCE\\RECOVERY\\SECONDS", seconds},
        {"TARGET\\RECOVERY\\ATTEMPTS", "6"},
        {"TARGET\\RECOVERY\\SECONDS", seconds},
        {"SOURCE\\STATICCOMMONIMPORT", "FALSE"},
        {"SOURCE\\CACHE\\ENABLED", "TRUE"},
        {"OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE", "0"},
        {"OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN", OleDate::toConfigText(dates_.lastRun)},
        {"OPTIONS\\AUTOMATED_IMPORT\\SUBMIT_CALC_REQUEST", "YES"},
        {"OPTIONS\\PERFORMANCE\\THROTTLE", "FALSE"},
        {"OPTIONS\\NOIU\\ASKFORDATES\\HIDE_UI", "TRUE"},
        {"OPTIONS\\NOIU\\LIMITFACILITY", ""},
        {"OPTIONS\\PASSWORD_PROTECT_INTERACTIVE_IMPORT", "NO"},
        {"OPTIONS\\LOG_VERBOSITY", "1"},
    };
}

void ImportScenario::applyToAppConfig(int recoverySeconds) const {
    for (const auto& [key, value] : settings(recoverySeconds))
        AppConfig().setItem(key, value);
}

void ImportScenario::writeApplicationFolder(const QString& home, int recoverySeconds) const {
    QDir().mkpath(home);
    QTXConfiguration config;
    DefineStartupKeys(config);
    CustomConfiguration::DefineTree(config);
    for (const auto& [key, value] : settings(recoverySeconds))
        config.setItem(key, value);
    config.setPath(home + QStringLiteral("/k48213.xml"));
    if (!config.SaveConfig()) throw std::runtime_error("cannot write the scenario's configuration");
}

} // namespace reliability
