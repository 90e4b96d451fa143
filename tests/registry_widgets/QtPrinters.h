#pragma once

#include <ostream>

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

// Readable failure messages for the Qt types the tests compare.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{';
    for (const QString& text : list) {
        PrintTo(text, out);
        *out << ' ';
    }
    *out << '}';
}
inline void PrintTo(const QColor& color, std::ostream* out) {
    *out << color.name().toStdString();
}
inline void PrintTo(const QPoint& point, std::ostream* out) {
    *out << '(' << point.x() << ',' << point.y() << ')';
}
inline void PrintTo(const QSize& size, std::ostream* out) {
    *out << size.width() << 'x' << size.height();
}
inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << rect.width() << 'x' << rect.height() << '+' << rect.x() << '+' << rect.y();
}
