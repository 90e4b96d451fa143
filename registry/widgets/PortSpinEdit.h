#pragma once

#include <QSpinBox>
#include <QString>

namespace orvanta::registry::widgets {

// The port box: always holds a whole number from 7000 to 33333. Whatever text the operator
// types is rewritten at once (and again on leaving the box): a number outside the range
// becomes the nearer bound, text that is no number becomes 7000. Text set by the program
// follows the same rule. The buttons, arrow keys and wheel step by 1.
class PortSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    static constexpr int kLowest = 7000;
    static constexpr int kHighest = 33333;

    explicit PortSpinEdit(QWidget* parent = nullptr);

    // The box's text, rewritten by the rule; text() then reads it back.
    void SetText(const QString& text);

    // The rule itself: blanks around the text are ignored; an optional sign and digits are a
    // number; anything else is no number.
    static int Normalised(const QString& text);

protected:
    QValidator::State validate(QString& input, int& position) const override;
    int valueFromText(const QString& text) const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Rewrite();
};

}  // namespace orvanta::registry::widgets
