#include "PrivateSettings.h"
#include "SharedFolderFaults.h"
#include "teacher/lesson/ClassroomFolder.h"
#include "teacher/lesson/ScriptedPrompter.h"

#include "exchange/Cp932.h"
#include "exchange/ExchangeFiles.h"
#include "teacher/forms/FileLists.h"
#include "teacher/forms/frmFileLoad.h"
#include "teacher/forms/frmMain.h"
#include "teacher/forms/frmTextEdit.h"
#include "teacher/forms/QuestionnaireWindows.h"
#include "teacher/questionnaire/EditorText.h"
#include "teacher/questionnaire/QuestionnaireDocument.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace questionnaire;

namespace {

// Three questions, with a comment line, as a teacher writes them.
const QString kThreeQuestions = u"/見本\n好きな色は？\n赤\n青\n\n好きな季節は？\n春\n夏\n秋\n\n"
                                u"得意ですか？\nはい\nいいえ\n"_s;

// Saves a picture of the window when OMBRA_SCREENSHOT_DIR names a folder.
void screenshot(QWidget *window, const QString &name)
{
    const QString dir = qEnvironmentVariable("OMBRA_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QApplication::processEvents();
        window->grab().save(dir + u'/' + name + u".png"_s);
    }
}

QString crlf(QString text)
{
    return text.replace(u"\n"_s, u"\r\n"_s);
}

// The teacher's program with its real windows, in a classroom folder that is
// the working directory.
struct Classroom
{
    ClassroomFolder folder;
    ScriptedPrompter prompter;
    lesson::Lesson lesson{prompter};
    teacher::forms::frmMain window{lesson};
    const QString dir = QDir::currentPath();

    Classroom()
    {
        window.setEndHandler([] {});
    }

    teacher::forms::QuestionnaireWindows &windows() { return window.questionnaireWindows(); }
    teacher::forms::frmFileLoad *chooser() { return windows().fileLoad(); }
    teacher::forms::frmTextEdit *editor() { return windows().textEdit(); }
    void menu(const QString &name) { window.findChild<QAction *>(name)->trigger(); }

    template <typename T> T *in(QWidget *parent, const QString &name)
    {
        T *widget = parent ? parent->findChild<T *>(name) : nullptr;
        if (!widget)
            qWarning("no child %s", qPrintable(name));
        return widget;
    }
    teacher::forms::FileList *file1()
    {
        return in<teacher::forms::FileList>(chooser(), u"File1"_s);
    }
    teacher::forms::DirectoryList *dir1()
    {
        return in<teacher::forms::DirectoryList>(chooser(), u"Dir1"_s);
    }
    QLineEdit *text1() { return in<QLineEdit>(chooser(), u"Text1"_s); }
    QPlainTextEdit *txtEdit() { return in<QPlainTextEdit>(editor(), u"txtEdit"_s); }
    QString prompt() { return in<QLabel>(chooser(), u"lblFileMessage"_s)->text(); }
    QString count() { return in<QLabel>(editor(), u"Label2"_s)->text(); }

    void click(const QString &control, QWidget *parent)
    {
        QTest::mouseClick(in<QPushButton>(parent, control), Qt::LeftButton);
    }
    void clickFile(const QString &name, bool twice = false)
    {
        const QList<QListWidgetItem *> items = file1()->findItems(name, Qt::MatchExactly);
        QVERIFY2(!items.isEmpty(), qPrintable(name));
        const QPoint at = file1()->visualItemRect(items.constFirst()).center();
        QTest::mouseClick(file1()->viewport(), Qt::LeftButton, {}, at);
        if (twice)
            QTest::mouseDClick(file1()->viewport(), Qt::LeftButton, {}, at);
    }
    void enterFolder(const QString &path)
    {
        QTreeWidgetItem *item = dir1()->itemForPath(path);
        QVERIFY2(item, qPrintable(path));
        const QPoint at = dir1()->visualItemRect(item).center();
        QTest::mouseClick(dir1()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(dir1()->viewport(), Qt::LeftButton, {}, at);
    }
    void write(const QString &name, const QString &text) { folder.writeQuestionnaire(name, text); }
    // What the user was told about questionnaire files.
    QStringList fileMessages() const
    {
        QStringList messages = prompter.asked;
        messages.removeIf([](const QString &m) { return !m.contains(u"failed: "_s); });
        return messages;
    }
    QByteArray bytes(const QString &name) { return ClassroomFolder::read(folder.filePath(name)); }

    // "ファイルを開く", the file selected and OK, or double-clicked.
    void open(const QString &name, bool doubleClick = false)
    {
        menu(u"mnuFileOpen"_s);
        clickFile(name, doubleClick);
        if (!doubleClick)
            click(u"cmdFileOk"_s, chooser());
    }
};

} // namespace

class TestQuestionnaireForms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { usePrivateSettings(); }

    // texts and file lists without windows
    void lineEnds_data();
    void lineEnds();
    void filePattern_data();
    void filePattern();
    void drives_data();
    void drives();

