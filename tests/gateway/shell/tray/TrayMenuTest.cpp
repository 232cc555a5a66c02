#include "TrayIcon.h"

#include "MainObject.h"
#include "RefreshProgress.h"
#include "TrayTestSupport.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

namespace {

struct ExpectedItem {
    int id;  // 0: separator
    const char* text;
};

TEST(TrayMenu, HasTheThreeCommandsAndTheSeparatorInOrder) {
    TestApp();
    TrayIcon tray;
    const ExpectedItem expected[] = {
        {200, "フィードリストを編集(&E)..."},
        {201, "バージョン情報(&A)..."},
        {0, nullptr},
        {202, "終了(&X)"},
    };
    const auto actions = tray.Menu().actions();
    ASSERT_EQ(actions.size(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        if (expected[i].id == 0) {
            EXPECT_TRUE(actions[i]->isSeparator());
            continue;
        }
        EXPECT_FALSE(actions[i]->isSeparator());
        EXPECT_EQ(actions[i]->text().toStdString(), expected[i].text);
        EXPECT_EQ(actions[i]->data().toInt(), expected[i].id);
        EXPECT_EQ(tray.Action(expected[i].id), actions[i]);
    }
}

TEST(TrayMenu, ChoosingAnItemSendsItsIdOnceTheMenuHasClosed) {
    TestApp();
    TrayIcon tray;
    std::vector<int> received;
    QObject::connect(&tray, &TrayIcon::Command, [&](int id) { received.push_back(id); });
    for (int id : {200, 201, 202}) tray.Action(id)->trigger();
    // Queued: nothing runs inside the menu's own handling.
    EXPECT_TRUE(received.empty());
    ProcessEventsUntil([&] { return received.size() == 3; });
    EXPECT_EQ(received, (std::vector<int>{200, 201, 202}));
}

TEST(TrayIcon, ToolTipIsQuillo) {
    TestApp();
    TrayIcon tray;
    EXPECT_EQ(tray.ToolTip().toStdString(), "Quillo");
    EXPECT_EQ(tray.Icon().toolTip().toStdString(), "Quillo");
    EXPECT_FALSE(tray.Icon().icon().isNull());
    EXPECT_TRUE(tray.Icon().contextMenu() == nullptr);
}

struct ActivationCase {
    QSystemTrayIcon::ActivationReason reason;
    bool opensMenu;
    const char* what;
};

TEST(TrayIcon, OnlyPressingTheRightButtonOpensTheMenu) {
    TestApp();
    const ActivationCase cases[] = {
        {QSystemTrayIcon::Trigger, false, "left click"},
        {QSystemTrayIcon::DoubleClick, false, "left double click"},
        {QSystemTrayIcon::MiddleClick, false, "middle click"},
        {QSystemTrayIcon::Unknown, false, "other mouse event"},
        {QSystemTrayIcon::Context, true, "right button pressed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TrayIcon tray;
        tray.Show();
        emit tray.Icon().activated(c.reason);
        QApplication::processEvents();
        EXPECT_EQ(tray.Menu().isVisible(), c.opensMenu);
        tray.Remove();
        EXPECT_FALSE(tray.Menu().isVisible());
    }
}

TEST(TrayIcon, RemoveTakesTheIconAwayAndIsHarmlessWhenNeverShown) {
    TestApp();
    TrayIcon tray;
    tray.Remove();
    EXPECT_FALSE(tray.IsShown());
    tray.Show();
    EXPECT_TRUE(tray.IsShown());
    tray.Remove();
    EXPECT_FALSE(tray.IsShown());
}

struct ProgressCase {
    int done;
    int total;
    const char* toolTip;
};

TEST(TrayIcon, ToolTipShowsRefreshProgressAndReturnsToQuillo) {
    TestApp();
    TrayIcon tray;
    const ProgressCase cases[] = {
        {0, 3, "Quillo - フィードを取得中 (0/3)"},
        {1, 3, "Quillo - フィードを取得中 (1/3)"},
        {3, 3, "Quillo - フィードを取得中 (3/3)"},
        {12, 120, "Quillo - フィードを取得中 (12/120)"},
        {0, 0, "Quillo"},
    };
    for (const auto& c : cases) {
        tray.SetRefreshProgress(c.done, c.total);
        EXPECT_EQ(tray.ToolTip().toStdString(), c.toolTip);
    }
}

TEST(MainObject, RefreshProgressFromTheServerThreadReachesTheToolTip) {
    TestApp();
    TestGateway gateway;
    MainObject main(gateway.context, {});
    RefreshProgress& progress = gateway.context.Progress();
    std::thread refresh([&progress] { progress.Report(2, 5); });
    refresh.join();
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return main.Tray().ToolTip() == QString::fromUtf8("Quillo - フィードを取得中 (2/5)"); }));
    std::thread finish([&progress] { progress.Finished(); });
    finish.join();
    EXPECT_TRUE(ProcessEventsUntil([&] { return main.Tray().ToolTip() == "Quillo"; }));
}

// The refresh thread may report after the tray is gone; whatever sink is in place when
// the tray goes (here a counter standing in for the tray's own) must be taken down, or
// the report reaches a destroyed object.
TEST(MainObject, ProgressReportedAfterTheTrayHasGoneIsIgnored) {
    TestApp();
    int reached = 0;
    TestGateway gateway;
    {
        MainObject main(gateway.context, {});
        gateway.context.Progress().Listen([&reached](int, int) { ++reached; });
    }
    gateway.context.Progress().Report(1, 2);
    gateway.context.Progress().Finished();
    QApplication::processEvents();
    EXPECT_EQ(reached, 0);
}

TEST(MainObject, ExitCommandStopsTheServerRemovesTheIconAndIgnoresLaterCommands) {
    TestApp();
    int stops = 0;
    TestGateway gateway;
    MainObject main(gateway.context, [&] { ++stops; });
    main.AddTrayIcon();
    EXPECT_TRUE(main.Tray().IsShown());
    main.Tray().Action(kCommandExit)->trigger();
    ProcessEventsUntil([&] { return main.IsClosed(); });
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(main.Tray().IsShown());
    // The server thread may still ask for the icon; it does not come back.
    main.AddTrayIcon();
    main.OnCommand(kCommandExit);
    EXPECT_FALSE(main.Tray().IsShown());
    EXPECT_EQ(stops, 1);
    ForgetApplicationExit();
}

}  // namespace
