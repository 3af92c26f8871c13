#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "tests/foundation/LogTestSupport.h"
#include "tests/foundation/QtPrinters.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QString kTop =
    QStringLiteral("=============================== SILENT QTXMSGBOX ===============================");
const QString kBottom(77, QLatin1Char('='));

struct SilentBox {
    FakeClock clock{OleDate::fromParts(2026, 12, 8, 9, 0, 0)};
    TempDir dir;
    QTXLoggerTXT log;
    QTXmsgBoxHandler box;
    SilentBox() {
        log.setLogPath(dir.file("log"));
        log.setLogHandleFile(dir.file("handle"));
        log.setBufferLength(1);
        log.setEnabled(true);
        box.setLogHandler(&log);
        box.setSilentOperation(true);
    }
    QStringList logged() const { return ReadLogMessages(log.currentFileName()); }
};

struct DefaultCase {
    int buttons;
    int answer;
};

TEST(QTXmsgBoxHandlerTest, SilentAnswerIsTheDefaultButtons) {
    using H = QTXmsgBoxHandler;
    const DefaultCase cases[] = {
        {0, H::vbOK},
        {33, H::vbOK},
        {289, H::vbCancel},
        {48, H::vbOK},
        {64, H::vbOK},
        {16, H::vbOK},
        {16432, H::vbOK},
        {256, H::vbOK},
        {512, H::vbOK},
        {1, H::vbOK},
        {257, H::vbCancel},
        {513, H::vbOK},
        {2, H::vbAbort},
        {258, H::vbRetry},
        {514, H::vbIgnore},
        {3, H::vbYes},
        {259, H::vbNo},
        {515, H::vbCancel},
        {4, H::vbYes},
        {260, H::vbNo},
        {516, H::vbYes},
        {5, H::vbRetry},
        {261, H::vbCancel},
        {517, H::vbRetry},
        {3 + 256 + 512, H::vbNo},
        {4 + 32 + 256 + 16384, H::vbNo},
        {6, H::vbOK},
        {7 + 256, H::vbOK},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QTXmsgBoxHandler::DefaultAnswer(c.buttons), c.answer) << "buttons " << c.buttons;
        SilentBox s;
        EXPECT_EQ(s.box.QtxMsgBox(Variant("question"), c.buttons), c.answer) << "buttons " << c.buttons;
        EXPECT_EQ(s.logged().value(s.logged().size() - 2),
                  "ANSWER= " + QTXmsgBoxHandler::AnswerName(c.answer))
            << "buttons " << c.buttons;
    }
}

TEST(QTXmsgBoxHandlerTest, SilentBlockWithoutOptionalArguments) {
    SilentBox s;
    EXPECT_EQ(s.box.QtxMsgBox(Variant("Disk full"), 48), QTXmsgBoxHandler::vbOK);
    EXPECT_EQ(s.logged(), (QStringList{kTop, "PROMPT= Disk full", "BUTTONS= 48", "ANSWER= OK", kBottom}));
    EXPECT_EQ(kTop.count(QLatin1Char('=')), 62);
}

TEST(QTXmsgBoxHandlerTest, SilentBlockWithEveryOptionalArgument) {
    SilentBox s;
    EXPECT_EQ(s.box.QtxMsgBox(Variant(12.5), 16452, QStringLiteral("Settings"),
                              QStringLiteral("/opt/help.chm"), 1020),
              QTXmsgBoxHandler::vbYes); // 16384 Help + 64 information + 4 Yes/No
    EXPECT_EQ(s.logged(), (QStringList{kTop, "PROMPT= 12.5", "BUTTONS= 16452", "TITLE= Settings",
                                       "HELPFILE= /opt/help.chm", "CONTEXT= 1020", "ANSWER= YES", kBottom}));
}

TEST(QTXmsgBoxHandlerTest, EmptyTitleIsStillATitle) {
    SilentBox s;
    s.box.QtxMsgBox(Variant::null(), 0, QString(), {}, 0);
    EXPECT_EQ(s.logged(),
              (QStringList{kTop, "PROMPT= ", "BUTTONS= 0", "TITLE= ", "CONTEXT= 0", "ANSWER= OK", kBottom}));
}

