#pragma once

#include <QSpinBox>
#include <QStringList>

// A spin control that steps through a fixed list of item texts: value v shows the text of
// item v - minimum. The keyboard (arrows, Page Up/Down, Home/End) and the screen reader work
// as for any spin box; typing an item's text, in any case, selects it.
class CSpinList : public QSpinBox {
public:
    explicit CSpinList(QWidget* parent = nullptr);

    // The range becomes low .. low + items - 1 (nothing changes for an empty list).
    void SetItems(int low, const QStringList& items);
    const QStringList& Items() const { return m_items; }
    // The text shown for a value; empty outside the range.
    QString ItemText(int value) const;
    // Wide enough for `characters` characters of the widest kind.
    void SetCharacterWidth(int characters);
    // Shows the current value's text again, dropping what was typed and not yet entered.
    void DropTyped();

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& input, int& pos) const override;

private:
    // The item a typed text names, exactly or else in another case; -1 for none.
    int IndexOf(const QString& text) const;

    QStringList m_items;
};
