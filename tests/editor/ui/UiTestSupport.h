#pragma once

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CorvaneSettings.h"
#include "UnitFrmDialogs.h"
#include "UnitFrmMain.h"

// One QApplication for the whole test binary, on the offscreen platform.
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "corvane_ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// A window on a temporary settings directory, with every modal box answered
// by the test (unanswered ones take their default button).
class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir_.isValid());
        SetSettingsDirectoryForTesting(dir_.path().toStdString());
        DialogHooks::Reset();
        DialogHooks::SetTestMode(true);
    }
    void TearDown() override {
        window_.reset();
        DialogHooks::Reset();
        SetSettingsDirectoryForTesting("");
    }

    TFrmMain& Open(const QStringList& arguments = {}) {
        window_ = std::make_unique<TFrmMain>(arguments);
        window_->show();
        window_->activateWindow();
        QApplication::processEvents();
        return *window_;
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
        return path;
    }

    QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The texts of the tree, depth-first, children indented by two spaces.
    static std::string Shape(const QTreeWidget* tree) {
        std::string out;
        std::function<void(const QTreeWidgetItem*, int)> walk = [&](const QTreeWidgetItem* node, int depth) {
            out += std::string(static_cast<size_t>(depth) * 2, ' ') + node->text(0).toStdString() + "\n";
            for (int i = 0; i < node->childCount(); ++i) walk(node->child(i), depth + 1);
        };
        for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), 0);
        return out;
    }

    QTemporaryDir dir_;
    std::unique_ptr<TFrmMain> window_;
};

inline const QByteArray kTwoLevelOpml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<opml version=\"1.0\"><head><title>Mine</title><dateCreated>Mon, 7 Dec 2026 03:05:09 GMT</dateCreated></head><body>\n"
    "<outline text=\"Folder\">\n"
    "  <outline text=\"A\" type=\"rss\" xmlUrl=\"http://127.0.0.1/a.xml\" description=\"da\" htmlUrl=\"http://127.0.0.1/a\" />\n"
    "  <outline text=\"B\" type=\"rss\" xmlUrl=\"http://127.0.0.1/b.xml\" description=\"db\" htmlUrl=\"http://127.0.0.1/b\" />\n"
    "</outline>\n"
    "<outline text=\"C\" type=\"rss\" xmlUrl=\"http://127.0.0.1/c.xml\" description=\"dc\" htmlUrl=\"http://127.0.0.1/c\" />\n"
    "</body></opml>\n";

// The loopback server of tests/support, started for one test suite.
class EditorHttpServer {
public:
    EditorHttpServer() {
        process_.setProgram(QStringLiteral("python3"));
        process_.setArguments({QStringLiteral(QUILLO_TEST_SUPPORT "/editor_http_server.py"),
                               QStringLiteral("--data"), QStringLiteral(QUILLO_TEST_DATA)});
        process_.start();
        if (!process_.waitForStarted(10000)) return;
        while (process_.waitForReadyRead(10000)) {
            const QByteArray line = process_.readLine().trimmed();
            if (line.startsWith("PORT ")) {
                port_ = line.mid(5).toInt();
                break;
            }
        }
    }
    ~EditorHttpServer() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    int Port() const { return port_; }
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

private:
    QProcess process_;
    int port_ = 0;
};
