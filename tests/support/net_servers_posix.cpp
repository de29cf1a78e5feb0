#include "tests/support/net_servers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vemla::test {
namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::string Installed(std::initializer_list<const char*> candidates) {
    for (const char* path : candidates)
        if (access(path, X_OK) == 0 || access(path, R_OK) == 0) return path;
    return {};
}

} // namespace

uint16_t FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("no free loopback port");
    close(fd);
    return ntohs(address.sin_port);
}

bool AcceptsConnections(uint16_t port, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(port);
        bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (connected) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

std::string Ser2netProgram() {
    return Installed({"/usr/sbin/ser2net", "/usr/bin/ser2net"});
}

std::string PythonRfc2217Server() {
    return Installed({"/usr/share/doc/python3-serial/examples/rfc2217_server.py"});
}

TSer2net::TSer2net(const std::string& directory, const std::string& device, uint16_t rfc2217Port,
                   uint16_t rawPort)
    : Rfc2217Port(rfc2217Port), RawPort(rawPort) {
    const std::string config = directory + "/ser2net.yaml";
    std::ofstream out(config);
    out << "%YAML 1.1\n---\n"
        << "connection: &rfc2217\n    accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc2217Port
        << "\n    connector: serialdev," << device << ",9600n81,local\n";
    if (rawPort != 0)
        out << "connection: &raw\n    accepter: tcp,127.0.0.1," << rawPort
            << "\n    connector: serialdev," << device << ",9600n81,local\n";
    out.close();
    Process = std::make_unique<TChildProcess>(std::vector<std::string>{
        Ser2netProgram(), "-n", "-c", config, "-P", directory + "/ser2net.pid"});
}

bool TSer2net::Ready() {
    return AcceptsConnections(Rfc2217Port) && (RawPort == 0 || AcceptsConnections(RawPort));
}

void TSer2net::Kill() {
    kill(Process->Pid(), SIGKILL);
    Process->WaitForExit(std::chrono::seconds(5));
}

TTestServer::TTestServer() {
    Listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (Listener < 0 || bind(Listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(Listener, 4) != 0 ||
        getsockname(Listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot listen on loopback");
    ServerPort = ntohs(address.sin_port);
}

TTestServer::~TTestServer() {
    close(Listener);
}

int TTestServer::Accept(std::chrono::milliseconds timeout) {
    pollfd p{Listener, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) != 1) return -1;
    return accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
}

std::string ReadSocket(int fd, size_t count, std::chrono::milliseconds timeout) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) break;
        char buffer[4096];
        ssize_t n = recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

bool WriteSocket(int fd, const std::string& bytes) {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

} // namespace vemla::test
