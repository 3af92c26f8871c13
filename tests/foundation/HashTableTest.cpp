#include "CommonFiles/foundation/HashTable.h"
#include "tests/foundation/QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// An independent statement of the enumeration rule: buckets ascending, each bucket in insertion
// order, with the bucket computed from the packed-word hash written out again here.
struct ReferenceTable {
    std::int32_t hashSize;
    std::vector<QString> keys; // insertion order of the live keys

    static std::int32_t hash(const QString& key) {
        const QByteArray b = key.toLatin1();
        std::uint32_t words[64] = {};
        const int n = static_cast<int>((b.size() - 1) / 4 + 1);
        for (int i = 0; i < b.size(); ++i)
            words[i / 4] |= std::uint32_t(static_cast<unsigned char>(b[i])) << (8 * (i % 4));
        std::uint32_t h = 0;
        for (int i = 0; i < n; ++i)
            h ^= words[i];
        return static_cast<std::int32_t>(h);
    }
    std::int32_t bucket(const QString& key) const {
        const std::int32_t r = hash(key) % hashSize;
        return r < 0 ? r + hashSize : r;
    }
    void add(const QString& k) { keys.push_back(k); }
    void remove(const QString& k) { keys.erase(std::find(keys.begin(), keys.end(), k)); }
    QStringList order() const {
        std::vector<QString> sorted = keys;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [this](const QString& a, const QString& b) { return bucket(a) < bucket(b); });
        return QStringList(sorted.begin(), sorted.end());
    }
};

struct HashCase {
    const char* key;
    std::uint32_t hash;
};

