// The Online page on an offscreen editor: the switches, the value boxes
// against the local transport, and, with a scripted partner on loopback,
// its transport in orange boxes, the SyncRequests, remote locate and a
// file sent, followed and aborted through the page.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "editor/LinkEditor.h"
#include "editor/controls/GuardedControls.h"
#include "editor/controls/ModalPopup.h"
#include "editor/controls/MovieControls.h"
#include "editor/controls/ProgressMeter.h"
#include "editor/pages/Pages.h"
#include "editor/pages/SessionPage.h"
#include "editor/pages/VideoPane.h"
#include "gui/controls/TextEdit.h"
#include "platform/NetConfig.h"
#include "support/FakeHost.h"
#include "support/TempSettings.h"
#include "tests/support/ActionService.h"
#include "tests/unit/peerlink/LinkHarness.h"
#include "tests/unit/session/PluginOnLoopback.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "tools/synthcam/SyntheticCamera.h"

using namespace editor;
using namespace sessiontest;

namespace {

gui::MouseEvent click(const gui::Rect& r) {
    return gui::MouseEvent{gui::Point((r.left + r.right) / 2, (r.top + r.bottom) / 2), gui::kLeftButton, 0};
}

// The audio running, and one host block, so the controller holds the
// host's time info.
void runBlock(AEffect* effect, float rate = 48000.0f) {
    FakeHost::call(effect, effSetSampleRate, 0, 0, nullptr, rate);
    FakeHost::call(effect, effSetBlockSize, 0, 256);
    FakeHost::call(effect, effMainsChanged, 0, 1);
    std::vector<float> l(256), r(256), ol(256), orr(256);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    effect->processReplacing(effect, in, out, 256);
}

// A moving square, so every picture differs from the one before.
platform::Camera* movingCamera() {
    SyntheticCamera::Format format;
    format.kind = SyntheticCamera::Kind::Pattern;
    format.fps = 50.0;
    return new SyntheticCamera(format);
}
struct CameraForTest {
    CameraForTest() { SessionController::setCameraFactory(&movingCamera); }
    ~CameraForTest() { SessionController::setCameraFactory(nullptr); }
};

// The page the editor shows, caught as the editor makes it.
void catchPage(LinkEditor& editor, SessionPage*& page) {
    editor.setPageFactory([&page](LinkEditor& e, int i) -> std::unique_ptr<EditorPage> {
        if (i != 1) return createPage(e, i);
        auto made = std::make_unique<SessionPage>(e);
        page = made.get();
        return made;
    });
}

}  // namespace

TEST(SessionPage, Texts) {
    EXPECT_EQ("1.1.0", SessionPage::positionText(0.0, 4, 4));
    EXPECT_EQ("   3. 2", SessionPage::positionText(9.0, 4, 4));
    EXPECT_EQ("   4. 1", SessionPage::positionText(9.0, 3, 4));
    EXPECT_EQ("   3. 2", SessionPage::positionText(3.5, 3, 8));
    // A partner's signature is data: no bar length of 0, no overflow.
    EXPECT_EQ("   3. 2", SessionPage::positionText(9.0, 0, 4));
    EXPECT_FALSE(SessionPage::positionText(1e300, 4, 4).empty());
    EXPECT_EQ("Sample Rate:  48000", SessionPage::sampleRateText(48000.0, 48000.0));
    EXPECT_EQ("Sample Rate: 44.1", SessionPage::sampleRateText(44100.0, 44100.0));
    EXPECT_EQ("RATE MISMATCH: 44.1", SessionPage::sampleRateText(44100.0, 48000.0));
    EXPECT_EQ("128 kBit/sec   5 fps", SessionPage::rateText(127600.0, 5));
    EXPECT_EQ("  2 MBit/sec  24 fps", SessionPage::rateText(1500000.0, 24));
    EXPECT_EQ(" 4 /  4", SessionPage::signatureText(4, 4));
}

