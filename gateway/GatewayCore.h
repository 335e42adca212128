#pragma once

#include "gateway/Protocol.h"

#include "student/AnswerPanel.h"
#include "student/Module1.h"

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace gateway {

// Limits that keep one browser or one address from flooding the gateway.
inline constexpr int kMessageWindowMs = 1000;
inline constexpr int kMaxMessagesPerWindow = 40;
inline constexpr int kCodeWindowMs = 60'000;
inline constexpr int kMaxWrongCodesPerWindow = 5;
// A change to a watched command file is read once no other change has come
// for kQuietMs, and at the latest kBurstLimitMs after the first.
inline constexpr int kQuietMs = 10;
inline constexpr int kBurstLimitMs = 50;

// Stands in for one pupil's program per signed-in browser: every seat a
// browser holds has its own student::Module1 and student::AnswerPanel, signed
// in through student::signIn, polled like the pupil's program polls and
// answered through the panel's own click. The browsers' connections are
// known only as numbers; what goes to them and the order to drop one leave
// through the sink, so the logic runs without a network in tests.
class GatewayCore : public QObject
{
    Q_OBJECT

public:
    struct Sink
    {
        std::function<void(quint64 client, const QByteArray &message)> send;
        std::function<void(quint64 client)> disconnect;
    };
    using Clock = std::function<qint64()>;

    explicit GatewayCore(QString lessonCode, QObject *parent = nullptr);
    ~GatewayCore() override;

    // A fresh four-digit code, 1000 to 9999.
    static QString newLessonCode();

    void setSink(Sink sink) { m_sink = std::move(sink); }
    // Milliseconds of a steady clock; tests step it by hand.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    const QString &lessonCode() const { return m_lessonCode; }

    // Starts and stops the 500 ms poll and the watch on the seats' files.
    void start();
    // Polls every held seat a last time (a closing lesson's mode 0 reaches
    // the pages as the end) and stops polling.
    void stop();

    void clientConnected(quint64 client, const QString &address);
    void clientDisconnected(quint64 client);
    void handleMessage(quint64 client, QByteArrayView text);

    // Reads every held seat's command file and pushes changed views.
    void pollAll();

    // Seats held by a browser, connected or not.
    int signedInCount() const { return int(m_seats.size()); }
    // Seats whose browser is connected right now.
    int connectedCount() const;
    bool holdsSeat(int seat) const { return m_seats.count(seat) != 0; }

signals:
    // The number of seats held or connected changed.
    void countsChanged();

private:
    struct Seat
    {
        student::Module1 module;
        std::unique_ptr<student::AnswerPanel> panel;
        QByteArray token;
        std::optional<quint64> client;
        // Goes up whenever the question or the buttons change; an answer
        // names the version it was given on.
        qint64 version = 0;
        QByteArray shownContent;
        QByteArray lastSent;
    };
    struct Client
    {
        QString address;
        std::optional<int> seat;
        qint64 windowStart = 0;
        int messages = 0;
    };
    struct CodeAttempts
    {
        qint64 windowStart = 0;
        int wrong = 0;
    };

    void send(quint64 client, const QByteArray &message);
    void refuse(quint64 client, const QString &reason, const QString &text);
    bool withinRate(quint64 client, Client &state);
    void signIn(quint64 client, Client &state, const BrowserMessage &message);
    void resume(quint64 client, Client &state, const BrowserMessage &message);
    void answer(quint64 client, Client &state, const BrowserMessage &message);
    void attach(quint64 client, Client &state, int seat, Seat &held);
    void releaseSeatOf(Client &state);
    // Polls one seat; false when the seat has ended (mode 0) and is gone.
    bool pollSeat(int seat);
    void pushView(Seat &held, bool force = false);
    void endSeat(int seat);
    void updateWatch();
    void schedulePoll();
    qint64 now() const;

    QString m_lessonCode;
    Sink m_sink;
    Clock m_clock;
    std::map<int, std::unique_ptr<Seat>> m_seats;
    QHash<quint64, Client> m_clients;
    QHash<QString, CodeAttempts> m_codeAttempts;
    QTimer m_pollTimer;
    QTimer m_soonTimer;
    qint64 m_burstStart = 0;
    QFileSystemWatcher m_watcher;
    int m_lastSignedIn = 0;
    int m_lastConnected = 0;
};

// Texts the pages show for each refusal; also used by the tests.
QString wrongCodeMessage();
QString seatHeldMessage();

} // namespace gateway
