// Times the folder clearing of the game commands on a tree of 100,000 files in 1,000 folders, and `rm -rf`
// on an identical tree in the same run, with the window's repaint step in place (an event loop that is
// asked to process its events now and then). Prints each round and the median ratio; asserts nothing.
// Usage: bench_clearing [folder for the trees (default: the current folder)] [rounds (default 3)]
#include "game/folders.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;
constexpr int kDefaultRounds = 3;
constexpr int kFileBytes = 64;

// Ten top folders, each with a hundred sub-folders of a hundred files, as a WDB cache by locale and kind.
void MakeTree(const std::string& root)
{
    const std::string payload(kFileBytes, 'w');
    ::mkdir(root.c_str(), 0755);
    for (int f = 0; f < kFolders; ++f) {
        std::string top = root + "/locale" + std::to_string(f / 100);
        ::mkdir(top.c_str(), 0755);
        std::string dir = top + "/cache" + std::to_string(f % 100);
        ::mkdir(dir.c_str(), 0755);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            std::string file = dir + "/creature" + std::to_string(i) + ".wdb";
            int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0) {
                std::perror(file.c_str());
                std::exit(1);
            }
            if (::write(fd, payload.data(), payload.size()) < 0)
                std::perror("write");
            ::close(fd);
        }
    }
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double TimeRmRf(const std::string& root)
{
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("rm", "rm", "-rf", "--", root.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "rm -rf failed\n");
    return Seconds(end - start);
}

double TimeClearing(const std::string& root, long& steps)
{
    auto start = std::chrono::steady_clock::now();
    bool ok = EmptyFolder(root + "/" + kAllFilesPattern, [&] {
        ++steps;
        QCoreApplication::processEvents();
    });
    auto end = std::chrono::steady_clock::now();
    if (!ok)
        std::fprintf(stderr, "clearing reported a failure\n");
    ::rmdir(root.c_str());
    return Seconds(end - start);
}

void DropCaches()
{
    ::sync();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::string base = argc > 1 ? argv[1] : std::filesystem::current_path().string();
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRounds;
    std::string a = base + "/korvan-bench-clear-a";
    std::string b = base + "/korvan-bench-clear-b";
    std::printf("Clearing %d files in %d folders (%d rounds), trees under %s\n", kFolders * kFilesPerFolder,
                kFolders + kFolders / 100, rounds, base.c_str());
    std::vector<double> ratios;
    for (int r = 0; r < rounds; ++r) {
        MakeTree(a);
        MakeTree(b);
        DropCaches();
        long steps = 0;
        double ours, rm;
        // Alternate which goes first, so neither always meets the warmer cache.
        if (r % 2 == 0) {
            ours = TimeClearing(a, steps);
            rm = TimeRmRf(b);
        } else {
            rm = TimeRmRf(b);
            ours = TimeClearing(a, steps);
        }
        ratios.push_back(ours / rm);
        std::printf("round %d: clearing %.3f s (%ld repaint steps), rm -rf %.3f s, ratio %.2f\n", r + 1, ours, steps,
                    rm, ours / rm);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("median ratio clearing / rm -rf: %.2f (target: at most 1.50)\n", ratios[ratios.size() / 2]);
    return 0;
}
