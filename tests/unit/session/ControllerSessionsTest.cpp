// The controller's side of partner sessions, with a plug-in instance as the
// listener, a stand-in web service and scripted partners on loopback:
// incoming invitations, routing, listener events and the partner reference,
// and logout racing an accept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/NetConfig.h"
#include "support/FakeHost.h"
#include "support/TempSettings.h"
#include "tests/unit/peerlink/LinkHarness.h"
#include "tests/support/ActionService.h"
#include "tests/unit/session/PluginOnLoopback.h"
#include "editor/LinkEditor.h"
#include "editor/controls/ModalPopup.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/plugin/PluginChunk.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionListener.h"
#include "trvcore/session/UserCommands.h"

using namespace sessiontest;

namespace {

struct Partner {
    std::string address;
    std::unique_ptr<LinkHarness> link;

    bool open(uint16_t port = kPeerUdpPort, const std::string& at = "") {
        for (int attempt = 0; attempt < 20; ++attempt) {
            PeerLinkOptions o;
            o.bindAddress = at.empty() ? freeLoopbackAddress() : at;
            o.port = port;
            link.reset(new LinkHarness(o));
            if (link->link->hasSocket()) {
                address = o.bindAddress;
                return true;
            }
            if (!at.empty()) break;
        }
        return false;
    }
    void send(InvitationStep step) {
        PeerMessage m;
        buildInvitation(m, step);
        link->connection->post(m);
    }
    int received(InvitationStep step) {
        int n = 0;
        for (const std::vector<uint8_t>& m : link->messages()) {
            InvitationStep s;
            if (parseInvitation(MessageBytes(m.data(), m.size()), s) && s == step) ++n;
        }
        return n;
    }
    int receivedKind(MessageKind kind) {
        int n = 0;
        for (const std::vector<uint8_t>& m : link->messages())
            if (m[kMessageKindAt] == static_cast<uint8_t>(kind)) ++n;
        return n;
    }
};

class EventLog : public SessionListener {
public:
    void onSessionEvent(PartnerSession* session, SessionEvent event) override {
        std::lock_guard<std::mutex> g(mutex_);
        events_.push_back({session, static_cast<int>(event)});
    }
    int count(int kind, void* object = nullptr) {
        std::lock_guard<std::mutex> g(mutex_);
        int n = 0;
        for (const auto& e : events_)
            if (e.second == kind && (!object || e.first == object)) ++n;
        return n;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<void*, int>> events_;
};

class ControllerSessionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(service.port(), 0);
        ASSERT_TRUE(bob.open());
        ASSERT_TRUE(carol.open());
        platform::setServiceOverride("127.0.0.1", service.port());
        effect = createOnFreeAddress(host, own);
        ASSERT_NE(effect, nullptr);
        plugin = pluginOf(effect);
        c = plugin->controller();
        service.setUsers({{"me", own}, {"bob", bob.address}, {"carol", carol.address}});
        c->addListener(&events);
        logIn();
        baseline = PartnerSession::liveCount();
    }
    void TearDown() override {
        if (c) {
            c->logout();
            c->removeListener(&events);
        }
        if (effect) host.close(effect);
        platform::setLocalAddress("127.0.0.254");
        platform::setServiceOverride("", 0);
    }

    void logIn() {
        c->setUserName("me");
        c->setPassword("secret");
        ASSERT_TRUE(c->login());
        ASSERT_EQ(c->onlineCount(), 2);
    }
    bool logged(const std::string& text) {
        char line[MessageLog::kLineBytes];
        for (int k = 0; k < MessageLog::kLines && c->message(k, line); ++k)
            if (text == line) return true;
        return false;
    }
    int loggedTimes(const std::string& text) {
        char line[MessageLog::kLineBytes];
        int n = 0;
        for (int k = 0; k < MessageLog::kLines && c->message(k, line); ++k)
            if (text == line) ++n;
        return n;
    }
    SessionRef sessionFor(const Partner& p) {
        for (int i = 0; i < c->sessionCount(); ++i) {
            SessionRef s = c->sessionAt(i);
            if (s && p.address == s->partnerIp()) return s;
        }
        return SessionRef();
    }
    // `p` invites this user and sends Ask once it rang; the session asks.
    SessionRef askedBy(Partner& p) {
        p.link->connection->setPartnerAddress(own.c_str());
        p.send(InvitationStep::Invite);
        SessionRef s;
        eventually([&] { return bool(s = sessionFor(p)); });
        if (!s) return s;
        eventually([&] { return p.received(InvitationStep::Ringing) > 0; });
        p.send(InvitationStep::Ask);
        eventually([&] { return s->awaitingAnswer(); });
        return s;
    }
    bool allReleased() {
        return eventually([&] { return c->sessionCount() == 0 && c->parkedSessionCount() == 0 &&
                                       PartnerSession::liveCount() == baseline; },
                          8000);
    }

