#include "CommonFiles/ui/MessageBoxPresenter.h"

#include "CommonFiles/foundation/AppInfo.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <array>
#include <vector>

namespace {

std::vector<QMessageBox::StandardButton> buttonSet(int buttons) {
    switch (buttons & 7) {
    case 1:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case 2:
        return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case 3:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case 4:
        return {QMessageBox::Yes, QMessageBox::No};
    case 5:
        return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
        return {QMessageBox::Ok};
    }
}

QMessageBox::Icon iconOf(int buttons) {
    switch (buttons & 112) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int MessageBoxPresenter::AnswerOf(int standardButton) {
    switch (standardButton) {
    case QMessageBox::Ok:
        return QTXmsgBoxHandler::vbOK;
    case QMessageBox::Cancel:
        return QTXmsgBoxHandler::vbCancel;
    case QMessageBox::Abort:
        return QTXmsgBoxHandler::vbAbort;
    case QMessageBox::Retry:
        return QTXmsgBoxHandler::vbRetry;
    case QMessageBox::Ignore:
        return QTXmsgBoxHandler::vbIgnore;
    case QMessageBox::Yes:
        return QTXmsgBoxHandler::vbYes;
    case QMessageBox::No:
        return QTXmsgBoxHandler::vbNo;
    default:
        return QTXmsgBoxHandler::NoAnswer;
    }
}

std::unique_ptr<QMessageBox> MessageBoxPresenter::buildBox(const QString& prompt, int buttons,
                                                           const std::optional<QString>& title,
                                                           const std::optional<QString>& helpFile,
                                                           const std::optional<int>& context) const {
    auto box = std::make_unique<QMessageBox>(QApplication::activeWindow());
    box->setObjectName(QStringLiteral("QtxMsgBox"));
    box->setWindowTitle(title ? *title : QString::fromLatin1(AppInfo::Title));
    box->setText(prompt);
    box->setIcon(iconOf(buttons));

    const std::vector<QMessageBox::StandardButton> set = buttonSet(buttons);
    for (QMessageBox::StandardButton b : set)
        box->addButton(b);
    std::size_t defaultIndex = (buttons & 256) ? 1 : (buttons & 512) ? 2 : 0;
    if (defaultIndex >= set.size()) defaultIndex = 0;
    box->setDefaultButton(set[defaultIndex]);

    if (buttons & 16384) {
        QPushButton* help = box->addButton(QMessageBox::Help);
        // QMessageBox closes on any button; a Help button must leave the question open.
        QObject::disconnect(help, &QAbstractButton::clicked, nullptr, nullptr);
        const QString file = helpFile.value_or(QString());
        const int topic = context.value_or(0);
        HelpHandler handler = help_;
        QObject::connect(help, &QAbstractButton::clicked, box.get(), [handler, file, topic] {
            if (handler) handler(file, topic);
        });
    }
    return box;
}

int MessageBoxPresenter::show(const QString& prompt, int buttons, const std::optional<QString>& title,
                              const std::optional<QString>& helpFile, const std::optional<int>& context) {
    std::unique_ptr<QMessageBox> box = buildBox(prompt, buttons, title, helpFile, context);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    if (!clicked) return QTXmsgBoxHandler::NoAnswer;
    return AnswerOf(box->standardButton(clicked));
}
