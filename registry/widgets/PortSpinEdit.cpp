#include "registry/widgets/PortSpinEdit.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace orvanta::registry::widgets {

namespace {

bool Digits(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

}  // namespace

PortSpinEdit::PortSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(kLowest, kHighest);
    setSingleStep(1);
    setValue(kLowest);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    connect(lineEdit(), &QLineEdit::textEdited, this, &PortSpinEdit::OnEdited);
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

bool PortSpinEdit::CanBecomeInRange(const QString& text) {
    if (text.isEmpty()) {
        return true;
    }
    if (!Digits(text)) {
        return false;
    }
    long long low = 0;
    for (const QChar c : text) {
        low = low * 10 + (c.unicode() - u'0');
        if (low > kHighest) {
            return false;
        }
    }
    // With each further digit the text spans [low * 10, low * 10 + 9], and so on.
    for (long long high = low; low <= kHighest; low *= 10, high = high * 10 + 9) {
        if (high >= kLowest) {
            return true;
        }
    }
    return false;
}

QValidator::State PortSpinEdit::validate(QString&, int&) const {
    // Every text is let through; OnEdited judges the operator's edits.
    return QValidator::Acceptable;
}

int PortSpinEdit::valueFromText(const QString& text) const {
    return Normalised(text);
}

QString PortSpinEdit::textFromValue(int value) const {
    // The spin box redraws its text from the value; the program's text must survive that.
    if (m_untouched && value == m_loadedValue) {
        return m_loadedText;
    }
    return QString::number(value);
}

void PortSpinEdit::Rewrite(int value) {
    const QString text = QString::number(value);
    if (lineEdit()->text() != text) {
        lineEdit()->setText(text);
        lineEdit()->setCursorPosition(static_cast<int>(text.size()));
    }
    setValue(value);
}

void PortSpinEdit::OnEdited() {
    m_untouched = false;
    const QString text = lineEdit()->text().trimmed();
    if (CanBecomeInRange(text)) {
        return;  // stays as typed; the value follows it through valueFromText
    }
    Rewrite(Normalised(text));
}

void PortSpinEdit::Settle() {
    if (!m_untouched) {
        Rewrite(Normalised(lineEdit()->text()));
    }
}

void PortSpinEdit::SetText(const QString& text) {
    m_untouched = true;
    m_loadedText = text;
    m_loadedValue = Normalised(text);
    setValue(m_loadedValue);
    lineEdit()->setText(text);
}

void PortSpinEdit::stepBy(int steps) {
    // A step starts from the number the text stands for.
    Settle();
    m_untouched = false;
    QSpinBox::stepBy(steps);
}

void PortSpinEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Settle();
    }
    QSpinBox::keyPressEvent(event);
}

void PortSpinEdit::focusOutEvent(QFocusEvent* event) {
    Settle();
    QSpinBox::focusOutEvent(event);
}

}  // namespace orvanta::registry::widgets
