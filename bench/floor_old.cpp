// The first floor, kept to compare with: a full path per statx and a string built per line.
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_floor FOLDER OUTPUT\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + '/';
    DIR *dir = opendir(argv[1]);
    if (!dir)
        return 1;
    std::string page = "<HTML>\r\n";
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        struct statx st;
        const std::string path = folder + entry->d_name;
        if (statx(AT_FDCWD, path.c_str(), 0, STATX_SIZE | STATX_BTIME, &st) != 0)
            continue;
        page += "<A HREF=\"" + path + "\">" + entry->d_name + "</A> " +
                std::to_string(st.stx_size) + ' ' + std::to_string(st.stx_btime.tv_sec) +
                "<BR>\r\n";
    }
    closedir(dir);
    page += "</HTML>\r\n";
    FILE *out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(page.data(), 1, page.size(), out) != page.size())
        return 1;
    return std::fclose(out) == 0 ? 0 : 1;
}