    // the windows
    void layout_data();
    void layout();
    void guideShowsTenLines();
    void openingShowsEditor_data();
    void openingShowsEditor();
    void newQuestionnaireShowsEmptyEditor();
    void okInEachRole_data();
    void okInEachRole();
    void roleSwitchesWithoutOk();
    void patternFiltersAtOnce_data();
    void patternFiltersAtOnce();
    void cancelKeepsLocation();
    void editFinished_data();
    void editFinished();
    void editFinishedWithoutFile_data();
    void editFinishedWithoutFile();
    void editorKeepsItsFile_data();
    void editorKeepsItsFile();
    void separatorsSurviveTheEditor();
    void windowsComeToTheFront();
    void failuresAreReported_data();
    void failuresAreReported();
    void closingThroughFrame_data();
    void closingThroughFrame();
    void pollingGoesOnWhileEditing();
};

void TestQuestionnaireForms::lineEnds_data()
{
    QTest::addColumn<QString>("questionnaire"); // QuestionnaireText
    QTest::addColumn<QString>("editor");        // what the box holds
    QTest::addColumn<QString>("back");          // the box read back

    QTest::newRow("lines end in CR LF")
        << u"Q\r\nA\r\n\r\nB\r\n"_s << u"Q\nA\n\nB\n"_s << u"Q\r\nA\r\n\r\nB\r\n"_s;
    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("no final line end") << u"Q\r\nA"_s << u"Q\nA"_s << u"Q\r\nA"_s;
    QTest::newRow("lone CR") << u"Q\rA"_s << u"Q\nA"_s << u"Q\r\nA"_s;
    QTest::newRow("no-break space kept")
        << u"Q\u00a0!\r\n"_s << u"Q\u00a0!\n"_s << u"Q\u00a0!\r\n"_s;
    // Separators a UTF-8 file may hold are text of their line, not breaks.
    QTest::newRow("line separator kept")
        << u"Q\u2028R\r\nA\r\n"_s << u"Q\u2028R\nA\n"_s << u"Q\u2028R\r\nA\r\n"_s;
    QTest::newRow("paragraph separator kept")
        << u"Q\u2029R\r\nA\r\n"_s << u"Q\ufdefR\nA\n"_s << u"Q\u2029R\r\nA\r\n"_s;
}

void TestQuestionnaireForms::lineEnds()
{
    QFETCH(QString, questionnaire);
    QFETCH(QString, editor);
    QFETCH(QString, back);
    QCOMPARE(textForEditor(questionnaire), editor);
    QCOMPARE(textFromEditor(editor), back);
    // A text document separates its blocks with paragraph separators: they
    // are the user's line breaks. (Shift+Enter makes one too, see
    // separatorsSurviveTheEditor; a line separator is the file's text.)
    QCOMPARE(textFromEditor(QString(editor).replace(u'\n', QChar::ParagraphSeparator)), back);
}

void TestQuestionnaireForms::filePattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("extension") << u"a.txt"_s << u"*.txt"_s << true;
    QTest::newRow("case ignored") << u"B.TXT"_s << u"*.txt"_s << true;
    QTest::newRow("other extension") << u"a.txt.bak"_s << u"*.txt"_s << false;
    QTest::newRow("*.* without a dot") << u"README"_s << u"*.*"_s << true;
    QTest::newRow("question mark one char") << u"q1.txt"_s << u"q?.txt"_s << true;
    QTest::newRow("question mark not zero") << u"q.txt"_s << u"q?.txt"_s << false;
    QTest::newRow("list of patterns") << u"c.csv"_s << u"*.txt; *.csv"_s << true;
    QTest::newRow("brackets are characters") << u"a[1].txt"_s << u"a[1].txt"_s << true;
    QTest::newRow("empty pattern") << u"x"_s << QString() << true;
    QTest::newRow("japanese name") << u"アンケート.txt"_s << u"アン*"_s << true;
}

void TestQuestionnaireForms::filePattern()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(matchesFilePattern(name, pattern), matches);
}

void TestQuestionnaireForms::drives_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("drives");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<QStringList>("ancestors");
    const QStringList letters{u"C:/"_s, u"D:/"_s};
    QTest::newRow("unix") << u"/home/u"_s << QStringList{u"/"_s} << u"/"_s
                          << QStringList{u"/"_s, u"/home"_s, u"/home/u"_s};
    QTest::newRow("drive letter") << u"d:/class/q"_s << letters << u"D:/"_s
                                  << QStringList{u"D:/"_s, u"D:/class"_s, u"D:/class/q"_s};
    QTest::newRow("root of a drive") << u"C:/"_s << letters << u"C:/"_s << QStringList{u"C:/"_s};
    QTest::newRow("share") << u"//srv/class/q"_s << letters << u"//srv/class/"_s
                           << QStringList{u"//srv/class/"_s, u"//srv/class/q"_s};
}

void TestQuestionnaireForms::drives()
{
    QFETCH(QString, path);
    QFETCH(QStringList, drives);
    QFETCH(QString, drive);
    QFETCH(QStringList, ancestors);
    QCOMPARE(driveOf(path, drives), drive);
    QCOMPARE(ancestorPaths(path, drive), ancestors);
}