TEST(QTXmsgBoxHandlerTest, PresetAnswerIsUsedOnce) {
    SilentBox s;
    EXPECT_EQ(s.box.QtxMsgBox(Variant("first"), 0), QTXmsgBoxHandler::vbOK); // no preset at construction
    s.box.setAnswer(QTXmsgBoxHandler::vbNo);
    EXPECT_EQ(s.box.QtxMsgBox(Variant("preset"), 1), QTXmsgBoxHandler::vbNo);
    EXPECT_EQ(s.box.QtxMsgBox(Variant("after"), 1), QTXmsgBoxHandler::vbOK);
    s.box.setAnswer(9); // not an answer: the default button answers, and the preset is gone
    EXPECT_EQ(s.box.QtxMsgBox(Variant("bad preset"), 4), QTXmsgBoxHandler::vbYes);
    s.box.setAnswer(QTXmsgBoxHandler::vbRetry);
    EXPECT_EQ(s.box.QtxMsgBox(Variant("retry"), 0), QTXmsgBoxHandler::vbRetry);
    const QStringList answers = s.logged().filter(QStringLiteral("ANSWER= "));
    EXPECT_EQ(answers,
              (QStringList{"ANSWER= OK", "ANSWER= NO", "ANSWER= OK", "ANSWER= YES", "ANSWER= RETRY"}));
}

struct RecordingPresenter : MsgBoxPresenter {
    int calls = 0;
    QString prompt;
    int buttons = -1;
    std::optional<QString> title, helpFile;
    std::optional<int> context;
    int answer = QTXmsgBoxHandler::vbNo;
    bool fail = false;
    int show(const QString& p, int b, const std::optional<QString>& t, const std::optional<QString>& h,
             const std::optional<int>& c) override {
        ++calls;
        prompt = p;
        buttons = b;
        title = t;
        helpFile = h;
        context = c;
        if (fail) throw std::runtime_error("no display");
        return answer;
    }
};

TEST(QTXmsgBoxHandlerTest, InteractiveBoxGoesToThePresenterAndLogsNothing) {
    SilentBox s;
    RecordingPresenter presenter;
    s.box.setSilentOperation(false);
    s.box.setPresenter(&presenter);
    s.box.setAnswer(QTXmsgBoxHandler::vbYes); // presets answer silent boxes only
    EXPECT_EQ(s.box.QtxMsgBox(Variant(42), 292, QStringLiteral("Import")), QTXmsgBoxHandler::vbNo);
    EXPECT_EQ(presenter.calls, 1);
    EXPECT_EQ(presenter.prompt, "42");
    EXPECT_EQ(presenter.buttons, 292);
    EXPECT_EQ(presenter.title, std::optional<QString>("Import"));
    EXPECT_FALSE(presenter.helpFile.has_value());
    EXPECT_FALSE(presenter.context.has_value());
    EXPECT_EQ(s.log.currentFileName(), QString()); // not even opened

    presenter.fail = true;
    EXPECT_EQ(s.box.QtxMsgBox(Variant("x"), 0), QTXmsgBoxHandler::NoAnswer);

    s.box.setSilentOperation(true); // silent mode never shows a box
    EXPECT_EQ(s.box.QtxMsgBox(Variant("svc"), 0), QTXmsgBoxHandler::vbYes);
    EXPECT_EQ(presenter.calls, 2);
}

TEST(QTXmsgBoxHandlerTest, InteractiveWithoutPresenterAnswersLikeSilent) {
    SilentBox s;
    s.box.setSilentOperation(false);
    EXPECT_EQ(s.box.QtxMsgBox(Variant("no window"), 35), QTXmsgBoxHandler::vbYes);
    EXPECT_EQ(s.logged().value(1), "PROMPT= no window");
}

TEST(QTXmsgBoxHandlerTest, SilentWithoutLogStillAnswers) {
    QTXmsgBoxHandler box;
    box.setSilentOperation(true);
    EXPECT_EQ(box.QtxMsgBox(Variant("nobody listens"), 260), QTXmsgBoxHandler::vbNo);
}

} // namespace
