// The two programs meet only in feedlist.xml: Corvane opens the file Quillo
// reads (as the tray's editor item starts it), a feed is added and saved, and
// Quillo then serves that feed's item to a real POP3 client (Python poplib).
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QThread>

#include "../editor/ui/UiTestSupport.h"
#include "LoopbackPort.h"

namespace {

// Fetches every message with poplib; prints STAT's count, then the messages.
const char* const kPoplibScript = R"PY(
import poplib, sys
port = int(sys.argv[1])
c = poplib.POP3("127.0.0.1", port, timeout=60)
print(c.getwelcome().decode())
c.user("me")
c.pass_("x")
count, size = c.stat()
print("COUNT", count)
for i in range(1, count + 1):
    print(b"\n".join(c.retr(i)[1]).decode("ascii", "replace"))
c.quit()
)PY";

class CorvaneEditsQuilloFeedlist : public FrmMainTest {};

TEST_F(CorvaneEditsQuilloFeedlist, AFeedAddedAndSavedInCorvaneIsServedByQuillo) {
    EditorHttpServer feeds;
    ASSERT_NE(feeds.Port(), 0);

    // Quillo's application directory, with its own copy of the gateway.
    QTemporaryDir app;
    ASSERT_TRUE(app.isValid());
    const QString quillo = app.filePath("Quillo");
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLO_BIN_DIR "/Quillo"), quillo));
    const int port = FreeLoopbackPort();
    QFile settings(app.filePath("Quillo.xml"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quillo><settings>"
                                  "<port>%1</port><disable-messagebox>true</disable-messagebox>"
                                  "<disable-trayicon>true</disable-trayicon></settings></quillo>\n")
                       .arg(port).toUtf8());
    settings.close();
    const QString feedlist = app.filePath("feedlist.xml");
    QFile list(feedlist);
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"1.0\"><head><title>feeds</title></head><body>\n"
               "<outline text=\"Quiet\" type=\"rss\" xmlUrl=\"" + feeds.Url("/feed/no-description.xml").toUtf8() + "\"/>\n"
               "</body></opml>\n");
    list.close();

    // Edit in Corvane: a new item after the existing one, then Save.
    TFrmMain& w = Open({feedlist});
    ASSERT_EQ(w.DocumentFileName(), feedlist);
    Tree(w)->setFocus();
    QApplication::processEvents();
    Act(w, "ActAddItem")->trigger();
    ASSERT_EQ(TopCount(w), 2);
    Box(w, "EdtRssTitle")->setText("ループバック日記");
    Box(w, "EdtRssUrl")->setText(feeds.Url("/feed/rss2.xml"));
    Act(w, "ActSaveOpmlFile")->trigger();
    ASSERT_FALSE(w.Modified()) << dialogs_.TakeShownMessages().join("|").toStdString();

    // Quillo reads the saved list at the next connection.
    QProcess gateway;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    gateway.setProcessEnvironment(env);
    gateway.setWorkingDirectory("/");
    gateway.start(quillo, {});
    ASSERT_TRUE(gateway.waitForStarted(10000));
    // Wait until it listens without connecting (a connection is a mail check).
    bool listening = false;
    for (int i = 0; i < 200 && !listening; ++i) {
        QFile tcp("/proc/net/tcp");
        if (tcp.open(QIODevice::ReadOnly)) {
            const QByteArray wanted = QStringLiteral(":%1 ").arg(port, 4, 16, QChar('0')).toUpper().toLatin1();
            for (const QByteArray& line : tcp.readAll().split('\n')) {
                if (line.contains(wanted) && line.split(' ').contains("0A")) listening = true;
            }
        }
        if (!listening) QThread::msleep(50);
    }
    ASSERT_TRUE(listening) << gateway.readAllStandardError().toStdString();

    QProcess client;
    client.start("python3", {"-c", kPoplibScript, QString::number(port)});
    ASSERT_TRUE(client.waitForFinished(120000));
    const QString out = QString::fromUtf8(client.readAllStandardOutput());
    gateway.terminate();
    if (!gateway.waitForFinished(15000)) gateway.kill();
    gateway.waitForFinished(5000);

    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("+OK QUILLO WELCOME")) << out.toStdString();
    EXPECT_TRUE(out.contains("COUNT 1")) << out.toStdString();
    EXPECT_TRUE(out.contains("http://127.0.0.1/diary/1")) << out.toStdString();
}

}  // namespace
