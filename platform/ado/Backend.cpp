#include "platform/ado/Backend.h"

#include "platform/ado/AdoTypes.h"
#include "platform/ado/SqlText.h"

#include "CommonFiles/foundation/OleDate.h"

namespace ado {

namespace {

// A result read whole, handed over in batches.
class BufferedStream : public RowStream {
public:
    explicit BufferedStream(ResultSet&& rs) : rs_(std::move(rs)) { rs_.rows.setColumnCount(int(rs_.columns.size())); }
    const QList<Column>& columns() const override { return rs_.columns; }
    bool fetch(RowStore& out, int maxRows) override {
        const int n = rs_.rows.columnCount();
        for (int r = 0; r < maxRows && next_ < rs_.rows.size(); ++r, ++next_)
            for (int c = 0; c < n; ++c)
                out.push(rs_.rows.value(next_, c));
        if (next_ < rs_.rows.size()) return true;
        rs_.rows = RowStore(); // handed over: free it now
        return false;
    }

private:
    ResultSet rs_;
    std::size_t next_ = 0;
};

} // namespace

std::unique_ptr<RowStream> Backend::stream(const QString& sql, const std::vector<BindValue>& params) {
    return std::make_unique<BufferedStream>(execute(sql, params));
}

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
