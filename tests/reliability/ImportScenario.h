#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "fixtures/DatabaseHost.h"
#include "fixtures/SourceDatabase.h"
#include "fixtures/TargetDatabase.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

// The plant the reliability suite imports, over and over, under faults and kills: two facilities
// with a variable of most interval families and statistics, a source site with three signals
// (flow and level every five minutes with a gap and a missing value, a totaliser every quarter
// hour), a lock date inside the range, a stored row with a higher approval level, rows before the
// lock date, and a last-run date to start from. Everything the oracle needs to know about it is
// public here, so the oracle can compute the expected rows without the collector's code.
namespace reliability {

struct ScenarioVariable {
    QString facility;
    int varid = 0;
    QString varType;   // fixtures::VarTypeCode
    int slotMinutes;   // 1440, 240, 60, 30, 15, ...
    QString statistic; // AVERAGE, TOTAL, ...
    int train = 1;
    int sensor = 0;
    int startOffset = 0; // window start after the nominal slot start, minutes
    int stopOffset = 0;  // window end after the nominal slot start, minutes
    bool nextDay = false;
    int decPlaces = 2;
    double scale = 1.0;
};

// A row the scenario stores before any import; the oracle checks that it is never changed.
struct ProtectedRow {
    QString facility;
    int varid = 0;
    double stamp = 0;
    double value = 0;
    int status = 0;
    QString why; // "before the lock date", "higher approval"
};

struct ScenarioDates {
    double lastRun = 0; // g2_server_run LASTRUN of both facilities before the first import
    double readingsFrom = 0;
    double readingsTo = 0;
    double lockDate1 = 0; // PLANT1, inside the range
    double lockDate2 = 0; // PLANT2, long before it
};

class ImportScenario {
public:
    static constexpr int CollectorId = 101;
    static constexpr int ApprovalLevel = 1;

    // The dates for an import range that starts at lastRun and ends at about rangeEnd: the lock
    // date of PLANT1 an hour and a bit into it, readings from a day before to a day after.
    static ScenarioDates datesFor(double lastRun, double rangeEnd);

    // Creates the target and source databases on the host.
    ImportScenario(const fixtures::DatabaseHost& host, const ScenarioDates& dates);

    const fixtures::DatabaseHost& host() const { return host_; }
    const ScenarioDates& dates() const { return dates_; }
    fixtures::TargetDatabase& target() { return *target_; }
    fixtures::SourceDatabase& source() { return *source_; }

    static const std::vector<ScenarioVariable>& variables();
    static QStringList facilities();
    const std::vector<ProtectedRow>& protectedRows() const { return protected_; }
    double lockDate(const QString& facility) const;

    // The settings that point the collector at the scenario: target, source, collector, recovery
    // waits of recoverySeconds.
    QList<std::pair<QString, QString>> settings(int recoverySeconds = 0) const;
    // Those settings in the process-wide configuration (in-process imports).
    void applyToAppConfig(int recoverySeconds = 0) const;
    // An application folder for k48213ctl: k48213.xml with every start-up key and the settings.
    void writeApplicationFolder(const QString& home, int recoverySeconds = 0) const;

    // Back to the state before any import: value rows, last runs and protected rows as created.
    void reset();

    // The facility's g2_server_run LASTRUN; nullopt when the row is missing or null.
    std::optional<double> lastRun(const QString& facility);

private:
    void storeInitialRows();

    fixtures::DatabaseHost host_;
    ScenarioDates dates_;
    std::optional<fixtures::TargetDatabase> target_;
    std::optional<fixtures::SourceDatabase> source_;
    std::vector<ProtectedRow> protected_;
};

// The data table of a variable type ("DATATBL", "DATADDH", ...) and the column of its stamp.
QString tableOf(const ScenarioVariable& v);
QString stampColumnOf(const ScenarioVariable& v);

} // namespace reliability
