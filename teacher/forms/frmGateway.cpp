#include "frmGateway.h"

#include "QrCodeWidget.h"

#include "gateway/GatewayServer.h"
#include "widgets/GothicFont.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace teacher::forms {
namespace {

std::optional<quint16> portForTests;

QLabel *wrappingLabel(QWidget *parent, const QString &name, qreal pointSize, bool bold)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(widgets::gothicFont(pointSize, bold));
    return label;
}

// A list with its caption as the label a screen reader reads for it.
QListWidget *captionedList(QWidget *parent, QVBoxLayout *layout, const QString &name,
                           const QString &caption, QChar mnemonic)
{
    QLabel *label = wrappingLabel(parent, name + u"Caption"_s, 12, true);
    // Alt and the letter reach the list from the keyboard.
    label->setTextFormat(Qt::AutoText);
    label->setText(caption + u"(&"_s + mnemonic + u')');
    auto *list = new QListWidget(parent);
    list->setObjectName(name);
    list->setFont(widgets::gothicFont(12, false));
    list->setAccessibleName(caption);
    label->setBuddy(list);
    layout->addWidget(label);
    layout->addWidget(list);
    return list;
}

// "482193" as "482 193", easier to read off a projector; a pupil may type it
// with or without the blank.
QString spacedCode(const QString &code)
{
    return code.left(code.size() / 2) + u' ' + code.mid(code.size() / 2);
}

// "45 秒", "3 分".
QString age(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(0, ms / 1000);
    return seconds < 60 ? u"%1 秒"_s.arg(seconds) : u"%1 分"_s.arg(seconds / 60);
}

QPushButton *button(QWidget *parent, QHBoxLayout *row, const QString &name, const QString &text)
{
    auto *push = new QPushButton(text, parent);
    push->setObjectName(name);
    row->addWidget(push);
    return push;
}

// Makes the list show rows, each an identity and a text, in that order,
// keeping the items that stay: a selected item stays selected wherever it
// moves. A selected item that goes leaves nothing selected.
void syncList(QListWidget *list, const QList<std::pair<int, QString>> &rows)
{
    const QListWidgetItem *current = list->currentItem();
    const int selected = current && current->isSelected() ? current->data(Qt::UserRole).toInt() : 0;
    bool selectedStays = false;
    const QSignalBlocker quiet(list);
    for (int row = 0; row < rows.size(); ++row) {
        const auto &[id, text] = rows[row];
        selectedStays = selectedStays || id == selected;
        QListWidgetItem *item = row < list->count() ? list->item(row) : nullptr;
        if (!item || item->data(Qt::UserRole).toInt() != id) {
            int found = row + 1;
            while (found < list->count() && list->item(found)->data(Qt::UserRole).toInt() != id)
                ++found;
            if (found < list->count()) {
                item = list->takeItem(found);
            } else {
                item = new QListWidgetItem;
                item->setData(Qt::UserRole, id);
            }
            list->insertItem(row, item);
        }
        if (item->text() != text)
            item->setText(text);
    }
    while (list->count() > rows.size())
        delete list->takeItem(list->count() - 1);
    if (!selectedStays) {
        list->setCurrentItem(nullptr);
        list->clearSelection();
        return;
    }
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::UserRole).toInt() == selected) {
            list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            break;
        }
    }
}

} // namespace

void frmGateway::setPort(quint16 port)
{
    portForTests = port;
}

quint16 frmGateway::port()
{
    if (portForTests)
        return *portForTests;
    const QSettings settings(u"OmbraTeacher"_s);
    bool ok = false;
    const uint port = settings.value(u"Gateway/Port"_s).toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? quint16(port) : gateway::kDefaultPort;
}

