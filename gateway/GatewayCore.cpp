#include "GatewayCore.h"

#include "student/SeatSession.h"
#include "student/SignIn.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace gateway {

// One seat a browser holds: the pupil's program's state and session, and
// what the gateway keeps for the page.
struct GatewayCore::Seat : QObject
{
    explicit Seat(QObject *parent)
        : QObject(parent), session(module, student::SeatSession::Watch::ByCaller, this)
    {
    }

    student::Module1 module;
    student::SeatSession session;
    QByteArray token;
    std::optional<quint64> client;
    // Goes up whenever the question or the buttons change; an answer names
    // the version it was given on.
    qint64 version = 0;
    QByteArray shownContent;
    // The view of the last whole read of the command file, and what the
    // page was last sent.
    QByteArray view;
    QByteArray lastSent;
};

namespace {

constexpr int kFirstAddressDelayMs = 1000;

QByteArray toJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          count / int(sizeof(quint32)));
    return bytes;
}

// Compares in time that does not depend on where the texts differ.
bool sameText(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    char16_t difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= a[i].unicode() ^ b[i].unicode();
    return difference == 0;
}

// The question and the buttons, without the version and the notice.
QJsonObject contentOf(const student::PanelView &view)
{
    QJsonArray buttons;
    for (const student::AnswerButtonView &button : view.buttons)
        buttons.append(QJsonObject{{u"label"_s, button.caption}, {u"shown"_s, button.visible}});
    return QJsonObject{{u"question"_s, view.question}, {u"buttons"_s, buttons}};
}

QByteArray messageOf(const QString &type, const QString &text)
{
    return toJson({{u"type"_s, type}, {u"message"_s, text}});
}

} // namespace

QString wrongCodeMessage()
{
    return u"授業コードが違います。先生の画面に出ている６けたの数字を入れてください。"_s;
}

QString seatHeldMessage()
{
    return u"この出席番号は、ほかのタブレットで使われています。"
           u"自分の番号なら「引き継ぐ」を押して、先生に許可してもらってください。"_s;
}

GatewayCore::GatewayCore(QString lessonCode, QString lessonKey, QObject *parent)
    : QObject(parent), m_lessonCode(std::move(lessonCode)), m_lessonKey(std::move(lessonKey)),
      m_watch(student::SeatSession::kSettleMs, student::SeatSession::kMinGapMs)
{
    static QElapsedTimer steady;
    if (!steady.isValid())
        steady.start();
    setClock([] { return steady.elapsed(); });

    connect(&m_watch, &exchange::ChangeWatch::changed, this, [this] {
        std::vector<Seat *> seats;
        for (const auto &[number, held] : m_seats)
            seats.push_back(held);
        for (Seat *held : seats)
            held->session.commandFileChanged();
    });
    m_sweepTimer.setInterval(kSweepMs);
    connect(&m_sweepTimer, &QTimer::timeout, this, &GatewayCore::sweep);
}

GatewayCore::~GatewayCore() = default;

QString GatewayCore::newLessonCode()
{
    int limit = 1;
    for (int i = 0; i < kCodeDigits; ++i)
        limit *= 10;
    return QString::number(QRandomGenerator::system()->bounded(limit))
        .rightJustified(kCodeDigits, u'0');
}

