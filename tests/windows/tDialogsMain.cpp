// SPDX-License-Identifier: GPL-3.0-or-later
// gtest main of the dialog tests: the process moves into a private network
// namespace first (the engine broadcasts when it starts), then the windows
// run offscreen.
#include <cstring>

#include <gtest/gtest.h>

#include <QApplication>

#include "NetNs.h"

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing)
        netns::EnterPrivateWorld();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Ravelox");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
