#include "tests/reliability/ReliabilityReport.h"

#include <QFile>

namespace reliability {

bool fullMode() {
    return !qEnvironmentVariableIsEmpty("K48213_RELIABILITY_FULL");
}

void reportFigure(const QString& name, long long handled, long long total) {
    const QString path = qEnvironmentVariable("K48213_RELIABILITY_REPORT");
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    file.write((name + QLatin1Char(' ') + QString::number(handled) + QLatin1Char(' ') +
                QString::number(total) + QLatin1Char('\n'))
                   .toUtf8());
}

} // namespace reliability
