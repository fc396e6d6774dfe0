#include "COleDropTargetEx.h"

#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

// A folder as one spelling: absolute, cleaned, through its links when it exists.
QString FolderKey(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

bool ListHolds(const QStringList& list, const QString& extension) {
    return list.contains(extension, Qt::CaseInsensitive);
}

// The extension with its dot, as the file name ends; empty when the name has none.
QString Extension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

} // namespace

COleDropTargetEx::COleDropTargetEx() = default;
COleDropTargetEx::~COleDropTargetEx() {
    if (m_window) {
        m_window->removeEventFilter(this);
    }
}

bool COleDropTargetEx::Register(QWidget* window) {
    if (window == nullptr || m_window) {
        return false;
    }
    m_window = window;
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    return true;
}

void COleDropTargetEx::SetExt(const QString& extension) {
    m_extensions.append(extension);
}

void COleDropTargetEx::SetDir(const QString& folder) {
    m_folders.append(FolderKey(folder));
}

void COleDropTargetEx::SetUnconditionalExt(const QString& extension) {
    m_unconditional.append(extension);
}

bool COleDropTargetEx::FileList(const QMimeData* data, QStringList& paths) {
    paths.clear();
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    for (const QUrl& url : data->urls()) {
        // A file URL naming a host is that host's file: its path read here would be "//host/..",
        // which this system takes for a local folder called "host".
        if (!url.isLocalFile() || !url.host().isEmpty() || url.toLocalFile().isEmpty()) {
            paths.clear();
            return false;
        }
        paths.append(url.toLocalFile());
    }
    return !paths.isEmpty();
}

bool COleDropTargetEx::IsGuarded(const QString& folder) const {
    // Folders are told apart exactly: file names on this system differ by case.
    return m_folders.contains(FolderKey(folder));
}

bool COleDropTargetEx::Passes(const QString& path) const {
    if (!PassesAsNamed(path)) {
        return false;
    }
    // A link is also judged as the file it leads to: a link elsewhere to a file of a guarded
    // folder, or named with another extension, must not bring that file in.
    const QFileInfo info(path);
    const QString target = info.canonicalFilePath();
    return target.isEmpty() || target == QDir::cleanPath(info.absoluteFilePath()) ||
           PassesAsNamed(target);
}

bool COleDropTargetEx::PassesAsNamed(const QString& path) const {
    const QString extension = Extension(path);
    if (!ListHolds(m_extensions, extension)) {
        return false;
    }
    if (IsGuarded(QFileInfo(path).absolutePath())) {
        return ListHolds(m_unconditional, extension);
    }
    return true;
}

Qt::DropAction COleDropTargetEx::OnDragOver(const QMimeData* data) const {
    QStringList paths;
    if (!FileList(data, paths)) {
        return Qt::IgnoreAction;
    }
    for (const QString& path : paths) {
        if (!Passes(path)) {
            return Qt::IgnoreAction;
        }
    }
    return Qt::CopyAction;
}

bool COleDropTargetEx::OnDrop(const QMimeData* data) {
    QStringList paths;
    if (OnDragOver(data) != Qt::CopyAction || !FileList(data, paths)) {
        return false;
    }
    if (m_handler) {
        // Called through a copy: a handler that closes the window may delete this target, and
        // the handler it holds, while it runs. Nothing of this target is touched afterwards.
        const DropHandler handler = m_handler;
        handler(paths);
    }
    return true;
}

bool COleDropTargetEx::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (OnDragOver(drag->mimeData()) == Qt::CopyAction &&
            (drag->possibleActions() & Qt::CopyAction)) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if ((drop->possibleActions() & Qt::CopyAction) && OnDrop(drop->mimeData())) {
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