    TempSettings settings;
    ActionService service;
    Partner bob, carol;
    FakeHost host;
    AEffect* effect = nullptr;
    LinkPlugin* plugin = nullptr;
    SessionController* c = nullptr;
    std::string own;
    EventLog events;
    int baseline = 0;
};

}  // namespace

TEST_F(ControllerSessionsTest, AnInviteFromOutsideTheOnlineListIsIgnoredAndRepeatsMakeOneSession) {
    EXPECT_EQ(commands::inviteOrEnd(*c, nullptr, "mallory"), commands::InviteOutcome::NoSuchUser);
    Partner stranger;
    ASSERT_TRUE(stranger.open());
    stranger.link->connection->setPartnerAddress(own.c_str());
    // A slow service: a refresh on the network thread would hold every
    // partner's intake for this long.
    service.setReplyDelay("onlinelist", 1500);
    for (int i = 0; i < 5; ++i) stranger.send(InvitationStep::Invite);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(bob.link->link->sendPortQuery(own.c_str()));
    EXPECT_TRUE(bob.link->waitForLocalPort(500)) << "the network thread waited for a web request";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(c->sessionCount(), 0);
    EXPECT_EQ(stranger.received(InvitationStep::Ringing), 0);

    // Once the service lists the stranger, a later Invite round finds him.
    service.setReplyDelay("onlinelist", 0);
    service.setUsers({{"me", own}, {"bob", bob.address}, {"carol", carol.address}, {"dave", stranger.address}});
    const int refreshes = service.requests("onlinelist");
    for (int round = 0; round < 30 && c->sessionCount() == 0; ++round) {
        stranger.send(InvitationStep::Invite);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(eventually([&] { return logged("Invitation from dave."); }));
    EXPECT_LE(service.requests("onlinelist") - refreshes, 6) << "at most one refresh a second for Invites";

    bob.link->connection->setPartnerAddress(own.c_str());
    for (int i = 0; i < 5; ++i) bob.send(InvitationStep::Invite);
    ASSERT_TRUE(eventually([&] { return logged("Invitation from bob."); }));
    EXPECT_EQ(c->sessionCount(), 2);
    EXPECT_EQ(loggedTimes("Invitation from bob."), 1);
    SessionRef s = sessionFor(bob);
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->outgoing());
    EXPECT_TRUE(c->hasSessionWith(OnlineUser(user("bob", bob.address))));
    EXPECT_FALSE(c->hasSessionWith(OnlineUser(user("carol", carol.address))));
}

TEST_F(ControllerSessionsTest, ALogoutDuringTheAnnouncementLeavesNoSessionInviting) {
    OnlineUser target;
    ASSERT_TRUE(c->findOnlineUser("carol", target));
    std::future<bool> invited = std::async(std::launch::async, [&] { return c->invite(target); });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // inside the 1.75 s announcement
    c->logout();
    EXPECT_FALSE(invited.get());
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(c->sessionCount(), 0);
    EXPECT_EQ(carol.received(InvitationStep::Invite), 0);
    EXPECT_FALSE(logged("Inviting carol..."));
    EXPECT_TRUE(allReleased());
}

