#include "registry/widgets/IpAddressEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace orvanta::registry::widgets {

namespace {
constexpr int kHighest = 255;
constexpr int kDigits = 3;
}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < static_cast<int>(m_fields.size()); ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setBackgroundRole(QPalette::Base);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(digits);
        field->setMaxLength(kDigits);
        // Only the first field takes part in the tab order, through the focus proxy.
        field->setFocusPolicy(Qt::ClickFocus);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i] { OnFieldEdited(i); });
        layout->addWidget(field, 1);
        m_fields[i] = field;
    }
    setFocusProxy(m_fields[0]);
    SetParts({0, 0, 0, 0});
}

AddressParts IpAddressEdit::Parts() const {
    AddressParts parts{};
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        parts[i] = ParseAddressPart(m_fields[i]->text().toStdString());
    }
    return parts;
}

void IpAddressEdit::SetParts(const AddressParts& parts) {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i]->setText(QString::number(parts[i]));
    }
}

QString IpAddressEdit::text() const {
    return QString::fromStdString(AddressText(Parts()));
}

void IpAddressEdit::setText(const QString& text) {
    SetParts(ParseAddressText(text.toLocal8Bit().toStdString()));
}

void IpAddressEdit::OnFieldEdited(int index) {
    QLineEdit* field = m_fields[index];
    if (field->text().toInt() > kHighest) {
        field->setText(QString::number(kHighest));
    }
    if (field->text().size() == kDigits && field->cursorPosition() == kDigits &&
        index + 1 < static_cast<int>(m_fields.size())) {
        FocusField(index + 1, true);
    }
}

void IpAddressEdit::FocusField(int index, bool selectAll) {
    QLineEdit* field = m_fields[index];
    field->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        field->selectAll();
    } else {
        field->setCursorPosition(field->text().size());
    }
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QFrame::eventFilter(watched, event);
    }
    int index = -1;
    for (int i = 0; i < static_cast<int>(m_fields.size()); ++i) {
        if (m_fields[i] == watched) {
            index = i;
        }
    }
    if (index < 0) {
        return QFrame::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = m_fields[index];
    const bool last = index + 1 == static_cast<int>(m_fields.size());
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    if (key->text() == QStringLiteral(".") || key->text() == QStringLiteral(" ")) {
        // A field just entered (all selected) or empty keeps the focus, so the dot typed
        // after a third digit has moved on is not taken twice.
        if (!last && !field->text().isEmpty() && !field->hasSelectedText()) {
            FocusField(index + 1, true);
        }
        return true;  // neither character belongs in a field
    }
    if ((key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Left) && atStart && index > 0) {
        FocusField(index - 1, false);
        return true;
    }
    if (key->key() == Qt::Key_Right && atEnd && !last) {
        FocusField(index + 1, false);
        m_fields[index + 1]->setCursorPosition(0);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace orvanta::registry::widgets