frmGateway::frmGateway(gateway::GatewayServer &server, QWidget *parent)
    : QWidget(parent, Qt::Window), m_server(server)
{
    setObjectName(u"frmGateway"_s);
    setWindowTitle(u"タブレットから回答"_s);
    setAttribute(Qt::WA_DeleteOnClose);

    auto *layout = new QHBoxLayout(this);
    m_qrCode = new QrCodeWidget(this);
    m_qrCode->setObjectName(u"qrAddress"_s);
    layout->addWidget(m_qrCode, 1);

    auto *side = new QVBoxLayout;
    layout->addLayout(side, 1);
    QLabel *intro = wrappingLabel(this, u"lblIntro"_s, 14, false);
    intro->setText(u"タブレットでQRコードを読み取るか、ブラウザでこのアドレスを開いてください。"
                   u"出席番号を入れると回答できます（アドレスを打ったときは授業コードも）。"_s);
    side->addWidget(intro);
    m_lblAddress = wrappingLabel(this, u"lblAddress"_s, 22, true);
    m_lblAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    side->addWidget(m_lblAddress);
    m_lblLessonCode = wrappingLabel(this, u"lblLessonCode"_s, 28, true);
    side->addWidget(m_lblLessonCode);
    m_lblSignedIn = wrappingLabel(this, u"lblSignedIn"_s, 14, false);
    side->addWidget(m_lblSignedIn);
    m_lblWrongCodes = wrappingLabel(this, u"lblWrongCodes"_s, 12, false);
    side->addWidget(m_lblWrongCodes);

    m_lblStatus = wrappingLabel(this, u"lblStatus"_s, 12, true);
    side->addWidget(m_lblStatus);
    m_cmdStopGuessing =
        new QPushButton(u"まちがいの多い端末を断って授業コードを変える(&G)"_s, this);
    m_cmdStopGuessing->setObjectName(u"cmdStopGuessing"_s);
    side->addWidget(m_cmdStopGuessing);

    m_lstRequests =
        captionedList(this, side, u"lstRequests"_s,
                      u"席の引き継ぎの申し出（本人のタブレットか確かめてください）"_s, u'Q');
    auto *answers = new QHBoxLayout;
    m_cmdApprove = button(this, answers, u"cmdApprove"_s, u"許可する(&A)"_s);
    m_cmdDeny = button(this, answers, u"cmdDeny"_s, u"断る(&R)"_s);
    answers->addStretch(1);
    side->addLayout(answers);
    m_lstSeats =
        captionedList(this, side, u"lstSeats"_s, u"タブレットで使われている出席番号"_s, u'S');
    auto *seats = new QHBoxLayout;
    m_cmdRelease = button(this, seats, u"cmdRelease"_s, u"席を空ける(&F)"_s);
    m_cmdTurnAway = button(this, seats, u"cmdTurnAway"_s, u"この端末を断る(&K)"_s);
    seats->addStretch(1);
    side->addLayout(seats);

    QLabel *closing = wrappingLabel(this, u"lblClosing"_s, 11, false);
    closing->setText(u"この画面を閉じると、タブレットからは回答できなくなります。"
                     u"開き直せば、タブレットはそのまま続けられます。"_s);
    side->addWidget(closing);

    connect(m_cmdApprove, &QPushButton::clicked, this, &frmGateway::cmdApprove_Click);
    connect(m_cmdDeny, &QPushButton::clicked, this, &frmGateway::cmdDeny_Click);
    connect(m_cmdRelease, &QPushButton::clicked, this, &frmGateway::cmdRelease_Click);
    connect(m_cmdTurnAway, &QPushButton::clicked, this, &frmGateway::cmdTurnAway_Click);
    connect(m_cmdStopGuessing, &QPushButton::clicked, this, &frmGateway::cmdStopGuessing_Click);
    connect(m_lstRequests, &QListWidget::itemSelectionChanged, this, &frmGateway::updateButtons);
    connect(m_lstSeats, &QListWidget::itemSelectionChanged, this, &frmGateway::updateButtons);
    // A page that files requests many times a second costs one redraw in
    // kRefreshMs; the ages shown move on every second.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &frmGateway::showState);
    connect(&m_server, &gateway::GatewayServer::changed, this, [this] {
        if (!m_refresh.isActive())
            m_refresh.start();
    });
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &frmGateway::showState);
    m_tick.start();

    if (m_server.isListening()) {
        const QString address = m_server.address();
        m_lblAddress->setText(address);
        m_qrCode->setText(m_server.keyAddress());
        // Read out as the address; the key in it is for the scanner.
        m_qrCode->setAccessibleName(address);
        m_qrCode->setToolTip(address);
    } else {
        // Told in the window itself, where the address would have been.
        m_lblAddress->setText(
            u"タブレットからの回答を始められませんでした。\n%1"_s.arg(m_server.errorString()));
        m_qrCode->hide();
    }
    showState();
    resize(900, 640);
}

frmGateway::~frmGateway() = default;

void frmGateway::closeEvent(QCloseEvent *event)
{
    emit closed();
    event->accept();
}

bool frmGateway::isServing() const
{
    return m_server.isListening();
}

int frmGateway::selectedId(const QListWidget *list)
{
    const QListWidgetItem *item = list->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toInt() : 0;
}

void frmGateway::updateButtons()
{
    const bool request = selectedId(m_lstRequests) != 0;
    m_cmdApprove->setEnabled(request);
    m_cmdDeny->setEnabled(request);
    const bool seat = selectedId(m_lstSeats) != 0;
    m_cmdRelease->setEnabled(seat);
    m_cmdTurnAway->setEnabled(seat);
}

