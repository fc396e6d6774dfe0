#include "CSpinList.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

CSpinList::CSpinList(QWidget* parent) : QSpinBox(parent) {
    setWrapping(false);
    setAlignment(Qt::AlignCenter);
}

void CSpinList::SetItems(int low, const QStringList& items) {
    if (items.isEmpty()) {
        return;
    }
    m_items = items;
    setRange(low, low + static_cast<int>(items.size()) - 1);
    // The range may be unchanged while the texts are new.
    lineEdit()->setText(textFromValue(value()));
}

QString CSpinList::ItemText(int value) const {
    const int index = value - minimum();
    return index >= 0 && index < m_items.size() ? m_items.at(index) : QString();
}

void CSpinList::SetCharacterWidth(int characters) {
    const QFontMetrics metrics(font());
    const int text = metrics.horizontalAdvance(QString(characters, QLatin1Char('0')));
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize size =
        style()->sizeFromContents(QStyle::CT_SpinBox, &option, QSize(text, metrics.height()), this);
    setFixedWidth(size.width());
}

QString CSpinList::textFromValue(int value) const {
    return ItemText(value);
}

void CSpinList::DropTyped() {
    // Setting the same value rewrites the text and tells nobody.
    setValue(value());
}

int CSpinList::IndexOf(const QString& text) const {
    const QString wanted = text.trimmed();
    const int exact = static_cast<int>(m_items.indexOf(wanted));
    if (exact >= 0) {
        return exact;
    }
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).compare(wanted, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

int CSpinList::valueFromText(const QString& text) const {
    const int index = IndexOf(text);
    return index >= 0 ? minimum() + index : value();
}

QValidator::State CSpinList::validate(QString& input, int& /*pos*/) const {
    const QString text = input.trimmed();
    if (IndexOf(text) >= 0) {
        return QValidator::Acceptable;
    }
    for (const QString& item : m_items) {
        if (item.startsWith(text, Qt::CaseInsensitive)) {
            return QValidator::Intermediate;
        }
    }
    return QValidator::Invalid;
}
