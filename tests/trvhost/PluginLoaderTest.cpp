#include <gtest/gtest.h>

#include "tools/trvhost/HostCallback.h"
#include "tools/trvhost/PluginLoader.h"

TEST(PluginLoader, PrefersVSTPluginMain) {
    PluginLoader loader;
    ASSERT_TRUE(loader.load(TRV_FIXTURE_PLUGIN)) << loader.error();
    EXPECT_STREQ(loader.entryName(), "VSTPluginMain");
    EXPECT_NE(loader.entry(), nullptr);
}

TEST(PluginLoader, FallsBackToMainAndTheEntryWorks) {
    PluginLoader loader;
    ASSERT_TRUE(loader.load(TRV_FIXTURE_PLUGIN_MAIN_ONLY)) << loader.error();
    EXPECT_STREQ(loader.entryName(), "main");

    TestHost host(TestHost::Config{});
    host.install();
    AEffect* effect = loader.entry()(&TestHost::callback);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, kEffectMagic);
    EXPECT_EQ(effect->uniqueID, fourCC('T', 'f', 'x', 'G'));
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST(PluginLoader, RefusesALibraryWithoutAnEntry) {
    PluginLoader loader;
    EXPECT_FALSE(loader.load(TRV_FIXTURE_NO_ENTRY));
    EXPECT_NE(loader.error().find("neither VSTPluginMain nor main"), std::string::npos) << loader.error();
    EXPECT_EQ(loader.entry(), nullptr);
}

TEST(PluginLoader, ReportsAFileThatCannotBeLoaded) {
    PluginLoader loader;
    EXPECT_FALSE(loader.load("/nonexistent/libnothing.so"));
    EXPECT_NE(loader.error().find("/nonexistent/libnothing.so"), std::string::npos);
    EXPECT_FALSE(loader.load(""));
}

TEST(PluginLoader, LoadingAgainReplacesThePreviousLibrary) {
    PluginLoader loader;
    ASSERT_TRUE(loader.load(TRV_FIXTURE_PLUGIN));
    ASSERT_TRUE(loader.load(TRV_FIXTURE_PLUGIN_MAIN_ONLY));
    EXPECT_STREQ(loader.entryName(), "main");
    loader.unload();
    EXPECT_EQ(loader.entry(), nullptr);
}