QString GatewayCore::newLessonKey()
{
    return QString::fromLatin1(
        randomBytes(16).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

void GatewayCore::setClock(Clock clock)
{
    m_clock = std::move(clock);
    // The budget starts full.
    m_codeBudgetFrom = now() - qint64(kCodeBudget) * kCodeRefillMs;
}

qint64 GatewayCore::now() const
{
    return m_clock();
}

void GatewayCore::start()
{
    m_started = true;
    for (const auto &[number, held] : m_seats)
        held->session.start();
    updateWatch();
    m_sweepTimer.start();
}

void GatewayCore::stop()
{
    pollAll();
    for (const auto &[number, held] : m_seats)
        held->session.stop();
    m_started = false;
    m_watch.watch({});
    m_sweepTimer.stop();
}

int GatewayCore::connectedCount() const
{
    return int(std::count_if(m_seats.begin(), m_seats.end(),
                             [](const auto &entry) { return entry.second->client.has_value(); }));
}

QList<GatewayCore::HeldSeat> GatewayCore::heldSeats() const
{
    QList<HeldSeat> seats;
    for (const auto &[number, held] : m_seats)
        seats.append({number, held->client.has_value()});
    return seats;
}

QList<GatewayCore::TakeOverRequest> GatewayCore::requests() const
{
    QList<TakeOverRequest> list;
    for (const auto &[id, request] : m_requests)
        list.append({id, request.seat});
    return list;
}

bool GatewayCore::isSignedIn(quint64 client) const
{
    const auto found = m_clients.constFind(client);
    return found != m_clients.constEnd() && (found->seat || found->request);
}

void GatewayCore::send(quint64 client, const QByteArray &message)
{
    if (m_sink.send)
        m_sink.send(client, message);
}

QByteArray GatewayCore::refusal(const QString &reason, const QString &text)
{
    return toJson({{u"type"_s, u"refused"_s},
                   {u"reason"_s, reason},
                   {u"title"_s, student::signInMessageTitle()},
                   {u"message"_s, text}});
}

void GatewayCore::refuse(quint64 client, const QString &reason, const QString &text)
{
    send(client, refusal(reason, text));
}

void GatewayCore::drop(quint64 client)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end() || found->dropped)
        return;
    found->dropped = true;
    if (m_sink.disconnect)
        m_sink.disconnect(client);
}

void GatewayCore::clientConnected(quint64 client, const QString &address)
{
    Client state;
    state.address = address;
    state.idleSince = now();
    m_clients.insert(client, state);
}

void GatewayCore::clientDisconnected(quint64 client)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end())
        return;
    // The seat stays held for the page to come back with its token.
    if (found->seat) {
        const auto seat = m_seats.find(*found->seat);
        if (seat != m_seats.end() && seat->second->client == client)
            seat->second->client.reset();
    }
    dropRequestOf(*found);
    m_clients.erase(found);
    emit changed();
}

bool GatewayCore::withinRate(quint64 client, const Client &state)
{
    const qint64 at = now();
    RateWindow &window = m_rates[state.address];
    if (at - window.start >= kMessageWindowMs) {
        window.start = at;
        window.count = 0;
    }
    if (++window.count <= kMaxMessagesPerWindow)
        return true;
    refuse(client, u"rate"_s,
           u"送信が多すぎます。しばらく待ってから、ページを開き直してください。"_s);
    drop(client);
    return false;
}

void GatewayCore::controlFrame(quint64 client)
{
    const auto found = m_clients.constFind(client);
    if (found != m_clients.constEnd() && !found->dropped)
        withinRate(client, *found);
}

void GatewayCore::handleMessage(quint64 client, QByteArrayView text)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end() || found->dropped)
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
    case BrowserMessage::Type::Release:
        release(client, *found);
        break;
    }
}

qint64 GatewayCore::codeWaitMs() const
{
    const qint64 at = now();
    const qint64 saved = at - std::max(m_codeBudgetFrom, at - qint64(kCodeBudget) * kCodeRefillMs);
    return std::max<qint64>(0, kCodeRefillMs - saved);
}

