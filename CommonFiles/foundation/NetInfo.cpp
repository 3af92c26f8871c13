#include "CommonFiles/foundation/NetInfo.h"

#include <QRegularExpression>

#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <vector>

QString NetInfo::KernelReleaseNumbers(const QString& release) {
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = numbers.match(release);
    if (!m.hasMatch()) return QString();
    auto part = [&](int i) { return m.captured(i).isEmpty() ? QStringLiteral("0") : m.captured(i); };
    return part(1) + QLatin1Char('.') + part(2) + QLatin1Char('.') + part(3);
}

QString NetInfo::FirstIPv4Of(const QString& hostName) {
    if (hostName.isEmpty()) return QString();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(hostName.toLocal8Bit().constData(), nullptr, &hints, &result) != 0 || !result)
        return QString();
    QString text;
    for (addrinfo* a = result; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || !a->ai_addr) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        char buffer[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer)) text = QString::fromLatin1(buffer);
        break;
    }
    freeaddrinfo(result);
    return text;
}

QString NetInfo::BuildTextDump(const QString& version, const QString& build, const QString& ip,
                               const QString& workstation, const QString& user) {
    return version + QLatin1Char(' ') + build + QStringLiteral(", IP Address = ") + ip +
           QStringLiteral(", Workstation = ") + workstation + QStringLiteral(", Network User = ") + user;
}

void NetInfo::GetNetInfo() {
    utsname uts{};
    if (uname(&uts) == 0) {
        winVersion_ = QString::fromLocal8Bit(uts.sysname);
        winBuild_ = KernelReleaseNumbers(QString::fromLocal8Bit(uts.release));
    } else {
        winVersion_ = QStringLiteral("Unknown");
        winBuild_.clear();
    }
    winDirectory_ = QStringLiteral("/usr");

    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0')
        workStation_ = QString::fromLocal8Bit(host);
    else
        workStation_ = QStringLiteral("?");

    netUser_.clear();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        netUser_ = QString::fromLocal8Bit(found->pw_name).left(24);

    ipAddrs_ = workStation_ == QStringLiteral("?") ? QString() : FirstIPv4Of(workStation_);
    allTextDump_ = BuildTextDump(winVersion_, winBuild_, ipAddrs_, workStation_, netUser_);
}
