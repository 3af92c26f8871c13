#pragma once

#include "CommonFiles/foundation/HashTable.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

// The run-time side of the additional-information field map (TARGET\AINFO: source field id ->
// target field id). This release keeps the map switched off: LoadMap disables it, so the
// cursor is at its end at once and no source record is ever filled or transposed. The members
// keep the map's rules (one source field per target field, only enabled entries) for a release
// that switches it on.
class CommonAINFOnavigator {
public:
    using SourceRecord = KeyedHash<QString>;

    void LoadMap();
    void MoveFirst_Map();
    void MoveNext_Map();
    std::int32_t Count_Map() const { return mapCount_; }
    QString Current_Map() const;
    bool EOF_Map() const;

    // A fresh, empty source record sized for the map.
    void SourceRecord_New();
    // Stores the value of a mapped source field (id upper-cased) in the current record; ignored
    // for unmapped ids and before SourceRecord_New.
    void SourceRecord_addTo(const QString& sourceFieldId, const QString& value);
    // The current record; null before SourceRecord_New.
    std::shared_ptr<SourceRecord> SourceRecord_download() const { return sourceRecord_; }
    // Puts the record's values of the enabled map entries into result under their target field
    // ids; returns how many were put (0 while the map is off).
    std::int32_t TransposeSource2Result(const std::shared_ptr<SourceRecord>& sourceRecord,
                                        const QString& facilityId, KeyedHash<QString>& result) const;

    std::int32_t Cursor() const { return cursor_; }
    bool MapEnabled() const { return mapEnabled_; }

private:
    bool mapEnabled_ = false;
    std::int32_t mapCount_ = 0;
    std::int32_t cursor_ = 0;
    // Source field id -> target field id of each enabled entry.
    KeyedHash<QString> sourceIds_;
    // The mapped source field ids, in map order (Current_Map's texts).
    QStringList entries_;
    std::shared_ptr<SourceRecord> sourceRecord_;
};
