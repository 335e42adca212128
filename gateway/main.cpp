// ombra-gateway: the web gateway on its own, for a PC that reaches the
// classroom folder but is not the teacher's. Run it in the classroom folder,
// like the two programs; it serves until it is stopped (Ctrl+C). What the
// teacher's window shows it prints, and the teacher answers a request to take
// a seat over by typing "許可 n" or "断る n" (also "y n" and "n n"), and frees
// a seat by typing "空ける n". Full-width digits and blanks, as a Japanese
// input method types them, are read as their plain forms.
#include "gateway/Console.h"
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
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;
using gateway::ConsoleCommand;
using gateway::readConsoleCommand;

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
    const QCommandLineOption codeOption(u"code"_s, u"授業コード（６けた、既定は乱数）"_s,
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
        static const QRegularExpression digits(u"^[0-9]{%1}$"_s.arg(gateway::kCodeDigits));
        if (!digits.match(code).hasMatch()) {
            err << u"授業コードは６けたの数字にしてください: %1"_s.arg(code) << Qt::endl;
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
    gateway::GatewayCore &core = server.core();
    out << u"アドレス: %1"_s.arg(server.address()) << Qt::endl;
    out << u"QRコードのアドレス: %1"_s.arg(server.keyAddress()) << Qt::endl;
    out << u"授業コード: %1"_s.arg(core.lessonCode()) << Qt::endl;
    int signedIn = 0;
    int wrongCodes = 0;
    std::set<int> told;
    QObject::connect(&server, &gateway::GatewayServer::changed, &app, [&] {
        if (core.signedInCount() != signedIn) {
            signedIn = core.signedInCount();
            out << u"ログオン中のブラウザ: %1"_s.arg(signedIn) << Qt::endl;
        }
        if (core.wrongCodeCount() != wrongCodes) {
            wrongCodes = core.wrongCodeCount();
            out << u"まちがった授業コード: %1 回"_s.arg(wrongCodes) << Qt::endl;
        }
        // Each request once: a page asking again for the same seat keeps its
        // number and is not printed again.
        for (const gateway::GatewayCore::TakeOverRequest &request : core.requests()) {
            if (told.insert(request.id).second) {
                const QString what =
                    request.move ? u"%1 番から %2 番へ移りたい"_s.arg(request.ownSeat).arg(request.seat)
                    : request.ownSeat != 0
                        ? u"%1 番も使いたい、すでに %2 番を使用"_s.arg(request.seat).arg(request.ownSeat)
                        : u"%1 番"_s.arg(request.seat);
                out << u"引き継ぎの申し出 %1: %2（%3）。許可するには「許可 %1」、"
                       u"断るには「断る %1」と入力してください。"_s.arg(request.id)
                           .arg(what, request.address)
                    << Qt::endl;
            }
        }
    });
    // The teacher's answers, a line each; the thread ends with the input.
    std::thread([&app, &core, &out] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const std::optional<ConsoleCommand> command =
                readConsoleCommand(QString::fromStdString(line));
            QMetaObject::invokeMethod(
                &app,
                [&core, &out, command] {
                    if (!command) {
                        out << u"「許可 3」「断る 3」「空ける 5」のように、言葉と番号を入力して"
                               u"ください。"_s
                            << Qt::endl;
                        return;
                    }
                    switch (command->verb) {
                    case ConsoleCommand::Verb::Approve:
                    case ConsoleCommand::Verb::Deny:
                        if (!(command->verb == ConsoleCommand::Verb::Approve
                                  ? core.approve(command->number)
                                  : core.deny(command->number)))
                            out << u"申し出 %1 はもうありません。"_s.arg(command->number)
                                << Qt::endl;
                        break;
                    case ConsoleCommand::Verb::Release:
                        if (core.releaseSeat(command->number))
                            out << u"出席番号 %1 を空けました。"_s.arg(command->number) << Qt::endl;
                        else
                            out << u"出席番号 %1 はタブレットで使われていません。"_s.arg(
                                       command->number)
                                << Qt::endl;
                        break;
                    }
                },
                Qt::QueuedConnection);
        }
    }).detach();

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
