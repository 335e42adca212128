#pragma once

#include <QListWidget>
#include <QTreeWidget>

namespace teacher::forms {

// The chooser's folder list: the folders from the drive's root down to the
// current one, open, and the current folder's subfolders below them. A double
// click or Enter on a folder asks to move there; the owner decides and calls
// setPath.
class DirectoryList : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DirectoryList(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Lists dir; false, with the list left as it was, when dir cannot be
    // listed.
    bool setPath(const QString &dir);
    // The item of a listed folder, null when it is not listed.
    QTreeWidgetItem *itemForPath(const QString &dir) const;

signals:
    void folderChosen(const QString &dir);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // The folders are always open: no branch marks, only the indentation.
    void drawBranches(QPainter *, const QRect &, const QModelIndex &) const override {}

private:
    QString m_path;
};

// The chooser's file list: the files of one folder that match a pattern.
class FileList : public QListWidget
{
    Q_OBJECT

public:
    explicit FileList(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Lists dir; false, with the list left as it was, when dir cannot be
    // listed.
    bool setPath(const QString &dir);
    void setPattern(const QString &pattern) { m_pattern = pattern; }
    QString pattern() const { return m_pattern; }
    // Lists the folder again; a selected file that is still there stays
    // selected.
    void refresh();
    // The selected file's name, empty when none is selected.
    QString selectedName() const;

private:
    QString m_path;
    QString m_pattern;
};

} // namespace teacher::forms