void TestQuestionnaireForms::layout_data()
{
    QTest::addColumn<bool>("inEditor");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect"); // twips / 15
    QTest::addColumn<QString>("text");
    QTest::newRow("lblFileMessage") << false << u"lblFileMessage"_s << QRect(16, 8, 393, 25)
                                    << u"アンケートのファイルを選んで下さい"_s;
    QTest::newRow("Drive1") << false << u"Drive1"_s << QRect(16, 32, 185, 20) << QString();
    QTest::newRow("Dir1") << false << u"Dir1"_s << QRect(16, 64, 185, 90) << QString();
    QTest::newRow("Combo1") << false << u"Combo1"_s << QRect(16, 168, 185, 20) << QString();
    QTest::newRow("File1") << false << u"File1"_s << QRect(232, 40, 169, 102) << QString();
    QTest::newRow("Label2 file") << false << u"Label2"_s << QRect(216, 152, 137, 17)
                                 << u"ファイル名"_s;
    QTest::newRow("Text1") << false << u"Text1"_s << QRect(232, 168, 169, 21) << QString();
    QTest::newRow("cmdFileOk") << false << u"cmdFileOk"_s << QRect(64, 208, 145, 33) << u"OK"_s;
    QTest::newRow("cmdFileCancel")
        << false << u"cmdFileCancel"_s << QRect(248, 208, 145, 33) << u"キャンセル"_s;
    QTest::newRow("Label1") << true << u"Label1"_s << QRect(16, 8, 569, 145) << guideText();
    QTest::newRow("txtEdit") << true << u"txtEdit"_s << QRect(8, 168, 585, 265) << QString();
    QTest::newRow("Label2 count") << true << u"Label2"_s << QRect(8, 448, 217, 33)
                                  << u"アンケート数　 1問"_s;
    QTest::newRow("cmdEditOk") << true << u"cmdEditOk"_s << QRect(344, 448, 161, 33)
                               << u"編集終了"_s;
}

void TestQuestionnaireForms::layout()
{
    QFETCH(bool, inEditor);
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(QString, text);
    Classroom room;
    room.menu(inEditor ? u"mnuEditShow"_s : u"mnuFileOpen"_s);
    QWidget *window = inEditor ? static_cast<QWidget *>(room.editor()) : room.chooser();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), inEditor ? u"アンケートの文章編集"_s : u"オンブラ"_s);
    QCOMPARE(window->size(), inEditor ? QSize(603, 488) : QSize(421, 252));
    QCOMPARE(window->minimumSize() == window->maximumSize(), !inEditor); // only the editor resizes

    QWidget *control = room.in<QWidget>(window, name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), rect);
    if (auto *label = qobject_cast<QLabel *>(control))
        QCOMPARE(label->text(), text);
    if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(button->text(), text);
    if (inEditor) {
        window->resize(900, 700);
        QCOMPARE(control->geometry(), rect);
    }
}

void TestQuestionnaireForms::guideShowsTenLines()
{
    Classroom room;
    room.menu(u"mnuEditShow"_s);
    QLabel *label1 = room.in<QLabel>(room.editor(), u"Label1"_s);
    QCOMPARE(label1->text().split(u'\r').size(), 10);

    // The lines are drawn one under the other: ink reaches the tenth line.
    const QImage image = label1->grab().toImage();
    int lowestInk = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                lowestInk = y;
                break;
            }
        }
    }
    QVERIFY2(lowestInk > 8 * label1->fontMetrics().lineSpacing(),
             qPrintable(QString::number(lowestInk)));
}

void TestQuestionnaireForms::openingShowsEditor_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("selected and OK") << false;
    QTest::newRow("double click") << true;
}

void TestQuestionnaireForms::openingShowsEditor()
{
    QFETCH(bool, doubleClick);
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    room.write(u"other.txt"_s, u"Q\nA\nB\n"_s);
    room.open(u"three.txt"_s, doubleClick);

    QVERIFY(!room.chooser()->isVisible());
    QVERIFY(room.editor() && room.editor()->isVisible());
    QCOMPARE(room.lesson.document().questionnaireDir(), room.dir);
    QCOMPARE(room.lesson.document().questionnaireFileName(), u"three.txt"_s);
    QCOMPARE(room.lesson.document().lastQuestion(), 2);
    QCOMPARE(room.count(), u"アンケート数　 3問"_s);
    QCOMPARE(room.editor()->editedText(), crlf(kThreeQuestions));
    QCOMPARE(room.txtEdit()->document()->blockCount(), 14); // 13 lines and the empty last one
    screenshot(room.editor(), u"questionnaire-editor"_s);
    QCOMPARE(room.fileMessages(), QStringList());
}

void TestQuestionnaireForms::newQuestionnaireShowsEmptyEditor()
{
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    room.open(u"three.txt"_s);
    room.menu(u"mnuNew"_s);
    QVERIFY(room.editor()->isVisible()); // it was up; "アンケート新規作成" only empties it
    QVERIFY(room.txtEdit()->toPlainText().isEmpty());
    room.editor()->hide();
    room.menu(u"mnuEditShow"_s);
    QVERIFY(room.editor()->isVisible());
    QVERIFY(room.txtEdit()->toPlainText().isEmpty());
    QCOMPARE(room.count(), u"アンケート数　 1問"_s);
}

