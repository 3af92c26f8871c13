#include "CommonFiles/target/TargetSupport.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/OleDate.h"

#include <cmath>
#include <exception>

QString CurrentErrorText() {
    try {
        throw;
    } catch (const AppError& e) {
        return e.text();
    } catch (const std::exception& e) {
        return QStringLiteral("0 - ") + QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("0 - Unknown error");
    }
}

QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

double RoundToSecond(double date) {
    const double seconds = std::floor(static_cast<double>(OleDate::toMs(date)) / 1000.0 + 0.5);
    return OleDate::fromMs(static_cast<std::int64_t>(seconds) * 1000);
}