TEST(SessionPage, WithoutAPartnerTheBoxesShowTheLocalTransportInWhiteAndTheButtonsWorkTheSwitches) {
    TempSettings settings;
    CameraForTest camera;
    FakeHost host;
    host.giveTime = true;
    host.time.sampleRate = 44100.0;
    host.time.ppqPos = 9.0;
    host.time.tempo = 133.0;
    host.time.timeSigNumerator = 3;
    host.time.flags |= kVstTransportPlaying | kVstTransportCycleActive;
    AEffect* effect = host.create();
    ASSERT_NE(nullptr, effect);
    runBlock(effect, 44100.0f);
    LinkPlugin* plugin = pluginOf(effect);
    LinkEditor editor(plugin);
    SessionPage* page = nullptr;
    catchPage(editor, page);
    ASSERT_TRUE(editor.open(nullptr));
    editor.selectPage(1);
    ASSERT_NE(nullptr, page);
    editor.idle();

    EXPECT_EQ("(not connected)", page->partnerName()->value());
    EXPECT_EQ(nullptr, page->partnerVideo());
    EXPECT_EQ("   4. 1", page->positionBox()->label());
    EXPECT_EQ("133.00", page->tempoBox()->label());
    EXPECT_EQ(" 3 /  4", page->signatureBox()->label());
    EXPECT_EQ("Sample Rate: 44.1", page->sampleRateBox()->label());
    for (LabelledMovieBitmap* box : {page->positionBox(), page->loopStartBox(), page->loopEndBox(), page->tempoBox(),
                                     page->signatureBox(), page->sampleRateBox()})
        EXPECT_EQ(0.0f, box->value()) << box->label();
    EXPECT_EQ(2, page->loopIndicator()->shownFrame()) << "the local loop, shown as both";
    EXPECT_EQ(0.0f, page->partnerTransport()->value());

    // Each button flips its own switch and shows it.
    struct Case {
        GuardedOnOffButton* button;
        bool (LinkPlugin::*get)() const;
    };
    for (const Case& c : {Case{page->sendButton(), &LinkPlugin::sendEnabled},
                          Case{page->receiveButton(), &LinkPlugin::receiveEnabled},
                          Case{page->muteOnPlayButton(), &LinkPlugin::muteOnPlay},
                          Case{page->thruButton(), &LinkPlugin::thru}}) {
        const bool before = (plugin->*c.get)();
        EXPECT_EQ(before ? 1.0f : 0.0f, c.button->value());
        editor.frame()->mouseDown(click(c.button->size()));
        EXPECT_NE(before, (plugin->*c.get)());
        EXPECT_EQ(before ? 0.0f : 1.0f, c.button->value());
    }
    // A switch changed elsewhere (the host's state chunk) shows at the next idle.
    plugin->setThru(true);
    editor.idle();
    EXPECT_EQ(1.0f, page->thruButton()->value());

    // Send File without a partner only springs back.
    editor.frame()->mouseDown(click(page->sendFileButton()->size()));
    EXPECT_EQ(0.0f, page->sendFileButton()->value());
    EXPECT_EQ(nullptr, page->abortPopup());

    // The local pane follows the camera: each new picture is taken.
    VideoPane* local = page->localVideo();
    ASSERT_NE(nullptr, local);
    ASSERT_TRUE(eventually([&] {
        editor.idle();
        return local->hasPicture();
    }));
    const gui::Image first = local->shown();
    EXPECT_TRUE(eventually([&] {
        editor.idle();
        return local->shown() != first;
    }));
    editor.close();
    host.close(effect);
}

namespace {

struct Partner {
    std::string address;
    std::unique_ptr<LinkHarness> link;

