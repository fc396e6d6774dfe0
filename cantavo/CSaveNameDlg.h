#pragma once

#include "CIconWndButton.h"
#include "CMessageReceiver.h"

#include <QDialog>

class QLineEdit;

// "演奏の保存": the name under which a take goes into the album. The save button confirms;
// a name that cannot be a file name in the album keeps the dialog open with a message.
class CSaveNameDlg : public CMessageReceiver<QDialog> {
public:
    static constexpr unsigned int WM_SAVE = 1088;

    CSaveNameDlg(const QString& proposed, QWidget* parent = nullptr);
    ~CSaveNameDlg() override;

    QString Name() const;
    QLineEdit* Edit() const { return m_edit; }
    CIconWndButton* SaveButton() const { return m_save; }

    // The message for a name that cannot be saved, empty for a good one.
    static QString Refusal(const QString& name);

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnOK();

    QLineEdit* m_edit = nullptr;
    CIconWndButton* m_save = nullptr;
};
