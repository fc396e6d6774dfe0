#include <cstdio>

// The installer launcher comes with the installer package; until then it says so and fails,
// rather than pretending that something was installed.
int main() {
    std::fputs("Cantasetup: there is no installer package to start yet.\n", stderr);
    return 1;
}
