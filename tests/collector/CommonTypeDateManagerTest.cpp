#include "CommonFiles/collector/CommonTypeDateManager.h"
#include "CommonFiles/collector/CommonTypeVarRec.h"
#include "fixtures/TargetDatabase.h"
#include "tests/collector/CollectorTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using CollectorTest::Date;
using CollectorTest::Text;
using CollectorTest::TimeOfDay;
namespace Code = fixtures::VarTypeCode;

namespace {

struct Slot {
    const char* stamp;
    const char* start;
    const char* end;
};

struct SlotCase {
    const char* what;
    QString varType;
    const char* interfaceType;
    Variant startTime;
    Variant stopTime;
    double rangeStart;
    double rangeEnd;
    bool indirect;
    double collectorOffset;
    int numberOfSlots;
    std::vector<Slot> processed;
};

std::shared_ptr<CommonTypeVarRec> Variable(const SlotCase& c) {
    auto r = std::make_shared<CommonTypeVarRec>();
    r->setVarType(Variant(c.varType));
    r->setInterfaceType(Variant(c.interfaceType));
    r->setStartTime(c.startTime);
    r->setStopTime(c.stopTime);
    r->setName(Variant("Flow"));
    r->setNumber(Variant(7));
    return r;
}

class CommonTypeDateManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CollectorTest::InitProcess();
        CollectorTest::StartNewLog();
    }
    void TearDown() override {
        CollectorTest::SetConfig(QStringLiteral("VESKDRAQ\\G2_INDIRECT_TYPE"), QStringLiteral("FALSE"));
    }
};

