#pragma once

#include "CommonFiles/foundation/Variant.h"

#include <QList>
#include <QString>

#include <bit>
#include <cstdint>
#include <vector>

namespace ado {

// The rows of a result, kept compact: every cell is 8 bytes of value and one byte of type; texts
// and integers (whose full 64 bits a double cannot carry) live as Variants in a side list. A readings query of half a million date/value rows takes about 9 MB here,
// where a list of Variants per row took about 75 MB; Variants are made only when a field is read.
class RowStore {
public:
    void setColumnCount(int columns) { columns_ = columns; }
    int columnCount() const { return columns_; }
    std::size_t size() const { return columns_ > 0 ? types_.size() / std::size_t(columns_) : 0; }
    bool empty() const { return types_.empty(); }
    void reserve(std::size_t rows);

    // Cells are appended row by row: columnCount() of them make one row. The first row appended
    // to an empty store without a column count sets it.
    void push(const Variant& value);
    void append(const QList<Variant>& row);
    // A Null, Double or Date cell appended without making a Variant: what a streamed read of
    // readings does for every row.
    void pushNumber(Variant::Type type, double value) {
        bits_.push_back(type == Variant::Type::Null ? 0 : std::bit_cast<std::uint64_t>(value));
        types_.push_back(std::uint8_t(type));
    }
    // Empties the store, keeping its column count and capacity for the next batch.
    void clear();

    Variant value(std::size_t row, int column) const;
    // The cell's type, and for Null, Double and Date cells its number (0 for Null) in value;
    // value is left alone for the other types, which only value() reads.
    Variant::Type numberAt(std::size_t row, int column, double& value) const {
        const std::size_t cell = row * std::size_t(columns_) + std::size_t(column);
        const auto type = Variant::Type(types_[cell]);
        if (type == Variant::Type::Double || type == Variant::Type::Date)
            value = std::bit_cast<double>(bits_[cell]);
        else if (type == Variant::Type::Null)
            value = 0.0;
        return type;
    }
    QList<Variant> row(std::size_t row) const;
    void set(std::size_t row, int column, const Variant& value);
    void setRow(std::size_t row, const QList<Variant>& values);

private:
    void encode(std::size_t cell, const Variant& value);

    int columns_ = 0;
    std::vector<std::uint64_t> bits_; // double bits, or index into boxed_
    std::vector<std::uint8_t> types_; // Variant::Type of each cell
    std::vector<Variant> boxed_;
};

} // namespace ado
