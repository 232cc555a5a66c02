# Tests of the editor window, its dialogs, the HTTP client and network commands.
quillo_add_gtest(corvane_ui_units_test
  LIBS corvane_ui
  SOURCES
    ui/FeedDiscoveryTest.cpp
    ui/DialogPlacementTest.cpp
)
quillo_add_gtest(corvane_ui_window_test
  LIBS corvane_ui Qt6::Test
  SOURCES
    ui/FrmMainEditingTest.cpp
    ui/DialogsTest.cpp
    ui/ScreenshotTest.cpp
)
quillo_add_gtest(corvane_ui_network_test
  LIBS corvane_ui Qt6::Test
  SOURCES
    ui/NetworkCommandsTest.cpp
)
