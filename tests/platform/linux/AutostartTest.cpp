// The start at log-in: the XDG autostart entry written, read and removed,
// with a program file name no shell or launcher may take apart.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/linux/RunTool.h"
#include "platform/linux/files/XdgAutostart.h"
#include "support/TempDir.h"

TEST(Autostart, ExecArgumentsAreQuotedAsDesktopEntriesAsk) {
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/vantoria", "\"/usr/bin/vantoria\""},
        {"/opt/my apps/vantoria", "\"/opt/my apps/vantoria\""},
        // Inside quotes " ` $ \ are escaped, and the value's own string
        // escape doubles every backslash; % is a field code unless doubled.
        {"/a\"b`c$d\\e/v", "\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e/v\""},
        {"/100%/v", "\"/100%%/v\""},
        {"/line\nbreak", ""},
        {std::string("/bad\xff", 5), ""},
        {"", ""},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(DesktopExecArgument(path), expected) << path;
    }
}

TEST(Autostart, TheEntryIsWrittenValidAndRemoved) {
    TTempDir dir;
    TXdgAutostart autostart({{"XDG_CONFIG_HOME", dir.Path() + "/config"}, {"HOME", dir.Path()}},
                            dir.Path() + "/my $apps/vantoria");
    EXPECT_FALSE(autostart.Enabled());
    ASSERT_EQ(autostart.SetEnabled(true), "");
    EXPECT_EQ(autostart.EntryPath(), dir.Path() + "/config/autostart/vantoria.desktop");
    EXPECT_TRUE(autostart.Enabled());
    const TToolResult check = RunTool({"desktop-file-validate", autostart.EntryPath()});
    EXPECT_EQ(check.exitCode, 0) << check.out;
    EXPECT_NE(ReadFileBytes(autostart.EntryPath())
                  .find("Exec=\"" + dir.Path() + "/my \\\\$apps/vantoria\"\n"),
              std::string::npos)
        << ReadFileBytes(autostart.EntryPath());
    ASSERT_EQ(autostart.SetEnabled(false), "");
    EXPECT_FALSE(std::filesystem::exists(autostart.EntryPath()));
    EXPECT_EQ(autostart.SetEnabled(false), "") << "already off";
}
