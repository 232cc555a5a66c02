quillo_add_gtest(editor_core_test
  LIBS corvane_core
  SOURCES
    core/QtTestMain.cpp
    core/JconvertTest.cpp
    core/XmlScannerTest.cpp
    core/OpmlReaderTest.cpp
    core/OpmlWriterTest.cpp
    core/CorpusRoundTripTest.cpp
    core/CorvaneSettingsTest.cpp
)

# Kept apart: it links the gateway's feed manager, which the editor itself never does.
quillo_add_gtest(editor_feedlist_gateway_test
  LIBS corvane_core quillo_feeds
  SOURCES
    core/QtTestMain.cpp
    core/FeedListCrossProgramTest.cpp
)