bool GatewayCore::admitted(quint64 client, const Client &state, const BrowserMessage &message)
{
    if (!message.key.isEmpty()) {
        if (sameText(message.key, m_lessonKey))
            return true;
        refuse(client, u"key"_s,
               u"このQRコードは使えません。先生の画面のQRコードを読み取り直してください。"_s);
        return false;
    }

    const qint64 at = now();
    qint64 wait = codeWaitMs();
    const auto attempts = m_codeAttempts.constFind(state.address);
    if (attempts != m_codeAttempts.constEnd() && attempts->wrong >= kFreeWrongCodes) {
        const int doublings = std::min(attempts->wrong - kFreeWrongCodes, 16);
        const qint64 delay =
            std::min<qint64>(qint64(kFirstAddressDelayMs) << doublings, kMaxAddressDelayMs);
        wait = std::max(wait, attempts->lastWrong + delay - at);
    }
    if (wait > 0) {
        // Not judged at all, so that a try made now tells nothing.
        refuse(client, u"busy"_s,
               u"授業コードのまちがいが続いています。%1 秒ほど待ってから、もう一度入れてください。"
               u"QRコードを読み取れば、待たずに入れます。"_s.arg((wait + 999) / 1000));
        return false;
    }

    QString typed = message.code;
    typed.removeIf([](QChar c) { return c.isSpace(); });
    if (sameText(typed, m_lessonCode)) {
        m_codeAttempts.remove(state.address);
        return true;
    }
    m_codeBudgetFrom =
        std::max(m_codeBudgetFrom, at - qint64(kCodeBudget) * kCodeRefillMs) + kCodeRefillMs;
    CodeAttempts &wrong = m_codeAttempts[state.address];
    ++wrong.wrong;
    wrong.lastWrong = at;
    ++m_wrongCodes;
    refuse(client, u"code"_s, wrongCodeMessage());
    emit changed();
    return false;
}

void GatewayCore::signIn(quint64 client, Client &state, const BrowserMessage &message)
{
    if (!admitted(client, state, message))
        return;
    // The seat is checked exactly as the pupil's program checks it.
    const std::optional<int> seat = student::seatFromEntry(message.seat);
    if (!seat) {
        refuse(client, u"seat"_s, student::invalidEntryMessage());
        return;
    }

    const auto held = m_seats.find(*seat);
    if (held != m_seats.end()) {
        if (held->second->client == client) { // this page signs in again at its own seat
            attach(client, state, *seat, *held->second);
        } else if (message.takeover) {
            requestTakeOver(client, state, *seat);
        } else {
            send(client, toJson({{u"type"_s, u"held"_s},
                                 {u"seat"_s, *seat},
                                 {u"message"_s, seatHeldMessage()}}));
        }
        return;
    }

    auto *fresh = new Seat(this);
    const student::SignInResult result = student::signIn(fresh->module, message.seat);
    if (result.status != student::SignInResult::Status::Accepted) {
        delete fresh;
        refuse(client,
               result.status == student::SignInResult::Status::InvalidEntry ? u"seat"_s
                                                                            : u"write"_s,
               result.message);
        return;
    }
    fresh->token = randomBytes(16).toHex();
    connect(&fresh->session, &student::SeatSession::updated, fresh,
            [this, fresh] { pushView(*fresh); });
    connect(&fresh->session, &student::SeatSession::ended, fresh, [this, fresh] {
        const auto found = m_seats.find(fresh->module.SeatNumber);
        if (found == m_seats.end() || found->second != fresh)
            return;
        if (fresh->client)
            send(*fresh->client, toJson({{u"type"_s, u"end"_s}}));
        freeSeat(found->first);
    });
    m_seats.emplace(*seat, fresh);
    if (m_started)
        fresh->session.start();
    attach(client, state, *seat, *fresh);
    updateWatch();
}

void GatewayCore::requestTakeOver(quint64 client, Client &state, int seat)
{
    dropRequestOf(state);
    // One request per address, so that the teacher's list stays short: a
    // newer one replaces the older.
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        const auto other = m_clients.constFind(it->second.client);
        if (other == m_clients.constEnd() || other->address != state.address) {
            ++it;
            continue;
        }
        it = withdraw(it, refusal(u"denied"_s, u"同じアドレスから新しい申し出があったので、"
                                               u"この申し出は取り消しました。"_s));
    }
    const int id = m_nextRequest++;
    m_requests.emplace(id, Request{seat, client});
    state.request = id;
    send(client, toJson({{u"type"_s, u"pending"_s},
                         {u"seat"_s, seat},
                         {u"request"_s, id},
                         {u"message"_s, u"先生の許可を待っています。"
                                        u"先生に「%1 番、申し出 %2」と伝えてください。"_s.arg(seat)
                                            .arg(id)}}));
    const Seat &held = *m_seats.at(seat);
    if (held.client) {
        send(*held.client, messageOf(u"requested"_s,
                                     u"ほかのタブレットが、この出席番号の引き継ぎを申し出ています。"
                                     u"自分で使っているなら、そのまま答えてください。"_s));
    }
    emit changed();
}