    bool open() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            PeerLinkOptions o;
            o.bindAddress = freeLoopbackAddress();
            o.port = kPeerUdpPort;
            link.reset(new LinkHarness(o));
            if (link->link->hasSocket()) {
                address = o.bindAddress;
                return true;
            }
        }
        return false;
    }
    void post(PeerMessage& m) { link->connection->post(m); }
    void send(InvitationStep step) {
        PeerMessage m;
        buildInvitation(m, step);
        post(m);
    }
    std::vector<std::vector<uint8_t>> of(MessageKind kind) {
        std::vector<std::vector<uint8_t>> found;
        for (std::vector<uint8_t>& m : link->messages())
            if (m[kMessageKindAt] == static_cast<uint8_t>(kind)) found.push_back(std::move(m));
        return found;
    }
    void sendTransport(double tempo, double sampleRate) {
        SyncInfoFields f;
        f.tempo = tempo;
        f.sampleRate = sampleRate;
        PeerMessage m;
        buildSyncInfo(m, f);
        post(m);
    }
};

// This plug-in connected with bob, a scripted partner on loopback.
class SessionPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(service.port(), 0);
        ASSERT_TRUE(bob.open());
        platform::setServiceOverride("127.0.0.1", service.port());
        effect = createOnFreeAddress(host, own);
        ASSERT_NE(effect, nullptr);
        plugin = pluginOf(effect);
        c = plugin->controller();
        host.giveTime = true;
        runBlock(effect);
        service.setUsers({{"me", own}, {"bob", bob.address}});
        c->setUserName("me");
        c->setPassword("secret");
        ASSERT_TRUE(c->login());

        bob.link->connection->setPartnerAddress(own.c_str());
        bob.send(InvitationStep::Invite);
        SessionRef s;
        ASSERT_TRUE(eventually([&] { return bool(s = c->sessionAt(0)); }));
        ASSERT_TRUE(eventually([&] { return !bob.of(MessageKind::Invitation).empty(); }));
        bob.send(InvitationStep::Ask);
        ASSERT_TRUE(eventually([&] { return s->awaitingAnswer(); }));
        c->acceptInvitation(s.get(), true);
        bob.send(InvitationStep::Connected);
        ASSERT_TRUE(eventually([&] { return plugin->partner() == s.get() && s->connected(); }));
    }
    void TearDown() override {
        if (c) c->logout();
        if (effect) host.close(effect);
        platform::setLocalAddress("127.0.0.254");
        platform::setServiceOverride("", 0);
    }
    // Idles the editor until `done` holds.
    template <class F>
    bool idleUntil(LinkEditor& editor, F done) {
        return eventually([&] {
            editor.idle();
            return done();
        });
    }

    TempSettings settings;
    ActionService service;
    Partner bob;
    FakeHost host;
    AEffect* effect = nullptr;
    LinkPlugin* plugin = nullptr;
    SessionController* c = nullptr;
    std::string own;
};

}  // namespace

