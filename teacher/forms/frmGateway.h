#pragma once

#include <QWidget>

#include <memory>

class QLabel;

namespace gateway {
class GatewayServer;
}

namespace teacher {

class QrCodeWidget;

// The window of "タブレットから回答": runs the web gateway on this PC for as
// long as it is open and shows the address to type, the same address as a QR
// code, the lesson code and how many browsers are signed in.
class frmGateway : public QWidget
{
    Q_OBJECT

public:
    explicit frmGateway(QWidget *parent = nullptr);
    ~frmGateway() override;

    // The port the window's gateway listens on; tests take any free one (0).
    static void setPort(quint16 port);

    bool isServing() const;
    gateway::GatewayServer &server() { return *m_server; }

    QLabel *addressLabel() const { return m_lblAddress; }
    QrCodeWidget *qrCode() const { return m_qrCode; }
    QLabel *lessonCodeLabel() const { return m_lblLessonCode; }
    QLabel *signedInLabel() const { return m_lblSignedIn; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showCounts();

    std::unique_ptr<gateway::GatewayServer> m_server;
    QLabel *m_lblAddress = nullptr;
    QrCodeWidget *m_qrCode = nullptr;
    QLabel *m_lblLessonCode = nullptr;
    QLabel *m_lblSignedIn = nullptr;
};

} // namespace teacher
