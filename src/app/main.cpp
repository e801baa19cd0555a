// Program entry of Crawlmere.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Crawlmere %s\n", CRAWLMERE_VERSION);
            return 0;
        }
    }
    std::printf("Crawlmere %s\n", CRAWLMERE_VERSION);
    return 0;
}