TEST(HashTableTest, HashOfPackedLittleEndianWords) {
    const HashCase cases[] = {
        {"ABCDE", 0x44434204u}, {"ABCD", 0x44434241u},
        {"DCBA", 0x41424344u},  {"ABCDABCD", 0u},
        {"WXYZWXYZ", 0u},       {"A", 0x41u},
        {"AB", 0x4241u},        {"ABCDEFGH", 0x44434241u ^ 0x48474645u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<std::uint32_t>(HashTable::HashValue(QString::fromLatin1(c.key))), c.hash)
            << c.key;
}

TEST(HashTableTest, CollidingKeysShareBucketZeroAndAreBothFound) {
    HashTable t;
    t.Add("WXYZWXYZ", 2);
    t.Add("ABCDABCD", 1);
    t.Add("B", 3); // bucket 66, after bucket 0
    EXPECT_EQ(t.BucketOf("ABCDABCD"), 0);
    EXPECT_EQ(t.BucketOf("WXYZWXYZ"), 0);
    EXPECT_EQ(t.item("ABCDABCD"), Variant(1));
    EXPECT_EQ(t.item("WXYZWXYZ"), Variant(2));
    EXPECT_EQ(t.Keys(), (QStringList{"WXYZWXYZ", "ABCDABCD", "B"}));
    EXPECT_EQ(t.Values(), (QList<Variant>{Variant(2), Variant(1), Variant(3)}));
}

TEST(HashTableTest, EnumerationIsBucketOrderThenInsertionOrder) {
    HashTable t;
    ReferenceTable ref{1024, {}};
    // "A", "AD" and "AH" all land in bucket 65; "B" in 66; "C" in 67.
    for (const char* k : {"C", "AD", "B", "A", "AH", "CONFIG\\PATH", "OPTIONS\\LOG_VERBOSITY", "zz"}) {
        t.Add(k, QString::fromLatin1(k) + "!");
        ref.add(k);
    }
    EXPECT_EQ(t.Keys(), ref.order());
    EXPECT_EQ(t.Keys().mid(0, 4), (QStringList{"AD", "A", "AH", "B"}));
    const QStringList keys = t.Keys();
    const QList<Variant> values = t.Values();
    ASSERT_EQ(keys.size(), values.size());
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(values[i], Variant(keys[i] + "!"));
}

TEST(HashTableTest, RemovalInsideAChainKeepsTheOthersInOrder) {
    HashTable t;
    for (const char* k : {"A", "AD", "AH", "B"})
        t.Add(k, 1);
    t.Remove("AD");
    EXPECT_EQ(t.Keys(), (QStringList{"A", "AH", "B"}));
    t.Remove("A"); // the chain's head
    EXPECT_EQ(t.Keys(), (QStringList{"AH", "B"}));
    t.Add("AD", 2); // re-added keys go to the end of their chain
    t.Add("A", 3);
    EXPECT_EQ(t.Keys(), (QStringList{"AH", "AD", "A", "B"}));
    EXPECT_EQ(t.Count(), 4);
}

TEST(HashTableTest, GrowsOneSlotAtATimeAndRecyclesRemovedSlots) {
    HashTable t;
    t.SetSize(16, 1, 1);
    ReferenceTable ref{16, {}};
    for (int i = 0; i < 600; ++i) {
        const QString k = QStringLiteral("KEY%1").arg(i);
        t.Add(k, i);
        ref.add(k);
    }
    for (int i = 0; i < 600; i += 3) {
        const QString k = QStringLiteral("KEY%1").arg(i);
        t.Remove(k);
        ref.remove(k);
    }
    for (int i = 600; i < 700; ++i) { // taken from the free list first, then grown again
        const QString k = QStringLiteral("KEY%1").arg(i);
        t.setItem(k, i);
        ref.add(k);
    }
    EXPECT_EQ(t.Count(), static_cast<int>(ref.keys.size()));
    EXPECT_EQ(t.Keys(), ref.order());
    for (int i = 0; i < 700; ++i) {
        const QString k = QStringLiteral("KEY%1").arg(i);
        const bool present = i >= 600 || i % 3 != 0;
        ASSERT_EQ(t.Exists(k), present) << k.toStdString();
        if (present) {
            EXPECT_EQ(t.item(k), Variant(i));
        }
    }
}

TEST(HashTableTest, SetSizeEmptiesAndRebuckets) {
    HashTable t;
    t.Add("A", 1);
    t.SetSize(4096, 0, -1); // list and chunk sizes below 1 keep theirs
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.HashSize(), 4096);
    ReferenceTable ref{4096, {}};
    for (int i = 0; i < 300; ++i) {
        const QString k = QStringLiteral("SECTION\\KEY_%1").arg(i * 7);
        t.Add(k, i);
        ref.add(k);
    }
    EXPECT_EQ(t.Keys(), ref.order());
    t.RemoveAll();
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.HashSize(), 4096);
    EXPECT_TRUE(t.Keys().isEmpty());
    EXPECT_FALSE(t.Exists("SECTION\\KEY_0"));
}

TEST(HashTableTest, IgnoreCaseUpperCasesKeys) {
    HashTable t;
    t.setIgnoreCase(true);
    t.Add("abc", 1);
    EXPECT_TRUE(t.Exists("ABC"));
    EXPECT_TRUE(t.Exists("aBc"));
    EXPECT_EQ(t.Keys(), QStringList{"ABC"});
    t.setItem("Abc", 2);
    EXPECT_EQ(t.Count(), 1);
    EXPECT_EQ(t.item("abc"), Variant(2));
    EXPECT_THROW(t.Add("ABC", 3), AppError);
    t.Remove("abC");
    EXPECT_EQ(t.Count(), 0);

    HashTable exact;
    exact.Add("abc", 1);
    exact.Add("ABC", 2);
    EXPECT_EQ(exact.Count(), 2);
    EXPECT_EQ(exact.item("abc"), Variant(1));
    EXPECT_EQ(exact.item("ABC"), Variant(2));
    EXPECT_FALSE(exact.Exists("Abc"));
}

