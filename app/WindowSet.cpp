#include "app/WindowSet.h"

#include "app/TForm_manager.h"
#include "link/TForm1.h"
#include "registry/ui/TFormMainManager.h"

namespace orvanta::app {

WindowSet::WindowSet(Notices& notices, DesktopEffects& effects,
                     std::function<std::string()> executableFolder) {
    m_formMainManager = std::make_unique<registry::ui::TFormMainManager>(
        registry::ui::TFormMainManager::Environment{notices, effects, std::move(executableFolder)});
    m_formManager = std::make_unique<TForm_manager>();
    // Nothing uses the start-up link; it polls a channel that never opens.
    m_form1 = std::make_unique<link::TForm1>(link::LinkEnvironment{
        notices, effects, [this] { return m_formMainManager->CurrentFilePlay(); }});
}

WindowSet::~WindowSet() {
    m_form1.reset();
    m_formManager.reset();
    m_formMainManager.reset();
}

void WindowSet::ShowMainWindow() {
    m_formMainManager->show();
}

}  // namespace orvanta::app
