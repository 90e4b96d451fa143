#pragma once

class QApplication;
class QIcon;

namespace orvanta::app {

// The program's icon, drawn for it and compiled in.
QIcon ProgramIcon();

// Gives the application its name, version, desktop entry and icon; every window and box
// created afterwards shows the icon.
void ApplyProgramIdentity(QApplication& application);

}  // namespace orvanta::app
