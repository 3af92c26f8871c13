#pragma once

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/Variant.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// The program's own string-keyed container. Its enumeration order (buckets ascending, each
// bucket's chain in insertion order) shows in the configuration file and its dump, so the hash,
// the bucket count and the chaining are kept exactly as they are, not replaced by a std map.
//
// Object values are stored as std::shared_ptr<T> (for example KeyedHash<std::shared_ptr<X>>),
// which gives the reference semantics such values need; every other value is stored as a copy.
template <class V> class KeyedHash {
public:
    KeyedHash() { SetSize(1024, 2048, 1024); }

    bool IgnoreCase() const { return ignoreCase_; }
    void setIgnoreCase(bool value) {
        if (count_ != 0) throw AppError(1001, QStringLiteral("The Hash Table isn't empty"));
        ignoreCase_ = value;
    }

    // Discards every entry. A list or chunk size below 1 keeps the current value.
    void SetSize(std::int32_t hashSize, std::int32_t listSize, std::int32_t chunkSize) {
        if (hashSize >= 1) hashSize_ = hashSize;
        if (listSize >= 1) listSize_ = listSize;
        if (chunkSize >= 1) chunkSize_ = chunkSize;
        heads_.assign(static_cast<std::size_t>(hashSize_), 0);
        slots_.clear();
        slots_.resize(1); // slot 0 is never used: 0 means "none" in every link
        freeHead_ = 0;
        count_ = 0;
        grow(listSize_);
    }

    bool Exists(const QString& key) const { return find(normalizedKey(key)).slot != 0; }

    void Add(const QString& key, const V& value) {
        const QString k = normalizedKey(key);
        const Found f = find(k);
        if (f.slot != 0)
            throw AppError(
                457, QStringLiteral("This key is already associated with an element of this collection"));
        insert(k, f, value);
    }

    // The stored value, or V{} (Empty for a Variant) when the key is absent.
    V item(const QString& key) const {
        const Found f = find(normalizedKey(key));
        return f.slot != 0 ? slots_[f.slot].value : V{};
    }

    // Replaces the value of an existing entry or inserts a new one.
    void setItem(const QString& key, const V& value) {
        const QString k = normalizedKey(key);
        const Found f = find(k);
        if (f.slot != 0)
            slots_[f.slot].value = value;
        else
            insert(k, f, value);
    }

    void Remove(const QString& key) {
        const QString k = normalizedKey(key);
        const Found f = find(k);
        if (f.slot == 0)
            throw AppError(AppError::InvalidArgument, QStringLiteral("Invalid procedure call or argument"));
        Slot& s = slots_[f.slot];
        if (f.previous != 0)
            slots_[f.previous].next = s.next;
        else
            heads_[f.bucket] = s.next;
        // Clear at once so a removed object value is released now, not when the slot is reused.
        s.key.clear();
        s.value = V{};
        s.next = freeHead_;
        freeHead_ = f.slot;
        --count_;
    }

    void RemoveAll() { SetSize(hashSize_, listSize_, chunkSize_); }

    std::int32_t Count() const { return count_; }

    QStringList Keys() const {
        QStringList out;
        out.reserve(count_);
        forEach([&](const Slot& s) { out.append(s.key); });
        return out;
    }

    QList<V> Values() const {
        QList<V> out;
        out.reserve(count_);
        forEach([&](const Slot& s) { out.append(s.value); });
        return out;
    }

    // The hash of a key: its single-byte characters packed little-endian into 32-bit words,
    // the words XORed together, taken as a signed 32-bit integer.
    static std::int32_t HashValue(const QString& key) {
        const QByteArray bytes = key.toLatin1();
        std::uint32_t h = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i)
            h ^= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * (i % 4));
        return static_cast<std::int32_t>(h);
    }

    std::int32_t HashSize() const { return hashSize_; }
    // The bucket of a key; a negative hash (non-ASCII keys only) is brought into range.
    std::int32_t BucketOf(const QString& key) const {
        std::int32_t b = HashValue(key) % hashSize_;
        return b < 0 ? b + hashSize_ : b;
    }

private:
    struct Slot {
        QString key;
        V value{};
        std::int32_t next = 0;
    };
    struct Found {
        std::int32_t bucket = 0;
        std::int32_t slot = 0;     // 0 when the key is absent
        std::int32_t previous = 0; // the slot before the match, or the chain's last slot
    };

    QString normalizedKey(const QString& key) const {
        if (key.isEmpty()) throw AppError(1001, QStringLiteral("Invalid key"));
        return ignoreCase_ ? key.toUpper() : key;
    }

    Found find(const QString& k) const {
        Found f;
        f.bucket = BucketOf(k);
        for (std::int32_t s = heads_[f.bucket]; s != 0; s = slots_[s].next) {
            if (slots_[s].key == k) {
                f.slot = s;
                return f;
            }
            f.previous = s;
        }
        return f;
    }

    void grow(std::int32_t k) {
        const auto first = static_cast<std::int32_t>(slots_.size());
        slots_.resize(slots_.size() + static_cast<std::size_t>(k));
        for (std::int32_t i = first; i < first + k - 1; ++i)
            slots_[i].next = i + 1;
        slots_[first + k - 1].next = freeHead_;
        freeHead_ = first;
    }

    void insert(const QString& k, const Found& f, const V& value) {
        if (freeHead_ == 0) grow(chunkSize_);
        const std::int32_t s = freeHead_;
        freeHead_ = slots_[s].next;
        slots_[s].next = 0;
        slots_[s].key = k;
        slots_[s].value = value;
        if (f.previous != 0)
            slots_[f.previous].next = s;
        else
            heads_[f.bucket] = s;
        ++count_;
    }

    template <class F> void forEach(F&& visit) const {
        for (std::int32_t b = 0; b < hashSize_; ++b)
            for (std::int32_t s = heads_[b]; s != 0; s = slots_[s].next)
                visit(slots_[s]);
    }

    std::int32_t hashSize_ = 1024;
    std::int32_t listSize_ = 2048;
    std::int32_t chunkSize_ = 1024;
    std::int32_t count_ = 0;
    bool ignoreCase_ = false;
    std::vector<std::int32_t> heads_;
    std::vector<Slot> slots_;
    std::int32_t freeHead_ = 0;
};

using HashTable = KeyedHash<Variant>;