void frmGateway::showError(const QString &text)
{
    m_lblStatus->setText(text);
}

void frmGateway::showState()
{
    m_refresh.stop();
    const gateway::GatewayCore &core = m_server.core();
    if (m_server.isListening())
        m_lblLessonCode->setText(u"授業コード %1"_s.arg(spacedCode(core.lessonCode())));
    m_lblSignedIn->setText(
        u"ログオン中のタブレット: %1 台（いま接続中 %2 台）"_s.arg(core.signedInCount())
            .arg(core.connectedCount()));
    QString wrong = u"まちがった授業コード: %1 回（この１分で %2 回）"_s.arg(core.wrongCodeCount())
                        .arg(core.recentWrongCodes());
    QStringList worst;
    for (const gateway::Admission::AddressCount &address : core.worstAddresses(3))
        worst << u"%1 から %2 回"_s.arg(address.address).arg(address.count);
    if (!worst.isEmpty())
        wrong += u"\n多いのは %1"_s.arg(worst.join(u"、"_s));
    if (core.codeWaitMs() > 0)
        wrong += u"\nまちがいが多いため、打った授業コードはしばらく待たせています。"
                 u"QRコードなら待たずに入れます。"_s;
    if (core.turnedAwayCount() > 0)
        wrong += u"\n断った端末: %1 台"_s.arg(core.turnedAwayCount());
    m_lblWrongCodes->setText(wrong);
    m_cmdStopGuessing->setEnabled(m_server.isListening());

    QList<std::pair<int, QString>> requests;
    for (const gateway::GatewayCore::TakeOverRequest &request : core.requests()) {
        requests.append(
            {request.id,
             request.move ? u"申し出 %1：%2 番から %3 番へ移りたい（%4、%5前）"_s.arg(request.id)
                                .arg(request.ownSeat)
                                .arg(request.seat)
                                .arg(request.address, age(request.ageMs))
             : request.ownSeat != 0
                 ? u"申し出 %1：%2 番も使いたい（%3、すでに %4 番を使用、%5前）"_s.arg(request.id)
                       .arg(request.seat)
                       .arg(request.address)
                       .arg(request.ownSeat)
                       .arg(age(request.ageMs))
                 : u"申し出 %1：%2 番を引き継ぎたい（%3、%4前）"_s.arg(request.id)
                       .arg(request.seat)
                       .arg(request.address, age(request.ageMs))});
    }
    syncList(m_lstRequests, requests);

    QList<std::pair<int, QString>> seats;
    for (const gateway::GatewayCore::HeldSeat &seat : core.heldSeats()) {
        seats.append(
            {seat.seat, u"%1 番（%2、%3、最後の操作から %4）"_s.arg(seat.seat).arg(
                            seat.address, seat.connected ? u"接続中"_s : u"接続が切れています"_s,
                            age(seat.idleMs))});
    }
    syncList(m_lstSeats, seats);
    updateButtons();
}

void frmGateway::cmdApprove_Click()
{
    const int id = selectedId(m_lstRequests);
    if (id == 0)
        return;
    if (!m_server.core().approve(id))
        showError(u"申し出 %1 は、取り消されたか時間が切れたため、もうありません。"_s.arg(id));
    showState();
}

void frmGateway::cmdDeny_Click()
{
    const int id = selectedId(m_lstRequests);
    if (id == 0)
        return;
    if (!m_server.core().deny(id))
        showError(u"申し出 %1 は、取り消されたか時間が切れたため、もうありません。"_s.arg(id));
    showState();
}

void frmGateway::cmdRelease_Click()
{
    const int seat = selectedId(m_lstSeats);
    if (seat == 0)
        return;
    if (!m_server.core().releaseSeat(seat))
        showError(u"出席番号 %1 は、もうタブレットで使われていません。"_s.arg(seat));
    showState();
}

void frmGateway::cmdTurnAway_Click()
{
    const int seat = selectedId(m_lstSeats);
    if (seat == 0)
        return;
    if (!m_server.core().turnAway(seat))
        showError(u"出席番号 %1 は、もうタブレットで使われていません。"_s.arg(seat));
    showState();
}

void frmGateway::cmdStopGuessing_Click()
{
    const int count = m_server.core().turnAwayGuessersAndRenewCode();
    showError(u"授業コードをまちがえ続けている端末 %1 台を断り（使っていた出席番号は空けました。"
              u"回答は消えません）、授業コードを変えました。新しい授業コードを生徒に伝えてください"
              u"（まちがえていないタブレットはそのままです）。"_s.arg(count));
    showState();
}

} // namespace teacher::forms
