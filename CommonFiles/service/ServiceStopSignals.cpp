#include "CommonFiles/service/ServiceStopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

int g_fds[2] = {-1, -1}; // [0] written by the handler, [1] read by the notifier
struct sigaction g_previous[2];
bool g_installed = false;

extern "C" void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // Non-blocking: should the pipe ever be full, a stop is already pending anyway.
    [[maybe_unused]] const ssize_t written = ::write(g_fds[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

ServiceStopSignals::ServiceStopSignals(QObject* parent) : QObject(parent) {
    if (g_installed) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) return;

    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ServiceStopSignals::readPending);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &action, &g_previous[i]);
    g_installed = true;
    active_ = true;
}

ServiceStopSignals::~ServiceStopSignals() {
    if (!active_) return;
    for (int i = 0; i < 2; ++i)
        sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
    g_installed = false;
}

void ServiceStopSignals::readPending() {
    char bytes[16];
    ssize_t n;
    while ((n = ::read(g_fds[1], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            emit stopRequested(static_cast<unsigned char>(bytes[i]));
}
