#pragma once

#include <QSpinBox>
#include <QString>

namespace orvanta::registry::widgets {

// The port box: a whole number from 7000 to 33333. While the operator types, a text that can
// still grow into a number of the range stays as typed, so any port can be typed digit by
// digit; a number above the range becomes 33333 at once, and any other text that can no
// longer reach the range becomes the nearer bound (7000 for text that is no number) at once.
// Leaving the box or Enter clamps what is left to the nearer bound. The buttons, arrow keys
// and wheel step by 1. Text set by the program shows as given, even outside the range, and
// text() gives it back unchanged until the operator edits or steps.
class PortSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    static constexpr int kLowest = 7000;
    static constexpr int kHighest = 33333;

    explicit PortSpinEdit(QWidget* parent = nullptr);

    // Shows a text as it is, untouched.
    void SetText(const QString& text);
    // Applies the rule of leaving the box to what the operator typed, as before a save.
    void Settle();

    // The clamp: blanks around the text are ignored; an optional sign and digits are a
    // number, clamped to the nearer bound; anything else is no number and gives 7000.
    static int Normalised(const QString& text);
    // Whether a text being typed stays as it is: empty, or digits that are in the range or
    // can still become a number of the range as more digits follow.
    static bool CanBecomeInRange(const QString& text);

protected:
    QValidator::State validate(QString& input, int& position) const override;
    int valueFromText(const QString& text) const override;
    QString textFromValue(int value) const override;
    void stepBy(int steps) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void OnEdited();
    void Rewrite(int value);

    // The program's text, shown as long as the operator has not touched the box.
    bool m_untouched = false;
    QString m_loadedText;
    int m_loadedValue = kLowest;
};

}  // namespace orvanta::registry::widgets