TEST_F(SessionPageTest, ThePartnersTransportShowsInOrangeWhereItDiffersAndAFileIsSentFollowedAndAborted) {
    LinkEditor editor(plugin);
    SessionPage* page = nullptr;
    catchPage(editor, page);
    ASSERT_TRUE(editor.open(nullptr));
    ASSERT_EQ(1, editor.pageIndex()) << "connected: the Online page";
    ASSERT_NE(nullptr, page);
    EXPECT_EQ("bob", page->partnerName()->value());
    ASSERT_NE(nullptr, page->partnerVideo());
    ASSERT_NE(nullptr, page->localVideo());

    // The page asks for the partner's transport while it is shown.
    ASSERT_TRUE(idleUntil(editor, [&] { return !bob.of(MessageKind::SyncRequest).empty(); }));
    ASSERT_TRUE(page->partnerVideo()->hasPicture());
    EXPECT_EQ(gui::Color(127, 127, 127), page->partnerVideo()->shown().pixel(88, 72)) << "grey before a picture";

    // Orange where the partner differs, white again once it agrees.
    bob.sendTransport(120.002, 44100.0);
    ASSERT_TRUE(idleUntil(editor, [&] { return page->tempoBox()->value() == 1.0f; }));
    EXPECT_EQ("120.00", page->tempoBox()->label());
    EXPECT_EQ("RATE MISMATCH: 44.1", page->sampleRateBox()->label());
    EXPECT_EQ(1.0f, page->sampleRateBox()->value());
    EXPECT_EQ(0.0f, page->signatureBox()->value());
    bob.sendTransport(120.0005, 48000.0);
    ASSERT_TRUE(idleUntil(editor, [&] { return page->sampleRateBox()->value() == 0.0f; }));
    EXPECT_EQ(0.0f, page->tempoBox()->value()) << "within 0.001 of the local tempo";
    EXPECT_EQ("Sample Rate:  48000", page->sampleRateBox()->label());

    // The transport button asks the partner to locate.
    editor.frame()->mouseDown(click(page->partnerTransport()->size()));
    ASSERT_TRUE(eventually([&] { return !bob.of(MessageKind::RemoteSetting).empty(); }));

    // Send File asks the host's selector and offers the file.
    const std::string path = settings.dir() + "/take.wav";
    const std::vector<uint8_t> content(20000, 7);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(content.size(), std::fwrite(content.data(), 1, content.size(), f));
    std::fclose(f);
    host.chosenFile = path;
    editor.frame()->mouseDown(click(page->sendFileButton()->size()));
    ASSERT_TRUE(eventually([&] { return !bob.of(MessageKind::FileOffer).empty(); }));
    FileOfferView offer;
    const std::vector<uint8_t> offered = bob.of(MessageKind::FileOffer).front();
    ASSERT_TRUE(parseFileOffer(MessageBytes(offered.data(), offered.size()), offer));
    EXPECT_EQ(content.size(), offer.fileSize);
    EXPECT_STREQ("take.wav", offer.name);

    // The bar follows what the partner asked for and got.
    FileControlFields request;
    request.transferId = offer.transferId;
    request.chunkLength = 5000;
    PeerMessage m;
    ASSERT_TRUE(buildFileControl(m, request));
    bob.post(m);
    ASSERT_TRUE(idleUntil(editor, [&] { return page->progressBar()->value() > 0.2f; }));
    EXPECT_FLOAT_EQ(0.25f, page->progressBar()->value());
    EXPECT_EQ(1.0f, page->sendFileButton()->value()) << "Abort while a file goes";

    // Clicking again asks first; the panes make way for the question.
    editor.frame()->mouseDown(click(page->sendFileButton()->size()));
    ModalPopup* popup = page->abortPopup();
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ("Abort current send file transfer?", popup->question());
    EXPECT_EQ(nullptr, page->partnerVideo());
    EXPECT_EQ(nullptr, page->localVideo());
    EXPECT_TRUE(plugin->partner()->fileSender().isActive()) << "nothing is aborted before the answer";
    editor.idle();
    EXPECT_EQ(nullptr, page->partnerVideo()) << "not back while the question is up";
    editor.frame()->mouseDown(click(popup->buttonRect(0)));  // "Yes"
    EXPECT_EQ(nullptr, page->abortPopup());
    EXPECT_FALSE(plugin->partner()->fileSender().isActive());
    EXPECT_NE(nullptr, page->partnerVideo());
    EXPECT_NE(nullptr, page->localVideo());
    ASSERT_TRUE(eventually([&] {
        for (const std::vector<uint8_t>& chunk : bob.of(MessageKind::FileChunk)) {
            FileChunkView v;
            if (parseFileChunk(MessageBytes(chunk.data(), chunk.size()), v) && v.isAbort()) return true;
        }
        return false;
    }));
    editor.idle();
    EXPECT_EQ(0.0f, page->progressBar()->value());
    EXPECT_EQ(0.0f, page->sendFileButton()->value());
    editor.close();
}