void TestQuestionnaireForms::okInEachRole_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("select");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // empty: nothing written
    QTest::addColumn<QString>("fileName");
    QTest::newRow("save: selected file wins over typed name")
        << true << u"b.txt"_s << u"c.txt"_s << u"b.txt"_s << u"b.txt"_s;
    QTest::newRow("save: typed name used as typed")
        << true << QString() << u"neu"_s << u"neu"_s << u"neu"_s;
    QTest::newRow("save: no name at all")
        << true << QString() << QString() << QString() << QString();
    QTest::newRow("open: typed name alone")
        << false << QString() << u"b.txt"_s << QString() << QString();
}

void TestQuestionnaireForms::okInEachRole()
{
    QFETCH(bool, save);
    QFETCH(QString, select);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QString, fileName);
    Classroom room;
    room.write(u"a.txt"_s, u"Q\nA\nB\n"_s);
    room.write(u"b.txt"_s, u"Old\nA\nB\n"_s);
    room.lesson.document().setQuestionnaireText(u"新しい問\r\nはい\r\nいいえ\r\n"_s);
    room.menu(save ? u"mnuSave"_s : u"mnuFileOpen"_s);
    // An earlier choice.
    room.lesson.document().setFileLocation(room.lesson.document().questionnaireDir(), u"a.txt"_s);
    if (!select.isEmpty())
        room.clickFile(select);
    room.text1()->setText(typed);
    room.click(u"cmdFileOk"_s, room.chooser());

    QCOMPARE(room.lesson.document().questionnaireFileName(), fileName);
    QCOMPARE(room.chooser()->isVisible(), written.isEmpty());
    QVERIFY(!room.editor()); // neither role stopped nor a save opens the editor
    QCOMPARE(room.bytes(u"a.txt"_s), exchange::encodeCp932(u"Q\r\nA\r\nB\r\n"));
    if (!written.isEmpty()) {
        QCOMPARE(room.bytes(written), exchange::encodeCp932(u"新しい問\r\nはい\r\nいいえ\r\n\r\n"));
    } else {
        QCOMPARE(room.bytes(u"b.txt"_s), exchange::encodeCp932(u"Old\r\nA\r\nB\r\n"));
    }
    QVERIFY(!QFile::exists(room.folder.filePath(u"c.txt"_s)));
    QCOMPARE(room.fileMessages(), QStringList());
}

void TestQuestionnaireForms::roleSwitchesWithoutOk()
{
    Classroom room;
    room.write(u"a.txt"_s, u"Q\nA\nB\n"_s);
    room.menu(u"mnuSave"_s);
    QCOMPARE(room.prompt(), u"保存するファイル名を記入して下さい"_s);
    QCOMPARE(room.chooser()->palette().color(QPalette::Window), QColor(255, 255, 192));
    QVERIFY(room.chooser()->autoFillBackground());
    screenshot(room.chooser(), u"file-chooser-save"_s);

    room.menu(u"mnuFileOpen"_s);
    QCOMPARE(room.prompt(), u"アンケートのファイルを選んで下さい"_s);
    QCOMPARE(room.chooser()->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::Button));
    room.clickFile(u"a.txt"_s);
    room.click(u"cmdFileOk"_s, room.chooser());
    QVERIFY(room.editor() && room.editor()->isVisible());
    QCOMPARE(room.editor()->editedText(), u"Q\r\nA\r\nB\r\n"_s);
    QCOMPARE(room.bytes(u"a.txt"_s), exchange::encodeCp932(u"Q\r\nA\r\nB\r\n"));
}

void TestQuestionnaireForms::patternFiltersAtOnce_data()
{
    QTest::addColumn<QString>("pattern"); // typed; "item 1" picks "*.*" from the list
    QTest::addColumn<QStringList>("files");
    QTest::newRow("at first") << QString() << QStringList{u"a.txt"_s, u"B.TXT"_s};
    QTest::newRow("*.* from the list")
        << u"item 1"_s << QStringList{u"a.txt"_s, u"B.TXT"_s, u"c.csv"_s, u"README"_s};
    QTest::newRow("typed *.csv") << u"*.csv"_s << QStringList{u"c.csv"_s};
    QTest::newRow("typed list") << u"a*;c*"_s << QStringList{u"a.txt"_s, u"c.csv"_s};
    QTest::newRow("typed, nothing matches") << u"*.doc"_s << QStringList{};
}

void TestQuestionnaireForms::patternFiltersAtOnce()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, files);
    Classroom room;
    for (const QString &name : {u"a.txt"_s, u"B.TXT"_s, u"c.csv"_s, u"README"_s, u".hidden.txt"_s})
        room.write(name, u"Q\n"_s);
    room.menu(u"mnuFileOpen"_s);
    auto *combo1 = room.in<QComboBox>(room.chooser(), u"Combo1"_s);
    QCOMPARE(combo1->currentText(), u"*.txt"_s);
    QCOMPARE(combo1->count(), 2);
    if (pattern == u"item 1") {
        combo1->setCurrentIndex(1);
    } else if (!pattern.isEmpty()) {
        combo1->lineEdit()->selectAll();
        QTest::keyClicks(combo1->lineEdit(), pattern);
        QCOMPARE(combo1->currentText(), pattern);
    }
    QStringList listed;
    for (int i = 0; i < room.file1()->count(); ++i)
        listed << room.file1()->item(i)->text();
    QCOMPARE(listed, files);
    QCOMPARE(combo1->count(), 2); // a typed pattern is not added to the list
}

