#include "CAlbumList.h"

#include "CAlbumDlg.h"
#include "CLast.h"
#include "CManage.h"
#include "COleDropTargetEx.h"
#include "CWinMsg.h"

#include <QCoreApplication>
#include <QDrag>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolTip>
#include <QUrl>

namespace {

// Hover selection is the list's way unless the program was started with "hotitem" anywhere on
// its command line.
bool HotItemRequested() {
    return QCoreApplication::arguments().join(QLatin1Char(' ')).contains(QLatin1String("hotitem"));
}

} // namespace

CAlbumList::CAlbumList(QWidget* parent, const QStringList& extensions, const QString& albumFolder)
    : QListWidget(parent), m_extensions(extensions), m_trackSelect(!HotItemRequested()) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setUniformItemSizes(true);
    setMouseTracking(m_trackSelect);
    viewport()->setMouseTracking(m_trackSelect);

    // Files from the desktop are taken when they are of the album's kinds; a file lying in the
    // album already is refused by the target itself (nothing to import).
    m_drop = new COleDropTargetEx;
    m_drop->setParent(this);
    for (const QString& extension : {QStringLiteral(".mid"), QStringLiteral(".wav"),
                                     QStringLiteral(".mp3"), QStringLiteral(".wma")}) {
        m_drop->SetExt(extension);
    }
    m_drop->SetDir(albumFolder);
    m_drop->SetDropHandler([this](const QStringList& paths) {
        // Added to what the parent has not taken yet (it waits while a WAV is compressed).
        m_dropped += paths;
        PostToParent(CAlbumDlg::WM_ALBUM_DROPFILE);
    });
    m_drop->Register(viewport());

    connect(this, &QListWidget::itemSelectionChanged, this,
            [this] { PostToParent(CAlbumDlg::WM_ALBUM_CHANGED); });
}

CAlbumList::~CAlbumList() = default;

bool CAlbumList::Accepts(const QString& path) const {
    return m_extensions.contains(path.right(4).toLower());
}

void CAlbumList::AddPath(const QString& path) {
    m_paths.append(path);
    auto* item = new QListWidgetItem(ShownName(path), this);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
}

void CAlbumList::ClearPaths() {
    clear();
    m_paths.clear();
}

QString CAlbumList::SelectedPath() const {
    const int row = SelectedRow();
    return row >= 0 ? m_paths.value(row) : QString();
}

int CAlbumList::SelectedRow() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void CAlbumList::SelectRow(int row) {
    if (row >= 0 && row < count()) {
        setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
}

void CAlbumList::ClearSelected() {
    if (!selectedItems().isEmpty()) {
        clearSelection();
    }
}

QStringList CAlbumList::TakeDropped() {
    QStringList dropped;
    dropped.swap(m_dropped);
    return dropped;
}

QMimeData* CAlbumList::DragData(int row) const {
    if (row < 0 || row >= m_paths.size()) {
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_paths.at(row))});
    return data;
}

QString CAlbumList::ToolTipFor(int row) const {
    if (row < 0 || row >= m_paths.size() || !CLast::HasManage()) {
        return {};
    }
    const QString& path = m_paths.at(row);
    // Only a Standard MIDI File carries a memo.
    if (path.right(4).toLower() != QLatin1String(".mid")) {
        return {};
    }
    return CLast::Manage().GetAlbumSMFMemo(path);
}

QString CAlbumList::ShownName(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return name.left(std::max<qsizetype>(0, name.size() - 4));
}

bool CAlbumList::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString memo = index.isValid() ? ToolTipFor(index.row()) : QString();
        if (memo.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), memo, viewport(), visualRect(index));
        }
        return true;
    }
    case QEvent::MouseMove: {
        auto* move = static_cast<QMouseEvent*>(event);
        if (m_trackSelect && move->buttons() == Qt::NoButton) {
            const QModelIndex index = indexAt(move->position().toPoint());
            if (index.isValid() && index.row() != SelectedRow()) {
                SelectRow(index.row());
            }
        }
        break;
    }
    default:
        break;
    }
    return QListWidget::viewportEvent(event);
}

void CAlbumList::startDrag(Qt::DropActions) {
    QMimeData* data = DragData(SelectedRow());
    if (data == nullptr) {
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QString path = m_paths.value(SelectedRow());
    drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
    // A file manager that moved the take away leaves the list out of date.
    if (!QFileInfo::exists(path)) {
        if (auto* album = dynamic_cast<CAlbumDlg*>(parentWidget())) {
            album->Refresh();
        }
    }
}

void CAlbumList::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid()) {
        PostToParent(CAlbumDlg::WM_ALBUM_DBLCLK);
    }
}

void CAlbumList::PostToParent(unsigned int message) {
    CWinMsg::PostMessage(parentWidget(), message, reinterpret_cast<WPARAM>(this), 0);
}
