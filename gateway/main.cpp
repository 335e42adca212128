// ombra-gateway: the web gateway on its own, for a PC that reaches the
// classroom folder but is not the teacher's. Run it in the classroom folder,
// like the two programs; it serves until it is stopped (Ctrl+C).
#include "gateway/GatewayServer.h"

#include "exchange/ExchangeFiles.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <atomic>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

std::atomic_bool stopRequested = false;

extern "C" void requestStop(int)
{
    stopRequested = true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"ombra-gateway"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"タブレットのブラウザから回答できるようにします。教室のフォルダで起動してください。"_s);
    parser.addHelpOption();
    const QCommandLineOption portOption(u"port"_s,
                                        u"待ち受けるポート（既定 %1）"_s.arg(gateway::kDefaultPort),
                                        u"port"_s, QString::number(gateway::kDefaultPort));
    const QCommandLineOption codeOption(u"code"_s, u"授業コード（４けた、既定は乱数）"_s,
                                        u"code"_s);
    parser.addOption(portOption);
    parser.addOption(codeOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        err << u"ポートの番号が正しくありません: %1"_s.arg(parser.value(portOption)) << Qt::endl;
        return 2;
    }
    QString code = gateway::GatewayCore::newLessonCode();
    if (parser.isSet(codeOption)) {
        code = parser.value(codeOption);
        static const QRegularExpression fourDigits(u"^[0-9]{4}$"_s);
        if (!fourDigits.match(code).hasMatch()) {
            err << u"授業コードは４けたの数字にしてください: %1"_s.arg(code) << Qt::endl;
            return 2;
        }
    }
    if (!QDir(exchange::kDataFolder.toString()).exists()) {
        err << u"フォルダ \"%1\" がまだありません（%2）。先生のプログラムを先に起動してください。"_s
                   .arg(exchange::kDataFolder.toString(), QDir::currentPath())
            << Qt::endl;
    }

    gateway::GatewayServer server(code);
    if (!server.start(quint16(port))) {
        err << server.errorString() << Qt::endl;
        return 1;
    }
    out << u"アドレス: %1"_s.arg(server.address()) << Qt::endl;
    out << u"授業コード: %1"_s.arg(server.core().lessonCode()) << Qt::endl;
    QObject::connect(&server, &gateway::GatewayServer::countsChanged, &app, [&] {
        out << u"ログオン中のブラウザ: %1"_s.arg(server.core().signedInCount()) << Qt::endl;
    });

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &app, [&] {
        if (stopRequested)
            app.quit();
    });
    stopCheck.start(100);

    const int status = app.exec();
    server.stop();
    return status;
}
