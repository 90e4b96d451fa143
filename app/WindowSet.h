#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/DesktopEffects.h"
#include "core/Notices.h"

namespace orvanta::link {
class TForm1;
}
namespace orvanta::registry::ui {
class TFormMainManager;
}

namespace orvanta::app {

class TForm_manager;

// The windows created at start, in their fixed order: the manager window (the main window),
// the hidden test window and the hidden start-up player link. They are destroyed in the
// reverse order; the links' connections close without a farewell line.
class WindowSet {
public:
    WindowSet(Notices& notices, DesktopEffects& effects,
              std::function<std::string()> executableFolder);
    ~WindowSet();

    registry::ui::TFormMainManager& FormMainManager() { return *m_formMainManager; }
    TForm_manager& Form_manager() { return *m_formManager; }
    link::TForm1& Form1() { return *m_form1; }

    // Shows the main window; showing it loads the viewing groups.
    void ShowMainWindow();

private:
    std::unique_ptr<registry::ui::TFormMainManager> m_formMainManager;
    std::unique_ptr<TForm_manager> m_formManager;
    std::unique_ptr<link::TForm1> m_form1;
};

}  // namespace orvanta::app
