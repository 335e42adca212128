#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

namespace gateway {
class GatewayServer;
}

namespace teacher::forms {

class QrCodeWidget;

// The window of "タブレットから回答": shows the running web gateway, which
// the teacher's program starts and stops with it: the address to type, the
// same address with the lesson key as a QR code, the lesson code, the pages'
// requests for seats (which the teacher approves or refuses here), the seats
// tablets hold (which the teacher may free, or whose tablet the teacher may
// turn away) and the wrong lesson codes tried. The window keeps no state of
// its own beyond the selection: the lists are redrawn from the gateway in
// place, so that a selected row stays on the same request or seat.
class frmGateway : public QWidget
{
    Q_OBJECT

public:
    frmGateway(gateway::GatewayServer &server, QWidget *parent = nullptr);
    ~frmGateway() override;

    // The port the window's gateway listens on; tests take any free one (0).
    // Unless set, the per-user setting "Gateway/Port" of OmbraTeacher, or
    // 8932.
    static void setPort(quint16 port);
    static quint16 port();

    bool isServing() const;

    gateway::GatewayServer &server() { return m_server; }

    QLabel *addressLabel() const { return m_lblAddress; }
    QrCodeWidget *qrCode() const { return m_qrCode; }
    QLabel *lessonCodeLabel() const { return m_lblLessonCode; }
    QLabel *signedInLabel() const { return m_lblSignedIn; }
    QLabel *wrongCodesLabel() const { return m_lblWrongCodes; }
    QListWidget *seatList() const { return m_lstSeats; }
    QListWidget *requestList() const { return m_lstRequests; }
    QLabel *statusLabel() const { return m_lblStatus; }

    // The selected request, approved or refused.
    void cmdApprove_Click();
    void cmdDeny_Click();
    // The selected seat freed, or its tablet turned away.
    void cmdRelease_Click();
    void cmdTurnAway_Click();
    // Tablets slowed for wrong codes turned away, and a new code.
    void cmdStopGuessing_Click();

    // Redraws the window from the gateway now (it does so by itself within
    // kRefreshMs of a change, and every second for the times shown).
    void showState();
    static constexpr int kRefreshMs = 100;

signals:
    // The teacher closed the window: the owner stops the gateway.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The selected row's identity: a request's number, a seat's number.
    static int selectedId(const QListWidget *list);
    void showError(const QString &text);
    void updateButtons();

    gateway::GatewayServer &m_server;
    QTimer m_refresh;
    QTimer m_tick;
    QLabel *m_lblAddress = nullptr;
    QrCodeWidget *m_qrCode = nullptr;
    QLabel *m_lblLessonCode = nullptr;
    QLabel *m_lblSignedIn = nullptr;
    QLabel *m_lblWrongCodes = nullptr;
    QListWidget *m_lstSeats = nullptr;
    QListWidget *m_lstRequests = nullptr;
    QPushButton *m_cmdApprove = nullptr;
    QPushButton *m_cmdDeny = nullptr;
    QPushButton *m_cmdRelease = nullptr;
    QPushButton *m_cmdTurnAway = nullptr;
    QPushButton *m_cmdStopGuessing = nullptr;
    QLabel *m_lblStatus = nullptr;
};

} // namespace teacher::forms
