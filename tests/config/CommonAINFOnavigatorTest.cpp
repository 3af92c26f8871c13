#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/CommonAINFOnavigator.h"

#include <gtest/gtest.h>

namespace {

TEST(CommonAINFOnavigatorTest, LoadMapLeavesTheMapSwitchedOff) {
    CommonAINFOnavigator nav;
    nav.LoadMap();
    EXPECT_FALSE(nav.MapEnabled());
    EXPECT_EQ(nav.Count_Map(), 0);
    EXPECT_TRUE(nav.EOF_Map());
    EXPECT_EQ(nav.Current_Map(), "");

    nav.MoveFirst_Map(); // an empty map puts the cursor at 0
    EXPECT_EQ(nav.Cursor(), 0);
    EXPECT_TRUE(nav.EOF_Map());
    nav.MoveNext_Map();
    EXPECT_EQ(nav.Cursor(), 1);
    EXPECT_TRUE(nav.EOF_Map());
    EXPECT_EQ(nav.Current_Map(), "");
}

TEST(CommonAINFOnavigatorTest, SourceRecordTakesOnlyMappedFields) {
    CommonAINFOnavigator nav;
    nav.LoadMap();
    EXPECT_EQ(nav.SourceRecord_download(), nullptr);
    EXPECT_NO_THROW(nav.SourceRecord_addTo("flow", "12.5")); // before SourceRecord_New: nothing, no error
    EXPECT_EQ(nav.SourceRecord_download(), nullptr);
    EXPECT_NO_THROW(nav.SourceRecord_addTo("", "1"));

    nav.SourceRecord_New();
    const auto record = nav.SourceRecord_download();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->HashSize(), 1);       // sized for twice the map count, at least 1
    nav.SourceRecord_addTo("flow", "12.5"); // no source field is mapped
    EXPECT_EQ(record->Count(), 0);

    nav.SourceRecord_New();
    EXPECT_NE(nav.SourceRecord_download(), record); // a fresh record each time

    KeyedHash<QString> result;
    record->setItem("FLOW", "1");
    EXPECT_EQ(nav.TransposeSource2Result(record, "PLANT_A", result), 0);
    EXPECT_EQ(result.Count(), 0);
}

TEST(CommonAINFOnavigatorTest, ProcessWideNavigator) {
    EXPECT_EQ(&AppAInfoNavigator(), &AppAInfoNavigator());
    AppAInfoNavigator().LoadMap();
    EXPECT_TRUE(AppAInfoNavigator().EOF_Map());
}

} // namespace
