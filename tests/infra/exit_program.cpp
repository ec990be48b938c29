// A program whose end is chosen on the command line: exit code N, a crash or a
// hang, so the test runner's handling of each can be checked.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "code") == 0) {
        return std::atoi(argv[2]);
    }
    if (argc == 2 && std::strcmp(argv[1], "crash") == 0) {
        volatile int *nowhere = nullptr;
        *nowhere = 1;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "hang") == 0) {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
    std::fprintf(stderr, "usage: infra_exit code N | crash | hang\n");
    return 2;
}
