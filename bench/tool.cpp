// Bench helpers without Qt:
//   bench_tool make FOLDER COUNT   fills FOLDER with COUNT files of realistic names
//   bench_tool tree TOP FOLDERS FILES   the same files spread over FOLDERS nested folders
//   bench_tool folders FOLDER COUNT     COUNT empty sub-folders, for the folder list
//   bench_tool time RUNS CMD...    runs CMD RUNS times; prints the best seconds, the peak KiB
//                                  and the best CPU seconds (user and system)
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const char *const kExtensions[18] = {"txt", "doc", "xls", "pdf", "jpg",  "gif",
                                     "bmp", "zip", "exe", "htm", "html", "mp3",
                                     "avi", "c",   "ini", "ppt", "dat",  "ico"};
const char *const kChinese[12] = {"报告",   "会议纪要", "照片",   "第一章", "合同草案", "论文",
                                  "数据表", "通知",     "说明书", "预算",   "设计图",   "演示文稿"};
const char *const kLatin[12] = {"Report", "meeting notes", "IMG",    "Chapter",
                                "draft",  "Q3 budget",     "scan",   "invoice",
                                "Slides", "backup",        "readme", "setup"};
const char *const kMarks[8] = {" & ", " #", " 100%", "'s", " + ", " (copy)", " (2)", ""};

int make(const char *folder, long count)
{
    if (mkdir(folder, 0755) != 0 && errno != EEXIST)
        return 1;
    unsigned seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 8); };
    for (long i = 0; i < count; ++i) {
        std::string name;
        if (i % 3 == 0)
            name = kChinese[next() % 12];
        else
            name = kLatin[next() % 12];
        name += kMarks[next() % 8];
        name += ' ' + std::to_string(i) + '.' + kExtensions[next() % 18];
        const std::string path = std::string(folder) + '/' + name;
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0 || ftruncate(fd, off_t(next() % 5000000)) != 0 || close(fd) != 0)
            return 1;
    }
    return 0;
}

// A tree of folders folders (each a child of the one before, ten to a level) holding
// files files in all, as make names them.
int makeTree(const char *top, long folders, long files)
{
    if (mkdir(top, 0755) != 0 && errno != EEXIST)
        return 1;
    std::string parent = top;
    long made = 0;
    for (long f = 0; f < folders; ++f) {
        // Ten folders side by side, then the next ten inside the first of them.
        if (f > 0 && f % 10 == 0)
            parent += "/dir " + std::to_string(f - 10);
        const std::string folder = parent + "/dir " + std::to_string(f);
        const long count = files / folders + (f < files % folders ? 1 : 0);
        if (make(folder.c_str(), count) != 0)
            return 1;
        made += count;
    }
    return made == files ? 0 : 1;
}

// FOLDER with count empty sub-folders, for the folder list.
int makeFolders(const char *folder, long count)
{
    if (mkdir(folder, 0755) != 0 && errno != EEXIST)
        return 1;
    for (long i = 0; i < count; ++i) {
        const std::string path = std::string(folder) + "/folder " + std::to_string(i);
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            return 1;
    }
    return 0;
}

int timeRuns(int runs, char **command)
{
    double best = 1e30, bestCpu = 1e30;
    long peak = 0;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(command[0], command);
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < best)
            best = seconds;
        const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        if (cpu < bestCpu)
            bestCpu = cpu;
        if (usage.ru_maxrss > peak)
            peak = usage.ru_maxrss;
    }
    std::printf("%.4f %ld %.4f\n", best, peak, bestCpu);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "make")
        return make(argv[2], std::atol(argv[3]));
    if (argc == 4 && std::string(argv[1]) == "folders")
        return makeFolders(argv[2], std::atol(argv[3]));
    if (argc == 5 && std::string(argv[1]) == "tree")
        return makeTree(argv[2], std::atol(argv[3]), std::atol(argv[4]));
    if (argc >= 4 && std::string(argv[1]) == "time")
        return timeRuns(std::atoi(argv[2]), argv + 3);
    std::fprintf(stderr,
                 "usage: bench_tool make FOLDER COUNT | tree TOP FOLDERS FILES | folders FOLDER "
                 "COUNT | time RUNS CMD...\n");
    return 2;
}
