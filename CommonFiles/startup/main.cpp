#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/startup/CommonGlobals.h"
#include "CommonFiles/startup/ProgramEntryPoint.h"
#include "CommonFiles/ui/MessageBoxPresenter.h"

#include <QApplication>
#include <QCoreApplication>

#include <memory>

int main(int argc, char** argv) {
    // The mode is decided before any application object exists: a service has no display, and a
    // QApplication without one aborts.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const bool service = IsServiceCommandLine(arguments);

    std::unique_ptr<QCoreApplication> app;
    if (service)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);

    MessageBoxPresenter presenter;
    if (!service) AppMsgBox().setPresenter(&presenter);

    SetModeStarts([] { return StartService(); }, {});

    int code = 0;
    switch (Main(arguments)) {
    case StartupOutcome::RunEventLoop:
        code = app->exec();
        break;
    case StartupOutcome::Exit:
        code = 0;
        break;
    case StartupOutcome::Failed:
        code = 1;
        break;
    }
    AppMsgBox().setPresenter(nullptr);
    return code;
}
