#include <gtest/gtest.h>

#include <filesystem>

#include "mail/mail_composer.h"
#include "mail/network_state.h"
#include "mail/wan_address.h"
#include "tests/mail/mail_test_support.h"

namespace orvana {
namespace {

using namespace orvana::testing;
using namespace std::chrono_literals;

TEST(WanAddress, BodyTagRule) {
    EXPECT_EQ(extractBodyAddress("<html><body>\r\n203.0.113.5\r\n</body></html>"), "203.0.113.5");
    EXPECT_EQ(extractBodyAddress("<body> 203.0.113.5 </body>"), " 203.0.113.5 ");
    EXPECT_EQ(extractBodyAddress("<body>203.0.113.5"), "");
    EXPECT_EQ(extractBodyAddress("203.0.113.5</body>"), "");
    EXPECT_EQ(extractBodyAddress("</body>x<body>"), "");
    EXPECT_EQ(extractBodyAddress("<body></body>"), "");
    EXPECT_EQ(extractBodyAddress("<body>1\n2</body><body>3</body>"), "12");
}

TEST(WanAddress, FetchesThePageOverHttp) {
    TinyHttpServer page(TinyHttpServer::page("<html>\n<body>\n203.0.113.5\n</body>\n</html>\n"));
    WanAddress wan(makeCurlHttpClient(), page.url());
    EXPECT_EQ(wan.GetIpAddress(), "203.0.113.5");
    EXPECT_EQ(page.requests(), 1);
    TinyHttpServer spaces(TinyHttpServer::page("<body>  198.51.100.1 </body>"));
    EXPECT_EQ(WanAddress(makeCurlHttpClient(), spaces.url()).GetIpAddress(), "  198.51.100.1 ");
    TinyHttpServer noClose(TinyHttpServer::page("<body>198.51.100.1"));
    EXPECT_EQ(WanAddress(makeCurlHttpClient(), noClose.url()).GetIpAddress(), "");
    TinyHttpServer error(TinyHttpServer::page("<body>198.51.100.1</body>", 500));
    EXPECT_EQ(WanAddress(makeCurlHttpClient(), error.url()).GetIpAddress(), "");
}

TEST(WanAddress, UnreachableOrSilentPageGivesEmptyWithinTimeOut) {
    // Nothing listens on this port once the server is gone.
    std::string deadUrl;
    {
        TinyHttpServer gone(TinyHttpServer::page(""));
        deadUrl = gone.url();
    }
    EXPECT_EQ(WanAddress(makeCurlHttpClient(), deadUrl, 300ms).GetIpAddress(), "");

    TinyHttpServer silent("", false);
    WanAddress wan(makeCurlHttpClient(), silent.url(), 300ms);
    const auto t = std::chrono::steady_clock::now();
    EXPECT_EQ(wan.GetIpAddress(), "");
    EXPECT_LT(std::chrono::steady_clock::now() - t, 3s);
    EXPECT_EQ(silent.requests(), 1);
}

TEST(WanAddress, UrlOverrideAndDefault) {
    EXPECT_EQ(wanPageUrl("http://127.0.0.1:9/ip_addr.php"), "http://127.0.0.1:9/ip_addr.php");
    const std::string def = wanPageUrl("");
    EXPECT_EQ(def.substr(def.size() - 12), "/ip_addr.php");
}

// The composer asks for the address on every notice while the setting is
// on, and never while it is off.
TEST(WanAddress, NoticeCarriesPageAddressOnlyWhenSettingIsOn) {
    TinyHttpServer page(TinyHttpServer::page("<body>\r\n203.0.113.5\r\n</body>"));
    WanAddress wan(makeCurlHttpClient(), page.url());
    TempDir dir;
    FakeMailHost host(dir.path());
    host.ip = [&] { return wan.GetIpAddress(); };
    host.s.working = 1;
    host.s.addresses = {recipient("a@x", 1)};
    MailQueue queue;
    RegistMail(host, queue, ALERT_POW, "停電発生", "x", 2);
    EXPECT_EQ(page.requests(), 0);
    EXPECT_EQ(queue.head()->body.find(" IP("), std::string::npos);
    host.s.attachGip = 1;
    RegistMail(host, queue, ALERT_POW, "停電発生", "x", 2);
    EXPECT_EQ(page.requests(), 1);
    const std::string line = queue.all().back().body;
    EXPECT_EQ(line.substr(19, 18), " IP(203.0.113.5)\r\n");
}

class NetworkTree : public ::testing::Test {
  protected:
    void iface(const std::string& name, const std::string& oper, const std::string& flags) {
        const std::string d = dir.file("class/net/" + name);
        std::filesystem::create_directories(d);
        writeFile(d + "/operstate", oper + "\n");
        writeFile(d + "/flags", flags + "\n");
    }
    bool up() { return makeSysfsNetworkState(dir.path())->isConnected(); }
    TempDir dir;
};

TEST_F(NetworkTree, OnlyNonLoopbackInterfacesCount) {
    EXPECT_FALSE(up());  // no class/net at all
    iface("lo", "unknown", "0x9");
    EXPECT_FALSE(up());
    iface("eth0", "down", "0x1002");
    EXPECT_FALSE(up());
    iface("tun0", "unknown", "0x1090");  // IFF_UP clear
    EXPECT_FALSE(up());
    iface("lo2", "up", "0x9");  // a loopback by its flags, whatever its name
    EXPECT_FALSE(up());
    iface("tun0", "unknown", "0x1091");
    EXPECT_TRUE(up());
    iface("tun0", "down", "0x1090");
    iface("wlan0", "up", "0x1003");
    EXPECT_TRUE(up());
    EXPECT_FALSE(makeSysfsNetworkState("/nonexistent/sysfs")->isConnected());
}

}  // namespace
}  // namespace orvana