TEST_F(ControllerSessionsTest, AServiceTimeOutLogsOutOnceWithoutAnyEditorIdle) {
    AEffect* second = host.create();  // two instances hear the time-out
    ASSERT_NE(second, nullptr);
    service.setSessionGone(true);
    ASSERT_TRUE(eventually([&] { return logged(SessionController::kSessionTimeoutText); }, 20000));
    EXPECT_FALSE(c->loggedIn());
    EXPECT_GE(service.requests("logout"), 1);
    // A late editor idle of either instance changes nothing.
    plugin->idleCheck();
    pluginOf(second)->idleCheck();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_EQ(loggedTimes(SessionController::kSessionTimeoutText), 1);
    host.close(second);
}

TEST_F(ControllerSessionsTest, PacketsOfAPartnerReaimItsConnectionAtTheSendersPort) {
    SessionRef s = askedBy(bob);
    ASSERT_TRUE(s);
    Partner moved;  // the same partner, through another port of its router
    ASSERT_TRUE(moved.open(0, bob.address));
    moved.link->connection->setPartnerAddress(own.c_str());
    PeerMessage ping;
    buildPing(ping, 1.0);
    moved.link->connection->post(ping);
    ASSERT_TRUE(eventually([&] { return s->connection().partnerAddress().port == moved.link->link->boundPort(); }));
    ASSERT_TRUE(eventually([&] { return moved.receivedKind(MessageKind::StatusReport) == 1; }))
        << "the answer goes to where the Ping came from";
    EXPECT_EQ(c->pendingInvitation().get(), s.get());
}

TEST_F(ControllerSessionsTest, ConnectingMakesTheSessionThePluginsPartnerUntilItIsReleased) {
    SessionRef s = askedBy(bob);
    ASSERT_TRUE(s);
    EXPECT_EQ(plugin->partner(), nullptr) << "a pending invitation is nobody's partner";
    c->acceptInvitation(s.get(), true);
    EXPECT_FALSE(c->pendingInvitation());
    EXPECT_EQ(bob.received(InvitationStep::Accept), 5);
    bob.send(InvitationStep::Connected);
    ASSERT_TRUE(eventually([&] { return events.count(int(SessionEvent::Connected), s.get()) == 1; }));
    EXPECT_TRUE(c->anyConnected());
    EXPECT_EQ(plugin->partner(), s.get());
    void* data = nullptr;
    ASSERT_EQ(FakeHost::call(effect, effGetChunk, 0, 0, &data), PluginChunk::kSize);
    EXPECT_STREQ(static_cast<const char*>(data) + 224, "bob");

    // A second instance takes the connected session as its partner too.
    AEffect* second = host.create();
    ASSERT_NE(second, nullptr);
    auto* secondPlugin = pluginOf(second);
    EXPECT_EQ(secondPlugin->partner(), s.get());
    host.close(second);

    // The Invite button, with a partner: ends that session, whoever is chosen.
    {
        SessionRef partner = plugin->partnerRef();
        EXPECT_EQ(commands::inviteOrEnd(*c, partner.get(), "carol"), commands::InviteOutcome::Disconnected);
    }
    EXPECT_TRUE(logged("Disconnected from bob"));
    EXPECT_FALSE(logged("Inviting carol..."));
    EXPECT_EQ(c->sessionCount(), 0);
    ASSERT_TRUE(eventually([&] { return bob.receivedKind(MessageKind::Bye) >= 1; }));
    ASSERT_TRUE(eventually([&] { return events.count(int(SessionEvent::Released), s.get()) == 1; }));
    EXPECT_EQ(plugin->partner(), nullptr);
    s.reset();
    EXPECT_TRUE(allReleased());
}

TEST_F(ControllerSessionsTest, TheEditorAsksOnTheConnectPageTwoIdlesLaterAndFollowsTheConnection) {
    editor::LinkEditor editor(plugin);
    ASSERT_TRUE(editor.open(nullptr));
    editor.selectPage(2);
    SessionRef s = askedBy(bob);
    ASSERT_TRUE(s);
    editor.idle();
    EXPECT_EQ(0, editor.pageIndex()) << "to the Connect page in the same idle";
    editor.idle();
    editor.idle();
    EXPECT_EQ(nullptr, editor.invitationPopup());
    editor.idle();
    ASSERT_NE(nullptr, editor.invitationPopup());
    EXPECT_EQ("Will you accept an invitation from bob?", editor.invitationPopup()->question());
    EXPECT_EQ(1, editor.keyDown(gui::KeyEvent{gui::Key::Return, 0, false}));
    EXPECT_EQ(nullptr, editor.invitationPopup());
    ASSERT_TRUE(eventually([&] { return bob.received(InvitationStep::Accept) > 0; }));
    bob.send(InvitationStep::Connected);
    ASSERT_TRUE(eventually([&] { return plugin->partner() == s.get(); }));
    editor.idle();
    EXPECT_EQ(1, editor.pageIndex()) << "connected: the Online page";
    editor.close();
}

