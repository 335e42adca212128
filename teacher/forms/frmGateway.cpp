#include "frmGateway.h"

#include "QrCodeWidget.h"

#include "gateway/GatewayServer.h"
#include "widgets/GothicFont.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace teacher {
namespace {

quint16 gatewayPort = gateway::kDefaultPort;

QLabel *wrappingLabel(QWidget *parent, const QString &name, qreal pointSize, bool bold)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(widgets::gothicFont(pointSize, bold));
    return label;
}

} // namespace

void frmGateway::setPort(quint16 port)
{
    gatewayPort = port;
}

frmGateway::frmGateway(QWidget *parent)
    : QWidget(parent, Qt::Window), m_server(std::make_unique<gateway::GatewayServer>())
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
    intro->setText(u"タブレットのブラウザでこのアドレスを開くか、QRコードを読み取ってください。"
                   u"出席番号と授業コードを入れると回答できます。"_s);
    side->addWidget(intro);
    m_lblAddress = wrappingLabel(this, u"lblAddress"_s, 22, true);
    m_lblAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    side->addWidget(m_lblAddress);
    m_lblLessonCode = wrappingLabel(this, u"lblLessonCode"_s, 28, true);
    side->addWidget(m_lblLessonCode);
    m_lblSignedIn = wrappingLabel(this, u"lblSignedIn"_s, 14, false);
    side->addWidget(m_lblSignedIn);
    QLabel *closing = wrappingLabel(this, u"lblClosing"_s, 11, false);
    closing->setText(u"この画面を閉じると、タブレットからは回答できなくなります。"_s);
    side->addWidget(closing);
    side->addStretch(1);

    connect(m_server.get(), &gateway::GatewayServer::countsChanged, this, &frmGateway::showCounts);
    if (m_server->start(gatewayPort)) {
        const QString address = m_server->address();
        m_lblAddress->setText(address);
        m_qrCode->setText(address);
        m_lblLessonCode->setText(u"授業コード %1"_s.arg(m_server->core().lessonCode()));
        showCounts();
    } else {
        // Told in the window itself, where the address would have been.
        m_lblAddress->setText(
            u"タブレットからの回答を始められませんでした。\n%1"_s.arg(m_server->errorString()));
        m_qrCode->hide();
    }
    resize(820, 460);
}

frmGateway::~frmGateway()
{
    // The pages learn of a questionnaire that ended (mode 0) before the
    // gateway goes.
    m_server->stop();
}

bool frmGateway::isServing() const
{
    return m_server->isListening();
}

void frmGateway::showCounts()
{
    m_lblSignedIn->setText(
        u"ログオン中のブラウザ: %1 台（いま接続中 %2 台）"_s.arg(m_server->core().signedInCount())
            .arg(m_server->core().connectedCount()));
}

void frmGateway::closeEvent(QCloseEvent *event)
{
    m_server->stop();
    event->accept();
}

} // namespace teacher
