#include "CommonFiles/import/CommonUnitConvert.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/Variant.h"

#include <QStringList>

#include <exception>
#include <iterator>

namespace {

const QString EnabledKey = QStringLiteral("TARGET\\UNITCONVERT\\ENABLED");
const QString TrueText = QStringLiteral("TRUE");

struct DefaultConversion {
    const char* from; // UTF-8: the micro sign is U+00B5
    const char* factor;
    const char* to;
};

// Slots 1 to 28; the rest are defined empty and disabled. Slot 12 repeats slot 11's pair, so it
// never adds anything (the first definition of a pair wins).
const DefaultConversion DefaultTable[] = {
    {"ng/l", "0.000001", "mg/l"},     {"mcg/l", "0.001", "mg/l"},       {"ug/l", "0.001", "mg/l"},
    {"\u00B5g/l", "0.001", "mg/l"},   {"mg/l", "1000", "mcg/l"},        {"mg/l", "1000", "ug/l"},
    {"mg/l", "1000", "\u00B5g/l"},    {"mcg/kg", "0.001", "mg/kg"},     {"ug/kg", "0.001", "mg/kg"},
    {"\u00B5g/kg", "0.001", "mg/kg"}, {"mg/kg", "1000", "mcg/kg"},      {"mg/kg", "1000", "mcg/kg"},
    {"mg/kg", "1000", "ug/kg"},       {"mg/kg", "1000", "\u00B5g/kg"},  {"ppb", "0.001", "ppm"},
    {"ppm", "1000", "ppb"},           {"cfu/1ml", "0.01", "cfu/100ml"}, {"cfu/100ml", "100", "cfu/1ml"},
    {"degf", "-1", "degc"},           {"deg.f", "-1", "degc"},          {"degreesf", "-1", "degc"},
    {"degreef", "-1", "degc"},        {"degreef.", "-1", "degc"},       {"degc", "-2", "degf"},
    {"deg.c", "-2", "degf"},          {"degreesc", "-2", "degf"},       {"degreec", "-2", "degf"},
    {"degreec.", "-2", "degf"},
};

constexpr int DefaultCount = static_cast<int>(std::size(DefaultTable));

// A handful of to-units with a few from-units each: small tables instead of the 2048-slot default.
template <class V> void sizeSmall(KeyedHash<V>& table) {
    table.SetSize(64, 64, 16);
}

void writeLog(const QString& message, int level) {
    AppLog().WriteLog(message, level);
}

} // namespace

CommonUnitConvert::CommonUnitConvert() : CommonUnitConvert(AppConfig()) {}

CommonUnitConvert::CommonUnitConvert(QTXConfiguration& config) : config_(config) {
    sizeSmall(conversions_);
}

QString CommonUnitConvert::SlotKey(int n, const QString& field) {
    return QStringLiteral("TARGET\\UNITCONVERT\\UNIT") + QString::number(n) + QLatin1Char('\\') + field;
}

void CommonUnitConvert::DefineTree() {
    config_.DefineTree(EnabledKey, TrueText);
    for (int n = 1; n <= SlotCount; ++n) {
        const bool preset = n <= DefaultCount;
        const DefaultConversion* d = preset ? &DefaultTable[n - 1] : nullptr;
        config_.DefineTree(SlotKey(n, QStringLiteral("ENABLED")),
                           preset ? TrueText : QStringLiteral("FALSE"));
        config_.DefineTree(SlotKey(n, QStringLiteral("FROMUNIT")),
                           d ? QString::fromUtf8(d->from) : QString());
        config_.DefineTree(SlotKey(n, QStringLiteral("FACTOR")),
                           d ? QString::fromUtf8(d->factor) : QStringLiteral("1"));
        config_.DefineTree(SlotKey(n, QStringLiteral("TOUNIT")), d ? QString::fromUtf8(d->to) : QString());
    }
}

void CommonUnitConvert::Init() {
    // Loaded afresh, so settings changed since the last Init take effect (the first definition of
    // a pair would otherwise keep the old factor).
    conversions_.RemoveAll();
    active_ = false;
    try {
        if (config_.item(EnabledKey) != TrueText) return;
        for (int n = 1; n <= SlotCount; ++n) {
            if (config_.item(SlotKey(n, QStringLiteral("ENABLED"))) != TrueText) continue;
            const QString from = config_.item(SlotKey(n, QStringLiteral("FROMUNIT")));
            const QString to = config_.item(SlotKey(n, QStringLiteral("TOUNIT")));
            double factor = 1.0;
            if (!Variant::parseNumber(config_.item(SlotKey(n, QStringLiteral("FACTOR"))), factor))
                factor = 1.0;
            AddConversion(from, to, factor);
        }
        active_ = true;
    } catch (const AppError& e) {
        conversions_.RemoveAll();
        writeLog(e.text(), 0);
    }
}

QString CommonUnitConvert::NormalizeUnit(const QString& unit) {
    return unit.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts).join(QString());
}

void CommonUnitConvert::AddConversion(const QString& fromUnit, const QString& toUnit, double factor) {
    try {
        const QString from = NormalizeUnit(fromUnit);
        const QString to = NormalizeUnit(toUnit);
        std::shared_ptr<InnerMap> inner = conversions_.item(to);
        if (!inner) {
            inner = std::make_shared<InnerMap>();
            sizeSmall(*inner);
        }
        if (inner->Exists(from)) return;
        if (factor < 0) {
            const double code = Variant::roundHalfEven(factor);
            if (code != FahrenheitToCelsius && code != CelsiusToFahrenheit) return;
        }
        inner->Add(from, Variant(factor));
        conversions_.setItem(to, inner);
        writeLog(QStringLiteral("UnitConverter : Added '") + from + QStringLiteral(" -> ") +
                     Variant::numberText(factor) + QStringLiteral(" -> ") + to +
                     QStringLiteral("' as a valid conversion."),
                 6);
    } catch (const AppError&) {
        // An empty unit is no valid key: such a slot is not a conversion.
    }
}

bool CommonUnitConvert::ApplyAlgorithm(std::int32_t code, double value, double& result) {
    switch (code) {
    case -1:
        result = (value - 32.0) / 1.8;
        return true;
    case -2:
        result = value * 1.8 + 32.0;
        return true;
    default:
        return false;
    }
}

double CommonUnitConvert::GetConvertedResult(double value, const QString& fromUnit, const QString& toUnit) {
    if (!active_) return value;
    try {
        const QString from = NormalizeUnit(fromUnit);
        const QString to = NormalizeUnit(toUnit);
        if (from.isEmpty() || to.isEmpty() || from == to) return value;
        const std::shared_ptr<InnerMap> inner = conversions_.item(to);
        if (!inner || !inner->Exists(from)) return value;
        const double factor = inner->item(from).toDouble();
        double result = value;
        if (factor >= 0) {
            result = factor * value;
        } else if (!ApplyAlgorithm(static_cast<std::int32_t>(Variant::roundHalfEven(factor)), value,
                                   result)) {
            return value;
        }
        writeLog(QStringLiteral("UnitConverter: Converted ") + Variant::numberText(value) +
                     QStringLiteral(" [") + from + QStringLiteral("] to ") + Variant::numberText(result) +
                     QStringLiteral(" [") + to + QStringLiteral("]"),
                 5);
        return result;
    } catch (const std::exception&) {
        return value;
    }
}

std::int32_t CommonUnitConvert::ConversionCount() const {
    std::int32_t count = 0;
    for (const std::shared_ptr<InnerMap>& inner : conversions_.Values())
        if (inner) count += inner->Count();
    return count;
}
