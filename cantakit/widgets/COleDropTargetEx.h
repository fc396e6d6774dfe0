#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QMimeData;
class QWidget;

// Makes a window a target for files dragged from the desktop's file manager (a text/uri-list
// of local files). A drag is taken, as a copy, only when every file in it passes:
// - its extension (with the dot, compared without regard to case) is an accepted one;
// - and when it lies directly in a guarded folder (the album itself, say), its extension is
//   also one of those accepted inside guarded folders.
// A drop hands the list of paths to the window's drop handler.
class COleDropTargetEx : public QObject {
public:
    using DropHandler = std::function<void(const QStringList& paths)>;

    COleDropTargetEx();
    ~COleDropTargetEx() override;

    // Starts taking drags on window; false when there is no window or it has one already.
    bool Register(QWidget* window);
    void SetDropHandler(DropHandler handler) { m_handler = std::move(handler); }

    void SetExt(const QString& extension);
    void SetDir(const QString& folder);
    void SetUnconditionalExt(const QString& extension);

    // Qt::CopyAction when the data is a list of files that all pass, else Qt::IgnoreAction.
    Qt::DropAction OnDragOver(const QMimeData* data) const;
    // Hands the files to the drop handler; false, and nothing handed on, for data that does
    // not pass.
    bool OnDrop(const QMimeData* data);

    // The local files the data lists; false when it lists none, or anything that is not a
    // local file (a file URL that names a host included).
    static bool FileList(const QMimeData* data, QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Passes(const QString& path) const;
    // Passes by the path as spelt, without following a link.
    bool PassesAsNamed(const QString& path) const;
    bool IsGuarded(const QString& folder) const;

    QPointer<QWidget> m_window;
    DropHandler m_handler;
    QStringList m_extensions;
    QStringList m_folders;
    QStringList m_unconditional;
};
