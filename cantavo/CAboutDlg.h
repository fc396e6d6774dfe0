#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QLabel;

// The about window: the program's icon, the product and its version, the legal notices of
// the program and of every library it ships with, and the version list of its files, in a
// scrollable text; OK closes it.
class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // The text shown, with "\n" line ends.
    QString Text() const;
    QPlainTextEdit* TextField() const { return m_text; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_ok = nullptr;
    QLabel* m_icon = nullptr;
};
