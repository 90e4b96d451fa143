#include "app/ProgramIdentity.h"

#include <QApplication>
#include <QIcon>

#include "core/CommandLine.h"
#include "core/Dispatch.h"

namespace orvanta::app {

QIcon ProgramIcon() {
#ifdef _WIN32
    // Drawn from the SVG at build time: Qt for Windows is built without SVG.
    return QIcon(QStringLiteral(":/icons/kelt-orvanta-manager.png"));
#else
    return QIcon(QStringLiteral(":/icons/kelt-orvanta-manager.svg"));
#endif
}

void ApplyProgramIdentity(QApplication& application) {
    application.setApplicationName(QString::fromLocal8Bit(kApplicationTitle));
    // Where the windows keep what the operator arranged (QSettings).
    application.setOrganizationName(QStringLiteral("KELT"));
    application.setApplicationVersion(QString::fromLatin1(ProgramVersion()));
    // Lets the desktop match the windows to the installed entry (and its icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("kelt-orvanta-manager"));
    QApplication::setWindowIcon(ProgramIcon());
}

}  // namespace orvanta::app
