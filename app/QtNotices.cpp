#include "app/QtNotices.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include "core/Dispatch.h"

namespace orvanta::app {

namespace {

QMessageBox::StandardButton Show(QMessageBox::Icon icon, const std::string& text,
                                 QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QString::fromLocal8Bit(kApplicationTitle), QString::fromLocal8Bit(text),
                    buttons, QApplication::activeWindow());
    // Texts come from peers and files: markup in them must never draw, link or load anything.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

// Hands the reserve's descriptors to the box for as long as it is open.
class ReserveReleased {
public:
    explicit ReserveReleased(DescriptorReserve* reserve) : m_reserve(reserve) {
        if (m_reserve) {
            m_reserve->Release();
        }
    }
    ~ReserveReleased() {
        if (m_reserve) {
            m_reserve->Take();
        }
    }
    ReserveReleased(const ReserveReleased&) = delete;
    ReserveReleased& operator=(const ReserveReleased&) = delete;

private:
    DescriptorReserve* m_reserve;
};

}  // namespace

void QtNotices::ShowError(const std::string& text) {
    const ReserveReleased released(m_reserve);
    Show(QMessageBox::Critical, text, QMessageBox::Ok);
}

void QtNotices::ShowMessage(const std::string& text) {
    const ReserveReleased released(m_reserve);
    // Centred on the screen rather than over a window.
    QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(kApplicationTitle),
                    QString::fromLocal8Bit(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        box.adjustSize();
        box.move(screen->availableGeometry().center() - box.rect().center());
    }
    box.exec();
}

void QtNotices::ShowWarning(const std::string& text) {
    const ReserveReleased released(m_reserve);
    Show(QMessageBox::Warning, text, QMessageBox::Ok);
}

bool QtNotices::AskYesNo(const std::string& text) {
    const ReserveReleased released(m_reserve);
    return Show(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

}  // namespace orvanta::app
