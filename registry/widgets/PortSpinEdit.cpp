#include "registry/widgets/PortSpinEdit.h"

#include <QLineEdit>

namespace orvanta::registry::widgets {

PortSpinEdit::PortSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(kLowest, kHighest);
    setSingleStep(1);
    setValue(kLowest);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    connect(lineEdit(), &QLineEdit::textEdited, this, &PortSpinEdit::Rewrite);
}

int PortSpinEdit::Normalised(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype at = 0;
    bool negative = false;
    if (at < trimmed.size() && (trimmed[at] == u'+' || trimmed[at] == u'-')) {
        negative = trimmed[at] == u'-';
        ++at;
    }
    if (at == trimmed.size()) {
        return kLowest;
    }
    long long value = 0;
    for (; at < trimmed.size(); ++at) {
        const QChar c = trimmed[at];
        if (c < u'0' || c > u'9') {
            return kLowest;  // no number
        }
        // Saturates: every longer number is above the range anyway.
        value = value > kHighest ? value : value * 10 + (c.unicode() - u'0');
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(value < kLowest ? kLowest : (value > kHighest ? kHighest : value));
}

QValidator::State PortSpinEdit::validate(QString&, int&) const {
    // Every text is let through; Rewrite replaces it at once by the rule.
    return QValidator::Acceptable;
}

int PortSpinEdit::valueFromText(const QString& text) const {
    return Normalised(text);
}

void PortSpinEdit::Rewrite() {
    const int value = Normalised(lineEdit()->text());
    const QString text = QString::number(value);
    if (lineEdit()->text() != text) {
        lineEdit()->setText(text);
        lineEdit()->setCursorPosition(text.size());
    }
    setValue(value);
}

void PortSpinEdit::SetText(const QString& text) {
    setValue(Normalised(text));
    lineEdit()->setText(QString::number(value()));
}

void PortSpinEdit::focusOutEvent(QFocusEvent* event) {
    Rewrite();
    QSpinBox::focusOutEvent(event);
}

}  // namespace orvanta::registry::widgets
