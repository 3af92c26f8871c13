// k48213ctl: what operators script on the collector's server, over the same libraries as the
// program: run an import now, test the connections, show and set last-run dates, build the demo
// folder and show what an import wrote. The service itself is still started as "k48213 NTSERVICE".
#include "CommonFiles/collector/CollectorQueries.h"
#include "CommonFiles/collector/CommonLastRunReadWrite.h"
#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/LoadStartupConfiguration.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/NetInfo.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/import/CommonImport.h"
#include "CommonFiles/startup/CommonGlobals.h"
#include "CommonFiles/startup/ProgramEntryPoint.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "custom/CustomConfiguration.h"
#include "custom/CustomSource.h"
#include "fixtures/DemoData.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

void out(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void err(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

int usage() {
    err(QStringLiteral(
        "usage: k48213ctl [--home DIR] COMMAND ...\n"
        "  import [--test] [--backfill] [--from DATE --to DATE] [--vars FACILITY~ID,...]\n"
        "      without dates: the service's range (last run or DEFAULT_LAST_RUN to now), last runs "
        "recorded;\n"
        "      with dates: that range, no last run recorded\n"
        "      --backfill: each variable's slots in one target transaction (loading months of history)\n"
        "  test-target | test-source\n"
        "  lastrun show | lastrun set FACILITY DATE\n"
        "  demo create DIR [--days N] [--end DATE] [--signals N] [--variables N] [--facilities N] [--seed "
        "N]\n"
        "  show-written [--rows N]\n"
        "Dates: yyyy-MM-dd[ HH:mm[:ss]] or MM-dd-yyyy HH:mm:ss. The application folder is --home, else\n"
        "$K48213_HOME, else the executable's folder."));
    return 2;
}

// Mirrors the program's log on stdout: every line the run writes to its log file is printed as
// it appears, so an operator sees exactly what the service would have logged.
class LogMirror {
public:
    void flush() {
        const QString name = AppLog().currentFileName();
        if (name.isEmpty()) return;
        if (name != file_) {
            file_ = name;
            offset_ = 0;
        }
        QFile f(file_);
        if (!f.open(QIODevice::ReadOnly)) return;
        if (!f.seek(offset_)) return;
        const QByteArray data = f.readAll();
        const qsizetype lastBreak = data.lastIndexOf('\n');
        if (lastBreak < 0) return;
        offset_ += lastBreak + 1;
        for (QByteArray line : data.left(lastBreak).split('\n')) {
            if (line.endsWith('\r')) line.chop(1);
            std::fputs(line.constData(), stdout);
            std::fputc('\n', stdout);
        }
        std::fflush(stdout);
    }

    // Passes over what the log holds so far (the start-up block of a command that is not an import).
    void skip() {
        file_ = AppLog().currentFileName();
        offset_ = QFile(file_).size();
    }

private:
    QString file_;
    qint64 offset_ = 0;
};

LogMirror& mirror() {
    static LogMirror m;
    return m;
}

// The program's start-up, without the mode start: log, host facts, configuration.
bool StartUp(bool serviceProtocol, bool mirrorStartup = false) {
    CreateSingletons();
    AppConfig();
    SetRunAsNTService(serviceProtocol);
    QTXLoggerTXT& log = AppLog();
    log.setLogPath(AppDirectory() + QStringLiteral("/log"));
    log.setEnabled(true);
    log.setBufferLength(1);
    // Its own postfix and no log-handle file: the service's activity view keeps following the
    // service's log, not this one.
    log.setPostfix(QStringLiteral("_ctl"));
    log.setLogHandleAssertion(false);
    AppNetInfo().GetNetInfo();
    for (const QString& line : StartupBlock(AppNetInfo()))
        log.WriteLog(line, 0);
    AppMsgBox().setLogHandler(&log);
    AppMsgBox().setSilentOperation(true); // nobody is there to answer a box
    AppConfig().setLogHandler(&log);
    // The program's own configuration file, not one named after this executable.
    const bool ok = LoadStartupConfiguration(AppConfig(), log, AppMsgBox(),
                                             AppDirectory() + QStringLiteral("/k48213.xml"),
                                             &CustomConfiguration::DefineTree);
    SetHelpFile();
    if (mirrorStartup || !ok)
        mirror().flush();
    else
        mirror().skip();
    return ok;
}

bool ParseDate(const QString& text, double& date) {
    if (!OleDate::parse(text, date)) {
        err(QStringLiteral("error: not a date: ") + text);
        return false;
    }
    return true;
}

struct ProgressPrinter {
    QElapsedTimer sinceLast;
    QElapsedTimer sinceMirror;
    void operator()(const CommonImport::Progress& p) {
        // Reading the log back after every slot cost more than the slot's own statements; five
        // times a second keeps the mirror live to the eye.
        if (!sinceMirror.isValid() || sinceMirror.elapsed() >= 200) {
            mirror().flush();
            sinceMirror.start();
        }
        if (!sinceLast.isValid()) sinceLast.start();
        if (sinceLast.elapsed() < 5000) return;
        sinceLast.restart();
        mirror().flush();
        out(QStringLiteral("progress: ") + p.facility + QStringLiteral(" / ") + p.variable +
            QStringLiteral(": ") + QString::number(p.slotsDone) + QStringLiteral(" of ") +
            QString::number(p.slotsTotal) + QStringLiteral(" slots"));
    }
};

int CmdImport(const QStringList& args) {
    bool test = false;
    bool backfill = false;
    QString from, to, vars;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--test"))
            test = true;
        else if (a == QLatin1String("--backfill"))
            backfill = true;
        else if (a == QLatin1String("--from") && i + 1 < args.size())
            from = args[++i];
        else if (a == QLatin1String("--to") && i + 1 < args.size())
            to = args[++i];
        else if (a == QLatin1String("--vars") && i + 1 < args.size())
            vars = args[++i];
        else
            return usage();
    }
    if (from.isEmpty() != to.isEmpty()) {
        err(QStringLiteral("error: --from and --to go together"));
        return 2;
    }
    double start = 0, end = 0;
    if (!from.isEmpty() && (!ParseDate(from, start) || !ParseDate(to, end))) return 2;

    // The service protocol (last runs read and recorded) applies to the whole collector without
    // dates; a fixed range or a chosen set of variables is an operator's run.
    const bool serviceProtocol = from.isEmpty() && vars.isEmpty();
    if (!StartUp(serviceProtocol, true)) return 1;

    if (!serviceProtocol) {
        QTXConfiguration& config = AppConfig();
        if (from.isEmpty()) {
            start =
                Variant(config.item(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN"))).toDate();
            end = OleDate::now();
        }
        // In memory only: the configuration file is never saved by this command.
        config.setItem(QStringLiteral("OPTIONS\\NOIU\\ASKFORDATES\\HIDE_UI"), QStringLiteral("TRUE"));
        config.setItem(QStringLiteral("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE"),
                       OleDate::toConfigText(start));
        config.setItem(QStringLiteral("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE"), OleDate::toConfigText(end));
    }

    ProgressPrinter printer;
    CommonImport::SetProgressHook([&printer](const CommonImport::Progress& p) { printer(p); });
    CommonImport::SetBackfill(backfill);

    if (vars.isEmpty()) {
        ImportAll(test);
    } else {
        const QStringList wanted = vars.split(QLatin1Char(','), Qt::SkipEmptyParts);
        ImportDialogs d;
        d.pickVariables = [wanted](CommonVarGatherer& all, bool& cancelled) {
            cancelled = false;
            auto chosen = std::make_unique<CommonVarGatherer>();
            chosen->CopyCollectorInfo(all);
            chosen->setLookupLastRun(all.LookupLastRun());
            chosen->setFacilID2FacilNameHash(all.FacilID2FacilNameHash());
            chosen->setFacilID2ainfoHash(all.FacilID2ainfoHash());
            QSet<QString> linked;
            all.MoveFirst();
            while (!all.EOF_Facility()) {
                while (!all.EOF_Variable()) {
                    linked.insert(all.Current_Facility() + QLatin1Char('~') +
                                  QString::number(all.Current_Variable()));
                    all.MoveNext_Variable();
                }
                all.MoveNext_Facility();
            }
            for (const QString& w : wanted) {
                const QStringList parts = w.trimmed().split(QLatin1Char('~'));
                bool ok = false;
                const int id = parts.size() == 2 ? parts[1].toInt(&ok) : 0;
                const QString keyText =
                    parts.value(0).trimmed().toUpper() + QLatin1Char('~') + QString::number(id);
                if (!ok || !linked.contains(keyText)) {
                    err(QStringLiteral("warning: ") + w +
                        QStringLiteral(" is not a variable linked to the collector"));
                    continue;
                }
                chosen->ADHOCAddVariable(parts[0].trimmed().toUpper(), id);
            }
            return chosen;
        };
        SetImportDialogs(std::move(d));
        ImportSelectedVariables(test);
    }
    CommonImport::SetProgressHook({});
    CommonImport::SetBackfill(false);
    mirror().flush();
    return LastImportOutcome() == ImportOutcome::Succeeded ? 0 : 1;
}

bool OpenRoot(ado::Connection& connection) {
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager)) {
        out(QStringLiteral("Unable to init Vesk DRAQ Connection Manager"));
        return false;
    }
    manager.ConfigCnn4QTXROOT(connection);
    QString error;
    if (!ConnectToTarget(connection, error, false)) {
        out(QStringLiteral("Failed to connect to Vesk DRAQ: ") + error);
        return false;
    }
    return true;
}

int CmdTestTarget() {
    if (!StartUp(false)) return 1;
    CollectorQueries::ClosingConnection root;
    const bool ok = OpenRoot(root.connection);
    mirror().flush();
    out(ok ? QStringLiteral("Connection to Vesk DRAQ succeeded.")
           : QStringLiteral("Connection to Vesk DRAQ failed."));
    return ok ? 0 : 1;
}

int CmdTestSource() {
    if (!StartUp(false)) return 1;
    CustomSource source;
    ado::Connection connection;
    bool ok = false;
    try {
        connection.Open(source.GenerateSourceConnString(false));
        ado::Recordset rs;
        rs.Open(QStringLiteral("select count(*) from SYSTEMS"), connection);
        out(QStringLiteral("Connection to source succeeded: ") + rs.Fields(0).toText() +
            QStringLiteral(" site(s) in SYSTEMS."));
        ok = true;
    } catch (const std::exception& e) {
        const auto* appError = dynamic_cast<const AppError*>(&e);
        out(QStringLiteral("Connection to source failed: ") +
            (appError ? appError->text() : QString::fromLocal8Bit(e.what())));
    }
    connection.Close();
    out(QStringLiteral("Source: ") + source.GenerateSourceConnString(true));
    return ok ? 0 : 1;
}

std::int32_t ConfiguredCollector() {
    return Variant(AppConfig().item(QStringLiteral("VESKDRAQ\\G2_SERVER_INTERFACE_ID"))).toInt32();
}

int CmdLastRun(const QStringList& args) {
    const bool show = args.size() == 1 && args[0] == QLatin1String("show");
    const bool set = args.size() == 3 && args[0] == QLatin1String("set");
    if (!show && !set) return usage();
    // The arguments are checked before anything connects.
    double date = 0;
    if (set && !ParseDate(args[2], date)) return 2;
    if (!StartUp(false)) return 1;
    const std::int32_t collector = ConfiguredCollector();
    CollectorQueries::ClosingConnection root;
    if (!OpenRoot(root.connection)) return 1;
    if (show) {
        ado::Recordset rs = CollectorQueries::OpenBound(
            root.connection,
            QStringLiteral(
                "select FILENAME, LASTRUN from g2_server_run where INTERFACE_ID=? order by FILENAME"),
            {Variant(collector)});
        out(QStringLiteral("Last runs of collector ") + QString::number(collector) + QStringLiteral(":"));
        int n = 0;
        for (; !rs.Eof(); rs.MoveNext(), ++n) {
            const Variant last = rs.Fields(1);
            out(QStringLiteral("  ") + rs.Fields(0).toText().leftJustified(16) + QLatin1Char(' ') +
                (last.isNull() ? QStringLiteral("(none)") : OleDate::toMmDdYyyyHhNnSs(last.toDate())));
        }
        if (n == 0) out(QStringLiteral("  (none)"));
        return 0;
    }
    {
        CommonLastRunReadWrite rw;
        const QString facility = args[1].trimmed().toUpper();
        if (!rw.SetLastRunDate(facility, date, root.connection, collector)) {
            out(QStringLiteral("Unable to set the last run of ") + facility);
            return 1;
        }
        out(QStringLiteral("Last run of ") + facility + QStringLiteral(" set to ") +
            OleDate::toMmDdYyyyHhNnSs(date));
        return 0;
    }
}

int CmdDemo(const QStringList& args) {
    if (args.size() < 2 || args[0] != QLatin1String("create")) return usage();
    fixtures::DemoOptions options;
    const QString folder = args[1];
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i + 1 >= args.size()) return usage();
        const QString v = args[++i];
        bool ok = true;
        if (a == QLatin1String("--days"))
            options.days = v.toInt(&ok);
        else if (a == QLatin1String("--signals"))
            options.signalCount = v.toInt(&ok);
        else if (a == QLatin1String("--variables"))
            options.variables = v.toInt(&ok);
        else if (a == QLatin1String("--facilities"))
            options.facilities = v.toInt(&ok);
        else if (a == QLatin1String("--seed"))
            options.seed = v.toULongLong(&ok);
        else if (a == QLatin1String("--end"))
            ok = OleDate::parse(v, options.endDate);
        else
            return usage();
        if (!ok) {
            err(QStringLiteral("error: bad value for ") + a + QStringLiteral(": ") + v);
            return 2;
        }
    }
    try {
        const fixtures::DemoSummary s = fixtures::DemoData::buildFolder(folder, options);
        out(QStringLiteral("Demo folder ") + folder + QStringLiteral(": collector ") +
            QString::number(s.collectorId) + QStringLiteral(", ") + QString::number(s.facilities.size()) +
            QStringLiteral(" facilities, ") + QString::number(s.linkedVariables) +
            QStringLiteral(" linked variables, ") + QString::number(s.readings) +
            QStringLiteral(" readings from ") + OleDate::toMmDdYyyyHhNnSs(s.start) + QStringLiteral(" to ") +
            OleDate::toMmDdYyyyHhNnSs(s.end));
    } catch (const std::exception& e) {
        err(QStringLiteral("error: ") + QString::fromLocal8Bit(e.what()));
        return 1;
    }
    return 0;
}

