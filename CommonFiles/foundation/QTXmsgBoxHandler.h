#pragma once

#include "CommonFiles/foundation/Variant.h"

#include <QString>

#include <cstdint>
#include <optional>

class QTXLoggerTXT;

// Shows a message box for QTXmsgBoxHandler. The ui library registers the QMessageBox one; the
// foundation never touches a display itself. A missing title means the application's title.
class MsgBoxPresenter {
public:
    virtual ~MsgBoxPresenter() = default;
    virtual int show(const QString& prompt, int buttons, const std::optional<QString>& title,
                     const std::optional<QString>& helpFile, const std::optional<int>& context) = 0;
};

// Every message box of the program goes through here. In silent operation (service mode) the box
// is written to the log as a framed block and answered at once, with the preset Answer when one
// is set, else with the answer of its default button, so an unattended service never waits.
//
// Buttons code: low three bits the set (0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel,
// 4 Yes/No, 5 Retry/Cancel); 16/32/48/64 the icon; 256 second button default, 512 third; 16384
// Help. Answers: 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No; 0 means no answer.
class QTXmsgBoxHandler {
public:
    enum Answer {
        NoAnswer = 0,
        vbOK = 1,
        vbCancel = 2,
        vbAbort = 3,
        vbRetry = 4,
        vbIgnore = 5,
        vbYes = 6,
        vbNo = 7
    };

    int QtxMsgBox(const Variant& prompt, int buttons, std::optional<QString> title = {},
                  std::optional<QString> helpFile = {}, std::optional<int> context = {});

    void setLogHandler(QTXLoggerTXT* log) { log_ = log; }
    QTXLoggerTXT* LogHandler() const { return log_; }
    // A preset answer (1..7) for the next silent box only.
    void setAnswer(int answer) { answer_ = answer; }
    void setSilentOperation(bool value) { silent_ = value; }
    bool SilentOperation() const { return silent_; }
    // Without a presenter an interactive box is answered as a silent one.
    void setPresenter(MsgBoxPresenter* presenter) { presenter_ = presenter; }
    MsgBoxPresenter* Presenter() const { return presenter_; }

    // The answer of the default button of a buttons code.
    static int DefaultAnswer(int buttons);
    // "OK", "CANCEL", ... for 1..7; "" otherwise.
    static QString AnswerName(int answer);

private:
    int silentBox(const QString& prompt, int buttons, const std::optional<QString>& title,
                  const std::optional<QString>& helpFile, const std::optional<int>& context);

    QTXLoggerTXT* log_ = nullptr;
    std::optional<int> answer_;
    bool silent_ = false;
    MsgBoxPresenter* presenter_ = nullptr;
};