bool GatewayCore::approve(int requestId)
{
    return handOver(
        requestId,
        messageOf(u"takenover"_s,
                  u"この出席番号は、先生の許可でほかのタブレットに引き継がれました。"_s));
}

bool GatewayCore::handOver(int requestId, const QByteArray &toHolder)
{
    const auto found = m_requests.find(requestId);
    if (found == m_requests.end())
        return false;
    const Request request = found->second;
    withdraw(found, {});
    const auto state = m_clients.find(request.client);
    if (state == m_clients.end())
        return false;
    const auto held = m_seats.find(request.seat);
    if (held == m_seats.end()) { // freed meanwhile: the page signs in by itself
        send(request.client, messageOf(u"seatfree"_s, QString()));
        return true;
    }
    // The seat goes on as it stands: its answer and any lock stay.
    Seat &seat = *held->second;
    if (seat.client && !toHolder.isEmpty())
        send(*seat.client, toHolder);
    detach(seat);
    seat.token = randomBytes(16).toHex();
    attach(request.client, *state, request.seat, seat);
    return true;
}

bool GatewayCore::deny(int requestId)
{
    const auto found = m_requests.find(requestId);
    if (found == m_requests.end())
        return false;
    withdraw(found, refusal(u"denied"_s, u"先生が引き継ぎを断りました。"_s));
    return true;
}

std::map<int, GatewayCore::Request>::iterator
GatewayCore::withdraw(std::map<int, Request>::iterator request, const QByteArray &toPage)
{
    const quint64 client = request->second.client;
    const auto next = m_requests.erase(request);
    const auto state = m_clients.find(client);
    if (state != m_clients.end()) {
        state->request.reset();
        state->idleSince = now();
    }
    if (!toPage.isEmpty())
        send(client, toPage);
    emit changed();
    return next;
}

void GatewayCore::dropRequestOf(Client &state)
{
    if (!state.request)
        return;
    const auto found = m_requests.find(*state.request);
    if (found != m_requests.end())
        withdraw(found, {});
    state.request.reset();
}

void GatewayCore::attach(quint64 client, Client &state, int seat, Seat &held)
{
    if (state.seat && *state.seat != seat)
        freeSeat(*state.seat); // the page's own other seat
    dropRequestOf(state);
    state.seat = seat;
    held.client = client;
    send(client, toJson({{u"type"_s, u"signedin"_s},
                         {u"seat"_s, seat},
                         {u"token"_s, QString::fromLatin1(held.token)}}));
    pushView(held, true);
    emit changed();
}

void GatewayCore::detach(Seat &held)
{
    if (!held.client)
        return;
    const auto state = m_clients.find(*held.client);
    if (state != m_clients.end()) {
        state->seat.reset();
        state->idleSince = now();
    }
    held.client.reset();
}

void GatewayCore::freeSeat(int seat)
{
    const auto found = m_seats.find(seat);
    if (found == m_seats.end())
        return;
    Seat *held = found->second;
    m_seats.erase(found);
    detach(*held);
    held->session.stop();
    // It may be the session's own signal that brought us here.
    held->deleteLater();
    // Pages waiting for this seat may now sign in to it.
    for (auto it = m_requests.begin(); it != m_requests.end();)
        it = it->second.seat == seat ? withdraw(it, messageOf(u"seatfree"_s, QString())) : ++it;
    updateWatch();
    emit changed();
}

