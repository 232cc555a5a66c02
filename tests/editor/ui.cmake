# Tests of the editor window, its dialogs, the HTTP client and network commands.
quillo_add_gtest(corvane_ui_units_test
  LIBS corvane_ui
  SOURCES
    ui/FeedDiscoveryTest.cpp
    ui/DialogPlacementTest.cpp
)
