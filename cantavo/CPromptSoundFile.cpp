#include "CPromptSoundFile.h"

#include "CFusion.h"
#include "CLast.h"
#include "CSaveNameDlg.h"
#include "CVeskToy.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>

CPromptSoundFile::CPromptSoundFile(const QString& extension)
    : CSoundFile(extension),
      m_kind(extension.compare(QLatin1String(".mid"), Qt::CaseInsensitive) == 0
                 ? QStringLiteral("ＭＩＤＩファイル")
                 : QStringLiteral("オーディオファイル")) {}

CPromptSoundFile::~CPromptSoundFile() = default;

int CPromptSoundFile::OnSaveFileDefine(int ask) {
    if (GetFileFlag() != MODIFIED_DIRTY) {
        return 1;
    }
    if (ask == 0) {
        const QString question =
            m_kind + QStringLiteral("\r\n\r\n") + QStringLiteral("現在の録音内容を保存しますか？");
        const int answer =
            CLast::Fusion().ShowMessage(question, MB_YESNO, QStringLiteral("メッセージ"));
        if (answer == IDNO) {
            return DeleteFileA();
        }
        // A box ended without an answer (a signal ends every modal loop while the program
        // goes down) has not said No: the take stays, and whoever asked hears it is kept.
        if (answer != IDYES) {
            return 0;
        }
    }
    while (GetFileFlag() == MODIFIED_DIRTY) {
        // The proposal is the take's own name, without folder and without its extension.
        QString proposed = QFileInfo(GetFileName()).fileName();
        proposed.chop(4);
        QWidget* parent = m_parent != nullptr ? m_parent : QApplication::activeWindow();
        CSaveNameDlg dialog(proposed, parent);
        if (dialog.exec() != QDialog::Accepted) {
            return 0;
        }
        if (SaveFile(CVeskToy().DataFile(dialog.Name() + GetExtension())) == 1) {
            return 1;
        }
    }
    return 1;
}
