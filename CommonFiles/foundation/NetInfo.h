#pragma once

#include <QString>

// Facts about the machine and the account the program runs under, gathered once by GetNetInfo.
// On Linux:
//   WinVersion   the kernel's name from uname ("Linux"); "Unknown" when uname fails
//   WinBuild     the kernel release as major.minor.patch ("6.1.0" for "6.1.0-18-amd64")
//   WinDirectory "/usr", where the operating system's programs and libraries live
//   WorkStation  gethostname; "?" when it cannot be read
//   NetUser      the effective user's name from the password database, at most 24 characters
//   IPAddrs      the first IPv4 address the host name resolves to; "" when it does not resolve
class NetInfo {
public:
    void GetNetInfo();

    QString WinVersion() const { return winVersion_; }
    QString WinBuild() const { return winBuild_; }
    QString WinDirectory() const { return winDirectory_; }
    QString WorkStation() const { return workStation_; }
    QString NetUser() const { return netUser_; }
    QString IPAddrs() const { return ipAddrs_; }
    // "<version> <build>, IP Address = <ip>, Workstation = <host>, Network User = <user>";
    // empty until GetNetInfo has run.
    QString AllTextDump() const { return allTextDump_; }

    // The parts of GetNetInfo that read the platform, exposed for the release and address rules.
    static QString KernelReleaseNumbers(const QString& release);
    static QString FirstIPv4Of(const QString& hostName);
    static QString BuildTextDump(const QString& version, const QString& build, const QString& ip,
                                 const QString& workstation, const QString& user);

private:
    QString winVersion_;
    QString winBuild_;
    QString winDirectory_;
    QString workStation_;
    QString netUser_;
    QString ipAddrs_;
    QString allTextDump_;
};
