#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

namespace gateway {
class GatewayServer;
}

namespace teacher {

class QrCodeWidget;

// The window of "タブレットから回答": runs the web gateway for as long as it
// is open and shows the address to type, the same address with the lesson
// key as a QR code, the lesson code, the seats browsers hold, the pages'
// requests to take a seat over (which the teacher approves or refuses here)
// and how many wrong lesson codes were tried. The gateway itself outlives the
// window: reopened, it serves the same codes and seats, and the pages come
// back by themselves.
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

    // The selected request, approved or refused.
    void cmdApprove_Click();
    void cmdDeny_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showState();
    int selectedRequest() const;

    gateway::GatewayServer &m_server;
    QLabel *m_lblAddress = nullptr;
    QrCodeWidget *m_qrCode = nullptr;
    QLabel *m_lblLessonCode = nullptr;
    QLabel *m_lblSignedIn = nullptr;
    QLabel *m_lblWrongCodes = nullptr;
    QListWidget *m_lstSeats = nullptr;
    QListWidget *m_lstRequests = nullptr;
    QPushButton *m_cmdApprove = nullptr;
    QPushButton *m_cmdDeny = nullptr;
};

} // namespace teacher
