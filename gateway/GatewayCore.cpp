#include "GatewayCore.h"

#include "exchange/ExchangeFiles.h"
#include "student/SignIn.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace gateway {
namespace {

QByteArray toJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray newToken()
{
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / int(sizeof(quint32)));
    return bytes.toHex();
}

// The question and the buttons, without the version and the notice.
QJsonObject contentOf(const student::PanelView &view)
{
    QJsonArray buttons;
    for (const student::AnswerButtonView &button : view.buttons)
        buttons.append(QJsonObject{{u"label"_s, button.caption}, {u"shown"_s, button.visible}});
    return QJsonObject{{u"question"_s, view.question}, {u"buttons"_s, buttons}};
}

} // namespace

QString wrongCodeMessage()
{
    return u"授業コードが違います。先生の画面に出ている４けたの数字を入れてください。"_s;
}

QString seatHeldMessage()
{
    return u"この出席番号は、ほかのタブレットで使われています。"
           u"自分の番号なら、授業コードを入れて「引き継ぐ」を押してください。"_s;
}

GatewayCore::GatewayCore(QString lessonCode, QObject *parent)
    : QObject(parent), m_lessonCode(std::move(lessonCode))
{
    static QElapsedTimer steady;
    if (!steady.isValid())
        steady.start();
    m_clock = [] { return steady.elapsed(); };

    m_pollTimer.setInterval(student::kPollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &GatewayCore::pollAll);
    // Changes come in bursts (51 files per publication, each cut to nothing
    // and written again): one poll for all, once the burst has gone quiet,
    // so that the pages are not shown a half-written file in between.
    m_soonTimer.setSingleShot(true);
    connect(&m_soonTimer, &QTimer::timeout, this, &GatewayCore::pollAll);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &GatewayCore::schedulePoll);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &GatewayCore::schedulePoll);
}

GatewayCore::~GatewayCore() = default;

QString GatewayCore::newLessonCode()
{
    return QString::number(QRandomGenerator::system()->bounded(1000, 10000));
}

qint64 GatewayCore::now() const
{
    return m_clock();
}

void GatewayCore::start()
{
    m_pollTimer.start();
    updateWatch();
}

void GatewayCore::stop()
{
    pollAll();
    m_pollTimer.stop();
    m_soonTimer.stop();
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
}

int GatewayCore::connectedCount() const
{
    int count = 0;
    for (const auto &[seat, held] : m_seats) {
        if (held->client)
            ++count;
    }
    return count;
}

void GatewayCore::send(quint64 client, const QByteArray &message)
{
    if (m_sink.send)
        m_sink.send(client, message);
}

void GatewayCore::refuse(quint64 client, const QString &reason, const QString &text)
{
    send(client, toJson({{u"type"_s, u"refused"_s},
                         {u"reason"_s, reason},
                         {u"title"_s, student::signInMessageTitle()},
                         {u"message"_s, text}}));
}

void GatewayCore::clientConnected(quint64 client, const QString &address)
{
    Client state;
    state.address = address;
    state.windowStart = now();
    m_clients.insert(client, state);
}

void GatewayCore::clientDisconnected(quint64 client)
{
    const auto found = m_clients.constFind(client);
    if (found == m_clients.constEnd())
        return;
    // The seat stays held for the page to come back with its token.
    if (found->seat) {
        const auto seat = m_seats.find(*found->seat);
        if (seat != m_seats.end() && seat->second->client == client)
            seat->second->client.reset();
    }
    m_clients.erase(found);
    updateWatch();
}

bool GatewayCore::withinRate(quint64 client, Client &state)
{
    const qint64 at = now();
    if (at - state.windowStart >= kMessageWindowMs) {
        state.windowStart = at;
        state.messages = 0;
    }
    ++state.messages;
    if (state.messages <= kMaxMessagesPerWindow)
        return true;
    refuse(client, u"rate"_s,
           u"送信が多すぎます。しばらく待ってから、ページを開き直してください。"_s);
    if (m_sink.disconnect)
        m_sink.disconnect(client);
    return false;
}

void GatewayCore::handleMessage(quint64 client, QByteArrayView text)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end())
        return;
    if (!withinRate(client, *found))
        return;
    const std::optional<BrowserMessage> message = parseBrowserMessage(text);
    if (!message) {
        refuse(client, u"malformed"_s,
               u"ページからのデータを読めませんでした。ページを開き直してください。"_s);
        return;
    }
    switch (message->type) {
    case BrowserMessage::Type::SignIn:
        signIn(client, *found, *message);
        break;
    case BrowserMessage::Type::Resume:
        resume(client, *found, *message);
        break;
    case BrowserMessage::Type::Answer:
        answer(client, *found, *message);
        break;
    }
    updateWatch();
}

