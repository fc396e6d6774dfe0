#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

class COleDropTargetEx;

// One list of the album: the takes of one kind, each shown by its file name without folder
// and extension, with its full path kept in the same order. Tells its parent (posted window
// messages) when its selection changes, when an item is double-clicked and when files from
// the desktop are dropped on it; an item dragged out goes as a file URL, and the tooltip of a
// MIDI take is the memo stored in its file.
class CAlbumList : public QListWidget {
public:
    // extensions: lower case with the dot (".mid"); the list takes files ending in any of them.
    CAlbumList(QWidget* parent, const QStringList& extensions, const QString& albumFolder);
    ~CAlbumList() override;

    const QStringList& Extensions() const { return m_extensions; }
    // Whether a path ends in one of the list's extensions, compared in lower case.
    bool Accepts(const QString& path) const;

    void AddPath(const QString& path);
    void ClearPaths();
    const QStringList& Paths() const { return m_paths; }
    // The full path of the selected item; empty when nothing is selected.
    QString SelectedPath() const;
    int SelectedRow() const;
    void SelectRow(int row);
    void ClearSelected();

    // Hover selection follows the mouse unless the program was started with "hotitem".
    bool TrackSelect() const { return m_trackSelect; }
    // The paths dropped on the list and not yet taken, read by the parent on its drop message.
    QStringList TakeDropped();
    bool HasDropped() const { return !m_dropped.isEmpty(); }
    COleDropTargetEx* DropTarget() const { return m_drop; }
    // The drag data of the item at row: a text/uri-list with the one file.
    QMimeData* DragData(int row) const;
    // The tooltip of the item at row: its file's memo, empty when it has none.
    QString ToolTipFor(int row) const;

    // The item's name: the file name without folder and without its four-character extension.
    static QString ShownName(const QString& path);

protected:
    bool viewportEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supported) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void PostToParent(unsigned int message);

    QStringList m_extensions;
    QStringList m_paths;
    QStringList m_dropped;
    COleDropTargetEx* m_drop = nullptr;
    bool m_trackSelect = true;
};
