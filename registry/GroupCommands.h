#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Notices.h"
#include "link/TForm1.h"
#include "registry/RegistryStore.h"

namespace orvanta::registry {

// The commands that act on every player of the chosen viewing group, and the link list they
// walk. Initialize rebuilds the list; every other command calls one operation of each link in
// list order and stops at the first failure.
class GroupCommands {
public:
    struct Environment {
        Notices& notices;
        // A new player link, hidden, owned by this list.
        std::function<std::unique_ptr<link::TForm1>()> newLink;
        // The text of the group selector.
        std::function<std::string()> groupName;
        // The window's group change: the grid shows the whole group again.
        std::function<void()> groupChange;
    };

    GroupCommands(RegistryStore& store, Environment environment);

    void Preparalettori1Click();  // "1 - &Inizializza lettori"
    void Inviaifiles1Click();     // "2 - Copia &files nei lettori"
    void Caricaifiles1Click();    // "3 - &Carica files nei lettori" and "&Stop"
    void Normalscreen1Click();
    void Fullscreen1Click();
    void Play1Click();   // "&Play": the count box first
    void Pausa1Click();  // "&Pausa"

    // The link list; an entry may hold no link (after an initialize that stopped early).
    std::size_t LinkCount() const { return m_links.size(); }
    link::TForm1* Link(std::size_t index) const { return m_links.at(index).get(); }

private:
    void ForEachLink(void (link::TForm1::*operation)());

    RegistryStore& m_store;
    Environment m_env;
    // A link dropped from the list is closed and released: no command could reach it again.
    std::vector<std::unique_ptr<link::TForm1>> m_links;
};

}  // namespace orvanta::registry