void GatewayCore::signIn(quint64 client, Client &state, const BrowserMessage &message)
{
    CodeAttempts &attempts = m_codeAttempts[state.address];
    const qint64 at = now();
    if (at - attempts.windowStart >= kCodeWindowMs) {
        attempts.windowStart = at;
        attempts.wrong = 0;
    }
    if (attempts.wrong >= kMaxWrongCodesPerWindow) {
        refuse(client, u"busy"_s,
               u"授業コードのまちがいが続きました。１分ほど待ってから、もう一度入れてください。"_s);
        return;
    }
    if (message.code.trimmed() != m_lessonCode) {
        ++attempts.wrong;
        refuse(client, u"code"_s, wrongCodeMessage());
        return;
    }

    // The seat is checked exactly as the pupil's program checks it.
    const std::optional<int> seat = student::seatFromEntry(message.seat);
    if (!seat) {
        refuse(client, u"seat"_s, student::invalidEntryMessage());
        return;
    }

    const auto held = m_seats.find(*seat);
    if (held != m_seats.end() && held->second->client != client) {
        if (!message.takeover) {
            send(client, toJson({{u"type"_s, u"held"_s},
                                 {u"seat"_s, *seat},
                                 {u"message"_s, seatHeldMessage()}}));
            return;
        }
        // Taken over with the lesson code: the seat goes on as it was (its
        // answer and any lock stay), only its browser changes.
        Seat &taken = *held->second;
        if (taken.client) {
            send(*taken.client,
                 toJson(
                     {{u"type"_s, u"takenover"_s},
                      {u"message"_s, u"この出席番号は、ほかのタブレットに引き継がれました。"_s}}));
            const auto previous = m_clients.find(*taken.client);
            if (previous != m_clients.end())
                previous->seat.reset();
            taken.client.reset();
        }
        releaseSeatOf(state);
        taken.token = newToken();
        attach(client, state, *seat, taken);
        return;
    }
    if (held != m_seats.end()) { // this browser signs in again at its own seat
        attach(client, state, *seat, *held->second);
        return;
    }

    auto fresh = std::make_unique<Seat>();
    const student::SignInResult result = student::signIn(fresh->module, message.seat);
    if (result.status != student::SignInResult::Status::Accepted) {
        refuse(client,
               result.status == student::SignInResult::Status::InvalidEntry ? u"seat"_s
                                                                            : u"write"_s,
               result.message);
        return;
    }
    releaseSeatOf(state);
    fresh->panel = std::make_unique<student::AnswerPanel>(fresh->module);
    fresh->token = newToken();
    Seat &added = *m_seats.emplace(*seat, std::move(fresh)).first->second;
    attach(client, state, *seat, added);
}

void GatewayCore::attach(quint64 client, Client &state, int seat, Seat &held)
{
    state.seat = seat;
    held.client = client;
    send(client, toJson({{u"type"_s, u"signedin"_s},
                         {u"seat"_s, seat},
                         {u"token"_s, QString::fromLatin1(held.token)}}));
    held.lastSent.clear();
    // The pupil's program polls as its window opens; so does the page.
    if (pollSeat(seat))
        pushView(held, true);
    emit countsChanged();
}

void GatewayCore::releaseSeatOf(Client &state)
{
    if (!state.seat)
        return;
    const int seat = *state.seat;
    state.seat.reset();
    m_seats.erase(seat);
    emit countsChanged();
}

void GatewayCore::resume(quint64 client, Client &state, const BrowserMessage &message)
{
    for (auto &[seat, held] : m_seats) {
        if (QString::fromLatin1(held->token) != message.token)
            continue;
        if (held->client && *held->client != client) {
            // The same page on a connection that died unnoticed.
            const quint64 stale = *held->client;
            const auto previous = m_clients.find(stale);
            if (previous != m_clients.end())
                previous->seat.reset();
            held->client.reset();
            if (m_sink.disconnect)
                m_sink.disconnect(stale);
        }
        if (state.seat && *state.seat != seat)
            releaseSeatOf(state);
        attach(client, state, seat, *held);
        return;
    }
    send(client, toJson({{u"type"_s, u"expired"_s}}));
}

