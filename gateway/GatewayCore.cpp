#include "GatewayCore.h"

#include "gateway/NetworkPolicy.h"

#include "student/SignIn.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace gateway {
namespace {

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          count / int(sizeof(quint32)));
    return bytes;
}

QByteArray newToken()
{
    return randomBytes(16).toHex();
}

// The question and the buttons, without the version and the notice.
QByteArray contentOf(const student::PanelView &view)
{
    QList<toPage::Button> buttons;
    for (const student::AnswerButtonView &button : view.buttons)
        buttons.append({button.caption, button.visible});
    return toPage::viewContent(view.question, buttons);
}

QString keyOf(const QString &address)
{
    QHostAddress parsed;
    return parsed.setAddress(address) ? addressKey(parsed) : address;
}

// The full address, an IPv4-mapped one as plain IPv4.
QString placeOf(const QString &address)
{
    QHostAddress parsed;
    return parsed.setAddress(address) ? plainAddress(parsed).toString() : address;
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
    : QObject(parent), m_lessonKey(std::move(lessonKey)), m_admission(std::move(lessonCode)),
      m_watch(student::SeatSession::kSettleMs, student::SeatSession::kMinGapMs)
{
    connect(&m_watch, &exchange::ChangeWatch::changed, this, [this] {
        std::vector<HeldSeatState *> seats;
        for (const auto &[number, held] : m_registry.seats())
            seats.push_back(held);
        for (HeldSeatState *held : seats)
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

void GatewayCore::start()
{
    m_started = true;
    for (const auto &[number, held] : m_registry.seats())
        held->session.start();
    updateWatch();
    m_sweepTimer.start();
}

void GatewayCore::stop()
{
    pollAll();
    for (const auto &[number, held] : m_registry.seats())
        held->session.stop();
    m_started = false;
    m_watch.watch({});
    m_sweepTimer.stop();
}

int GatewayCore::connectedCount() const
{
    const auto &seats = m_registry.seats();
    return int(std::count_if(seats.begin(), seats.end(),
                             [](const auto &entry) { return entry.second->client.has_value(); }));
}

QList<GatewayCore::HeldSeat> GatewayCore::heldSeats() const
{
    const qint64 at = now();
    QList<HeldSeat> seats;
    for (const auto &[number, held] : m_registry.seats())
        seats.append(
            {number, held->client.has_value(), held->holderAddress, at - held->lastActive});
    return seats;
}

QList<GatewayCore::TakeOverRequest> GatewayCore::requests() const
{
    const qint64 at = now();
    QList<TakeOverRequest> list;
    for (const auto &[id, request] : m_registry.requests()) {
        const auto page = m_clients.constFind(request.client);
        if (page != m_clients.constEnd() && page->seat && *page->seat != request.seat) {
            list.append({id, request.seat, request.address, at - request.filed, *page->seat, true});
            continue;
        }
        const QList<int> own = m_registry.seatsOf(request.key);
        const auto other = std::find_if(own.begin(), own.end(),
                                        [&request](int seat) { return seat != request.seat; });
        list.append({id, request.seat, request.address, at - request.filed,
                     other == own.end() ? 0 : *other, false});
    }
    return list;
}

bool GatewayCore::isSignedIn(quint64 client) const
{
    const auto found = m_clients.constFind(client);
    return found != m_clients.constEnd() && (found->seat || found->request);
}

bool GatewayCore::hasSeat(quint64 client) const
{
    const auto found = m_clients.constFind(client);
    return found != m_clients.constEnd() && found->seat.has_value();
}

void GatewayCore::send(quint64 client, const QByteArray &message)
{
    if (m_sink.send)
        m_sink.send(client, message);
}

QByteArray GatewayCore::refusal(const QString &reason, const QString &text)
{
    return toPage::refused(reason, student::signInMessageTitle(), text);
}

void GatewayCore::refuse(quint64 client, const QString &reason, const QString &text)
{
    send(client, refusal(reason, text));
}

// A tablet past its sign-ins of a minute, by a new seat or another's token.
void GatewayCore::refuseTooManySignIns(quint64 client)
{
    refuse(client, u"signins"_s,
           u"このタブレットからのログオンが多すぎます。１分ほど待ってから、"
           u"もう一度入れてください。"_s);
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
    Client &state = m_clients[client];
    state = Client{address, keyOf(address), placeOf(address), {}, {}, now(), false};
    if (m_registry.isTurnedAway(state.key)) {
        refuse(client, u"away"_s,
               u"このタブレットは、先生がこの授業では使えないようにしました。"_s);
        drop(client);
    }
}

void GatewayCore::clientDisconnected(quint64 client)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end())
        return;
    if (found->seat) {
        if (HeldSeatState *held = m_registry.seat(*found->seat); held && held->client == client) {
            held->client.reset();
            held->lastActive = now();
        }
    }
    dropRequestOf(*found);
    m_clients.erase(found);
    emit changed();
}

bool GatewayCore::withinRate(quint64 client, const Client &state)
{
    if (m_admission.allowMessage(state.key))
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
    if (found->seat) {
        if (HeldSeatState *held = m_registry.seat(*found->seat))
            held->lastActive = now();
    }
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

bool GatewayCore::admitted(quint64 client, const Client &state, const BrowserMessage &message)
{
    if (!message.key.isEmpty()) {
        if (message.key == m_lessonKey)
            return true;
        refuse(client, u"key"_s,
               u"このQRコードは使えません。先生の画面のQRコードを読み取り直してください。"_s);
        return false;
    }
    qint64 wait = 0;
    switch (m_admission.judgeCode(state.key, message.code, &wait)) {
    case Admission::CodeVerdict::Right:
        return true;
    case Admission::CodeVerdict::Wait:
        refuse(client, u"busy"_s,
               u"授業コードのまちがいが続いています。%1 秒ほど待ってから、もう一度入れてください。"
               u"QRコードを読み取れば、待たずに入れます。"_s.arg((wait + 999) / 1000));
        return false;
    case Admission::CodeVerdict::Wrong:
        refuse(client, u"code"_s, wrongCodeMessage());
        emit changed();
        return false;
    }
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

    if (HeldSeatState *held = m_registry.seat(*seat)) {
        if (held->client == client) { // this page signs in again at its own seat
            attach(client, state, *seat, *held);
        } else if (message.takeover) {
            requestSeat(client, state, *seat);
        } else {
            send(client, toPage::held(*seat, seatHeldMessage()));
        }
        return;
    }

    const QList<int> own = m_registry.seatsOf(state.key);
    if (!own.isEmpty()) {
        if (message.takeover) {
            requestSeat(client, state, *seat);
            return;
        }
        refuse(
            client, u"oneseat"_s,
            u"このタブレットは、出席番号 %1 でログオンしています。１台で使える出席番号は"
            u"１つだけです。番号を替えるときは、先に「この席を空ける」を押してください。"
            u"ほかの番号も使うときは「引き継ぐ」を押して、先生に許可してもらってください。"_s.arg(
                own.first()));
        return;
    }
    if (!m_admission.maySignIn(state.key)) {
        refuseTooManySignIns(client);
        return;
    }
    if (takeFreeSeat(client, state, *seat, message.seat))
        m_admission.countSignIn(state.key);
}

bool GatewayCore::takeFreeSeat(quint64 client, Client &state, int seat, const QString &entry)
{
    auto *fresh = new HeldSeatState(this);
    const student::SignInResult result = student::signIn(fresh->module, entry);
    if (result.status != student::SignInResult::Status::Accepted) {
        delete fresh;
        refuse(client,
               result.status == student::SignInResult::Status::InvalidEntry ? u"seat"_s
                                                                            : u"write"_s,
               result.message);
        return false;
    }
    fresh->token = newToken();
    connect(&fresh->session, &student::SeatSession::updated, fresh,
            [this, fresh] { pushView(*fresh); });
    connect(&fresh->session, &student::SeatSession::ended, fresh, [this, fresh] {
        const int number = fresh->module.SeatNumber;
        if (m_registry.seat(number) != fresh)
            return;
        if (fresh->client)
            send(*fresh->client, toPage::bare(u"end"_s));
        freeSeat(number);
    });
    m_registry.add(seat, fresh);
    if (m_started)
        fresh->session.start();
    attach(client, state, seat, *fresh);
    updateWatch();
    return true;
}

void GatewayCore::requestSeat(quint64 client, Client &state, int seat)
{
    // One request a tablet, so that the teacher's list stays short. Asked
    // again for the same seat from the same full address (a page opened
    // anew, a second tap), it stays the same request under its number, now
    // this page's; a request for another seat replaces it. Another host in
    // the same IPv6 /64 files a request of its own: the teacher's list shows
    // the address of the page that would get the seat.
    if (const SeatRegistry::Request *earlier = m_registry.requestFrom(state.place)) {
        const int id = earlier->id;
        if (earlier->seat == seat) {
            if (earlier->client != client) {
                const quint64 previous = earlier->client;
                if (auto other = m_clients.find(previous); other != m_clients.end()) {
                    other->request.reset();
                    other->idleSince = now();
                }
                refuse(previous, u"denied"_s,
                       u"この申し出は、このタブレットで新しく開いたページに移りました。"_s);
                dropRequestOf(state);
                m_registry.rebind(id, client);
                state.request = id;
            }
            send(client, toPage::pending(seat, id,
                                         u"先生の許可を待っています。"
                                         u"先生に「%1 番、申し出 %2」と伝えてください。"_s.arg(seat)
                                             .arg(id)));
            return;
        }
    }
    if (!m_admission.allowRequest(state.key)) {
        refuse(client, u"requests"_s,
               u"引き継ぎの申し出が多すぎます。１分ほど待ってから、もう一度押してください。"_s);
        return;
    }
    dropRequestOf(state);
    if (const SeatRegistry::Request *earlier = m_registry.requestFrom(state.place)) {
        withdraw(earlier->id, refusal(u"denied"_s, u"このタブレットから新しい申し出があったので、"
                                                   u"この申し出は取り消しました。"_s));
    }
    const int id = m_registry.file(seat, client, state.key, state.place, now());
    state.request = id;
    send(client, toPage::pending(seat, id,
                                 u"先生の許可を待っています。"
                                 u"先生に「%1 番、申し出 %2」と伝えてください。"_s.arg(seat)
                                     .arg(id)));
    const HeldSeatState *held = m_registry.seat(seat);
    if (held && held->client) {
        send(*held->client,
             toPage::notice(u"requested"_s,
                            u"ほかのタブレットが、この出席番号の引き継ぎを申し出ています。"
                            u"自分で使っているなら、そのまま答えてください。"_s));
    }
    emit changed();
}

bool GatewayCore::approve(int requestId)
{
    const std::optional<SeatRegistry::Request> request = m_registry.remove(requestId);
    if (!request)
        return false;
    const auto state = m_clients.find(request->client);
    if (state == m_clients.end()) {
        emit changed();
        return false;
    }
    state->request.reset();
    // A page that holds a seat moves: the seat it leaves is freed (one page,
    // one seat), and it is told so once it is in the new one.
    const int leaving = state->seat && *state->seat != request->seat ? *state->seat : 0;
    const auto tellLeft = [this, &request, leaving] {
        if (leaving == 0 || !hasSeat(request->client))
            return;
        send(request->client,
             toPage::notice(u"left"_s,
                            u"先生の許可で、出席番号 %1 から %2 に移りました。"
                            u"%1 番は空きました（%1 番の回答は残っています）。"_s.arg(leaving)
                                .arg(request->seat)));
    };
    HeldSeatState *held = m_registry.seat(request->seat);
    if (!held) {
        // A second seat for the tablet, or one freed meanwhile: the teacher
        // gives it to this page.
        takeFreeSeat(request->client, *state, request->seat, QString::number(request->seat));
        tellLeft();
        emit changed();
        return true;
    }
    // The seat goes on as it stands: its answer and any lock stay.
    if (held->client) {
        send(*held->client,
             toPage::notice(u"takenover"_s,
                            u"この出席番号は、先生の許可でほかのタブレットに引き継がれました。"_s));
    }
    detach(*held);
    held->token = newToken();
    attach(request->client, *state, request->seat, *held);
    tellLeft();
    return true;
}

bool GatewayCore::deny(int requestId)
{
    if (!m_registry.request(requestId))
        return false;
    withdraw(requestId, refusal(u"denied"_s, u"先生が引き継ぎを断りました。"_s));
    return true;
}

void GatewayCore::withdraw(int requestId, const QByteArray &toPage)
{
    const std::optional<SeatRegistry::Request> request = m_registry.remove(requestId);
    if (!request)
        return;
    const auto state = m_clients.find(request->client);
    if (state != m_clients.end()) {
        state->request.reset();
        state->idleSince = now();
    }
    if (!toPage.isEmpty())
        send(request->client, toPage);
    emit changed();
}

void GatewayCore::dropRequestOf(Client &state)
{
    if (!state.request)
        return;
    const int id = *state.request;
    state.request.reset();
    withdraw(id, {});
}

void GatewayCore::attach(quint64 client, Client &state, int seat, HeldSeatState &held)
{
    if (state.seat && *state.seat != seat)
        freeSeat(*state.seat); // the page's own other seat
    dropRequestOf(state);
    state.seat = seat;
    held.client = client;
    held.holderKey = state.key;
    held.holderAddress = state.address;
    held.lastActive = now();
    send(client, toPage::signedIn(seat, held.token));
    // The page shows no time until told.
    if (!m_timeCaption.isEmpty())
        send(client, toPage::time(m_timeCaption));
    pushView(held, true);
    emit changed();
}

void GatewayCore::detach(HeldSeatState &held)
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
    HeldSeatState *held = m_registry.take(seat);
    if (!held)
        return;
    detach(*held);
    held->session.stop();
    // It may be the session's own signal that brought us here.
    held->deleteLater();
    // Pages that asked for this seat are told; they sign in again like
    // anyone, the seat is not theirs to take.
    for (const int id : m_registry.requestsFor(seat)) {
        withdraw(id, toPage::notice(u"seatfree"_s,
                                    u"出席番号 %1 が空きました。自分の番号なら、"
                                    u"もう一度「ログオン」を押してください。"_s.arg(seat)));
    }
    updateWatch();
    emit changed();
}

bool GatewayCore::releaseSeat(int seat)
{
    HeldSeatState *held = m_registry.seat(seat);
    if (!held)
        return false;
    if (held->client) {
        send(*held->client,
             toPage::notice(u"released"_s, u"先生が出席番号 %1 を空けました。"_s.arg(seat)));
    }
    freeSeat(seat);
    return true;
}

bool GatewayCore::turnAway(int seat)
{
    const HeldSeatState *held = m_registry.seat(seat);
    if (!held)
        return false;
    turnAwayTablet(held->holderKey);
    emit changed();
    return true;
}

void GatewayCore::turnAwayTablet(const QString &key)
{
    m_registry.turnAway(key);
    // Its seats are freed; what was answered in them stays in their files.
    for (const int own : m_registry.seatsOf(key))
        freeSeat(own);
    QList<quint64> pages;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it) {
        if (it->key == key)
            pages << it.key();
    }
    for (const quint64 client : pages) {
        const auto state = m_clients.find(client);
        dropRequestOf(*state);
        refuse(client, u"away"_s,
               u"このタブレットは、先生がこの授業では使えないようにしました。"_s);
        drop(client);
    }
}

int GatewayCore::turnAwayGuessersAndRenewCode()
{
    // A tablet that keeps guessing goes whether it holds a seat or not: a
    // class of pupils who hold seats and guess whenever their own wait
    // allows empties the shared budget as well as strangers do.
    int count = 0;
    for (const QString &key : m_admission.guessers()) {
        if (m_registry.isTurnedAway(key))
            continue;
        turnAwayTablet(key);
        ++count;
    }
    m_admission.setLessonCode(newLessonCode());
    emit changed();
    return count;
}

void GatewayCore::resume(quint64 client, Client &state, const BrowserMessage &message)
{
    HeldSeatState *held = m_registry.seatWithToken(message.token);
    if (!held) {
        send(client, toPage::bare(u"expired"_s));
        return;
    }
    if (held->holderKey != state.key) {
        // The token came from another tablet: one tablet, one seat, and the
        // sign-ins of a minute count it like any other.
        const QList<int> own = m_registry.seatsOf(state.key);
        if (!own.isEmpty()) {
            refuse(client, u"oneseat"_s,
                   u"このタブレットは、出席番号 %1 でログオンしています。１台で使える出席番号は"
                   u"１つだけです。"_s.arg(own.first()));
            return;
        }
        if (!m_admission.maySignIn(state.key)) {
            refuseTooManySignIns(client);
            return;
        }
        m_admission.countSignIn(state.key);
    }
    if (held->client && *held->client != client) {
        // The same page on a connection that died unnoticed, or another tab
        // of the same browser: the newest goes on, the other is told and
        // stays away until asked to come back.
        const quint64 previous = *held->client;
        send(previous,
             toPage::notice(u"moved"_s, u"この出席番号は、このブラウザのほかのタブ（ウィンドウ）で"
                                        u"開かれました。"_s));
        detach(*held);
        drop(previous);
    }
    attach(client, state, held->module.SeatNumber, *held);
}

void GatewayCore::release(quint64 client, Client &state)
{
    if (!state.seat) {
        refuse(client, u"notsigned"_s, u"出席番号を入れてログオンしてください。"_s);
        return;
    }
    const int seat = *state.seat;
    send(client, toPage::notice(u"released"_s, u"出席番号 %1 を空けました。"_s.arg(seat)));
    freeSeat(seat);
}

void GatewayCore::answer(quint64 client, Client &state, const BrowserMessage &message)
{
    if (!state.seat) {
        refuse(client, u"notsigned"_s, u"出席番号を入れてログオンしてください。"_s);
        return;
    }
    HeldSeatState &held = *m_registry.seat(*state.seat);
    // An answer given on a question that has been replaced since is not
    // written, like the pupil's program; the page is told, so that the pupil
    // answers the new question, and gets it.
    const auto drop = [&] {
        send(client, toPage::dropped(message.index,
                                     u"回答 %1 を送る前に、先生の画面が切り替わりました。"
                                     u"この回答は届いていません。"_s.arg(message.index + 1)));
        pushView(held, true);
    };
    if (message.version != held.version) { // a page that was offline
        drop();
        return;
    }
    if (!held.session.panel().view().buttons[message.index].visible) {
        // A button the pupil's program would not show cannot be pressed.
        refuse(client, u"closed"_s, u"いまは答えられません。"_s);
        pushView(held, true);
        return;
    }
    // Replaced since the gateway last read the seat's command file: the
    // session has read it again.
    if (!held.session.click(message.index)) {
        drop();
        return;
    }
    send(client, toPage::accepted(message.index));
    pushView(held);
}

void GatewayCore::pollAll()
{
    std::vector<HeldSeatState *> seats;
    for (const auto &[number, held] : m_registry.seats())
        seats.push_back(held);
    for (HeldSeatState *held : seats)
        held->session.poll();
}

void GatewayCore::setTimeCaption(const QString &caption)
{
    QString text = caption.left(kMaxTimeCaptionChars);
    if (!text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1); // not half a character
    if (text == m_timeCaption)
        return;
    m_timeCaption = text;
    const QByteArray message = toPage::time(text);
    for (const auto &[number, held] : m_registry.seats()) {
        if (held->client)
            send(*held->client, message);
    }
}

void GatewayCore::pushView(HeldSeatState &held, bool force)
{
    // A command file met while it is being rewritten reads short: the page
    // keeps the view of the last whole read.
    const student::AnswerPanel &panel = held.session.panel();
    if (panel.lastReadWhole() || held.view.isEmpty()) {
        const QByteArray content = contentOf(panel.view());
        if (content != held.shownContent) {
            held.shownContent = content;
            ++held.version;
        }
        held.view = toPage::view(content, held.version, panel.notice());
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
    for (const int id : m_registry.lapsedBy(at)) {
        withdraw(id, toPage::notice(u"lapsed"_s,
                                    u"申し出から２分たったので、取り消しました。もう一度"
                                    u"「引き継ぐ」を押して、先生に新しい番号を伝えてください。"_s));
    }
    m_admission.sweep();
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
    for (const auto &[number, held] : m_registry.seats())
        files << held->module.CommandFilePath;
    m_watch.watch(files);
}

} // namespace gateway
