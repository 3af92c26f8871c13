#include "CommonFiles/foundation/QTXmsgBoxHandler.h"

#include "CommonFiles/foundation/QTXLoggerTXT.h"

#include <array>

namespace {

// Answers of the buttons of each set, in the order they are shown.
const std::array<std::array<int, 3>, 6> kButtonAnswers = {{
    {QTXmsgBoxHandler::vbOK, 0, 0},
    {QTXmsgBoxHandler::vbOK, QTXmsgBoxHandler::vbCancel, 0},
    {QTXmsgBoxHandler::vbAbort, QTXmsgBoxHandler::vbRetry, QTXmsgBoxHandler::vbIgnore},
    {QTXmsgBoxHandler::vbYes, QTXmsgBoxHandler::vbNo, QTXmsgBoxHandler::vbCancel},
    {QTXmsgBoxHandler::vbYes, QTXmsgBoxHandler::vbNo, 0},
    {QTXmsgBoxHandler::vbRetry, QTXmsgBoxHandler::vbCancel, 0},
}};

} // namespace

int QTXmsgBoxHandler::DefaultAnswer(int buttons) {
    int set = buttons & 7;
    if (set >= static_cast<int>(kButtonAnswers.size())) set = 0; // not a set we show: a plain OK box
    const int defaultIndex = (buttons & 256) ? 1 : (buttons & 512) ? 2 : 0;
    const int answer = kButtonAnswers[set][defaultIndex];
    return answer != 0 ? answer : kButtonAnswers[set][0]; // beyond the last button: the first
}

QString QTXmsgBoxHandler::AnswerName(int answer) {
    static const char* const names[] = {"OK", "CANCEL", "ABORT", "RETRY", "IGNORE", "YES", "NO"};
    return answer >= 1 && answer <= 7 ? QString::fromLatin1(names[answer - 1]) : QString();
}

int QTXmsgBoxHandler::QtxMsgBox(const Variant& prompt, int buttons, std::optional<QString> title,
                                std::optional<QString> helpFile, std::optional<int> context) {
    try {
        const QString text = prompt.toText();
        if (!silent_ && presenter_) return presenter_->show(text, buttons, title, helpFile, context);
        return silentBox(text, buttons, title, helpFile, context);
    } catch (...) {
        return NoAnswer;
    }
}

int QTXmsgBoxHandler::silentBox(const QString& prompt, int buttons, const std::optional<QString>& title,
                                const std::optional<QString>& helpFile, const std::optional<int>& context) {
    const std::optional<int> preset = answer_;
    answer_.reset();
    const int answer = preset && *preset >= 1 && *preset <= 7 ? *preset : DefaultAnswer(buttons);
    if (log_) {
        log_->WriteLog(QStringLiteral("=============================== SILENT QTXMSGBOX "
                                      "==============================="),
                       0);
        log_->WriteLog(QStringLiteral("PROMPT= ") + prompt, 0);
        log_->WriteLog(QStringLiteral("BUTTONS= ") + QString::number(buttons), 0);
        if (title) log_->WriteLog(QStringLiteral("TITLE= ") + *title, 0);
        if (helpFile) log_->WriteLog(QStringLiteral("HELPFILE= ") + *helpFile, 0);
        if (context) log_->WriteLog(QStringLiteral("CONTEXT= ") + QString::number(*context), 0);
        log_->WriteLog(QStringLiteral("ANSWER= ") + AnswerName(answer), 0);
        log_->WriteLog(QString(77, QLatin1Char('=')), 0);
    }
    return answer;
}