void TestQuestionnaireForms::cancelKeepsLocation()
{
    Classroom room;
    QDir(room.dir).mkdir(u"sub"_s);
    QDir(room.dir).mkdir(u"gone"_s);
    room.write(u"sub/in-sub.txt"_s, u"Q\n"_s);
    room.menu(u"mnuFileOpen"_s);
    QVERIFY(QTest::qWaitForWindowActive(room.chooser()));
    QCOMPARE(room.lesson.document().questionnaireDir(), room.dir);
    QCOMPARE(room.lesson.document().questionnaireDrive(), driveOf(room.dir, driveRoots()));

    // A folder that cannot be entered leaves the lists where they are.
    const QString gone = room.dir + u"/gone"_s;
    QVERIFY(room.dir1()->itemForPath(gone) && QDir(gone).removeRecursively());
    room.enterFolder(gone);
    QCOMPARE(room.dir1()->path(), room.dir);
    QCOMPARE(room.file1()->path(), room.dir);

    const QString sub = room.dir + u"/sub"_s;
    room.enterFolder(sub);
    QCOMPARE(room.dir1()->path(), sub);
    QCOMPARE(room.file1()->count(), 1);
    room.click(u"cmdFileCancel"_s, room.chooser());
    QVERIFY(!room.chooser()->isVisible());
    QCOMPARE(room.lesson.document().questionnaireDir(), room.dir);

    room.menu(u"mnuFileOpen"_s);
    QCOMPARE(room.dir1()->path(), sub);
    QCOMPARE(room.file1()->item(0)->text(), u"in-sub.txt"_s);
    // Shown again, it takes the location the lists show.
    QCOMPARE(room.lesson.document().questionnaireDir(), sub);
    QCOMPARE(room.fileMessages(), QStringList());
}

void TestQuestionnaireForms::editFinished_data()
{
    QTest::addColumn<QString>("typed");   // the box's text, "\n" line breaks
    QTest::addColumn<QByteArray>("file"); // empty: the file is left as it was
    QTest::addColumn<int>("lastQuestion");

    QTest::newRow("empty box writes nothing") << QString() << QByteArray() << 2;
    QTest::newRow("no final line break gets one")
        << u"一問\nはい\nいいえ"_s << exchange::encodeCp932(u"一問\r\nはい\r\nいいえ\r\n") << 0;
    QTest::newRow("a correct answer's line stays")
        << u"一問\nはい\nいいえ\n/正解 2"_s
        << exchange::encodeCp932(u"一問\r\nはい\r\nいいえ\r\n/正解 2\r\n") << 0;
    QTest::newRow("final line break gives a blank line")
        << u"一問\nはい\nいいえ\n\n二問\nA\nB\n"_s
        << exchange::encodeCp932(u"一問\r\nはい\r\nいいえ\r\n\r\n二問\r\nA\r\nB\r\n\r\n") << 1;
}

void TestQuestionnaireForms::editFinished()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, file);
    QFETCH(int, lastQuestion);
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    const QByteArray before = room.bytes(u"three.txt"_s);
    room.open(u"three.txt"_s);
    room.txtEdit()->selectAll();
    if (typed.isEmpty())
        QTest::keyClick(room.txtEdit(), Qt::Key_Delete);
    else
        room.txtEdit()->insertPlainText(typed);
    room.click(u"cmdEditOk"_s, room.editor());

    QVERIFY(!room.editor()->isVisible());
    QCOMPARE(room.bytes(u"three.txt"_s), file.isEmpty() ? before : file);
    QCOMPARE(room.lesson.document().lastQuestion(), lastQuestion);
    QCOMPARE(room.lesson.document().correctAnswer(0), typed.endsWith(u"/正解 2"_s) ? 2 : 0);
    if (file.isEmpty()) {
        QVERIFY(room.lesson.document().questionnaireText().isEmpty());
        QCOMPARE(room.lesson.document().questionTable()[2][0], u"得意ですか？"_s);
    }
    // The next showing displays what was read back.
    room.menu(u"mnuEditShow"_s);
    QCOMPARE(room.editor()->editedText(), file.isEmpty() ? QString() : exchange::decodeCp932(file));
    QCOMPARE(room.count(), questionCountText(lastQuestion));
    QCOMPARE(room.fileMessages(), QStringList());
}

void TestQuestionnaireForms::editFinishedWithoutFile_data()
{
    QTest::addColumn<QString>("before"); // how the editor came to have no file
    QTest::addColumn<QString>("end");    // OK with a typed name, Cancel, or the editor closed
    for (const char *end : {"named", "cancelled", "editor closed"}) {
        QTest::addRow("nothing chosen yet, %s", end) << u"none"_s << QString::fromLatin1(end);
        QTest::addRow("new after opening a file, %s", end) << u"new"_s << QString::fromLatin1(end);
    }
}

