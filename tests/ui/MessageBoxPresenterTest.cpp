#include "CommonFiles/foundation/AppInfo.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/ui/MessageBoxPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

// One QApplication for the executable (offscreen, set by ctest or here).
class MessageBoxPresenterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QApplication::instance()) app_ = new QApplication(argc_, argv_);
    }
    // Runs `act` on the box once show() has put it up.
    static void whenShown(std::function<void(QMessageBox*)> act) {
        QTimer::singleShot(0, [act] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            act(box);
        });
    }

private:
    static inline int argc_ = 1;
    static inline char name_[8] = "test_ui";
    static inline char* argv_[2] = {name_, nullptr};
    static inline QApplication* app_ = nullptr;
};

struct BoxCase {
    int buttons;
    std::vector<QMessageBox::StandardButton> shown;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton defaultButton;
};

TEST_F(MessageBoxPresenterTest, ButtonsIconAndDefaultFollowTheCode) {
    using B = QMessageBox;
    const BoxCase cases[] = {
        {0, {B::Ok}, B::NoIcon, B::Ok},
        {33, {B::Ok, B::Cancel}, B::Question, B::Ok},
        {289, {B::Ok, B::Cancel}, B::Question, B::Cancel},
        {48, {B::Ok}, B::Warning, B::Ok},
        {64, {B::Ok}, B::Information, B::Ok},
        {16, {B::Ok}, B::Critical, B::Ok},
        {16432, {B::Ok, B::Help}, B::Warning, B::Ok},
        {2 + 512, {B::Abort, B::Retry, B::Ignore}, B::NoIcon, B::Ignore},
        {3 + 256, {B::Yes, B::No, B::Cancel}, B::NoIcon, B::No},
        {4 + 512, {B::Yes, B::No}, B::NoIcon, B::Yes}, // no third button: the first is the default
        {5 + 16 + 256, {B::Retry, B::Cancel}, B::Critical, B::Cancel},
    };
    MessageBoxPresenter presenter;
    for (const auto& c : cases) {
        std::unique_ptr<QMessageBox> box = presenter.buildBox("Prompt text", c.buttons, {}, {}, {});
        std::vector<QMessageBox::StandardButton> shown;
        for (QAbstractButton* b : box->buttons())
            shown.push_back(box->standardButton(b));
        std::sort(shown.begin(), shown.end());
        std::vector<QMessageBox::StandardButton> expected = c.shown;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(shown, expected) << "buttons " << c.buttons;
        EXPECT_EQ(box->icon(), c.icon) << "buttons " << c.buttons;
        ASSERT_NE(box->defaultButton(), nullptr) << "buttons " << c.buttons;
        EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton) << "buttons " << c.buttons;
        EXPECT_EQ(box->text(), "Prompt text");
        EXPECT_EQ(box->windowTitle(), AppInfo::Title);
    }
    EXPECT_EQ(presenter.buildBox("p", 0, QStringLiteral("Import"), {}, {})->windowTitle(), "Import");
}

TEST_F(MessageBoxPresenterTest, EnterAnswersWithTheSameDefaultAsASilentBox) {
    MessageBoxPresenter presenter;
    for (int code : {0, 33, 289, 48, 2, 258, 514, 3, 259, 515, 4, 260, 5, 261, 16452}) {
        whenShown([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
        EXPECT_EQ(presenter.show("Continue?", code, {}, {}, {}), QTXmsgBoxHandler::DefaultAnswer(code))
            << code;
    }
}

TEST_F(MessageBoxPresenterTest, ThePressedButtonIsTheAnswer) {
    MessageBoxPresenter presenter;
    const struct {
        int buttons;
        QMessageBox::StandardButton press;
        int answer;
    } cases[] = {
        {1, QMessageBox::Cancel, QTXmsgBoxHandler::vbCancel},
        {2, QMessageBox::Retry, QTXmsgBoxHandler::vbRetry},
        {2, QMessageBox::Ignore, QTXmsgBoxHandler::vbIgnore},
        {3, QMessageBox::No, QTXmsgBoxHandler::vbNo},
        {4, QMessageBox::Yes, QTXmsgBoxHandler::vbYes},
        {5, QMessageBox::Cancel, QTXmsgBoxHandler::vbCancel},
    };
    for (const auto& c : cases) {
        const QMessageBox::StandardButton press = c.press;
        whenShown([press](QMessageBox* box) { box->button(press)->click(); });
        EXPECT_EQ(presenter.show("Choose", c.buttons, {}, {}, {}), c.answer) << c.buttons;
    }
}

TEST_F(MessageBoxPresenterTest, HelpOpensTheTopicAndKeepsTheBoxOpen) {
    MessageBoxPresenter presenter;
    QString helpFile;
    int context = -1;
    presenter.setHelpHandler([&](const QString& file, int topic) {
        helpFile = file;
        context = topic;
    });
    bool stillOpen = false;
    whenShown([&](QMessageBox* box) {
        box->button(QMessageBox::Help)->click();
        QApplication::processEvents();
        stillOpen = box->isVisible();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(presenter.show("Save?", 16384 + 32 + 4, {}, QStringLiteral("/opt/k48213/help.chm"), 1020),
              QTXmsgBoxHandler::vbNo);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(helpFile, "/opt/k48213/help.chm");
    EXPECT_EQ(context, 1020);
}

TEST_F(MessageBoxPresenterTest, HandlerShowsInteractiveBoxesThroughThePresenter) {
    MessageBoxPresenter presenter;
    QTXmsgBoxHandler handler;
    handler.setPresenter(&presenter);
    whenShown([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_EQ(handler.QtxMsgBox(Variant("Delete?"), 4 + 32), QTXmsgBoxHandler::vbNo);
}

} // namespace
