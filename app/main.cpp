#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

#include "app/ProgramIdentity.h"
#include "app/QtNotices.h"
#include "app/WindowSet.h"
#include "core/CommandLine.h"
#include "core/Descriptors.h"

// The link's desktop effects: Windows has the system calls themselves, elsewhere Qt offers
// what the platform allows.
#ifdef _WIN32
#include "core/Win32DesktopEffects.h"
using PlatformDesktopEffects = orvanta::Win32DesktopEffects;
#else
#include "app/QtDesktopEffects.h"
using PlatformDesktopEffects = orvanta::app::QtDesktopEffects;
#endif
#include "core/Dispatch.h"

namespace {

const orvanta::ProgramUsage kProgram{
    "orvanta-manager",
    "usage: orvanta-manager\n"
    "       orvanta-manager --help | --version\n"
    "KELT Orvanta Manager: keeps the registry of networked media players and runs the group\n"
    "commands on them. It takes no arguments; the registry is data.mdb beside the\n"
    "executable (make one with orvanta-registry create).\n"};

}  // namespace

int main(int argc, char** argv) {
    // Answered before the toolkit starts, so they work without a display (packaging checks).
    if (const auto status = orvanta::AnswerHelpOrVersion(
            kProgram, std::vector<std::string>(argv + 1, argv + argc), std::cout)) {
        return *status;
    }

    // Before anything opens a file: the toolkit's own descriptors count too.
    orvanta::RaiseOpenFileLimit();
    orvanta::DescriptorReserve reserve;

    QApplication application(argc, argv);
    orvanta::app::ApplyProgramIdentity(application);
    // Menus open with a slide where the desktop animates them.
    QApplication::setEffectEnabled(Qt::UI_AnimateMenu);

    orvanta::app::QtNotices notices(reserve);
    PlatformDesktopEffects effects;
    // Failures that reach no caller (a driver manager lacking an entry point) go to the error
    // box too.
    orvanta::SetUncaughtFailureHandler([&notices](const std::string& message) {
        notices.ShowError(orvanta::ErrorBoxText(message));
    });
    {
        orvanta::app::WindowSet windows(notices, effects, {});
        windows.ShowMainWindow();
        application.exec();
    }
    return 0;
}
