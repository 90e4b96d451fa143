#pragma once

#include <QHeaderView>

#include "registry/widgets/SortMarker.h"

namespace orvanta::registry::widgets {

// The grid's title row: each title is a button in grey bold text that looks pressed while
// the left button is held on it, with the sort marker at the right end of the marked title.
// A click (press and release on the same title) moves the marker and reports the column.
class PlayerGridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit PlayerGridHeader(QWidget* parent = nullptr);

    const SortMarker& Marker() const { return m_marker; }
    // The title held down under the pointer, or -1.
    int PressedSection() const { return m_over ? m_held : -1; }
    // True while the left button is down on the title row (a title press or a width drag).
    bool ButtonHeld() const { return m_buttonDown; }

signals:
    void TitleClicked(int column);
    // The left button went up again: a width drag, if any, has ended.
    void ButtonReleased();

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnPressed(int logicalIndex);
    void OnClicked(int logicalIndex);

    SortMarker m_marker;
    int m_held = -1;
    bool m_over = false;
    bool m_buttonDown = false;
};

}  // namespace orvanta::registry::widgets
