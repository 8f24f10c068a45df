// Notifications: the rate limit with folded repeats, the texts a server
// gets, and bursts of real log warnings through the desktop integration
// on a private bus with a test notification server.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/log.h"
#include "desktop/desktop.h"
#include "desktop/notifier.h"
#include "desktop_test_util.h"

namespace vesperon::desktop {
namespace {

using namespace std::chrono_literals;
using testing::TNotificationServer;
using testing::TPrivateBus;

TEST(NotificationLimiterTest, OneASecondWithRepeatsAndOthersFolded) {
  TNotificationLimiter limiter;
  EXPECT_EQ(limiter.WaitMs(0), -1);
  limiter.Offer(u"Warning", u"disk full", 0);
  ASSERT_EQ(limiter.WaitMs(0), 0);
  const std::optional<TNotification> first = limiter.Take(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Text, u"disk full");
  EXPECT_EQ(first->Repeats, 1);
  EXPECT_EQ(limiter.WaitMs(1), -1);

  // A burst within the second waits, folded into one.
  for (int i = 0; i < 99; ++i) limiter.Offer(u"Warning", u"disk full", 10 + i);
  limiter.Offer(u"Error", u"cannot save", 200);
  limiter.Offer(u"Warning", u"other", 300);
  EXPECT_EQ(limiter.WaitMs(400), 600);
  EXPECT_FALSE(limiter.Take(999));
  const std::optional<TNotification> second = limiter.Take(1000);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Text, u"disk full");
  EXPECT_EQ(second->Repeats, 99);
  EXPECT_EQ(second->Others, 2);
  EXPECT_FALSE(limiter.Take(5000));

  // After a quiet second the next one goes at once.
  limiter.Offer(u"Warning", u"later", 5000);
  EXPECT_EQ(limiter.WaitMs(5000), 0);
}

TEST(NotificationTextTest, CountsLimitsAndMarkup) {
  TNotification n{u"Warning", u"a <b> & c"};
  EXPECT_EQ(NotificationSummary(n), "Warning");
  EXPECT_EQ(NotificationBody(n), "a &lt;b&gt; &amp; c");
  n.Repeats = 3;
  n.Others = 2;
  EXPECT_EQ(NotificationBody(n), "a &lt;b&gt; &amp; c (3 times) (+2 more in the log)");

  // The balloon's limits: 63 characters of title, 255 of text, and a
  // character outside the basic plane is not cut in half.
  TNotification longOne{std::u16string(100, u'T'),
                        std::u16string(254, u'x') + u"\U0001F3B5" + u"tail"};
  EXPECT_EQ(NotificationSummary(longOne), std::string(63, 'T'));
  EXPECT_EQ(NotificationBody(longOne), std::string(254, 'x'));
}

class DesktopBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v dbus-daemon >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "dbus-daemon missing";
    ASSERT_TRUE(Bus.Running());
    setenv("DBUS_SESSION_BUS_ADDRESS", Bus.Address().c_str(), 1);
  }
  void TearDown() override {
    SetLogNotifier({});
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  // Runs the integration's side as the main loop would while the server
  // answers, for `duration`.
  void Run(TDesktopIntegration& desktop, TNotificationServer& server,
           std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
      desktop.Process();
      desktop.AfterPass();
      server.Serve(10ms);
    }
  }
  TPrivateBus Bus;
};

TEST_F(DesktopBusTest, ABurstOfWarningsBecomesAHandfulOfNotifications) {
  TNotificationServer server(Bus);
  ASSERT_TRUE(server.Ready());
  TDesktopIntegration desktop({});
  ASSERT_TRUE(desktop.Connected());
  SetLogNotifier(
      [&](std::u16string_view title, std::u16string_view text) { desktop.Notify(title, text); });
  for (int i = 0; i < 100; ++i) LogWarning("the disk is full");
  LogError("cannot write media.db");
  Run(desktop, server, 1500ms);

  ASSERT_EQ(server.Received.size(), 2u);
  EXPECT_EQ(server.Received[0].App, "Vesperon");
  EXPECT_EQ(server.Received[0].Summary, "Warning");
  EXPECT_EQ(server.Received[0].Body, "the disk is full");
  EXPECT_EQ(server.Received[1].Body, "the disk is full (99 times) (+1 more in the log)");
}

TEST_F(DesktopBusTest, NoNotificationServerBlocksNothing) {
  TDesktopIntegration desktop({});
  ASSERT_TRUE(desktop.Connected());
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) {
    desktop.Notify(u"Warning", u"nobody listens");
    desktop.Process();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_TRUE(desktop.Connected());
}

TEST_F(DesktopBusTest, ASecondPlayerTakesAnInstanceName) {
  TDesktopIntegration first({}), second({});
  sd_bus* client = Bus.Connect();
  ASSERT_NE(client, nullptr);
  const std::string instance = InstanceName(kBusName, getpid());
  bool both = false;
  for (int i = 0; i < 200 && !both; ++i) {
    first.Process();
    second.Process();
    both = sd_bus_get_name_creds(client, kBusName, 0, nullptr) >= 0 &&
           sd_bus_get_name_creds(client, instance.c_str(), 0, nullptr) >= 0;
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(both);
  sd_bus_flush_close_unref(client);
}

}  // namespace
}  // namespace vesperon::desktop
