// A device in its own process, for discovery tests: runs one DeviceServer
// until its standard input closes. Prints "READY <port>" once listening.
// Usage: p2p_test_device UID NAME

#include <p2p/DeviceServer.h>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s UID NAME\n", argv[0]);
        return 2;
    }
    p2p::DeviceConfig c;
    c.uid = argv[1];
    c.name = argv[2];
    c.account = "admin";
    c.password = "pw";
    p2p::DeviceServer server(c);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "start failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("READY %u\n", unsigned(server.port()));
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.stop();
    return 0;
}