void TestQuestionnaireForms::editFinishedWithoutFile()
{
    QFETCH(QString, before);
    QFETCH(QString, end);
    const bool nameIt = end == u"named";
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    room.write(u"b.txt"_s, u"Q\nA\nB\n"_s);
    const QByteArray three = room.bytes(u"three.txt"_s);
    const QByteArray b = room.bytes(u"b.txt"_s);
    if (before == u"new") {
        room.open(u"three.txt"_s);
        room.menu(u"mnuNew"_s);
    } else if (before == u"selected") {
        room.open(u"three.txt"_s);
        room.menu(u"mnuFileOpen"_s);
        room.clickFile(u"b.txt"_s);
        // The teacher looks at the main window and comes back: gaining focus
        // remembers the selected file, which was never confirmed.
        room.window.show();
        room.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&room.window));
        room.chooser()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(room.chooser()));
        QCOMPARE(room.lesson.document().questionnaireFileName(), u"b.txt"_s);
        room.click(u"cmdFileCancel"_s, room.chooser());
    }
    room.menu(u"mnuEditShow"_s);
    room.txtEdit()->setPlainText(u"一問\nはい\nいいえ\n"_s);
    const QString textBefore = room.lesson.document().questionnaireText();
    const int lastBefore = room.lesson.document().lastQuestion();
    room.click(u"cmdEditOk"_s, room.editor());
    // Waiting for a name, the text is the editor's alone.
    QCOMPARE(room.lesson.document().questionnaireText(), textBefore);

    QVERIFY(room.chooser() && room.chooser()->isVisible());
    QCOMPARE(room.prompt(), u"保存するファイル名を記入して下さい"_s);
    QVERIFY(room.lesson.document().saveMode());
    QVERIFY(room.editor()->isVisible());
    // Nothing left from the file opened earlier is taken as the name.
    QVERIFY(room.text1()->text().isEmpty());
    QVERIFY(room.file1()->selectedName().isEmpty());
    room.txtEdit()->moveCursor(QTextCursor::End);
    QTest::keyClicks(room.txtEdit(), "more"); // typed while the chooser is up

    if (nameIt) {
        room.text1()->setText(u"新しい.txt"_s);
        room.click(u"cmdFileOk"_s, room.chooser());
        QVERIFY(!room.chooser()->isVisible());
        QVERIFY(!room.editor()->isVisible());
        QCOMPARE(room.bytes(u"新しい.txt"_s),
                 exchange::encodeCp932(u"一問\r\nはい\r\nいいえ\r\nmore\r\n"));
        QCOMPARE(room.lesson.document().lastQuestion(), 0);
        QCOMPARE(room.lesson.document().questionTable()[0][3], u"more"_s);
        QVERIFY(!room.lesson.document().isNew());
        // From now on "編集終了" writes to that file in place.
        room.menu(u"mnuEditShow"_s);
        room.click(u"cmdEditOk"_s, room.editor());
        QVERIFY(!room.chooser()->isVisible());
        QVERIFY(!room.editor()->isVisible());
    } else if (end == u"cancelled") {
        room.click(u"cmdFileCancel"_s, room.chooser());
        QVERIFY(room.editor()->isVisible());
        QCOMPARE(room.editor()->editedText(), u"一問\r\nはい\r\nいいえ\r\nmore"_s);
    } else {
        // Closing the editor cancels "編集終了": the chooser that asked for
        // the name goes, nothing is written, and the questionnaire in memory
        // still matches its question table.
        QVERIFY(room.editor()->close());
        QTRY_VERIFY(!room.editor());
        QVERIFY(!room.chooser()->isVisible());
        QVERIFY(!room.windows().document().editorWaitsForFile());
        QCOMPARE(room.lesson.document().questionnaireText(), textBefore);
        QCOMPARE(room.lesson.document().lastQuestion(), lastBefore);
        QVERIFY(QDir(room.dir).entryList({u"*.txt"_s}, QDir::Files).size() == 2);
    }
    QCOMPARE(room.bytes(u"three.txt"_s), three);
    QCOMPARE(room.bytes(u"b.txt"_s), b);
    QCOMPARE(room.fileMessages(), QStringList());
}

void TestQuestionnaireForms::editorKeepsItsFile_data()
{
    QTest::addColumn<QString>("meanwhile"); // what the chooser saw after the file was opened
    QTest::newRow("ファイルを保存, then キャンセル") << u"save"_s;
    QTest::newRow("another file selected, then キャンセル") << u"selected"_s;
    QTest::newRow("moved to another folder, then キャンセル") << u"folder"_s;
}

