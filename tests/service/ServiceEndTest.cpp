#include "CommonFiles/service/CommonNTSERVICE.h"
#include "CommonFiles/service/ServiceStopSignals.h"

#include "CommonFiles/foundation/QTXTimer.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/FakeClock.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <vector>

namespace {

enum class Trigger { Sigterm, Sigint, EndButton };

struct EndCase {
    const char* name;
    Trigger trigger;
    enum { Idle, FirstImport, LaterImport } when;
};
void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.name;
}

const QString kStopLine = QStringLiteral("Service stop requested.");

class EndOfService : public ::testing::TestWithParam<EndCase> {};

// The process ends by leaving the event loop; an import under way is never cut off: it finishes
// and logs its sleep line first.
TEST_P(EndOfService, LeavesTheEventLoopAfterTheTickUnderWay) {
    const EndCase& c = GetParam();
    // 10:00 with the defaults is due at once (the first import runs inside RunNTService);
    // 00:00:30 is not, until 00:01.
    FakeClock clock(c.when == EndCase::FirstImport ? at(10, 0) : at(0, 0, 30));
    ServiceFolder folder;
    CommonNTSERVICE* self = nullptr;
    int imports = 0;

    auto fire = [&] {
        switch (c.trigger) {
        case Trigger::Sigterm:
            std::raise(SIGTERM);
            break;
        case Trigger::Sigint:
            std::raise(SIGINT);
            break;
        case Trigger::EndButton:
            QMetaObject::invokeMethod(self, &CommonNTSERVICE::Command2_Click, Qt::QueuedConnection);
            break;
        }
    };
    CommonNTSERVICE service(
        [&] {
            ++imports;
            folder.log.WriteLog(QStringLiteral("Import started."), 0);
            if (c.when != EndCase::Idle) {
                fire();
                // The request arrives while the import lets events through.
                for (int i = 0; i < 1000 && !self->EndRequested(); ++i)
                    QCoreApplication::processEvents();
                EXPECT_TRUE(self->EndRequested());
                EXPECT_TRUE(self->InWakeUp());
            }
            folder.log.WriteLog(QStringLiteral("Import was successful."), 0);
        },
        folder.config, folder.log);
    self = &service;
    service.RunNTService();

    if (c.when == EndCase::Idle) {
        QTimer::singleShot(0, fire);
    } else if (c.when == EndCase::LaterImport) {
        clock.set(at(0, 1, 30));
        QTimer::singleShot(0, [&] { TimerCallback(*service.MyMinuteTimer()); });
    }
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        watchdogFired = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(30000);
    const int code = QCoreApplication::exec();
    watchdog.stop();

    ASSERT_FALSE(watchdogFired) << "the event loop was not left";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(service.EndRequested());
    EXPECT_FALSE(service.InWakeUp());
    EXPECT_FALSE(service.MyMinuteTimer()->Enabled());
    EXPECT_EQ(imports, c.when == EndCase::Idle ? 0 : 1);

    const QStringList m = folder.messages();
    const bool bySignal = c.trigger != Trigger::EndButton;
    EXPECT_EQ(m.count(kStopLine), bySignal ? 1 : 0);
    if (c.when != EndCase::Idle) {
        const qsizetype done = m.indexOf(QStringLiteral("Import was successful."));
        const qsizetype sleep = m.indexOf(kSleepLine + OleDate::toMmDdYyyyHhNnSs(at(0, 1, 0, 0, 1)));
        EXPECT_GE(done, 0);
        EXPECT_GT(sleep, done) << "the sleep line is still written";
        if (bySignal) {
            EXPECT_GT(m.indexOf(kStopLine), m.indexOf(QStringLiteral("Import started.")));
            EXPECT_LT(m.indexOf(kStopLine), done);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndOfService,
    ::testing::Values(EndCase{"SigtermWhileIdle", Trigger::Sigterm, EndCase::Idle},
                      EndCase{"SigintWhileIdle", Trigger::Sigint, EndCase::Idle},
                      EndCase{"EndButtonWhileIdle", Trigger::EndButton, EndCase::Idle},
                      EndCase{"SigtermDuringTheFirstImport", Trigger::Sigterm, EndCase::FirstImport},
                      EndCase{"SigtermDuringALaterImport", Trigger::Sigterm, EndCase::LaterImport},
                      EndCase{"EndButtonDuringTheFirstImport", Trigger::EndButton, EndCase::FirstImport},
                      EndCase{"EndButtonDuringALaterImport", Trigger::EndButton, EndCase::LaterImport}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServiceStopSignals, DeliversEachSignalThroughTheEventLoop) {
    ServiceStopSignals stops;
    ASSERT_TRUE(stops.isActive());
    std::vector<int> received;
    QObject::connect(&stops, &ServiceStopSignals::stopRequested, [&](int n) { received.push_back(n); });
    std::raise(SIGINT);
    std::raise(SIGTERM);
    EXPECT_TRUE(received.empty()) << "nothing runs inside the signal handler";
    for (int i = 0; i < 1000 && received.size() < 2; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(received, (std::vector<int>{SIGINT, SIGTERM}));
}

TEST(ServiceStopSignals, OneInstanceAtATimeAndTheOldHandlersComeBack) {
    struct sigaction before {};
    struct sigaction beforeInt {};
    sigaction(SIGTERM, nullptr, &before);
    sigaction(SIGINT, nullptr, &beforeInt);
    {
        ServiceStopSignals first;
        struct sigaction during {};
        sigaction(SIGTERM, nullptr, &during);
        EXPECT_TRUE(first.isActive());
        EXPECT_NE(during.sa_handler, before.sa_handler);
        {
            ServiceStopSignals second;
            EXPECT_FALSE(second.isActive());
        }
        struct sigaction afterSecond {};
        sigaction(SIGTERM, nullptr, &afterSecond);
        EXPECT_EQ(afterSecond.sa_handler, during.sa_handler) << "the inert instance leaves the handler alone";

        std::vector<int> received;
        QObject::connect(&first, &ServiceStopSignals::stopRequested, [&](int n) { received.push_back(n); });
        std::raise(SIGTERM);
        for (int i = 0; i < 1000 && received.empty(); ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(received, std::vector<int>{SIGTERM});
    }
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, beforeInt.sa_handler);
}

} // namespace
