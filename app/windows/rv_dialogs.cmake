# SPDX-License-Identifier: GPL-3.0-or-later
# The dialogs and small windows of the test windows: server lookup, system
# information, debug watch and the application lock (and, as they come, the
# settings pages and the result-log storing and viewing). Included from the
# top level as its own block, so that the windows' CMakeLists can take it in
# whole later.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
set(rv_dialogs_dir ${PROJECT_SOURCE_DIR}/app/windows)
add_library(rv_dialogs STATIC
  ${rv_dialogs_dir}/uAppStr.cpp
  ${rv_dialogs_dir}/vLookup.cpp
  ${rv_dialogs_dir}/vSystem.cpp
  ${rv_dialogs_dir}/vDebug.cpp
  ${rv_dialogs_dir}/uLock.cpp
  ${rv_dialogs_dir}/uDlgHooks.cpp
  ${rv_dialogs_dir}/vDlgTime.cpp
  ${rv_dialogs_dir}/vDlgNet.cpp
  ${rv_dialogs_dir}/vDlgColor.cpp)

set_target_properties(rv_dialogs PROPERTIES AUTOMOC ON AUTOUIC ON)
target_include_directories(rv_dialogs PUBLIC ${rv_dialogs_dir})
target_link_libraries(rv_dialogs PUBLIC rv_brenlib_widgets rv_config rv_engine rv_model
                      Qt6::Widgets
                      PRIVATE ravelox_warnings)

# Storing and viewing the result log, and the main window's connections to
# the dialogs: part of the windows library, whose main window and panels
# they stand on.
target_sources(rv_windows PRIVATE
  ${rv_dialogs_dir}/uLogStore.cpp
  ${rv_dialogs_dir}/uMainDialogs.cpp)
target_link_libraries(rv_windows PUBLIC rv_dialogs)
