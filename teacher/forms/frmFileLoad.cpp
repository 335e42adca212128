#include "frmFileLoad.h"

#include "FileLists.h"
#include "TeacherUi.h"

#include "widgets/WindowRole.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace teacher::forms {

namespace {

const QColor kSaveBackground(255, 255, 192);

QRect twipRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

} // namespace

frmFileLoad::frmFileLoad(questionnaire::QuestionnaireDocument &document, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_document(document)
{
    setObjectName(u"frmFileLoad"_s);
    setWindowTitle(u"オンブラ"_s);
    widgets::setWindowRole(this, QAccessible::Dialog);
    setFont(gothicFont(9));
    setFixedSize(twips(6315), twips(3780));
    setAutoFillBackground(true);

    m_lblFileMessage = new QLabel(u"アンケートのファイルを選んで下さい"_s, this);
    m_lblFileMessage->setObjectName(u"lblFileMessage"_s);
    m_lblFileMessage->setGeometry(twipRect(240, 120, 5895, 375));

    m_drive1 = new QComboBox(this);
    m_drive1->setObjectName(u"Drive1"_s);
    m_drive1->setGeometry(twipRect(240, 480, 2775, 300));
    for (const QString &root : questionnaire::driveRoots())
        m_drive1->addItem(QDir::toNativeSeparators(root), root);

    m_dir1 = new DirectoryList(this);
    m_dir1->setObjectName(u"Dir1"_s);
    m_dir1->setGeometry(twipRect(240, 960, 2775, 1350));

    m_combo1 = new QComboBox(this);
    m_combo1->setObjectName(u"Combo1"_s);
    m_combo1->setGeometry(twipRect(240, 2520, 2775, 300));
    m_combo1->setEditable(true);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
    // Completion would turn a half-typed "*" into "*.txt" under the user.
    m_combo1->setCompleter(nullptr);

    m_file1 = new FileList(this);
    m_file1->setObjectName(u"File1"_s);
    m_file1->setGeometry(twipRect(3480, 600, 2535, 1530));

    auto *label2 = new QLabel(u"ファイル名"_s, this);
    label2->setObjectName(u"Label2"_s);
    label2->setGeometry(twipRect(3240, 2280, 2055, 255));

    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(u"Text1"_s);
    m_text1->setGeometry(twipRect(3480, 2520, 2535, 315));
    label2->setBuddy(m_text1);

    auto *ok = new QPushButton(u"OK"_s, this);
    ok->setObjectName(u"cmdFileOk"_s);
    ok->setGeometry(twipRect(960, 3120, 2175, 495));

    auto *cancel = new QPushButton(u"キャンセル"_s, this);
    cancel->setObjectName(u"cmdFileCancel"_s);
    cancel->setGeometry(twipRect(3720, 3120, 2175, 495));

    // The lists start at the working directory, or the nearest folder above
    // it that can be listed.
    moveListsTo(QDir::currentPath());

    connect(m_drive1, &QComboBox::activated, this, [this] { Drive1_Change(); });
    connect(m_dir1, &DirectoryList::folderChosen, this, &frmFileLoad::Dir1_Change);
    connect(m_combo1, &QComboBox::editTextChanged, this, [this] { Combo1_Change(); });
    connect(m_combo1, &QComboBox::activated, this, [this] { Combo1_Change(); });
    connect(m_file1, &QListWidget::itemSelectionChanged, this, &frmFileLoad::File1_Click);
    connect(m_file1, &QListWidget::itemDoubleClicked, this, &frmFileLoad::File1_DblClick);
    connect(ok, &QPushButton::clicked, this, &frmFileLoad::cmdFileOk_Click);
    connect(cancel, &QPushButton::clicked, this, &frmFileLoad::cmdFileCancel_Click);

    setOpenRole();
    Form_Load();
    m_built = true;
}

void frmFileLoad::moveListsTo(const QString &dir)
{
    QString path = QDir::cleanPath(QDir(dir).absolutePath());
    while (!questionnaire::canListDirectory(path)) {
        const QString up = QDir::cleanPath(path + u"/.."_s);
        if (up == path)
            break;
        path = up;
    }
    m_dir1->setPath(path);
    m_file1->setPath(m_dir1->path());
    showDrive(questionnaire::driveOf(m_dir1->path(), questionnaire::driveRoots()));
}

void frmFileLoad::showDrive(const QString &drive)
{
    const QSignalBlocker blocker(m_drive1);
    int index = m_drive1->findData(drive);
    if (index < 0) {
        m_drive1->addItem(QDir::toNativeSeparators(drive), drive);
        index = m_drive1->count() - 1;
    }
    m_drive1->setCurrentIndex(index);
}

void frmFileLoad::setBackground(const QColor &colour)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colour);
    setPalette(palette);
}