// Showing the chooser and cancelling it changes nothing for the editor:
// "編集終了" writes to the file last opened or saved with OK, never to one
// that was only looked at, and asks for no name.
void TestQuestionnaireForms::editorKeepsItsFile()
{
    QFETCH(QString, meanwhile);
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    room.write(u"b.txt"_s, u"Q\nA\nB\n"_s);
    QDir(room.dir).mkdir(u"sub"_s);
    const QByteArray b = room.bytes(u"b.txt"_s);
    room.open(u"three.txt"_s);

    room.menu(meanwhile == u"save"_s ? u"mnuSave"_s : u"mnuFileOpen"_s);
    if (meanwhile == u"selected")
        room.clickFile(u"b.txt"_s);
    else if (meanwhile == u"folder")
        room.enterFolder(room.dir + u"/sub"_s);
    // The teacher looks at the main window and comes back: gaining focus
    // remembers what the lists show, which was never confirmed.
    room.window.show();
    room.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&room.window));
    room.chooser()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(room.chooser()));
    room.click(u"cmdFileCancel"_s, room.chooser());

    room.menu(u"mnuEditShow"_s);
    room.txtEdit()->setPlainText(u"一問\nはい\nいいえ\n"_s);
    room.click(u"cmdEditOk"_s, room.editor());

    QVERIFY(!room.chooser()->isVisible());
    QVERIFY(!room.editor()->isVisible());
    // (The save adds its CR LF after the text's own line break.)
    QCOMPARE(room.bytes(u"three.txt"_s), exchange::encodeCp932(u"一問\r\nはい\r\nいいえ\r\n\r\n"));
    QCOMPARE(room.bytes(u"b.txt"_s), b);
    QVERIFY(QDir(room.dir + u"/sub"_s).isEmpty());
    QCOMPARE(room.lesson.document().lastQuestion(), 0);
    QCOMPARE(room.lesson.document().questionTable()[0][0], u"一問"_s);
    QCOMPARE(room.lesson.document().questionnaireFileName(), u"three.txt"_s);
    QCOMPARE(room.fileMessages(), QStringList());
}

// A UTF-8 questionnaire may hold line and paragraph separators inside a
// line; "編集終了" writes the line back as it was read.
void TestQuestionnaireForms::separatorsSurviveTheEditor()
{
    Classroom room;
    const QString text = u"一問\u2028続き\r\nはい\r\nいいえ\u2029です\r\n"_s;
    ClassroomFolder::write(room.folder.filePath(u"u.txt"_s), text.toUtf8());
    room.open(u"u.txt"_s);
    QCOMPARE(room.lesson.document().questionTable()[0][0], u"一問\u2028続き"_s);
    QCOMPARE(room.editor()->editedText(), text);

    room.click(u"cmdEditOk"_s, room.editor());
    QCOMPARE(room.bytes(u"u.txt"_s), (text + u"\r\n"_s).toUtf8());
    QCOMPARE(room.lesson.document().lastQuestion(), 0);
    QCOMPARE(room.lesson.document().questionTable()[0][2], u"いいえ\u2029です"_s);

    // Shift+Enter typed in the box is a line break like Enter.
    room.menu(u"mnuEditShow"_s);
    room.txtEdit()->moveCursor(QTextCursor::End);
    QTest::keyClick(room.txtEdit(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(room.txtEdit(), u"x"_s);
    QCOMPARE(room.editor()->editedText(), text + u"\r\n\r\nx"_s);
}

// A window shown again comes to the front with the focus, over the other.
void TestQuestionnaireForms::windowsComeToTheFront()
{
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    room.window.show();
    room.open(u"three.txt"_s);
    QVERIFY(QTest::qWaitForWindowActive(room.editor()));
    QCOMPARE(QAccessible::queryAccessibleInterface(room.editor())->role(), QAccessible::Window);

    room.menu(u"mnuSave"_s);
    QVERIFY(QTest::qWaitForWindowActive(room.chooser()));
    QCOMPARE(QAccessible::queryAccessibleInterface(room.chooser())->role(), QAccessible::Dialog);
    QCOMPARE(QAccessible::queryAccessibleInterface(room.chooser())->text(QAccessible::Name),
             u"オンブラ"_s);
    room.click(u"cmdFileCancel"_s, room.chooser());

    room.editor()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(room.editor()));
    room.menu(u"mnuFileOpen"_s);
    QVERIFY(QTest::qWaitForWindowActive(room.chooser()));
    room.menu(u"mnuEditShow"_s);
    QVERIFY(QTest::qWaitForWindowActive(room.editor()));
    // Already up, the chooser is brought forward again.
    room.menu(u"mnuFileOpen"_s);
    QVERIFY(QTest::qWaitForWindowActive(room.chooser()));
}

void TestQuestionnaireForms::failuresAreReported_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("chooserUp");
    QTest::addColumn<bool>("editorUp");
    QTest::newRow("editor: file replaced by a folder")
        << u"edit"_s << u"save failed: "_s << false << true;
    QTest::newRow("editor waiting for a name: name of a folder")
        << u"wait"_s << u"save failed: "_s << true << true;
    QTest::newRow("save role: name of a folder")
        << u"save"_s << u"save failed: "_s << true << false;
    QTest::newRow("open role: file gone") << u"open"_s << u"load failed: "_s << true << false;
    QTest::newRow("open role: file replaced by a pipe")
        << u"pipe"_s << u"load failed: "_s << true << false;
}

