#include "tools/player-sim/PlayerSimulator.h"

#include <poll.h>

#include <map>
#include <memory>
#include <vector>

#include "core/Text.h"
#include "net/LineReader.h"
#include "net/SocketError.h"

namespace orvanta::tools {

namespace {

struct Client {
    net::Socket socket;
    net::LineReader reader;
    bool greeted = false;
};

std::string TagText(const std::string& payload, const std::string& tag) {
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag + ">";
    const auto o = payload.find(open);
    const auto c = payload.find(close);
    if (o == std::string::npos || c == std::string::npos || c < o + open.size()) {
        return {};
    }
    return Trimmed(payload.substr(o + open.size(), c - o - open.size()));
}

}  // namespace

PlayerSimulator::PlayerSimulator(const std::string& name, net::Ipv4 address, std::uint16_t port)
    : m_name(name), m_listener(net::ListenTcp(address, port, 16)) {}

std::string PlayerSimulator::AnswerFor(const std::string& name, const std::string& line) {
    if (line.empty()) {
        return {};
    }
    if (line[0] != '@') {
        return name + ": connesso come " + line;
    }
    const auto colon = line.find(':');
    const std::string word = UpperAscii(
        Trimmed(line.substr(1, colon == std::string::npos ? std::string::npos : colon - 1)));
    const std::string payload = colon == std::string::npos ? "" : Trimmed(line.substr(colon + 1));
    if (word == "PLAY") {
        return name + ": in riproduzione";
    }
    if (word == "PAUSE") {
        return name + ": in pausa";
    }
    if (word == "STOP") {
        return name + ": fermo";
    }
    if (word == "FULLSCREEN") {
        return name + ": schermo intero";
    }
    if (word == "NOFULLSCREEN") {
        return name + ": finestra";
    }
    if (word == "RENDERFILE") {
        return name + ": file caricato " + TagText(payload, "FILE");
    }
    return name + ": comando sconosciuto " + word;
}

void PlayerSimulator::Run() {
    std::map<int, std::unique_ptr<Client>> clients;
    int nextNumber = 1;
    std::map<int, int> numbers;
    while (!m_stop) {
        std::vector<pollfd> fds{{m_listener.Handle(), POLLIN, 0}};
        for (const auto& [fd, client] : clients) {
            fds.push_back({fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 200) <= 0) {
            continue;
        }
        if (fds[0].revents & POLLIN) {
            auto client = std::make_unique<Client>();
            client->socket = net::AcceptTcp(m_listener, nullptr);
            const int fd = client->socket.Handle();
            numbers[fd] = nextNumber++;
            if (m_observer) {
                m_observer(numbers[fd], "(connessione aperta)");
            }
            clients[fd] = std::move(client);
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents) {
                continue;
            }
            Client& client = *clients[fds[i].fd];
            bool closed = false;
            try {
                std::string line;
                // Drain every complete line that has arrived, without waiting for more.
                for (;;) {
                    auto result = client.reader.ReadLine(client.socket, 0, line);
                    if (result == net::LineReader::Result::NoLine) {
                        break;
                    }
                    if (result == net::LineReader::Result::PeerClosed) {
                        closed = true;
                        break;
                    }
                    if (m_observer) {
                        m_observer(numbers[fds[i].fd], line);
                    }
                    const std::string answer = AnswerFor(m_name, line);
                    if (!answer.empty()) {
                        const std::string wire = answer + "\r\n";
                        client.socket.SendAll(wire.data(), wire.size());
                    }
                }
            } catch (const std::exception& e) {
                if (m_observer) {
                    m_observer(numbers[fds[i].fd], std::string("(errore) ") + e.what());
                }
                closed = true;
            }
            if (closed) {
                if (m_observer) {
                    m_observer(numbers[fds[i].fd], "(connessione chiusa)");
                }
                numbers.erase(fds[i].fd);
                clients.erase(fds[i].fd);
            }
        }
    }
}

}  // namespace orvanta::tools
