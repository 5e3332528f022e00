// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "xHome.h"

namespace {

struct THomeCase {
    const char* name;
    THomeInputs in;
    const char* program;
    const char* shipped;
    bool installed;
};
void PrintTo(const THomeCase& c, std::ostream* os) {
    *os << c.name;
}

class HomeFolders : public testing::TestWithParam<THomeCase> {};

TEST_P(HomeFolders, WritableAndShippedFolders) {
    const THomeCase& c = GetParam();
    const THomeFolders out = ResolveHomeFolders(c.in);
    EXPECT_EQ(out.Program, c.program);
    EXPECT_EQ(out.Shipped, c.shipped);
    EXPECT_EQ(out.Installed, c.installed);
}

// Fields: RAVELOX_HOME, XDG_CONFIG_HOME, HOME, executable folder, writable,
// install data folder beside it.
INSTANTIATE_TEST_SUITE_P(
    Table, HomeFolders,
    testing::Values(
        THomeCase{"BuildTree",
                  {"", "", "/home/ann", "/w/build/bin", true, false},
                  "/w/build/bin",
                  "/w/build/bin",
                  false},
        // `make run`: the settings elsewhere, the languages still beside the
        // program.
        THomeCase{"BuildTreeWithRaveloxHome",
                  {"/tmp/rv//", "", "/home/ann", "/w/build/bin", true, false},
                  "/tmp/rv",
                  "/w/build/bin",
                  false},
        THomeCase{"InstalledInUsr",
                  {"", "", "/home/ann/", "/usr/bin", false, true},
                  "/home/ann/.config/ravelox",
                  "/usr/share/ravelox",
                  true},
        THomeCase{"InstalledWithXdgConfigHome",
                  {"", "/cfg/", "/home/ann", "/usr/bin", false, true},
                  "/cfg/ravelox",
                  "/usr/share/ravelox",
                  true},
        THomeCase{"RelativeXdgConfigHomeIsIgnored",
                  {"", "cfg", "/home/ann", "/usr/bin", false, true},
                  "/home/ann/.config/ravelox",
                  "/usr/share/ravelox",
                  true},
        // Installed by root into a prefix it can write: still never beside /bin.
        THomeCase{"InstalledInAWritablePrefix",
                  {"", "", "/root", "/tmp/p/bin", true, true},
                  "/root/.config/ravelox",
                  "/tmp/p/share/ravelox",
                  true},
        // The service: settings under /var/lib, shipped files from /usr/share.
        THomeCase{"InstalledServiceWithRaveloxHome",
                  {"/var/lib/ravelox", "", "", "/usr/bin", false, true},
                  "/var/lib/ravelox",
                  "/usr/share/ravelox",
                  true},
        // A read-only copy of a build tree: its shipped files stay beside it.
        THomeCase{"ReadOnlyCopyWithoutDataFolder",
                  {"", "", "/home/ann", "/opt/rv", false, false},
                  "/home/ann/.config/ravelox",
                  "/opt/rv",
                  true},
        THomeCase{"ReadOnlyCopyWithRaveloxHome",
                  {"/srv/rv", "", "/home/ann", "/opt/rv", false, false},
                  "/srv/rv",
                  "/opt/rv",
                  true},
        THomeCase{"UnknownExecutable", {"", "", "/home/ann", "", true, false}, ".", ".", false}),
    [](const testing::TestParamInfo<THomeCase>& info) { return info.param.name; });

TEST(HomeFolders, DataFolderIsRelativeToTheProgramFolder) {
    const std::string relative = InstallDataRelative();
    ASSERT_FALSE(relative.empty());
    EXPECT_NE(relative.front(), '/');
    EXPECT_TRUE(relative.ends_with("/ravelox")) << relative;
}

TEST(HomeFolders, TestsCanBringTheirOwnShippedFolder) {
    const std::string rule = ShippedDataFolder();
    SetShippedDataFolder("/tmp/lang//");
    EXPECT_EQ(ShippedDataFolder(), "/tmp/lang");
    SetShippedDataFolder({});
    EXPECT_EQ(ShippedDataFolder(), rule);
}

} // namespace