void frmFileLoad::setOpenRole()
{
    setBackground(QApplication::palette().color(QPalette::Button));
    m_lblFileMessage->setText(u"アンケートのファイルを選んで下さい"_s);
}

// A selected file wins over a typed name when saving, so a selection left
// from an earlier opening would silently take the place of the name the
// teacher types now: saving starts with no file selected.
void frmFileLoad::setSaveRole()
{
    setBackground(kSaveBackground);
    m_lblFileMessage->setText(u"保存するファイル名を記入して下さい"_s);
    m_file1->clearSelection();
}

void frmFileLoad::clearFileName()
{
    m_file1->clearSelection();
    m_text1->clear();
}

questionnaire::ShownLocation frmFileLoad::shownLocation() const
{
    return {m_drive1->currentData().toString(), m_dir1->path(), m_file1->selectedName()};
}

void frmFileLoad::Form_Load()
{
    m_document.rememberLocation(shownLocation());
    {
        const QSignalBlocker blocker(m_combo1);
        m_combo1->clear();
        m_combo1->addItem(u"*.txt"_s);
        m_combo1->addItem(u"*.*"_s);
        m_combo1->setEditText(u"*.txt"_s);
    }
    Combo1_Change();
}

// Gaining focus takes the remembered location from the lists again. The
// pattern, the selection and the typed name stay as the user left them.
void frmFileLoad::Form_GotFocus()
{
    m_document.rememberLocation(shownLocation());
}

void frmFileLoad::Combo1_Change()
{
    m_file1->setPattern(m_combo1->currentText());
    m_file1->refresh();
}

// A drive that cannot be listed leaves the lists where they are and the
// drive list on the drive they show, without a message.
void frmFileLoad::Drive1_Change()
{
    const QString drive = m_drive1->currentData().toString();
    if (drive == questionnaire::driveOf(m_dir1->path(), questionnaire::driveRoots()))
        return;
    if (m_dir1->setPath(drive) && m_file1->setPath(m_dir1->path()))
        return;
    showDrive(questionnaire::driveOf(m_dir1->path(), questionnaire::driveRoots()));
}

// A folder that cannot be entered leaves the lists where they are, without a
// message.
void frmFileLoad::Dir1_Change(const QString &dir)
{
    if (!m_file1->setPath(dir)) {
        showDrive(questionnaire::driveOf(m_dir1->path(), questionnaire::driveRoots()));
        return;
    }
    if (!m_dir1->setPath(dir))
        m_file1->setPath(m_dir1->path());
}

void frmFileLoad::File1_Click()
{
    const QString name = m_file1->selectedName();
    if (!name.isEmpty())
        m_text1->setText(name);
}

void frmFileLoad::File1_DblClick()
{
    File1_Click();
    cmdFileOk_Click();
}

void frmFileLoad::cmdFileOk_Click()
{
    switch (m_document.fileOk(shownLocation(), m_text1->text())) {
    case questionnaire::QuestionnaireDocument::FileOkResult::Stayed:
    case questionnaire::QuestionnaireDocument::FileOkResult::Failed:
        return;
    case questionnaire::QuestionnaireDocument::FileOkResult::Saved:
        break;
    case questionnaire::QuestionnaireDocument::FileOkResult::Loaded:
        emit loaded();
        break;
    case questionnaire::QuestionnaireDocument::FileOkResult::EditorFinished:
        emit editorFinished();
        break;
    }
    hide();
}

void frmFileLoad::cmdFileCancel_Click()
{
    hide();
    emit cancelled();
}

// Showing the dialog from the menu gives it the focus; not every window
// system reports an activation when a window that had the focus before it was
// hidden comes back, so the showing counts as gaining focus too.
bool frmFileLoad::event(QEvent *event)
{
    if (m_built && (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show))
        Form_GotFocus();
    return QWidget::event(event);
}

void frmFileLoad::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit discarded();
}

} // namespace teacher::forms
