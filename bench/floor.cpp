// The least any page writer must do, done as plainly as C++ allows, to measure the writer
// against: open the folder once, read it, one statx per file relative to the folder's
// descriptor, sort the names bytewise, build every line into one reserved buffer, write once.
// The lines have the page's shape and length: the targets and texts escaped for the few
// characters markup needs, the same padding, size and date texts in plain digits with their
// Chinese in GBK, and each three-byte character of a name written in two bytes as GBK would.
// Usage: bench_floor FOLDER OUTPUT
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct File
{
    std::string name;
    long long size = 0;
    long long birth = 0;
};

void escape(std::string &out, std::string_view name, bool target)
{
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const unsigned char next =
            i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        if (target && (c == '%' || c == '#' || c == '?')) {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&' && (unsigned((next | 0x20) - 'a') < 26u || unsigned(next - '0') < 10u ||
                                next == '#')) {
            out += "&amp;";
        } else if (c >= 0xE0) {
            // A three-byte character, as long as GBK writes it.
            out += name[i];
            out += name[i + 1];
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
}

int width(std::string_view name)
{
    int w = 0;
    for (const char c : name) {
        const unsigned char b = static_cast<unsigned char>(c);
        w += b < 0x80 ? 1 : b >= 0xC0 ? 2 : 0;
    }
    return w;
}

void digits(std::string &out, long long value, int width = 1)
{
    char text[24];
    int n = 0;
    do {
        text[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < width)
        text[n++] = '0';
    while (n > 0)
        out += text[--n];
}

// count "&nbsp;" at once.
void spaces(std::string &out, int count)
{
    static const std::string run = [] {
        std::string r;
        for (int i = 0; i < 46; ++i)
            r += "&nbsp;";
        return r;
    }();
    out.append(run, 0, size_t(count) * 6);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_floor FOLDER OUTPUT\n");
        return 2;
    }
    const int dirFd = open(argv[1], O_RDONLY | O_DIRECTORY);
    DIR *dir = dirFd < 0 ? nullptr : fdopendir(dirFd);
    if (!dir)
        return 1;
    std::vector<File> files;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            files.push_back({entry->d_name, 0, 0});
    }
    for (File &file : files) {
        struct statx st;
        if (statx(dirFd, file.name.c_str(), 0, STATX_SIZE | STATX_BTIME, &st) == 0) {
            file.size = static_cast<long long>(st.stx_size);
            file.birth = st.stx_btime.tv_sec;
        }
    }
    std::sort(files.begin(), files.end(),
              [](const File &a, const File &b) { return a.name < b.name; });

    const std::string folder = std::string(argv[1]) + '/';
    std::string page;
    page.reserve(files.size() * 400 + 4096);
    page += "<HTML>\r\n<HEAD><TITLE>floor</TITLE></HEAD>\r\n<BODY>\r\n<P align=\"left\">\r\n";
    for (const File &file : files) {
        page += "<A HREF=\"";
        escape(page, folder, true);
        escape(page, file.name, true);
        page += "\">";
        escape(page, file.name, false);
        page += "</A>";
        const int gap = 45 - width(file.name);
        spaces(page, gap <= 0 ? 3 : gap + 1);
        const size_t sizeStart = page.size();
        // Kilobytes rounded half to even, as the page rounds them.
        long long kb = file.size / 1024;
        const long long rest = file.size % 1024;
        kb += rest > 512 || (rest == 512 && kb % 2 != 0);
        digits(page, kb);
        page += "KB (";
        digits(page, file.size);
        page += "\xd7\xd6\xbd\xda)"; // 字节)
        const int sizeGap = 20 - int(page.size() - sizeStart);
        spaces(page, (sizeGap > 0 ? sizeGap + 1 : 0) + 3);
        const time_t when = time_t(file.birth);
        tm local{};
        localtime_r(&when, &local);
        digits(page, local.tm_year + 1900);
        page += "\xc4\xea"; // 年
        digits(page, local.tm_mon + 1);
        page += "\xd4\xc2"; // 月
        digits(page, local.tm_mday);
        page += "\xc8\xd5 "; // 日
        digits(page, local.tm_hour);
        page += ':';
        digits(page, local.tm_min, 2);
        page += ':';
        digits(page, local.tm_sec, 2);
        page += "<BR>\r\n";
    }
    page += "</P><HR>\r\n</BODY>\r\n</HTML>\r\n";
    closedir(dir);

    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || write(out, page.data(), page.size()) != ssize_t(page.size()))
        return 1;
    return close(out) == 0 ? 0 : 1;
}
