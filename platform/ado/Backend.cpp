#include "platform/ado/Backend.h"

#include "platform/ado/AdoTypes.h"
#include "platform/ado/SqlText.h"

#include "CommonFiles/foundation/OleDate.h"

namespace ado {

Variant toParameterType(const Variant& value, int adoType) {
    if (value.isNull() || value.isEmpty()) return Variant::null();
    switch (adoType) {
    case adDate: {
        if (value.isDateType()) return value;
        if (value.isText()) {
            double d = 0;
            if (TimestampText::parse(value.toText(), d) || OleDate::parse(value.toText(), d))
                return Variant::fromDate(d);
            throw AdoError(AppError::TypeMismatch, "'" + value.toText() + "' is not a date");
        }
        return Variant::fromDate(OleDate::normalize(value.toDouble()));
    }
    case adInteger:
        if (value.type() == Variant::Type::Integer) return value;
        return Variant(value.toInt32());
    case adDouble:
        if (value.type() == Variant::Type::Double) return value;
        return Variant(value.toDouble());
    case adVarChar:
    case adVarWChar:
        if (value.isDateType()) return Variant(TimestampText::format(value.toDate()));
        return Variant(value.toText());
    default:
        return value;
    }
}

} // namespace ado
