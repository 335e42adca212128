#include "frmAbout.h"

#include "TeacherUi.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace teacher::forms {

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"ﾊﾞｰｼﾞｮﾝ情報 OmbraDesk"_s);
    setFont(gothicFont(9));
    setFixedSize(420, 250);

    auto *icon = new QLabel(this);
    icon->setObjectName(u"picIcon"_s);
    icon->setPixmap(teacherIcon().pixmap(48, 48));
    icon->setGeometry(16, 16, 48, 48);

    auto *title = new QLabel(u"OmbraDesk\n　オンブラ（先生用）"_s, this);
    title->setObjectName(u"lblTitle"_s);
    title->setFont(gothicFont(12));
    title->setGeometry(80, 14, 320, 44);

    auto *version = new QLabel(u"ﾊﾞｰｼﾞｮﾝ 1.00"_s, this);
    version->setObjectName(u"lblVersion"_s);
    version->setGeometry(80, 62, 320, 18);

    auto *lineTop = new QFrame(this);
    lineTop->setObjectName(u"Line1"_s);
    lineTop->setFrameShape(QFrame::HLine);
    lineTop->setFrameShadow(QFrame::Sunken);
    lineTop->setGeometry(12, 86, 396, 4);

    auto *description =
        new QLabel(u"このソフトは、教室内LANを使って、アンケートや発問の集計をすぐ集計して、"
                   u"リアルタイムにグラフ化して表示するソフトです。"_s,
                   this);
    description->setObjectName(u"lblDescription"_s);
    description->setWordWrap(true);
    description->setGeometry(80, 94, 320, 56);

    auto *lineBottom = new QFrame(this);
    lineBottom->setObjectName(u"Line2"_s);
    lineBottom->setFrameShape(QFrame::HLine);
    lineBottom->setFrameShadow(QFrame::Sunken);
    lineBottom->setGeometry(12, 156, 396, 4);

    auto *disclaimer = new QLabel(u"警告: ...　　LANの共有ホルダーで活用してください。"_s, this);
    disclaimer->setObjectName(u"lblDisclaimer"_s);
    disclaimer->setWordWrap(true);
    disclaimer->setGeometry(16, 168, 270, 60);

    auto *ok = new QPushButton(u"OK"_s, this);
    ok->setObjectName(u"cmdOK"_s);
    ok->setGeometry(300, 200, 104, 30);
    ok->setDefault(true);
    // Esc reaches reject(), so the button is the cancel button as well.
    connect(ok, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::cmdOK_Click()
{
    accept();
}

} // namespace teacher::forms
