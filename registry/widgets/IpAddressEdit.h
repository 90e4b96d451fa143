#pragma once

#include <array>

#include <QFrame>
#include <QString>

#include "registry/widgets/AddressText.h"

class QLineEdit;

namespace orvanta::registry::widgets {

// The address box: four fields of 0 to 255 in one edit frame. Its text is the four numbers
// joined by dots (an empty field counts as 0); text put into it follows ParseAddressText.
// A third digit moves to the next field, as does a dot or a blank after typed digits; a
// number above 255 becomes 255 at once. The box is one stop in the tab order.
class IpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    AddressParts Parts() const;
    void SetParts(const AddressParts& parts);

    QLineEdit& Field(int index) const { return *m_fields.at(index); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnFieldEdited(int index);
    void FocusField(int index, bool selectAll);

    std::array<QLineEdit*, 4> m_fields{};
};

}  // namespace orvanta::registry::widgets
