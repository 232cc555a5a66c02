#include "EditorHttpServer.h"

EditorHttpServer::EditorHttpServer() {
    process_.setProgram(QStringLiteral("python3"));
    process_.setArguments({QStringLiteral(QUILLO_TEST_SUPPORT "/editor_http_server.py"),
                           QStringLiteral("--data"), QStringLiteral(QUILLO_TEST_DATA)});
    process_.start();
    if (!process_.waitForStarted(10000)) return;
    // The server prints "PORT <n>" once it listens.
    while (process_.waitForReadyRead(10000)) {
        const QByteArray line = process_.readLine().trimmed();
        if (line.startsWith("PORT ")) {
            port_ = line.mid(5).toInt();
            break;
        }
    }
}

EditorHttpServer::~EditorHttpServer() {
    process_.kill();
    process_.waitForFinished(5000);
}
