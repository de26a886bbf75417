// The editor frame without a window: the tab bar, deferred page switches,
// the status line and its progress texts.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "editor/LinkEditor.h"
#include "editor/ProgressText.h"
#include "gui/controls/OptionMenu.h"
#include "support/FakeHost.h"
#include "support/TempSettings.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/SessionController.h"

using namespace editor;

namespace {

// Pages that note their lives, so switches can be followed.
struct PageLog {
    std::vector<int> opened;
    int closed = 0;
};

class NotedPage : public EditorPage {
public:
    NotedPage(LinkEditor& e, int index, PageLog& log) : EditorPage(e), index_(index), log_(log) {}
    void open() override { log_.opened.push_back(index_); }
    void close() override { ++log_.closed; }

private:
    int index_;
    PageLog& log_;
};

gui::MouseEvent click(int x, int y) { return gui::MouseEvent{gui::Point(x, y), gui::kLeftButton, 0}; }

}  // namespace

TEST(LinkEditor, TabsSwitchPagesAndASwitchWhileBusyWaitsForTheNextIdle) {
    TempSettings settings;
    FakeHost host;
    AEffect* effect = host.create();
    ASSERT_NE(nullptr, effect);
    auto* plugin = static_cast<LinkPlugin*>(static_cast<AudioEffect*>(effect->object));
    LinkEditor editor(plugin);
    PageLog log;
    editor.setPageFactory([&log](LinkEditor& e, int i) { return std::make_unique<NotedPage>(e, i, log); });
    ERect* rect = nullptr;
    ASSERT_TRUE(editor.getRect(&rect));
    EXPECT_EQ(365, rect->bottom);
    EXPECT_EQ(623, rect->right);
    ASSERT_TRUE(editor.open(nullptr));
    EXPECT_EQ(std::vector<int>{0}, log.opened);

    // The rightmost pixel of the tab bar is the Options page, not a fourth.
    editor.frame()->mouseDown(click(207, 20));
    EXPECT_EQ(2, editor.pageIndex());
    editor.frame()->mouseDown(click(108, 20));
    EXPECT_EQ(1, editor.pageIndex());
    EXPECT_EQ((std::vector<int>{0, 2, 1}), log.opened);
    EXPECT_EQ(2, log.closed);

    // While a guarded control is busy a switch is only remembered.
    editor.enterBusy();
    editor.frame()->mouseDown(click(10, 20));
    EXPECT_EQ(1, editor.pageIndex());
    EXPECT_TRUE(editor.pagePending());
    editor.idle();
    EXPECT_EQ(1, editor.pageIndex()) << "still busy";
    editor.leaveBusy();
    editor.idle();
    EXPECT_EQ(0, editor.pageIndex());
    EXPECT_FALSE(editor.pagePending());

    // The status line shows the newest line of the log, drawn by the idle.
    plugin->controller()->postMessage("Hello there");
    editor.idle();
    EXPECT_EQ("Hello there", editor.statusText());
    EXPECT_FALSE(editor.frame()->needsRender()) << "the idle drew what changed";
    editor.close();
    EXPECT_EQ(nullptr, editor.frame());
    EXPECT_EQ(log.opened.size(), static_cast<size_t>(log.closed));
    host.close(effect);
}

TEST(LinkEditor, ProgressTextsNameTheFileAndSizeInPowersOf1024) {
    EXPECT_EQ("File Transmit: take.wav  50% (500.00 KB of 0.98 MB)",
              progressText("File Transmit:", "/music/take.wav", 1024000, 512000));
    EXPECT_EQ("0.98 KB", sizeText(1000));
    EXPECT_EQ(" 999 bytes", sizeText(999));
    EXPECT_EQ("0.95 MB", sizeText(1000000));
    EXPECT_EQ("1.00 GB", sizeText(1073741824));
    // 23 characters whole, 24 as 20 and "...", none without a separator.
    EXPECT_NE(std::string::npos, progressText("R:", "C:\\x\\abcdefghijklmnopqrstuvw", 10, 0).find(" abcdefghijklmnopqrstuvw "));
    EXPECT_NE(std::string::npos, progressText("R:", "/x/abcdefghijklmnopqrstuvwx", 10, 0).find(" abcdefghijklmnopqrst... "));
    EXPECT_NE(std::string::npos, progressText("R:", "nofolder.wav", 10, 0).find("R: ? "));
}

TEST(LinkEditor, OpeningAndClosingTwoHundredTimesWhileAudioRunsLeavesNothingBehind) {
    TempSettings settings;
    FakeHost host;
    AEffect* effect = host.create();
    ASSERT_NE(nullptr, effect);
    auto* plugin = static_cast<LinkPlugin*>(static_cast<AudioEffect*>(effect->object));
    FakeHost::call(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    FakeHost::call(effect, effSetBlockSize, 0, 256);
    FakeHost::call(effect, effMainsChanged, 0, 1);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> l(256), r(256), ol(256), orr(256);
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        while (!done.load()) effect->processReplacing(effect, in, out, 256);
    });
    LinkEditor editor(plugin);
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(editor.open(nullptr));
        editor.selectPage(i % 3);
        editor.idle();
        editor.render();
        editor.close();
    }
    done = true;
    audio.join();
    EXPECT_EQ(nullptr, editor.frame());
    FakeHost::call(effect, effMainsChanged, 0, 0);
    host.close(effect);
}
