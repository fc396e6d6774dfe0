#pragma once

#include <QDialog>

// The start-up picture: 580 x 258 without caption, centred on the screen's available area.
// When it is shown and closed is the start-up's decision.
class CInitialDlg : public QDialog {
public:
    static constexpr int kWidth = 580;
    static constexpr int kHeight = 258;

    explicit CInitialDlg(QWidget* parent = nullptr);
    ~CInitialDlg() override;

    // Centres the window on the available area of its screen.
    void Recentre();

protected:
    void paintEvent(QPaintEvent* event) override;
};
