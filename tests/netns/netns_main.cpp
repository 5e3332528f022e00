// SPDX-License-Identifier: GPL-3.0-or-later
// gtest main of every test that opens sockets: each test process moves into a
// private network namespace before any test runs (and before any thread starts).
#include <cstring>

#include <gtest/gtest.h>

#include "NetNs.h"

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing)
        netns::EnterPrivateWorld();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
