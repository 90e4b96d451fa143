#include "app/QtNotices.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "core/Dispatch.h"
#include "registry/widgets/DisplayText.h"

namespace orvanta::app {

namespace {

QMessageBox::StandardButton Show(QMessageBox::Icon icon, const std::string& text,
                                 QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, registry::widgets::ShownText(kApplicationTitle),
                    registry::widgets::ShownText(text), buttons, QApplication::activeWindow());
    // Texts come from peers and files: markup in them must never draw, link or load anything.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void QtNotices::ShowError(const std::string& text) {
    Show(QMessageBox::Critical, text, QMessageBox::Ok);
}

void QtNotices::ShowMessage(const std::string& text) {
    // Centred on the screen rather than over a window.
    QMessageBox box(QMessageBox::NoIcon, registry::widgets::ShownText(kApplicationTitle),
                    registry::widgets::ShownText(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        box.adjustSize();
        box.move(screen->availableGeometry().center() - box.rect().center());
    }
    box.exec();
}

void QtNotices::ShowWarning(const std::string& text) {
    Show(QMessageBox::Warning, text, QMessageBox::Ok);
}

bool QtNotices::AskYesNo(const std::string& text) {
    return Show(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

}  // namespace orvanta::app
