// The Options page on an offscreen editor, driven by clicks: the rate
// menus follow the upstream and the account and reach the settings that
// are saved, the switches reach the plug-in and its chunk, and a page
// switch asked for while a menu is open waits for it to close.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/LinkEditor.h"
#include "editor/controls/GuardedControls.h"
#include "editor/controls/ShadowLabel.h"
#include "editor/pages/OptionsPage.h"
#include "editor/pages/Pages.h"
#include "gui/controls/MenuPopup.h"
#include "gui/controls/TextEdit.h"
#include "support/Eventually.h"
#include "support/FakeHost.h"
#include "support/StreamingPartner.h"
#include "support/TempSettings.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/plugin/PluginChunk.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"

using namespace editor;

namespace {

gui::MouseEvent click(gui::Point p) { return gui::MouseEvent{p, gui::kLeftButton, 0}; }
gui::Point centre(const gui::Rect& r) { return gui::Point((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

std::vector<std::string> entries(const gui::OptionMenu* menu) {
    std::vector<std::string> out;
    for (int i = 0; i < menu->menu().count(); ++i)
        out.push_back((menu->menu().entry(i)->greyed ? "-G" : "") + menu->menu().entry(i)->title);
    return out;
}

// A plug-in in a fake host with its editor open on the Options page.
struct OptionsEditor {
    TempSettings settings;
    FakeHost host;
    AEffect* effect = nullptr;
    LinkPlugin* plugin = nullptr;
    std::unique_ptr<LinkEditor> editor;
    OptionsPage* page = nullptr;

    OptionsEditor() {
        effect = host.create();
        plugin = static_cast<LinkPlugin*>(static_cast<AudioEffect*>(effect->object));
        editor = std::make_unique<LinkEditor>(plugin);
        editor->setPageFactory([this](LinkEditor& e, int i) -> std::unique_ptr<EditorPage> {
            page = nullptr;
            if (i != 2) return createPage(e, i);
            auto p = std::make_unique<OptionsPage>(e);
            page = p.get();
            return p;
        });
        editor->open(nullptr);
        editor->selectPage(2);
    }
    ~OptionsEditor() { closeAll(); }
    void closeAll() {
        if (editor) editor->close();
        editor.reset();
        if (effect) host.close(effect);
        effect = nullptr;
    }
    Settings& options() { return plugin->controller()->settings(); }
    gui::Frame& frame() { return *editor->frame(); }

    // Opens `menu` with a click and clicks its entry `i`.
    void pick(gui::OptionMenu* menu, int i) {
        frame().mouseDown(click(centre(menu->size())));
        auto* popup = dynamic_cast<gui::MenuPopup*>(frame().modalView());
        ASSERT_NE(nullptr, popup);
        frame().mouseDown(click(centre(popup->entryRect(0, i))));
        // A greyed entry leaves the menu open: close it as the user would.
        if (frame().modalView() == popup) frame().keyDown(gui::KeyEvent{gui::Key::Escape, 0, false});
    }
};

}  // namespace

TEST(OptionsPage, RateMenusFollowTheUpstreamAndTheAccountAndReachTheSavedOptions) {
    OptionsEditor o;
    ASSERT_NE(nullptr, o.page);
    OptionsPage& p = *o.page;
    // Defaults: 128 kbit/s upstream, an account limited to 128 kbit/s audio.
    EXPECT_EQ("128 kBit / sec", p.upstreamMenu()->text());
    EXPECT_EQ((std::vector<std::string>{"32 kBit / s", "48 kBit / s", "64 kBit / s", "80 kBit / s", "96 kBit / s"}),
              entries(p.audioMenu()));
    EXPECT_EQ("48 kBit / s", p.audioMenu()->text());
    EXPECT_EQ(1, p.audioMenu()->menu().current());
    // 64 and up leave the media only 64: three speeds; the file rate of 128
    // runs at the last one.
    EXPECT_EQ((std::vector<std::string>{"24 kBit / sec", "36 kBit / sec", "48 kBit / sec"}), entries(p.fileMenu()));
    EXPECT_EQ("48 kBit / sec", p.fileMenu()->text());
    o.pick(p.fileMenu(), 0);
    EXPECT_EQ(32, o.options().fileRate());
    o.pick(p.fileMenu(), 2);
    EXPECT_EQ(64, o.options().fileRate());
    EXPECT_EQ(2, p.fileMenu()->menu().current());

    // 1500 with its share: the audio above 128 is greyed for this account
    // and cannot be chosen; 96 can.
    o.pick(p.upstreamMenu(), 15);
    EXPECT_EQ(1500.0, o.options().upstreamRate());
    EXPECT_EQ(128.0, o.options().audioRate());
    const std::vector<std::string> audio = entries(p.audioMenu());
    ASSERT_EQ(10u, audio.size());
    EXPECT_EQ("128 kBit / s", audio[5]);
    EXPECT_EQ("-G160 kBit / s (Studio account only!)", audio[6]);
    EXPECT_EQ("-G256 kBit / s (Studio account only!)", audio[9]);
    EXPECT_EQ("128 kBit / s", p.audioMenu()->text());
    o.pick(p.audioMenu(), 8);
    EXPECT_EQ(128.0, o.options().audioRate());
    o.pick(p.audioMenu(), 4);
    EXPECT_EQ(96.0, o.options().audioRate());
    EXPECT_EQ("96 kBit / s", p.audioMenu()->text());
    EXPECT_EQ(19, p.fileMenu()->menu().count());
    o.pick(p.fileMenu(), 5);
    EXPECT_EQ(160, o.options().fileRate());
    EXPECT_EQ("120 kBit / sec", p.fileMenu()->text());

    // Changes made elsewhere rebuild the menus at the next idle: a studio
    // account, then a lower upstream.
    o.options().setAccountFlags(0);
    o.editor->idle();
    EXPECT_EQ("256 kBit / s", entries(p.audioMenu()).back());
    o.options().setUpstreamRate(64);
    o.editor->idle();
    EXPECT_EQ((std::vector<std::string>{"32 kBit / s", "48 kBit / s"}), entries(p.audioMenu()));
    EXPECT_EQ((std::vector<std::string>{"24 kBit / sec"}), entries(p.fileMenu()));
    EXPECT_EQ("64 kBit / sec", p.upstreamMenu()->text());

    o.pick(p.upstreamMenu(), 1);
    EXPECT_EQ(96.0, o.options().upstreamRate());
    EXPECT_FLOAT_EQ(0.75f, o.options().audioQuality());
    // The options are saved when the last instance goes.
    TempSettings& saved = o.settings;
    o.closeAll();
    EXPECT_EQ(96u, saved.value("upStream"));
    EXPECT_EQ(64u, saved.value("fileRate"));
    EXPECT_EQ(75u, saved.value("audioQuality"));
}

TEST(OptionsPage, SwitchesPolicyAndNamesReachThePluginAndItsChunk) {
    OptionsEditor o;
    ASSERT_NE(nullptr, o.page);
    OptionsPage& p = *o.page;
    EXPECT_EQ(OptionsPage::kNotConnected, p.partnerName()->label());
    EXPECT_EQ("  1 fps", p.fpsText()->text());

    o.frame().mouseDown(click(centre(p.syncButton()->size())));
    EXPECT_TRUE(o.plugin->isSyncSource());
    EXPECT_TRUE(o.plugin->controller()->syncOn());
    EXPECT_EQ(1.0f, p.syncButton()->value());

    // Without a host latency there is nothing to compensate: the box shows
    // that it stayed off. With one it turns on.
    o.frame().mouseDown(click(centre(p.recordOffsetBox()->size())));
    EXPECT_FALSE(o.plugin->compensateRecordOffset());
    EXPECT_EQ(0.0f, p.recordOffsetBox()->value());
    o.host.inputLatency = 256;
    o.frame().mouseDown(click(centre(p.recordOffsetBox()->size())));
    EXPECT_TRUE(o.plugin->compensateRecordOffset());
    EXPECT_EQ(1.0f, p.recordOffsetBox()->value());

    PluginChunk chunk;
    const std::vector<uint8_t> bytes = FakeHost::chunk(o.effect);
    ASSERT_EQ(static_cast<size_t>(PluginChunk::kSize), bytes.size());
    chunk.assign(bytes.data());
    EXPECT_EQ(PluginChunk::kSyncSource | PluginChunk::kCompensateRecordOffset,
              chunk.flags() & (PluginChunk::kSyncSource | PluginChunk::kCompensateRecordOffset));

    o.frame().mouseDown(click(centre(p.syncButton()->size())));
    EXPECT_FALSE(o.plugin->isSyncSource());
    EXPECT_FALSE(o.plugin->controller()->syncOn());
    o.frame().mouseDown(click(centre(p.monitorBox()->size())));
    EXPECT_TRUE(o.options().monitorMode());
    EXPECT_EQ(1.0f, p.monitorBox()->value());

    EXPECT_EQ(4, p.policyMenu()->menu().count());
    o.pick(p.policyMenu(), 1);
    EXPECT_EQ(kInvitePartnersOnly, o.options().invitationPolicy());
    EXPECT_EQ("Partners only", p.policyMenu()->text());
    o.options().setInvitationPolicy(kInvitePartnersNotWhileConnected);
    o.editor->idle();
    EXPECT_EQ("Partners, but not when connected", p.policyMenu()->text());
    EXPECT_EQ(3, p.policyMenu()->menu().current());

    o.plugin->controller()->setUserName("alice");
    o.editor->idle();
    EXPECT_EQ("alice", p.localName()->label());
    o.closeAll();
    EXPECT_EQ(1u, o.settings.value("monitorMode"));
    EXPECT_EQ(3u, o.settings.value("invitationPolicy"));
}

TEST(OptionsPage, APageSwitchAskedForWhileAMenuIsOpenWaitsForItToClose) {
    OptionsEditor o;
    ASSERT_NE(nullptr, o.page);
    gui::OptionMenu* upstream = o.page->upstreamMenu();
    o.frame().mouseDown(click(centre(upstream->size())));
    auto* popup = dynamic_cast<gui::MenuPopup*>(o.frame().modalView());
    ASSERT_NE(nullptr, popup);
    o.editor->selectPage(0);
    o.editor->idle();
    EXPECT_EQ(2, o.editor->pageIndex()) << "the menu is still open";
    EXPECT_TRUE(o.editor->pagePending());
    // The choice is made on the page that is still there; the switch
    // follows at the next idle.
    o.frame().mouseDown(click(centre(popup->entryRect(0, 3))));
    EXPECT_EQ(160.0, o.options().upstreamRate());
    EXPECT_EQ(2, o.editor->pageIndex());
    o.editor->idle();
    EXPECT_EQ(0, o.editor->pageIndex());
    EXPECT_EQ(nullptr, o.page);

    // Closed without a choice, the same.
    o.editor->selectPage(2);
    ASSERT_NE(nullptr, o.page);
    o.frame().mouseDown(click(centre(o.page->policyMenu()->size())));
    o.editor->selectPage(1);
    EXPECT_EQ(2, o.editor->pageIndex());
    o.frame().keyDown(gui::KeyEvent{gui::Key::Escape, 0, false});
    o.editor->idle();
    EXPECT_EQ(1, o.editor->pageIndex());
}


TEST(OptionsPage, ShowsWhatTheConnectedPartnerReports) {
    streamtest::StreamingWorld world;
    ASSERT_TRUE(world.open()) << world.failure();
    ASSERT_TRUE(world.connect()) << world.failure();
    LinkEditor editor(world.plugin(0));
    OptionsPage* page = nullptr;
    editor.setPageFactory([&page](LinkEditor& e, int i) -> std::unique_ptr<EditorPage> {
        auto p = std::make_unique<OptionsPage>(e);
        page = p.get();
        return p;
    });
    ASSERT_TRUE(editor.open(nullptr));
    editor.selectPage(2);
    SessionRef session = world.session();
    ASSERT_TRUE(session);
    uint8_t report[PartnerSession::kStatusReportBytes];
    session->heartbeat();
    ASSERT_TRUE(testsupport::eventually([&] { return session->lastStatusReport(report); }));
    editor.idle();
    EXPECT_EQ(2, editor.pageIndex());
    // The partner reports no upstream and a share of 50 %, no pictures.
    ASSERT_NE(nullptr, page);
    EXPECT_EQ("0 kBit / sec", page->partnerRateText()->text());
    EXPECT_EQ("Audio 32 kBs, 0 fps", page->partnerAudioText()->text());
    EXPECT_EQ(streamtest::StreamingWorld::kPartnerName, page->partnerName()->label());
    editor.close();
}