void TestQuestionnaireForms::failuresAreReported()
{
    QFETCH(QString, how);
    QFETCH(QString, message);
    QFETCH(bool, chooserUp);
    QFETCH(bool, editorUp);
#ifdef Q_OS_WIN
    if (how == u"pipe")
        QSKIP("named pipes in a folder are made on POSIX systems only");
#endif
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    QDir(room.dir).mkdir(u"sub"_s);
    const QString path = room.folder.filePath(u"three.txt"_s);
    if (how == u"edit") {
        room.open(u"three.txt"_s);
        QVERIFY(QFile::remove(path) && QDir().mkdir(path));
        room.txtEdit()->setPlainText(u"一問\nはい\nいいえ\n"_s);
        room.click(u"cmdEditOk"_s, room.editor());
        QCOMPARE(room.editor()->editedText(), u"一問\r\nはい\r\nいいえ\r\n"_s);
    } else if (how == u"wait") {
        room.menu(u"mnuEditShow"_s);
        room.txtEdit()->setPlainText(u"一問\nはい\nいいえ\n"_s);
        room.click(u"cmdEditOk"_s, room.editor());
        room.text1()->setText(u"sub"_s);
        room.click(u"cmdFileOk"_s, room.chooser());
        // The text still waits in the editor, not in the questionnaire.
        QVERIFY(room.lesson.document().questionnaireText().isEmpty());
        QVERIFY(room.windows().document().editorWaitsForFile());
    } else if (how == u"save") {
        room.lesson.document().setQuestionnaireText(u"Q\r\n"_s);
        room.menu(u"mnuSave"_s);
        room.text1()->setText(u"sub"_s);
        room.click(u"cmdFileOk"_s, room.chooser());
    } else {
        room.menu(u"mnuFileOpen"_s);
        room.clickFile(u"three.txt"_s);
        QVERIFY(QFile::remove(path));
        if (how == u"pipe") // opening it to read would wait for a writer for good
            QVERIFY(faults::plant(path, "<pipe>"));
        room.click(u"cmdFileOk"_s, room.chooser());
    }
    QCOMPARE(room.fileMessages().size(), 1);
    QVERIFY2(room.fileMessages().constFirst().startsWith(message),
             qPrintable(room.fileMessages().constFirst()));
    QCOMPARE(room.chooser() && room.chooser()->isVisible(), chooserUp);
    QCOMPARE(room.editor() && room.editor()->isVisible(), editorUp);
}

void TestQuestionnaireForms::closingThroughFrame_data()
{
    QTest::addColumn<bool>("editor");
    QTest::newRow("editor") << true;
    QTest::newRow("file chooser") << false;
}

void TestQuestionnaireForms::closingThroughFrame()
{
    QFETCH(bool, editor);
    Classroom room;
    room.write(u"three.txt"_s, kThreeQuestions);
    QDir(room.dir).mkdir(u"sub"_s);
    room.open(u"three.txt"_s);
    const QByteArray three = room.bytes(u"three.txt"_s);

    if (editor) {
        room.txtEdit()->setPlainText(u"捨てる\n"_s);
        QVERIFY(room.editor()->close());
        QTRY_VERIFY(!room.editor());
        QCOMPARE(room.lesson.document().questionnaireText(), crlf(kThreeQuestions));
        room.menu(u"mnuEditShow"_s);
        QCOMPARE(room.editor()->editedText(), crlf(kThreeQuestions));
        QCOMPARE(room.count(), u"アンケート数　 3問"_s);
    } else {
        room.menu(u"mnuFileOpen"_s);
        room.enterFolder(room.dir + u"/sub"_s);
        QVERIFY(room.chooser()->close());
        QTRY_VERIFY(!room.chooser());
        room.menu(u"mnuSave"_s);
        // Built anew: the lists start again at the working directory.
        QCOMPARE(room.dir1()->path(), room.dir);
        QCOMPARE(room.lesson.document().questionnaireDir(), room.dir);
        QCOMPARE(room.prompt(), u"保存するファイル名を記入して下さい"_s);
    }
    QCOMPARE(room.bytes(u"three.txt"_s), three);
}

void TestQuestionnaireForms::pollingGoesOnWhileEditing()
{
    Classroom room;
    room.window.Form_Load();
    room.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&room.window));
    QTest::mouseClick(room.window.findChild<QRadioButton *>(u"OptLVQ_7"_s), Qt::LeftButton);
    QTest::mouseClick(room.window.findChild<QPushButton *>(u"CmdStart"_s), Qt::LeftButton);
    QVERIFY(room.lesson.session().answering());

    room.menu(u"mnuEditShow"_s);
    QVERIFY(QTest::qWaitForWindowActive(room.editor()));
    QLabel *second = room.window.findChild<QLabel *>(u"LblAnswerSum_2"_s);
    ClassroomFolder::write(exchange::answerFilePath(7), exchange::answerFileBytes(2));
    QTRY_COMPARE_WITH_TIMEOUT(second->text(), u"1人"_s, 3000);
    ClassroomFolder::write(exchange::answerFilePath(8), exchange::answerFileBytes(2));
    QTRY_COMPARE_WITH_TIMEOUT(second->text(), u"2人"_s, 3000);
    QVERIFY(room.editor()->isVisible());
    QVERIFY(room.lesson.session().answering());
}

QTEST_MAIN(TestQuestionnaireForms)
#include "tst_questionnaireforms.moc"