TEST_F(ControllerSessionsTest, AcceptAndLogoutAtOnceNeitherWaitsForTheOther) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        if (round > 0) logIn();
        SessionRef fromBob = askedBy(bob);
        SessionRef fromCarol = askedBy(carol);
        ASSERT_TRUE(fromBob && fromCarol);
        ASSERT_TRUE(fromBob->awaitingAnswer() && fromCarol->awaitingAnswer());
        // Accepting bob holds his session's lock while it ends carol's; the
        // logout spans both. Released together.
        std::atomic<int> ready{0};
        auto together = [&] {
            ++ready;
            while (ready.load() < 2) std::this_thread::yield();
        };
        std::future<void> accept = std::async(std::launch::async, [&] {
            together();
            if (round == 1) std::this_thread::sleep_for(std::chrono::milliseconds(60));
            c->acceptInvitation(fromBob.get(), true);
        });
        std::future<void> logout = std::async(std::launch::async, [&] {
            together();
            if (round == 2) std::this_thread::sleep_for(std::chrono::milliseconds(60));
            c->logout();
        });
        const bool finished = accept.wait_for(std::chrono::seconds(20)) == std::future_status::ready &&
                              logout.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
        if (!finished) {
            ADD_FAILURE() << "accept and logout wait on each other";
            std::_Exit(1);  // the threads hold the controller: no clean way on
        }
        EXPECT_FALSE(c->loggedIn());
        EXPECT_TRUE(fromBob->closed());
        EXPECT_TRUE(fromCarol->closed());
        ASSERT_TRUE(eventually([&] { return events.count(int(SessionEvent::Released), fromCarol.get()) >= 1 &&
                                            events.count(int(SessionEvent::Released), fromBob.get()) >= 1; }));
        fromBob.reset();
        fromCarol.reset();
        EXPECT_TRUE(allReleased());
    }
}

TEST_F(ControllerSessionsTest, TheLastInstanceGoesPromptlyWhileTheLoopWaitsForTheService) {
    service.setReplyDelay("keepalive", 30000);
    const int before = service.requests("keepalive");
    ASSERT_TRUE(eventually([&] { return service.requests("keepalive") > before; }, 5000));
    // The loop's thread is inside the keep-alive now.
    c->removeListener(&events);
    const auto t0 = std::chrono::steady_clock::now();
    host.close(effect);
    effect = nullptr;
    c = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(8));
    EXPECT_EQ(SessionController::instance(), nullptr);
}


TEST(SyncFields, FieldsTheHostDidNotMarkValidAreNotPassedOn) {
    // A host may leave unasked fields as garbage: here every byte 0xff (NaN).
    VstTimeInfo t;
    std::memset(&t, 0xff, sizeof t);
    t.sampleRate = 44100.0;
    t.tempo = 98.0;
    t.ppqPos = 12.5;
    t.flags = kVstPpqPosValid | kVstTempoValid;
    SyncInfoFields f;
    SessionController::syncFieldsFrom(t, f);
    EXPECT_EQ(12.5, f.ppqPosition);
    EXPECT_EQ(98.0, f.tempo);
    EXPECT_EQ(0.0, f.cycleStart) << "no loop asked for: none passed on";
    EXPECT_EQ(0.0, f.cycleEnd);
    t.flags = kVstCyclePosValid;
    t.cycleStartPos = 4.0;
    t.cycleEndPos = 8.0;
    SessionController::syncFieldsFrom(t, f);
    EXPECT_EQ(0.0, f.ppqPosition);
    EXPECT_EQ(4.0, f.cycleStart);
    EXPECT_EQ(8.0, f.cycleEnd);
}
