// Settings file: round trip, tolerance of damaged files, location.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include "platform/SettingsBackend.h"

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

class PlatformSettings : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/trv-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        platform::setSettingsDirectory(dir_ + "/nested/config");
    }
    void TearDown() override {
        platform::setSettingsDirectory("");
        ::nftw(dir_.c_str(), &removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    std::string file() const { return dir_ + "/nested/config/TVN/trv"; }
    void writeFile(const std::string& text) {
        ASSERT_TRUE(platform::writeSettingValue("trv", "seed", 1));  // creates the folders
        std::ofstream(file(), std::ios::binary | std::ios::trunc) << text;
    }
    std::string readFile() const {
        std::ifstream in(file(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string dir_;
};

}  // namespace

TEST_F(PlatformSettings, MissingFileAndMissingValueReadAsAbsent) {
    uint32_t v = 77;
    EXPECT_FALSE(platform::readSettingValue("trv", "upStream", v));
    ASSERT_TRUE(platform::writeSettingValue("trv", "codec", 34));
    EXPECT_FALSE(platform::readSettingValue("trv", "upStream", v));
    EXPECT_EQ(v, 77u);
}

TEST_F(PlatformSettings, WrittenValuesReadBackAndOverwriteKeepsOthers) {
    ASSERT_TRUE(platform::writeSettingValue("trv", "upStream", 128));
    ASSERT_TRUE(platform::writeSettingValue("trv", "fileRate", 256));
    ASSERT_TRUE(platform::writeSettingValue("trv", "upStream", 1500));
    uint32_t v = 0;
    ASSERT_TRUE(platform::readSettingValue("trv", "upStream", v));
    EXPECT_EQ(v, 1500u);
    ASSERT_TRUE(platform::readSettingValue("trv", "fileRate", v));
    EXPECT_EQ(v, 256u);
    EXPECT_EQ(readFile(), "upStream=1500\nfileRate=256\n");
}

TEST_F(PlatformSettings, ProductsAreSeparateFiles) {
    ASSERT_TRUE(platform::writeSettingValue("trv", "codec", 34));
    uint32_t v = 0;
    EXPECT_FALSE(platform::readSettingValue("other", "codec", v));
}

TEST_F(PlatformSettings, ValuesAboveTwoToThe31StayUnsigned) {
    ASSERT_TRUE(platform::writeSettingValue("trv", "big", 3000000000u));
    ASSERT_TRUE(platform::writeSettingValue("trv", "max", 4294967295u));
    uint32_t v = 0;
    ASSERT_TRUE(platform::readSettingValue("trv", "big", v));
    EXPECT_EQ(v, 3000000000u);
    ASSERT_TRUE(platform::readSettingValue("trv", "max", v));
    EXPECT_EQ(v, 4294967295u);
    EXPECT_NE(readFile().find("big=3000000000\n"), std::string::npos);
}

TEST_F(PlatformSettings, MalformedLinesAreSkippedAndDroppedOnRewrite) {
    writeFile(
        "garbage without equals\n"
        "=5\n"
        "empty=\n"
        "signed=-3\n"
        "spaced= 7\n"
        "hex=0x10\n"
        "trailing=12x\n"
        "huge=4294967296\n"
        "long=000000000001\n"
        "good=42\r\n"
        "\n"
        "last=9");  // no final newline
    uint32_t v = 0;
    for (const char* bad : {"garbage without equals", "empty", "signed", "spaced", "hex", "trailing",
                            "huge", "long", "seed"}) {
        EXPECT_FALSE(platform::readSettingValue("trv", bad, v)) << bad;
    }
    ASSERT_TRUE(platform::readSettingValue("trv", "good", v));
    EXPECT_EQ(v, 42u);
    ASSERT_TRUE(platform::readSettingValue("trv", "last", v));
    EXPECT_EQ(v, 9u);

    ASSERT_TRUE(platform::writeSettingValue("trv", "good", 43));
    EXPECT_EQ(readFile(), "good=43\nlast=9\n");
}

TEST_F(PlatformSettings, BinaryJunkFileIsTolerated) {
    std::string junk(5000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 131) & 0xFF);
    writeFile(junk + "\nok=1\n");
    uint32_t v = 0;
    ASSERT_TRUE(platform::readSettingValue("trv", "ok", v));
    EXPECT_EQ(v, 1u);
}

TEST_F(PlatformSettings, NamesThatCouldEscapeTheFileAreRefused) {
    uint32_t v = 0;
    EXPECT_FALSE(platform::writeSettingValue("../evil", "x", 1));
    EXPECT_FALSE(platform::writeSettingValue("..", "x", 1));
    EXPECT_FALSE(platform::writeSettingValue("trv", "a=b", 1));
    EXPECT_FALSE(platform::writeSettingValue("trv", "line\nbreak", 1));
    EXPECT_FALSE(platform::writeSettingValue("trv", "", 1));
    EXPECT_FALSE(platform::writeSettingValue(nullptr, "x", 1));
    EXPECT_FALSE(platform::readSettingValue("trv", nullptr, v));
}

TEST_F(PlatformSettings, RewriteLeavesNoTemporaryFiles) {
    for (uint32_t i = 0; i < 5; ++i) ASSERT_TRUE(platform::writeSettingValue("trv", "n", i));
    DIR* d = ::opendir((dir_ + "/nested/config/TVN").c_str());
    ASSERT_NE(d, nullptr);
    int entries = 0;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') ++entries;
    ::closedir(d);
    EXPECT_EQ(entries, 1);
}

TEST_F(PlatformSettings, DefaultLocationFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    platform::setSettingsDirectory("");
    ::setenv("XDG_CONFIG_HOME", (dir_ + "/xdg").c_str(), 1);
    const bool wrote = platform::writeSettingValue("trv", "codec", 32);
    if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(wrote);
    std::ifstream in(dir_ + "/xdg/TVN/trv");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "codec=32");
}
