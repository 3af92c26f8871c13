#include "CommonFiles/config/CommonAINFOnavigator.h"

#include <algorithm>

void CommonAINFOnavigator::LoadMap() {
    // Writing additional information is not part of this release, whatever the settings say.
    mapEnabled_ = false;
}

void CommonAINFOnavigator::MoveFirst_Map() {
    cursor_ = mapCount_ < 1 ? mapCount_ : 1;
}

void CommonAINFOnavigator::MoveNext_Map() {
    ++cursor_;
}

bool CommonAINFOnavigator::EOF_Map() const {
    return !mapEnabled_ || cursor_ > mapCount_;
}

QString CommonAINFOnavigator::Current_Map() const {
    if (EOF_Map() || cursor_ < 1 || cursor_ > entries_.size()) return {};
    return entries_[cursor_ - 1];
}

void CommonAINFOnavigator::SourceRecord_New() {
    sourceRecord_ = std::make_shared<SourceRecord>();
    sourceRecord_->SetSize(std::max<std::int32_t>(1, 2 * mapCount_), 0, 0);
}

void CommonAINFOnavigator::SourceRecord_addTo(const QString& sourceFieldId, const QString& value) {
    const QString id = sourceFieldId.toUpper();
    if (!sourceRecord_ || id.isEmpty() || !sourceIds_.Exists(id)) return;
    sourceRecord_->setItem(id, value);
}

std::int32_t CommonAINFOnavigator::TransposeSource2Result(const std::shared_ptr<SourceRecord>& sourceRecord,
                                                          const QString& facilityId,
                                                          KeyedHash<QString>& result) const {
    Q_UNUSED(facilityId); // every facility shares the one map
    if (!mapEnabled_ || !sourceRecord) return 0;
    std::int32_t put = 0;
    for (const QString& id : entries_) {
        if (!sourceRecord->Exists(id)) continue;
        result.setItem(sourceIds_.item(id), sourceRecord->item(id));
        ++put;
    }
    return put;
}
