#pragma once

#include "CommonFiles/foundation/QTXmsgBoxHandler.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;

// Shows QTXmsgBoxHandler's boxes as QMessageBox in interactive mode: the button set, icon,
// default button and Help button of the buttons code; the answer is the code of the button
// pressed (1 OK .. 7 No). Help opens the help topic through the help handler and keeps the box
// open, as the operator expects of a Help button.
class MessageBoxPresenter : public MsgBoxPresenter {
public:
    using HelpHandler = std::function<void(const QString& helpFile, int context)>;

    int show(const QString& prompt, int buttons, const std::optional<QString>& title,
             const std::optional<QString>& helpFile, const std::optional<int>& context) override;

    void setHelpHandler(HelpHandler handler) { help_ = std::move(handler); }

    // The box show() runs, built but not shown.
    std::unique_ptr<QMessageBox> buildBox(const QString& prompt, int buttons,
                                          const std::optional<QString>& title,
                                          const std::optional<QString>& helpFile,
                                          const std::optional<int>& context) const;
    // The answer code of a QMessageBox::StandardButton; 0 for any other.
    static int AnswerOf(int standardButton);

private:
    HelpHandler help_;
};
