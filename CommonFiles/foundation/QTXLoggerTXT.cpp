#include "CommonFiles/foundation/QTXLoggerTXT.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// "##,###,##0.00": thousands grouped with commas, two decimals.
QString groupedTwoDecimals(double value) {
    QString text = QString::number(value, 'f', 2);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const qsizetype firstDigit = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = point - 3; i > firstDigit; i -= 3)
        text.insert(i, QLatin1Char(','));
    return text;
}

// Every line of the file starts with its time stamp, and readers (the activity view, an operator
// scanning for errors) take a stamp as the start of an entry. A message that carries line breaks
// of its own (a facility name, a server's error text) would otherwise start lines that look like
// entries the program never wrote. Its further lines are written as continuations instead.
const QString ContinuationPrefix = QStringLiteral("         | ");

bool isLineBreak(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0x0085) || c == QChar(0x2028) ||
           c == QChar(0x2029);
}

QString withContinuations(const QString& message) {
    if (std::none_of(message.begin(), message.end(), isLineBreak)) return message;
    QString out;
    out.reserve(message.size() + 16);
    for (qsizetype i = 0; i < message.size(); ++i) {
        const QChar c = message[i];
        if (!isLineBreak(c)) {
            out += c;
            continue;
        }
        if (c == QLatin1Char('\r') && i + 1 < message.size() && message[i + 1] == QLatin1Char('\n')) ++i;
        out += QStringLiteral("\r\n") + ContinuationPrefix;
    }
    return out;
}

} // namespace

QTXLoggerTXT::QTXLoggerTXT()
    : logPath_(AppDirectory() + QStringLiteral("/log")),
      logHandleFile_(AppDirectory() + QLatin1Char('/') + ExecutableBaseName() +
                     QStringLiteral(".log_handle")) {}

QTXLoggerTXT::~QTXLoggerTXT() {
    flushPending();
}

void QTXLoggerTXT::setLogPath(const QString& path) {
    logPath_ = path;
    QDir().mkpath(path);
}

void QTXLoggerTXT::closeLog() {
    if (!enabled_ || !open_) return;
    flushPending();
    file_.reset();
    open_ = false;
    currentFile_.clear();
}

void QTXLoggerTXT::AssertVerbosity() {
    WriteLog(QStringLiteral("[Log Verbosity is set to ") + QString::number(verbosity_) +
                 QStringLiteral(", Log Date is ") +
                 OleDate::toGeneralDate(OleDate::datePart(OleDate::now())) + QStringLiteral("]"),
             0);
}

void QTXLoggerTXT::WriteLog(const QString& message, int level) {
    try {
        level = std::clamp(level, 0, 9);
        if (!enabled_) return;
        if (!open_) openFile();
        if (verbosity_ >= level) writeLine(message);
    } catch (...) {
        // The log is the last place a failure could be reported; losing the line is all we can do.
    }
}

void QTXLoggerTXT::openFile() {
    const double now = OleDate::now();
    const QString name = logPath_ + QLatin1Char('/') + prefix_ + OleDate::toLogFileStamp(now) + postfix_ +
                         QStringLiteral(".log");
    auto file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return;
    file_ = std::move(file);
    pending_.clear();
    openBufferLength_ = std::max<int>(1, bufferLength_);
    currentFile_ = name;
    fileDate_ = OleDate::datePart(now);
    if (logHandleAssertion_) {
        QFile::remove(logHandleFile_);
        QFile handle(logHandleFile_);
        if (handle.open(QIODevice::WriteOnly | QIODevice::Truncate))
            handle.write((QDir::toNativeSeparators(name) + QStringLiteral("\r\n")).toUtf8());
    }
    open_ = true;
}

void QTXLoggerTXT::writeLine(const QString& message) {
    if (!enabled_ || !open_) return;
    const double now = OleDate::now();
    if (OleDate::datePart(now) != fileDate_) {
        const QString previous = currentFile_;
        closeLog();
        WriteLog(QStringLiteral("Previous log file for this session = ") + previous, 0);
        if (!open_) return;
    }
    // "hh:mm:ss : " written straight into the buffer: a line per slot makes this a hot path.
    int y, mo, d, h, mi, sec, ms;
    OleDate::toParts(now, y, mo, d, h, mi, sec, ms);
    const char stamp[] = {char('0' + h / 10), char('0' + h % 10), ':', char('0' + mi / 10), char('0' + mi % 10),
                          ':', char('0' + sec / 10), char('0' + sec % 10), ' ', ':', ' '};
    pending_.append(stamp, sizeof stamp);
    pending_ += withContinuations(message).toUtf8();
    pending_.append("\r\n", 2);
    if (lineBatches_ == 0 && pending_.size() >= openBufferLength_) flushPending();
}

void QTXLoggerTXT::BeginLineBatch() {
    ++lineBatches_;
}

void QTXLoggerTXT::EndLineBatch() {
    if (lineBatches_ > 0 && --lineBatches_ == 0) flushPending();
}

void QTXLoggerTXT::flushPending() {
    if (file_ && !pending_.isEmpty()) file_->write(pending_);
    pending_.clear();
}

void QTXLoggerTXT::LSM_Init(int days) {
    retentionDays_ = static_cast<std::int16_t>(std::clamp(days, 7, 1000));
    // Upper-casing the folder name would name another folder on a case-sensitive file system,
    // so the pass lists the folder exactly as configured.
    retentionPath_ = logPath_;
    WriteLog(QStringLiteral("Logs in '") + retentionPath_ +
                 QStringLiteral("' will be removed after they are older than ") +
                 QString::number(retentionDays_) + QStringLiteral(" days."),
             0);
    lastRetentionHour_ = 0.0;
    retentionReady_ = true;
}

void QTXLoggerTXT::LSM_Run() {
    if (!retentionReady_) return;
    try {
        const double now = OleDate::now();
        const double hour = OleDate::fromParts(OleDate::year(now), OleDate::month(now), OleDate::day(now),
                                               OleDate::hour(now));
        if (!(hour > lastRetentionHour_)) return;
        lastRetentionHour_ = hour;
        const double cutOff = OleDate::addDays(now, -retentionDays_);

        int removed = 0;
        double bytes = 0.0;
        const QFileInfoList files =
            QDir(retentionPath_)
                .entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& info : files) {
            const QString path = info.absoluteFilePath();
            if (!info.lastModified().isValid()) continue; // unreadable time: leave the file alone
            const double modified = GetLastModifiedFileTime(path);
            const std::int32_t size = GetFileSizeInBytes(path);
            if (modified < cutOff && KillFileAndDiscardError(path)) {
                ++removed;
                bytes += static_cast<double>(static_cast<std::uint32_t>(size));
            }
        }
        if (removed > 0)
            writeLine(QStringLiteral("Removed ") + QString::number(removed) +
                      QStringLiteral(" logs. Freed ") + groupedTwoDecimals(bytes / 1024.0) +
                      QStringLiteral(" kB of disk space."));
    } catch (...) {
        // A failing pass ends quietly; the next clock hour tries again.
    }
}

QString QTXLoggerTXT::currentFileName() const {
    return open_ ? currentFile_ : QString();
}

double QTXLoggerTXT::GetLastModifiedFileTime(const QString& path) {
    const QDateTime modified = QFileInfo(path).lastModified();
    return modified.isValid() ? OleDate::fromDateTime(modified.toLocalTime()) : 0.0;
}

std::int32_t QTXLoggerTXT::GetFileSizeInBytes(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(info.size())));
}

bool QTXLoggerTXT::KillFileAndDiscardError(const QString& path) {
    return QFile::remove(path);
}