// The data tables a written value can land in: daily, then the interval tables.
const QStringList& DataTables() {
    static const QStringList tables{QStringLiteral("DATATBL"), QStringLiteral("DATADD4"),
                                    QStringLiteral("DATADDH"), QStringLiteral("DATADD3"),
                                    QStringLiteral("DATADDF"), QStringLiteral("DATADD5"),
                                    QStringLiteral("DATADD1")};
    return tables;
}

int CmdShowWritten(const QStringList& args) {
    int rows = 1;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows") && i + 1 < args.size()) {
            bool ok = false;
            rows = args[++i].toInt(&ok);
            if (!ok || rows < 0) return usage();
        } else {
            return usage();
        }
    }
    if (!StartUp(false)) return 1;
    CollectorQueries::ClosingConnection root;
    if (!OpenRoot(root.connection)) return 1;
    QStringList facilities;
    {
        ado::Recordset rs = CollectorQueries::OpenBound(
            root.connection, QStringLiteral("select filename from Facility order by filename"), {});
        for (; !rs.Eof(); rs.MoveNext())
            facilities.append(rs.Fields(0).toText().trimmed().toUpper());
    }
    // Rows this collector wrote carry its write-as user, or the program's own when it has none.
    QString writeAs = QStringLiteral("VIA_K48213");
    {
        CommonVarGatherer about;
        if (about.ReadAboutCollector(ConfiguredCollector(), root.connection) &&
            !about.CollectorWriteAsUser().trimmed().isEmpty())
            writeAs = about.CollectorWriteAsUser();
    }
    out(QStringLiteral(
        "Facility     Variable                                        Slot              Value        "
        "Units   (rows)"));
    int total = 0;
    for (const QString& facility : facilities) {
        if (!ConnectionManager::isValidCatalogName(facility)) continue;
        ConnectionManager manager;
        if (!InitTargetConnectionManager(manager)) return 1;
        CollectorQueries::ClosingConnection fc;
        manager.ConfigCnn4FACILITY(fc.connection, facility);
        QString error;
        if (!ConnectToTarget(fc.connection, error, false)) {
            out(facility + QStringLiteral(": ") + error);
            continue;
        }
        for (const QString& table : DataTables()) {
            const QString stamp = table == QLatin1String("DATATBL") ? QStringLiteral("d.datestamp")
                                                                    : QStringLiteral("d.slotstarttime");
            ado::Recordset rs;
            try {
                rs = CollectorQueries::OpenBound(
                    fc.connection,
                    QStringLiteral("select v.name, v.units, ") + stamp +
                        QStringLiteral(", d.curvalue, d.textvalue, d.audituser, d.varid from ") + table +
                        QStringLiteral(
                            " d join VarDesc v on v.varid = d.varid where d.audituser = ? order by "
                            "d.varid, ") +
                        stamp + QStringLiteral(" desc"),
                    {Variant(writeAs)});
            } catch (const std::exception&) {
                continue; // a facility without this table
            }
            int currentVar = -1, shown = 0, count = 0;
            QStringList pending;
            const auto emitVar = [&] {
                for (const QString& l : pending)
                    out(l + QStringLiteral("  (") + QString::number(count) + QStringLiteral(")"));
                total += count;
                pending.clear();
            };
            for (; !rs.Eof(); rs.MoveNext()) {
                const int varid = rs.Fields(6).toInt32();
                if (varid != currentVar) {
                    emitVar();
                    currentVar = varid;
                    shown = 0;
                    count = 0;
                }
                ++count;
                if (shown >= rows) continue;
                ++shown;
                const Variant value = rs.Fields(3);
                const QString text = rs.Fields(4).toText();
                const QString valueText =
                    !text.isEmpty() || value.isNull() ? text : Variant::numberText(value.toDouble());
                pending.append(facility.leftJustified(12) + QLatin1Char(' ') +
                               rs.Fields(0).toText().left(47).leftJustified(47) + QLatin1Char(' ') +
                               OleDate::format(rs.Fields(2).toDate(), QStringLiteral("mm/dd/yyyy HH:nn")) +
                               QLatin1Char(' ') + valueText.rightJustified(12) + QLatin1Char(' ') +
                               rs.Fields(1).toText().leftJustified(7));
            }
            emitVar();
        }
    }
    out(QString::number(total) + QStringLiteral(" value(s) written by the collector."));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args[0] == QLatin1String("--home")) {
        qputenv("K48213_HOME", args[1].toLocal8Bit());
        args = args.mid(2);
    }
    const qsizetype homeAt = args.indexOf(QStringLiteral("--home"));
    if (homeAt > 0 && homeAt + 1 < args.size()) {
        qputenv("K48213_HOME", args[homeAt + 1].toLocal8Bit());
        args.remove(homeAt, 2);
    }
    if (args.isEmpty()) return usage();
    const QString command = args.takeFirst();
    try {
        if (command == QLatin1String("import")) return CmdImport(args);
        if (command == QLatin1String("test-target")) return CmdTestTarget();
        if (command == QLatin1String("test-source")) return CmdTestSource();
        if (command == QLatin1String("lastrun")) return CmdLastRun(args);
        if (command == QLatin1String("demo")) return CmdDemo(args);
        if (command == QLatin1String("show-written")) return CmdShowWritten(args);
    } catch (const std::exception& e) {
        mirror().flush();
        const auto* appError = dynamic_cast<const AppError*>(&e);
        err(QStringLiteral("error: ") + (appError ? appError->text() : QString::fromLocal8Bit(e.what())));
        return 1;
    }
    return usage();
}
