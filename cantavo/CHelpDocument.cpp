#include "CHelpDocument.h"

#include "CFusion.h"
#include "CLast.h"
#include "CScorp.h"
#include "CTrace.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace {

CHelpDocument::Opener& CurrentOpener() {
    static CHelpDocument::Opener opener;
    return opener;
}

QStringList& FolderOverride() {
    static QStringList folders;
    return folders;
}

QString Unexpected(int place) {
    return QStringLiteral("予期せぬエラーが発生しました。(%1)").arg(place);
}

} // namespace

QString CHelpDocument::NameOf(unsigned int command) {
    switch (command) {
    case 32815:
        return QStringLiteral("ZQ31Concertino.pdf");
    case 32816:
        return QStringLiteral("ZQ31Concertino_G.pdf");
    case 32817:
        return QStringLiteral("ZQ31Concertino_F.pdf");
    default:
        return {};
    }
}

QStringList CHelpDocument::Folders() {
    if (!FolderOverride().isEmpty()) {
        return FolderOverride();
    }
    const QString program = QCoreApplication::applicationDirPath();
    return {program, QDir::cleanPath(program + QStringLiteral("/../share/cantavo"))};
}

QString CHelpDocument::Find(const QString& name) {
    for (const QString& folder : Folders()) {
        const QFileInfo file(folder + QLatin1Char('/') + name);
        if (file.isFile()) {
            return file.absoluteFilePath();
        }
    }
    return {};
}

CHelpDocument::Result CHelpDocument::Open(const QString& name) {
    const QString path = Find(name);
    if (path.isEmpty()) {
        return FILE_NOT_FOUND;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    const Opener& opener = CurrentOpener();
    const bool opened = opener ? opener(url) : QDesktopServices::openUrl(url);
    // The desktop says no more than that it could not open the file: there is no viewer.
    return opened ? OPENED : NO_ASSOCIATION;
}

QString CHelpDocument::Message(int result) {
    switch (result) {
    case 0:
    case 8:
        return Unexpected(24);
    case 2:
        return Unexpected(25);
    case 3:
        return Unexpected(26);
    case 5:
    case 31:
        return QStringLiteral("ヘルプを読むには、インストール手順に従い、\r\n"
                              "Adobe Acrobat Reader をセットアップしてください。");
    case 11:
        return Unexpected(27);
    case 26:
        return Unexpected(33);
    case 27:
        return Unexpected(28);
    case 28:
        return Unexpected(31);
    case 29:
        return Unexpected(30);
    case 30:
        return Unexpected(29);
    case 32:
        return Unexpected(32);
    default:
        return {};
    }
}

void CHelpDocument::OnHelp(unsigned int command) {
    const CScorp scope("CCantavoApp", "OnHelp", CLast::Trace());
    const QString name = NameOf(command);
    if (name.isEmpty()) {
        CLast::Trace().TraceEnd();
        return;
    }
    const Result result = Open(name);
    CLast::Trace().TraceEnd(int(result));
    const QString message = Message(result);
    if (!message.isEmpty()) {
        CLast::Fusion().ShowMessage(message, MB_OK, QStringLiteral("メッセージ"));
    }
}

void CHelpDocument::SetOpener(Opener opener) {
    CurrentOpener() = std::move(opener);
}

void CHelpDocument::SetFolders(const QStringList& folders) {
    FolderOverride() = folders;
}
