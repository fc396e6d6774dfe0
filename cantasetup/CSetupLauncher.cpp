#include "CSetupLauncher.h"

#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <cstdio>
#include <utility>

CSetupLauncher::CSetupLauncher(CSystemCheck system) : m_system(std::move(system)) {}

CSetupLauncher::~CSetupLauncher() = default;

QString CSetupLauncher::PackageFile() {
    return QStringLiteral(CANTASETUP_PACKAGE_FILE);
}

QString CSetupLauncher::Caption() {
    return QStringLiteral("ZQ31 Concertinoインストーラー");
}

QString CSetupLauncher::TooOldText() {
    return QStringLiteral("このバージョンのLinuxにはインストールできません");
}

QString CSetupLauncher::QuestionText() {
    return QStringLiteral("ZQ31 Concertinoをインストールします。");
}

QString CSetupLauncher::StartedText() {
    return QStringLiteral(
        "インストールを開始しました。このウィンドウはソフトウェアのインストーラーが"
        "終了してから閉じてください。");
}

int CSetupLauncher::Run() {
    std::fprintf(stderr, "Cantasetup: %s\n", qPrintable(m_system.Describe()));
    if (!m_system.IsNewEnough()) {
        Tell(TooOldText(), Icon::Error);
        return 0;
    }
    if (!Ask(QuestionText())) {
        return 0;
    }
    // The installer shows its own errors (a missing package among them); the launcher's part
    // ends with handing the file over.
    Open(QDir::current().absoluteFilePath(PackageFile()));
    Tell(StartedText(), Icon::Information);
    return 0;
}

bool CSetupLauncher::Ask(const QString& text) {
    QMessageBox box(QMessageBox::Information, Caption(), text, QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    // The desktop's own words for the buttons, as a Japanese system shows them.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    return box.exec() == QMessageBox::Yes;
}

void CSetupLauncher::Tell(const QString& text, Icon icon) {
    QMessageBox box(icon == Icon::Error ? QMessageBox::Critical : QMessageBox::Information,
                    Caption(), text, QMessageBox::Ok);
    box.exec();
}

void CSetupLauncher::Open(const QString& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        std::fprintf(stderr, "Cantasetup: the desktop could not open %s\n", qPrintable(path));
    }
}
