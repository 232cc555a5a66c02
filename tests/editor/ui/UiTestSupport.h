#pragma once

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "EditorHttpServer.h"
#include "TestApp.h"
#include "CorvaneSettings.h"
#include "OpmlTreeModel.h"
#include "TrvOpml.h"
#include "UnitFrmDialogs.h"
#include "UnitFrmMain.h"

// The window's parts, found by the object names the commands know them by.
inline TTrvOpml* Tree(TFrmMain& w) { return w.findChild<TTrvOpml*>("TrvOpml"); }
inline OpmlTreeModel* Model(TFrmMain& w) { return static_cast<OpmlTreeModel*>(Tree(w)->model()); }
inline QLineEdit* Box(TFrmMain& w, const char* name) { return w.findChild<QLineEdit*>(name); }
inline QAction* Act(TFrmMain& w, const char* name) { return w.findChild<QAction*>(name); }
inline QLabel* Status(TFrmMain& w) { return w.findChild<QLabel*>("StatusText"); }
template <typename Dialog>
Dialog* Form(TFrmMain& w) { return w.findChild<Dialog*>(); }

// Rows of the tree: the top level's row count, the row with a text (anywhere), a
// top-level row, a row's text and a row's record.
inline int TopCount(TFrmMain& w) { return Model(w)->rowCount(); }
inline QPersistentModelIndex Find(TFrmMain& w, const QString& text) {
    const QModelIndexList found = Model(w)->match(Model(w)->index(0, 0), Qt::DisplayRole, text, 1,
                                                  Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? QPersistentModelIndex() : QPersistentModelIndex(found.front());
}
inline QPersistentModelIndex Top(TFrmMain& w, int row) { return Model(w)->index(row, 0); }
inline QString Text(const QModelIndex& index) { return index.data().toString(); }
inline std::optional<TOutlineData> Record(TFrmMain& w, const QModelIndex& index) {
    return index.isValid() ? Model(w)->Node(index)->data : std::nullopt;
}
inline bool IsSelected(TFrmMain& w, const QModelIndex& index) {
    return Tree(w)->selectionModel()->isSelected(index);
}

// A window whose Corvane.ini is in a temporary directory, with every modal box
// answered by the test (unanswered ones take their default button).
class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override { window_.reset(); }

    TFrmMain& Open(const QStringList& arguments = {}) {
        window_ = std::make_unique<TFrmMain>(SettingsFile(), dialogs_, arguments);
        window_->show();
        window_->activateWindow();
        QApplication::processEvents();
        return *window_;
    }

    // The window's Corvane.ini.
    std::string SettingsFile() const { return dir_.filePath("Corvane.ini").toStdString(); }

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
    static std::string Shape(const QTreeView* tree) {
        const QAbstractItemModel* model = tree->model();
        std::string out;
        std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
            for (int row = 0; row < model->rowCount(parent); ++row) {
                const QModelIndex node = model->index(row, 0, parent);
                out += std::string(static_cast<size_t>(depth) * 2, ' ') + node.data().toString().toStdString() + "\n";
                walk(node, depth + 1);
            }
        };
        walk(QModelIndex(), 0);
        return out;
    }

    QTemporaryDir dir_;
    DialogHooks dialogs_{DialogHooks::Unanswered::TakeDefault};
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
