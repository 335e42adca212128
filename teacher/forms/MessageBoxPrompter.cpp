#include "MessageBoxPrompter.h"

#include "teacher/lesson/LessonTexts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace teacher::forms {

namespace texts = lesson::texts;

MessageBoxPrompter::PublishChoice MessageBoxPrompter::publishFailed(const QString &firstPath,
                                                                    int failedFiles, int totalFiles,
                                                                    const QString &reason)
{
    QMessageBox box(QMessageBox::Warning, texts::programTitle(),
                    texts::publishFailed(firstPath, failedFiles, totalFiles, reason),
                    QMessageBox::NoButton, m_parent);
    QPushButton *retry = box.addButton(u"再試行"_s, QMessageBox::AcceptRole);
    box.addButton(u"続行"_s, QMessageBox::RejectRole);
    box.setDefaultButton(retry);
    box.exec();
    return box.clickedButton() == retry ? PublishChoice::Retry : PublishChoice::Continue;
}

bool MessageBoxPrompter::confirmEndQuestionnaire()
{
    return QMessageBox::question(
               m_parent, u"アンケート終了の確認"_s, u"生徒のアンケートプログラムを終了させます。"_s,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void MessageBoxPrompter::folderInUse(const QString &host)
{
    QMessageBox::warning(m_parent, texts::programTitle(), texts::folderInUse(host));
}

bool MessageBoxPrompter::takeOverFolder(const QString &host, const QDateTime &since)
{
    return QMessageBox::warning(m_parent, texts::programTitle(), texts::takeOverFolder(host, since),
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void MessageBoxPrompter::folderLockFailed(const QString &path, const QString &reason)
{
    QMessageBox::warning(m_parent, texts::programTitle(), texts::folderLockFailed(path, reason));
}

MessageBoxPrompter::RecordChoice MessageBoxPrompter::recordFailed(const QString &path,
                                                                  const QString &reason,
                                                                  const lesson::RecordState &state)
{
    QMessageBox box(QMessageBox::Warning, texts::programTitle(),
                    texts::recordFailed(path, reason, state), QMessageBox::NoButton, m_parent);
    QPushButton *retry = box.addButton(u"再試行"_s, QMessageBox::AcceptRole);
    QPushButton *elsewhere = box.addButton(u"別の場所に保存..."_s, QMessageBox::ActionRole);
    box.addButton(u"記録せずに終了"_s, QMessageBox::RejectRole);
    box.setDefaultButton(retry);
    box.exec();
    if (box.clickedButton() == retry)
        return RecordChoice::Retry;
    if (box.clickedButton() == elsewhere)
        return RecordChoice::SaveElsewhere;
    return RecordChoice::EndWithout;
}

QString MessageBoxPrompter::chooseRecordPath(const QString &suggestedPath)
{
    // The file that could not be written goes where the teacher says, the
    // other one of the pair beside it: the title says so.
    return QFileDialog::getSaveFileName(
        m_parent,
        u"「%1」の保存先（もう一方のファイルも同じフォルダに書きます）"_s.arg(
            QFileInfo(suggestedPath).fileName()),
        suggestedPath, u"CSV (*.csv);;すべてのファイル (*)"_s);
}

bool MessageBoxPrompter::confirmEndWithoutRecord(const lesson::RecordState &state)
{
    return QMessageBox::warning(
               m_parent, texts::programTitle(), texts::confirmEndWithoutRecord(state),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void MessageBoxPrompter::unfinishedRecordFound(const QStringList &kept, const QStringList &stuck)
{
    QMessageBox::information(m_parent, texts::programTitle(),
                             texts::unfinishedRecordFound(kept, stuck));
}

void MessageBoxPrompter::questionnaireLoadFailed(const QString &path, const QString &reason)
{
    QMessageBox::warning(m_parent, texts::programTitle(), texts::loadFailed(path, reason));
}

void MessageBoxPrompter::questionnaireSaveFailed(const QString &path, const QString &reason)
{
    QMessageBox::warning(m_parent, texts::programTitle(), texts::saveFailed(path, reason));
}

void MessageBoxPrompter::questionnaireUnencodable(const QString &path, const QString &characters)
{
    QMessageBox::warning(m_parent, texts::programTitle(), texts::unencodable(path, characters));
}

void MessageBoxPrompter::questionnaireMarksReported(const QString &path,
                                                    const QStringList &problems)
{
    QMessageBox::information(m_parent, texts::programTitle(), texts::marksReported(path, problems));
}

} // namespace teacher::forms