void GatewayCore::answer(quint64 client, Client &state, const BrowserMessage &message)
{
    if (!state.seat) {
        refuse(client, u"notsigned"_s, u"出席番号を入れてログオンしてください。"_s);
        return;
    }
    const int seat = *state.seat;
    Seat &held = *m_seats.at(seat);
    if (message.version != held.version) {
        // Given on a question that has been replaced since (a page that was
        // offline): like the pupil's program, the answer is not written.
        send(client,
             toJson({{u"type"_s, u"dropped"_s},
                     {u"index"_s, message.index},
                     {u"message"_s, u"回答 %1 を送る前に、先生の画面が切り替わりました。"
                                    u"この回答は届いていません。"_s.arg(message.index + 1)}}));
        pushView(held, true);
        return;
    }
    if (!held.panel->view().buttons[message.index].visible) {
        // A button the pupil's program would not show cannot be pressed.
        refuse(client, u"closed"_s, u"いまは答えられません。"_s);
        pushView(held, true);
        return;
    }
    if (!held.panel->Command1_Click(message.index)) {
        // The teacher's program published meanwhile: show the new question.
        if (pollSeat(seat))
            pushView(held, true);
        return;
    }
    send(client, toJson({{u"type"_s, u"accepted"_s}, {u"index"_s, message.index}}));
    pushView(held, true);
}

void GatewayCore::pollAll()
{
    std::vector<int> seats;
    seats.reserve(m_seats.size());
    for (const auto &[seat, held] : m_seats)
        seats.push_back(seat);
    bool ended = false;
    for (const int seat : seats) {
        if (pollSeat(seat))
            pushView(*m_seats.at(seat));
        else
            ended = true;
    }
    if (ended)
        updateWatch();
}

bool GatewayCore::pollSeat(int seat)
{
    Seat &held = *m_seats.at(seat);
    if (held.panel->PollCommandFile() == student::AnswerPanel::PollResult::EndProgram) {
        endSeat(seat);
        return false;
    }
    return true;
}

void GatewayCore::endSeat(int seat)
{
    const auto found = m_seats.find(seat);
    if (found->second->client) {
        const quint64 client = *found->second->client;
        send(client, toJson({{u"type"_s, u"end"_s}}));
        const auto state = m_clients.find(client);
        if (state != m_clients.end())
            state->seat.reset();
    }
    m_seats.erase(found);
    emit countsChanged();
}

void GatewayCore::pushView(Seat &held, bool force)
{
    const QJsonObject content = contentOf(held.panel->view());
    const QByteArray contentBytes = toJson(content);
    if (contentBytes != held.shownContent) {
        held.shownContent = contentBytes;
        ++held.version;
    }
    QJsonObject view = content;
    view.insert(u"type"_s, u"view"_s);
    view.insert(u"version"_s, held.version);
    view.insert(u"notice"_s, held.panel->notice());
    const QByteArray bytes = toJson(view);
    if (!held.client || (!force && bytes == held.lastSent))
        return;
    held.lastSent = bytes;
    send(*held.client, bytes);
}

void GatewayCore::schedulePoll()
{
    if (m_pollTimer.isActive()) {
        const qint64 at = now();
        if (!m_soonTimer.isActive())
            m_burstStart = at;
        const qint64 left = kBurstLimitMs - (at - m_burstStart);
        m_soonTimer.start(int(std::clamp<qint64>(left, 0, kQuietMs)));
    }
    // A rewritten file may have been replaced; watch it again.
    updateWatch();
}

void GatewayCore::updateWatch()
{
    if (!m_pollTimer.isActive())
        return;
    QStringList wanted;
    bool missing = false;
    for (const auto &[seat, held] : m_seats) {
        const QString path = QDir::current().filePath(held->module.CommandFilePath);
        if (QFileInfo::exists(path))
            wanted << path;
        else
            missing = true;
    }
    // The folder only while a seat's command file is yet to be created: it
    // also changes with every answer written, which needs no poll.
    const QString folder = QDir::current().filePath(exchange::kDataFolder.toString());
    if (missing && QFileInfo(folder).isDir())
        wanted << folder;
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    QStringList gone;
    for (const QString &path : watched) {
        if (!wanted.contains(path))
            gone << path;
    }
    if (!gone.isEmpty())
        m_watcher.removePaths(gone);
    QStringList added;
    for (const QString &path : wanted) {
        if (!watched.contains(path))
            added << path;
    }
    if (!added.isEmpty())
        m_watcher.addPaths(added);

    const int signedIn = signedInCount();
    const int connected = connectedCount();
    if (signedIn != m_lastSignedIn || connected != m_lastConnected) {
        m_lastSignedIn = signedIn;
        m_lastConnected = connected;
        emit countsChanged();
    }
}

} // namespace gateway
