#include "FileLists.h"

#include "teacher/questionnaire/QuestionnaireDocument.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace teacher::forms {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString shownName(const QString &path, bool isRoot)
{
    if (isRoot)
        return QDir::toNativeSeparators(path);
    return path.section(u'/', -1, -1, QString::SectionSkipEmpty);
}

} // namespace

// ------------------------------------------------------------ folder list

DirectoryList::DirectoryList(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(8);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        if (item)
            emit folderChosen(item->data(0, kPathRole).toString());
    });
}

bool DirectoryList::setPath(const QString &dir)
{
    const QString path = QDir::cleanPath(QDir(dir).absolutePath());
    if (!questionnaire::canListDirectory(path))
        return false;

    clear();
    const QStringList ancestors = questionnaire::ancestorPaths(
        path, questionnaire::driveOf(path, questionnaire::driveRoots()));
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem *parentItem = nullptr;
    for (qsizetype i = 0; i < ancestors.size(); ++i) {
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, shownName(ancestors[i], i == 0));
        item->setIcon(0, open);
        item->setData(0, kPathRole, ancestors[i]);
        parentItem = item;
    }
    QString prefix = ancestors.constLast();
    if (!prefix.endsWith(u'/'))
        prefix += u'/';
    for (const QString &name : questionnaire::listSubdirectories(path)) {
        auto *item = new QTreeWidgetItem(parentItem);
        item->setText(0, name);
        item->setIcon(0, closed);
        item->setData(0, kPathRole, prefix + name);
    }
    expandAll();
    m_path = ancestors.constLast();
    setCurrentItem(parentItem);
    scrollToItem(parentItem);
    return true;
}

QTreeWidgetItem *DirectoryList::itemForPath(const QString &dir) const
{
    for (QTreeWidgetItemIterator it(const_cast<DirectoryList *>(this)); *it; ++it) {
        if ((*it)->data(0, kPathRole).toString() == dir)
            return *it;
    }
    return nullptr;
}

void DirectoryList::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        emit folderChosen(currentItem()->data(0, kPathRole).toString());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// -------------------------------------------------------------- file list

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

bool FileList::setPath(const QString &dir)
{
    const QString path = QDir::cleanPath(QDir(dir).absolutePath());
    if (!questionnaire::canListDirectory(path))
        return false;
    if (path != m_path) {
        const QSignalBlocker blocker(this);
        clear(); // a file selected in the other folder is not selected here
    }
    m_path = path;
    refresh();
    return true;
}

void FileList::refresh()
{
    const QString selected = selectedName();
    const QSignalBlocker blocker(this);
    clear();
    if (m_path.isEmpty())
        return;
    addItems(questionnaire::listFiles(m_path, m_pattern));
    if (!selected.isEmpty()) {
        const QList<QListWidgetItem *> found =
            findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!found.isEmpty()) {
            setCurrentItem(found.constFirst());
            found.constFirst()->setSelected(true);
        }
    }
}

QString FileList::selectedName() const
{
    const QList<QListWidgetItem *> items = selectedItems();
    return items.isEmpty() ? QString() : items.constFirst()->text();
}

} // namespace teacher::forms
