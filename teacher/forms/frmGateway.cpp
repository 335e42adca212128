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
#include <QVBoxLayout>

#include <optional>

using namespace Qt::StringLiterals;

namespace teacher {
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
                           const QString &caption)
{
    QLabel *label = wrappingLabel(parent, name + u"Caption"_s, 12, true);
    label->setText(caption);
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

    m_lstRequests = captionedList(this, side, u"lstRequests"_s,
                                  u"席の引き継ぎの申し出（本人のタブレットか確かめてください）"_s);
    auto *answers = new QHBoxLayout;
    m_cmdApprove = new QPushButton(u"許可する(&A)"_s, this);
    m_cmdApprove->setObjectName(u"cmdApprove"_s);
    m_cmdDeny = new QPushButton(u"断る(&R)"_s, this);
    m_cmdDeny->setObjectName(u"cmdDeny"_s);
    answers->addWidget(m_cmdApprove);
    answers->addWidget(m_cmdDeny);
    answers->addStretch(1);
    side->addLayout(answers);
    m_lstSeats = captionedList(this, side, u"lstSeats"_s, u"ブラウザで使われている出席番号"_s);

    QLabel *closing = wrappingLabel(this, u"lblClosing"_s, 11, false);
    closing->setText(u"この画面を閉じると、タブレットからは回答できなくなります。"
                     u"開き直せば、タブレットはそのまま続けられます。"_s);
    side->addWidget(closing);

    connect(m_cmdApprove, &QPushButton::clicked, this, &frmGateway::cmdApprove_Click);
    connect(m_cmdDeny, &QPushButton::clicked, this, &frmGateway::cmdDeny_Click);
    connect(m_lstRequests, &QListWidget::currentRowChanged, this, [this] {
        m_cmdApprove->setEnabled(selectedRequest() != 0);
        m_cmdDeny->setEnabled(selectedRequest() != 0);
    });
    connect(&m_server, &gateway::GatewayServer::changed, this, &frmGateway::showState);

    if (m_server.isListening() || m_server.start(port())) {
        const QString address = m_server.address();
        m_lblAddress->setText(address);
        m_qrCode->setText(m_server.keyAddress());
        // Read out as the address; the key in it is for the scanner.
        m_qrCode->setAccessibleName(address);
        m_qrCode->setToolTip(address);
        m_lblLessonCode->setText(u"授業コード %1"_s.arg(spacedCode(m_server.core().lessonCode())));
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

bool frmGateway::isServing() const
{
    return m_server.isListening();
}

int frmGateway::selectedRequest() const
{
    const QListWidgetItem *item = m_lstRequests->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

void frmGateway::showState()
{
    const gateway::GatewayCore &core = m_server.core();
    m_lblSignedIn->setText(
        u"ログオン中のブラウザ: %1 台（いま接続中 %2 台）"_s.arg(core.signedInCount())
            .arg(core.connectedCount()));
    QString wrong = u"まちがった授業コード: %1 回"_s.arg(core.wrongCodeCount());
    if (core.codeWaitMs() > 0)
        wrong += u"（まちがいが多いため、打った授業コードはしばらく待たせています。"
                 u"QRコードなら待たずに入れます）"_s;
    m_lblWrongCodes->setText(wrong);

    const int selected = selectedRequest();
    m_lstRequests->clear();
    for (const gateway::GatewayCore::TakeOverRequest &request : core.requests()) {
        auto *item = new QListWidgetItem(
            u"申し出 %1：%2 番を引き継ぎたい"_s.arg(request.id).arg(request.seat), m_lstRequests);
        item->setData(Qt::UserRole, request.id);
        if (request.id == selected)
            m_lstRequests->setCurrentItem(item);
    }
    if (!m_lstRequests->currentItem() && m_lstRequests->count() > 0)
        m_lstRequests->setCurrentRow(0);
    m_cmdApprove->setEnabled(selectedRequest() != 0);
    m_cmdDeny->setEnabled(selectedRequest() != 0);

    m_lstSeats->clear();
    for (const gateway::GatewayCore::HeldSeat &seat : core.heldSeats()) {
        m_lstSeats->addItem(seat.connected ? u"%1 番（接続中）"_s.arg(seat.seat)
                                           : u"%1 番（接続が切れています）"_s.arg(seat.seat));
    }
}

void frmGateway::cmdApprove_Click()
{
    if (const int id = selectedRequest())
        m_server.core().approve(id);
}

void frmGateway::cmdDeny_Click()
{
    if (const int id = selectedRequest())
        m_server.core().deny(id);
}

void frmGateway::closeEvent(QCloseEvent *event)
{
    m_server.stop();
    event->accept();
}

} // namespace teacher
