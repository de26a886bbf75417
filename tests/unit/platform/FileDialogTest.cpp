// The system's file dialog on Linux: the dialog program found on the PATH
// gets the request as its arguments and its first output line is the
// chosen path. Fake zenity and kdialog scripts stand in for the real ones.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/FileDialog.h"

namespace {

struct FileDialogTest : ::testing::Test {
    void SetUp() override {
        char pattern[] = "/tmp/trv-dialog-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        keep("PATH");
        keep("DISPLAY");
        keep("WAYLAND_DISPLAY");
        ::setenv("PATH", folder.c_str(), 1);
        ::setenv("DISPLAY", ":99", 1);
        ::unsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override {
        for (auto& [name, value] : saved) {
            if (value.first) ::setenv(name.c_str(), value.second.c_str(), 1);
            else ::unsetenv(name.c_str());
        }
        std::system(("rm -rf " + folder).c_str());
    }
    void keep(const char* name) {
        const char* v = std::getenv(name);
        saved.push_back({name, {v != nullptr, v ? v : ""}});
    }
    // A dialog program that writes its arguments, one a line, to
    // PROGRAM.args, prints `answer` and exits with `status`.
    void program(const std::string& name, const std::string& answer, int status) {
        const std::string path = folder + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > " << path << ".args\n"
                            << "echo '" << answer << "'\nexit " << status << "\n";
        ::chmod(path.c_str(), 0755);
    }
    std::string arguments(const std::string& name) {
        std::ifstream in(folder + "/" + name + ".args");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    platform::FileDialogResult run(bool save, char* out, size_t capacity, const char** why) {
        platform::FileDialogRequest r;
        r.save = save;
        r.title = save ? "Save received file as:" : "Select file to send:";
        r.initialName = save ? "take 1.wav" : nullptr;
        r.typeName = "Wave File";
        r.extension = "wav";
        return platform::runFileDialog(r, out, capacity, why);
    }

    std::string folder;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved;
};

TEST_F(FileDialogTest, ZenityFirstThenKdialogCancelAndNoneAtAll) {
    char path[256];
    const char* why = nullptr;
    // Neither installed.
    EXPECT_EQ(platform::FileDialogResult::Unavailable, run(false, path, sizeof path, &why));
    EXPECT_STREQ("No file dialog: install zenity or kdialog.", why);

    // kdialog alone: its own argument order, the proposed name kept whole.
    program("kdialog", "/music/take 1.wav", 0);
    EXPECT_EQ(platform::FileDialogResult::Chosen, run(true, path, sizeof path, &why));
    EXPECT_STREQ("/music/take 1.wav", path);
    EXPECT_EQ("--title\nSave received file as:\n--getsavefilename\ntake 1.wav\n*.wav|Wave File\n",
              arguments("kdialog"));

    // zenity wins when both are there.
    program("zenity", "/music/song.wav", 0);
    EXPECT_EQ(platform::FileDialogResult::Chosen, run(false, path, sizeof path, &why));
    EXPECT_STREQ("/music/song.wav", path);
    EXPECT_EQ("--file-selection\n--title=Select file to send:\n--file-filter=Wave File | *.wav\n",
              arguments("zenity"));

    // Cancel (exit 1), and a path longer than the caller's buffer.
    program("zenity", "", 1);
    EXPECT_EQ(platform::FileDialogResult::Cancelled, run(true, path, sizeof path, &why));
    program("zenity", "/music/a-rather-long-name.wav", 0);
    EXPECT_EQ(platform::FileDialogResult::Cancelled, run(true, path, 8, &why));

    // No display: nothing is started.
    ::unsetenv("DISPLAY");
    EXPECT_EQ(platform::FileDialogResult::Unavailable, run(false, path, sizeof path, &why));
    EXPECT_STREQ("No file dialog: there is no display.", why);
}

}  // namespace