TEST(HashTableTest, IgnoreCaseCannotChangeOnANonEmptyTable) {
    HashTable t;
    t.Add("abc", 1);
    try {
        t.setIgnoreCase(true);
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), 1001);
        EXPECT_EQ(e.description(), "The Hash Table isn't empty");
    }
    EXPECT_FALSE(t.IgnoreCase());
    EXPECT_FALSE(t.Exists("ABC"));
    t.Remove("abc");
    t.setIgnoreCase(true);
    EXPECT_TRUE(t.IgnoreCase());
}

struct ErrorCase {
    const char* name;
    std::function<void(HashTable&)> op;
    int number;
    const char* description; // nullptr: not checked
};

TEST(HashTableTest, ErrorsCarryTheirNumberAndLeaveTheTableUnchanged) {
    const ErrorCase cases[] = {
        {"Exists of empty key", [](HashTable& t) { t.Exists(""); }, 1001, "Invalid key"},
        {"Add of empty key", [](HashTable& t) { t.Add("", 9); }, 1001, "Invalid key"},
        {"item of empty key", [](HashTable& t) { t.item(""); }, 1001, "Invalid key"},
        {"setItem of empty key", [](HashTable& t) { t.setItem("", 9); }, 1001, "Invalid key"},
        {"Remove of empty key", [](HashTable& t) { t.Remove(""); }, 1001, "Invalid key"},
        {"Add of a present key", [](HashTable& t) { t.Add("AD", 9); }, 457, nullptr},
        {"Remove of an absent key", [](HashTable& t) { t.Remove("AX"); }, 5, nullptr},
        {"Remove of a key in an occupied bucket", [](HashTable& t) { t.Remove("AL"); }, 5, nullptr},
    };
    for (const auto& c : cases) {
        HashTable t;
        for (const char* k : {"A", "AD", "AH", "B"})
            t.Add(k, QString::fromLatin1(k));
        const QStringList keys = t.Keys();
        const QList<Variant> values = t.Values();
        try {
            c.op(t);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const AppError& e) {
            EXPECT_EQ(e.number(), c.number) << c.name;
            if (c.description) {
                EXPECT_EQ(e.description(), c.description) << c.name;
            }
        }
        EXPECT_EQ(t.Count(), 4) << c.name;
        EXPECT_EQ(t.Keys(), keys) << c.name;
        EXPECT_EQ(t.Values(), values) << c.name;
    }
}

TEST(HashTableTest, ItemOfAbsentKeyIsEmptyAndSetItemInsertsOrReplaces) {
    HashTable t;
    EXPECT_TRUE(t.item("NOPE").isEmpty());
    EXPECT_EQ(t.Count(), 0); // a lookup does not insert
    t.setItem("K", "one");
    EXPECT_EQ(t.Count(), 1);
    t.setItem("K", Variant::null());
    EXPECT_EQ(t.Count(), 1);
    EXPECT_TRUE(t.item("K").isNull());
    t.setItem("L", 2.5);
    EXPECT_EQ(t.Keys(), (QStringList{"K", "L"}));
}

TEST(HashTableTest, ObjectValuesAreShared) {
    struct Record {
        int value = 0;
    };
    KeyedHash<std::shared_ptr<Record>> t;
    auto r = std::make_shared<Record>();
    t.Add("REC", r);
    t.item("REC")->value = 42;
    EXPECT_EQ(r->value, 42);
    EXPECT_EQ(t.item("MISSING"), nullptr);
    std::weak_ptr<Record> watch = r;
    r.reset();
    t.Remove("REC");
    EXPECT_TRUE(watch.expired()); // a removed entry releases its object at once
}

TEST(HashTableTest, NonAsciiKeysWithNegativeHashStayInRange) {
    HashTable t;
    const QString key = QString::fromUtf8("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"); // four e-acute: 0xE9E9E9E9
    ASSERT_LT(HashTable::HashValue(key), 0);
    const std::int32_t b = t.BucketOf(key);
    EXPECT_GE(b, 0);
    EXPECT_LT(b, t.HashSize());
    t.Add(key, 1);
    EXPECT_TRUE(t.Exists(key));
    EXPECT_EQ(t.Keys(), QStringList{key});
}

} // namespace