TEST_F(CommonTypeDateManagerTest, SlotsOfEveryRange) {
    const Variant none = Variant::null();
    const std::vector<SlotCase> cases = {
        {"hourly 10:20 to 14:10: the start is aligned down, the partial last hour is left",
         Code::Hourly,
         "SAME",
         none,
         none,
         Date(2024, 3, 1, 10, 20),
         Date(2024, 3, 1, 14, 10),
         false,
         0,
         4,
         {{"2024-03-01 10:00:00", "2024-03-01 10:00:00", "2024-03-01 11:00:00"},
          {"2024-03-01 11:00:00", "2024-03-01 11:00:00", "2024-03-01 12:00:00"},
          {"2024-03-01 12:00:00", "2024-03-01 12:00:00", "2024-03-01 13:00:00"},
          {"2024-03-01 13:00:00", "2024-03-01 13:00:00", "2024-03-01 14:00:00"}}},
        {"daily same-day window 00:00 to 23:59",
         Code::Daily,
         "SAME",
         TimeOfDay(0, 0),
         TimeOfDay(23, 59),
         Date(2024, 3, 1),
         Date(2024, 3, 4, 8, 0),
         false,
         0,
         3,
         {{"2024-03-01 00:00:00", "2024-03-01 00:00:00", "2024-03-02 00:00:00"},
          {"2024-03-02 00:00:00", "2024-03-02 00:00:00", "2024-03-03 00:00:00"},
          {"2024-03-03 00:00:00", "2024-03-03 00:00:00", "2024-03-04 00:00:00"}}},
        {"daily window 06:00 to 05:59 of the next day starts the day before",
         Code::Daily,
         "NEXT",
         TimeOfDay(6, 0),
         TimeOfDay(5, 59),
         Date(2024, 3, 1),
         Date(2024, 3, 4, 8, 0),
         false,
         0,
         4,
         {{"2024-02-29 00:00:00", "2024-02-29 06:00:00", "2024-03-01 06:00:00"},
          {"2024-03-01 00:00:00", "2024-03-01 06:00:00", "2024-03-02 06:00:00"},
          {"2024-03-02 00:00:00", "2024-03-02 06:00:00", "2024-03-03 06:00:00"},
          {"2024-03-03 00:00:00", "2024-03-03 06:00:00", "2024-03-04 06:00:00"}}},
        {"next-day window with the range ending 05:00: the last day is not complete",
         Code::Daily,
         "NEXT",
         TimeOfDay(6, 0),
         TimeOfDay(5, 59),
         Date(2024, 3, 1),
         Date(2024, 3, 4, 5, 0),
         false,
         0,
         4,
         {{"2024-02-29 00:00:00", "2024-02-29 06:00:00", "2024-03-01 06:00:00"},
          {"2024-03-01 00:00:00", "2024-03-01 06:00:00", "2024-03-02 06:00:00"},
          {"2024-03-02 00:00:00", "2024-03-02 06:00:00", "2024-03-03 06:00:00"}}},
        {"daily window 00:00 to 05:59 already closed on the range's last day",
         Code::Daily,
         "SAME",
         TimeOfDay(0, 0),
         TimeOfDay(5, 59),
         Date(2024, 3, 1),
         Date(2024, 3, 4, 8, 0),
         false,
         0,
         4,
         {{"2024-03-01 00:00:00", "2024-03-01 00:00:00", "2024-03-01 06:00:00"},
          {"2024-03-02 00:00:00", "2024-03-02 00:00:00", "2024-03-02 06:00:00"},
          {"2024-03-03 00:00:00", "2024-03-03 00:00:00", "2024-03-03 06:00:00"},
          {"2024-03-04 00:00:00", "2024-03-04 00:00:00", "2024-03-04 06:00:00"}}},
        {"daily window 00:00 to 05:59 still open at 05:00 of the last day",
         Code::Daily,
         "SAME",
         TimeOfDay(0, 0),
         TimeOfDay(5, 59),
         Date(2024, 3, 1),
         Date(2024, 3, 4, 5, 0),
         false,
         0,
         3,
         {{"2024-03-01 00:00:00", "2024-03-01 00:00:00", "2024-03-01 06:00:00"},
          {"2024-03-02 00:00:00", "2024-03-02 00:00:00", "2024-03-02 06:00:00"},
          {"2024-03-03 00:00:00", "2024-03-03 00:00:00", "2024-03-03 06:00:00"}}},
        {"a range shorter than one hour gives no slot",
         Code::Hourly,
         "SAME",
         none,
         none,
         Date(2024, 3, 1, 10, 20),
         Date(2024, 3, 1, 10, 50),
         false,
         0,
         0,
         {}},
        {"a range within one day still gets the daily extra slot when its window has closed",
         Code::Daily,
         "SAME",
         TimeOfDay(0, 0),
         TimeOfDay(5, 59),
         Date(2024, 3, 1, 1, 0),
         Date(2024, 3, 1, 8, 0),
         false,
         0,
         1,
         {{"2024-03-01 00:00:00", "2024-03-01 00:00:00", "2024-03-01 06:00:00"}}},
        {"a range within one day and a full-day window gives no slot",
         Code::Daily,
         "SAME",
         TimeOfDay(0, 0),
         TimeOfDay(23, 59),
         Date(2024, 3, 1, 1, 0),
         Date(2024, 3, 1, 8, 0),
         false,
         0,
         0,
         {}},
        {"an inverted range counts its slots but processes none",
         Code::Hourly,
         "SAME",
         none,
         none,
         Date(2024, 3, 1, 14, 10),
         Date(2024, 3, 1, 10, 20),
         false,
         0,
         4,
         {}},
        {"a window ending exactly at the range end is processed",
         Code::Hourly,
         "SAME",
         none,
         none,
         Date(2024, 3, 1, 5, 0),
         Date(2024, 3, 1, 7, 0),
         false,
         0,
         2,
         {{"2024-03-01 05:00:00", "2024-03-01 05:00:00", "2024-03-01 06:00:00"},
          {"2024-03-01 06:00:00", "2024-03-01 06:00:00", "2024-03-01 07:00:00"}}},
        {"15-minute slots with a window inside the slot",
         Code::FifteenMinute,
         "SAME",
         TimeOfDay(0, 5),
         TimeOfDay(0, 10),
         Date(2024, 3, 1, 23, 40),
         Date(2024, 3, 2, 0, 10),
         false,
         0,
         2,
         {{"2024-03-01 23:30:00", "2024-03-01 23:35:00", "2024-03-01 23:40:00"},
          {"2024-03-01 23:45:00", "2024-03-01 23:50:00", "2024-03-01 23:55:00"}}},
        {"four-hourly slots over midnight",
         Code::FourHourly,
         "SAME",
         none,
         none,
         Date(2024, 3, 1, 21, 0),
         Date(2024, 3, 2, 9, 30),
         false,
         0,
         3,
         {{"2024-03-01 20:00:00", "2024-03-01 20:00:00", "2024-03-02 00:00:00"},
          {"2024-03-02 00:00:00", "2024-03-02 00:00:00", "2024-03-02 04:00:00"},
          {"2024-03-02 04:00:00", "2024-03-02 04:00:00", "2024-03-02 08:00:00"}}},
        {"one-minute slots across a day change",
         Code::OneMinute,
         "SAME",
         none,
         none,
         Date(2024, 2, 29, 23, 58, 30),
         Date(2024, 3, 1, 0, 1),
         false,
         0,
         3,
         {{"2024-02-29 23:58:00", "2024-02-29 23:58:00", "2024-02-29 23:59:00"},
          {"2024-02-29 23:59:00", "2024-02-29 23:59:00", "2024-03-01 00:00:00"},
          {"2024-03-01 00:00:00", "2024-03-01 00:00:00", "2024-03-01 00:01:00"}}},
        {"indirect type: daily boundaries at the collector's midnight",
         Code::Daily,
         "SAME",
         TimeOfDay(0, 0),
         TimeOfDay(23, 59),
         Date(2024, 3, 1),
         Date(2024, 3, 4, 8, 0),
         true,
         60,
         3,
         {{"2024-02-29 23:00:00", "2024-02-29 23:00:00", "2024-03-01 23:00:00"},
          {"2024-03-01 23:00:00", "2024-03-01 23:00:00", "2024-03-02 23:00:00"},
          {"2024-03-02 23:00:00", "2024-03-02 23:00:00", "2024-03-03 23:00:00"}}},
        {"indirect type leaves hourly slots unshifted",
         Code::Hourly,
         "SAME",
         none,
         none,
         Date(2024, 3, 1, 10, 20),
         Date(2024, 3, 1, 12, 0),
         true,
         60,
         2,
         {{"2024-03-01 10:00:00", "2024-03-01 10:00:00", "2024-03-01 11:00:00"},
          {"2024-03-01 11:00:00", "2024-03-01 11:00:00", "2024-03-01 12:00:00"}}},
    };
    for (const SlotCase& c : cases) {
        SCOPED_TRACE(c.what);
        CollectorTest::SetConfig(QStringLiteral("VESKDRAQ\\G2_INDIRECT_TYPE"),
                                 c.indirect ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        CommonTypeDateManager dates;
        ASSERT_TRUE(dates.Init(c.rangeStart, c.rangeEnd, Variable(c), c.collectorOffset));
        EXPECT_EQ(dates.NumberOfSlots(), c.numberOfSlots);
        std::vector<std::string> got;
        for (; !dates.Eof(); dates.MoveNext())
            got.push_back((Text(dates.VeskDRAQslotDateStamp()) + " " + Text(dates.SlotStart()) + " " +
                           Text(dates.SlotEnd()))
                              .toStdString());
        std::vector<std::string> want;
        for (const Slot& s : c.processed)
            want.push_back(std::string(s.stamp) + " " + s.start + " " + s.end);
        EXPECT_EQ(got, want);
    }
}

TEST_F(CommonTypeDateManagerTest, ANewManagerHasNoSlot) {
    CommonTypeDateManager dates;
    EXPECT_EQ(dates.NumberOfSlots(), 0);
    EXPECT_TRUE(dates.Eof());
}

TEST_F(CommonTypeDateManagerTest, SecondsVariablesGetNoSlotAndALogLine) {
    SlotCase c{"seconds",
               QStringLiteral("908_P4H3F519"),
               "SAME",
               Variant::null(),
               Variant::null(),
               Date(2024, 3, 1, 10, 0),
               Date(2024, 3, 1, 11, 0),
               false,
               0,
               0,
               {}};
    CommonTypeDateManager dates;
    EXPECT_TRUE(dates.Init(c.rangeStart, c.rangeEnd, Variable(c), 0))
        << "the run goes on with the next variable";
    EXPECT_EQ(dates.NumberOfSlots(), 0);
    EXPECT_TRUE(dates.Eof());
    EXPECT_FALSE(CommonTypeDateManager::SupportsVarType(QStringLiteral("908_P4H3F519")));
    EXPECT_TRUE(CommonTypeDateManager::SupportsVarType(Code::OneMinute));
    EXPECT_EQ(CollectorTest::CountLogMessage(QStringLiteral(
                  "No time slots for Flow (#7): variable type 908_P4H3F519 has intervals shorter "
                  "than one minute. Skipping import for this variable.")),
              1);
}

TEST_F(CommonTypeDateManagerTest, AnIndirectTypeThatIsNoBooleanRaises) {
    CollectorTest::SetConfig(QStringLiteral("VESKDRAQ\\G2_INDIRECT_TYPE"), QStringLiteral("YES"));
    SlotCase c{"hourly",
               Code::Hourly,
               "SAME",
               Variant::null(),
               Variant::null(),
               Date(2024, 3, 1, 10, 0),
               Date(2024, 3, 1, 11, 0),
               false,
               0,
               1,
               {}};
    CommonTypeDateManager dates;
    EXPECT_THROW(dates.Init(c.rangeStart, c.rangeEnd, Variable(c), 0), AppError);
}

} // namespace
