#include "platform/ado/RowStore.h"

namespace ado {

void RowStore::reserve(std::size_t rows) {
    bits_.reserve(rows * std::size_t(columns_));
    types_.reserve(rows * std::size_t(columns_));
}

void RowStore::push(const Variant& value) {
    bits_.push_back(0);
    types_.push_back(0);
    encode(types_.size() - 1, value);
}

void RowStore::clear() {
    bits_.clear();
    types_.clear();
    boxed_.clear();
}

void RowStore::append(const QList<Variant>& row) {
    if (columns_ == 0 && types_.empty()) columns_ = int(row.size());
    for (int c = 0; c < columns_; ++c)
        push(c < row.size() ? row[c] : Variant::null());
}

void RowStore::encode(std::size_t cell, const Variant& value) {
    const auto boxed = [](std::uint8_t type) {
        return type == std::uint8_t(Variant::Type::Text) || type == std::uint8_t(Variant::Type::Integer);
    };
    // An overwritten cell reuses its slot in boxed_ (an edited row is written back in place).
    const bool wasBoxed = boxed(types_[cell]) && bits_[cell] < boxed_.size();
    types_[cell] = std::uint8_t(value.type());
    if (boxed(types_[cell])) {
        if (wasBoxed) {
            boxed_[bits_[cell]] = value;
        } else {
            bits_[cell] = boxed_.size();
            boxed_.push_back(value);
        }
        return;
    }
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        bits_[cell] = 0;
        break;
    case Variant::Type::Boolean:
        bits_[cell] = value.toBool() ? 1 : 0;
        break;
    case Variant::Type::Double:
        bits_[cell] = std::bit_cast<std::uint64_t>(value.toDouble());
        break;
    case Variant::Type::Date:
        bits_[cell] = std::bit_cast<std::uint64_t>(value.toDate());
        break;
    case Variant::Type::Integer:
    case Variant::Type::Text:
        break;
    }
}

Variant RowStore::value(std::size_t row, int column) const {
    const std::size_t cell = row * std::size_t(columns_) + std::size_t(column);
    const std::uint64_t b = bits_[cell];
    switch (Variant::Type(types_[cell])) {
    case Variant::Type::Empty:
        return Variant();
    case Variant::Type::Null:
        return Variant::null();
    case Variant::Type::Boolean:
        return Variant(b != 0);
    case Variant::Type::Double:
        return Variant(std::bit_cast<double>(b));
    case Variant::Type::Date:
        return Variant::fromDate(std::bit_cast<double>(b));
    case Variant::Type::Integer:
    case Variant::Type::Text:
        return boxed_[b];
    }
    return Variant();
}

QList<Variant> RowStore::row(std::size_t row) const {
    QList<Variant> out;
    out.reserve(columns_);
    for (int c = 0; c < columns_; ++c)
        out.append(value(row, c));
    return out;
}

void RowStore::set(std::size_t row, int column, const Variant& value) {
    encode(row * std::size_t(columns_) + std::size_t(column), value);
}

void RowStore::setRow(std::size_t row, const QList<Variant>& values) {
    for (int c = 0; c < columns_; ++c)
        set(row, c, c < values.size() ? values[c] : Variant::null());
}

} // namespace ado
