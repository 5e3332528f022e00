# SPDX-License-Identifier: GPL-3.0-or-later
# The dialogs with real engines: the whole process runs in the harness's
# private network namespace (its own main), the windows offscreen.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
add_executable(test_windows_dialogs ${CMAKE_CURRENT_LIST_DIR}/tDialogsMain.cpp
               ${CMAKE_CURRENT_LIST_DIR}/tDialogs.cpp
               ${CMAKE_CURRENT_LIST_DIR}/tSettingsDialogs.cpp
               ${CMAKE_CURRENT_LIST_DIR}/tLogStore.cpp)
target_include_directories(test_windows_dialogs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../common)
target_link_libraries(test_windows_dialogs PRIVATE rv_windows rv_dialogs rv_netns GTest::gtest
                      Qt6::Test ravelox_warnings)
gtest_discover_tests(test_windows_dialogs PROPERTIES LABELS windows TIMEOUT 120 DISCOVERY_TIMEOUT 30
                     ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# Not a test: pictures of the dialogs under Xvfb (see DialogShots.cpp).
add_executable(dialog_shots EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/DialogShots.cpp)
target_link_libraries(dialog_shots PRIVATE rv_windows rv_dialogs rv_netns Qt6::Test GTest::gtest
                      ravelox_warnings)

# Not a test: pictures of the windows in a language under Xvfb (LangShots.cpp).
add_executable(lang_shots EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/LangShots.cpp)
target_link_libraries(lang_shots PRIVATE rv_windows rv_dialogs rv_netns Qt6::Test GTest::gtest
                      ravelox_warnings)