void GatewayCore::resume(quint64 client, Client &state, const BrowserMessage &message)
{
    for (const auto &[seat, held] : m_seats) {
        if (QString::fromLatin1(held->token) != message.token)
            continue;
        if (held->client && *held->client != client) {
            // The same page on a connection that died unnoticed, or another
            // tab of the same browser: the newest goes on, the other is told
            // and stays away until asked to come back.
            const quint64 previous = *held->client;
            send(previous,
                 messageOf(u"moved"_s, u"この出席番号は、このブラウザのほかのタブ（ウィンドウ）で"
                                       u"開かれました。"_s));
            detach(*held);
            drop(previous);
        }
        attach(client, state, seat, *held);
        return;
    }
    send(client, toJson({{u"type"_s, u"expired"_s}}));
}

void GatewayCore::release(quint64 client, Client &state)
{
    if (!state.seat) {
        refuse(client, u"notsigned"_s, u"出席番号を入れてログオンしてください。"_s);
        return;
    }
    const int seat = *state.seat;
    send(client, messageOf(u"released"_s, u"出席番号 %1 を空けました。"_s.arg(seat)));
    // The page that has waited longest for the seat takes it over.
    for (const auto &[id, request] : m_requests) {
        if (request.seat == seat) {
            handOver(id, {});
            return;
        }
    }
    freeSeat(seat);
}

void GatewayCore::answer(quint64 client, Client &state, const BrowserMessage &message)
{
    if (!state.seat) {
        refuse(client, u"notsigned"_s, u"出席番号を入れてログオンしてください。"_s);
        return;
    }
    Seat &held = *m_seats.at(*state.seat);
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
    if (!held.session.panel().view().buttons[message.index].visible) {
        // A button the pupil's program would not show cannot be pressed.
        refuse(client, u"closed"_s, u"いまは答えられません。"_s);
        pushView(held, true);
        return;
    }
    // A click on a question replaced meanwhile is not written; the session
    // then polls and the page gets the new question.
    if (!held.session.click(message.index))
        return;
    send(client, toJson({{u"type"_s, u"accepted"_s}, {u"index"_s, message.index}}));
    pushView(held);
}

void GatewayCore::pollAll()
{
    std::vector<Seat *> seats;
    for (const auto &[number, held] : m_seats)
        seats.push_back(held);
    for (Seat *held : seats)
        held->session.poll();
}

void GatewayCore::pushView(Seat &held, bool force)
{
    // A command file met while it is being rewritten reads short: the page
    // keeps the view of the last whole read.
    const student::AnswerPanel &panel = held.session.panel();
    if (panel.lastReadWhole() || held.view.isEmpty()) {
        QJsonObject view = contentOf(panel.view());
        const QByteArray content = toJson(view);
        if (content != held.shownContent) {
            held.shownContent = content;
            ++held.version;
        }
        view.insert(u"type"_s, u"view"_s);
        view.insert(u"version"_s, held.version);
        view.insert(u"notice"_s, panel.notice());
        held.view = toJson(view);
    }
    if (!held.client || (!force && held.view == held.lastSent))
        return;
    held.lastSent = held.view;
    send(*held.client, held.view);
}

void GatewayCore::sweep()
{
    const qint64 at = now();
    QList<quint64> late;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        if (!it->seat && !it->request && !it->dropped && at - it->idleSince >= kSignInTimeoutMs)
            late << it.key();
    }
    for (const quint64 client : late)
        drop(client);
    m_rates.removeIf(
        [at](const auto &entry) { return at - entry.value().start >= kMessageWindowMs; });
    m_codeAttempts.removeIf(
        [at](const auto &entry) { return at - entry.value().lastWrong >= kAddressMemoryMs; });
    if ((codeWaitMs() > 0) != m_codesWait) {
        m_codesWait = !m_codesWait;
        emit changed();
    }
}

void GatewayCore::updateWatch()
{
    if (!m_started)
        return;
    QStringList files;
    for (const auto &[number, held] : m_seats)
        files << held->module.CommandFilePath;
    m_watch.watch(files);
}

} // namespace gateway
