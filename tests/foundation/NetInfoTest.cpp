#include "CommonFiles/foundation/NetInfo.h"
#include "tests/foundation/QtPrinters.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

TEST(NetInfoTest, EverythingIsEmptyBeforeGetNetInfo) {
    NetInfo info;
    EXPECT_EQ(info.AllTextDump(), QString());
    EXPECT_EQ(info.WinVersion(), QString());
    EXPECT_EQ(info.WorkStation(), QString());
}

TEST(NetInfoTest, KernelReleaseBecomesMajorMinorPatch) {
    const struct {
        const char* release;
        const char* build;
    } cases[] = {
        {"6.1.0-18-amd64", "6.1.0"},
        {"5.15.153.1-microsoft-standard-WSL2", "5.15.153"},
        {"6.8.0", "6.8.0"},
        {"4.19", "4.19.0"},
        {"7", "7.0.0"},
        {"6.18.44+deb13-cloud", "6.18.44"},
        {"", ""},
        {"unknown", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NetInfo::KernelReleaseNumbers(c.release), c.build) << c.release;
}

TEST(NetInfoTest, DumpJoinsTheFactsAndKeepsAnEmptyAddress) {
    EXPECT_EQ(NetInfo::BuildTextDump("Linux", "6.1.0", "10.0.0.7", "plant-01", "collector"),
              "Linux 6.1.0, IP Address = 10.0.0.7, Workstation = plant-01, Network User = collector");
    EXPECT_EQ(NetInfo::BuildTextDump("Linux", "6.1.0", "", "plant-01", ""),
              "Linux 6.1.0, IP Address = , Workstation = plant-01, Network User = ");
}

TEST(NetInfoTest, AddressesResolveToDottedIPv4OrNothing) {
    EXPECT_EQ(NetInfo::FirstIPv4Of("localhost"), "127.0.0.1");
    EXPECT_EQ(NetInfo::FirstIPv4Of("127.0.0.5"), "127.0.0.5");
    EXPECT_EQ(NetInfo::FirstIPv4Of(""), QString());
    EXPECT_EQ(NetInfo::FirstIPv4Of("not a host name"), QString());
}

TEST(NetInfoTest, GetNetInfoReadsThisHost) {
    NetInfo info;
    info.GetNetInfo();
    utsname uts{};
    ASSERT_EQ(uname(&uts), 0);
    EXPECT_EQ(info.WinVersion(), QString::fromLocal8Bit(uts.sysname));
    EXPECT_EQ(info.WinBuild(), NetInfo::KernelReleaseNumbers(QString::fromLocal8Bit(uts.release)));
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(info.WinBuild()).hasMatch())
        << info.WinBuild().toStdString();
    EXPECT_EQ(info.WinDirectory(), "/usr");
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(info.WorkStation(), QString::fromLocal8Bit(host));
    const passwd* pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(info.NetUser(), QString::fromLocal8Bit(pw->pw_name).left(24));
    EXPECT_EQ(info.IPAddrs(), NetInfo::FirstIPv4Of(info.WorkStation()));
    EXPECT_EQ(info.AllTextDump(), NetInfo::BuildTextDump(info.WinVersion(), info.WinBuild(), info.IPAddrs(),
                                                         info.WorkStation(), info.NetUser()));
}

} // namespace
