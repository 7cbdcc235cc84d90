// quarrane-tth: prints the Tiger tree hash of each file, like sha1sum prints SHA-1.

#include "hash/TthHashService.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char Usage[] = "Usage: quarrane-tth [-j N] FILE...\n"
                     "Print the Tiger tree hash (TTH, Base32) of each FILE.\n"
                     "  -j N   hash with N threads (default: the number of cores)\n";

bool ParseThreads(const char* text, int& threads)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 256)
        return false;
    threads = static_cast<int>(value);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::string> files;
    bool options = true;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (options && arg == "--")
        {
            options = false;
        }
        else if (options && (arg == "-h" || arg == "--help"))
        {
            std::fputs(Usage, stdout);
            return 0;
        }
        else if (options && arg.rfind("-j", 0) == 0)
        {
            const char* value = arg.size() > 2 ? argv[i] + 2 : (i + 1 < argc ? argv[++i] : "");
            if (!ParseThreads(value, threads))
            {
                std::fprintf(stderr, "quarrane-tth: -j needs a number of threads from 1 to 256\n%s", Usage);
                return 2;
            }
        }
        else if (options && arg.size() > 1 && arg[0] == '-')
        {
            std::fprintf(stderr, "quarrane-tth: unknown option %s\n%s", arg.c_str(), Usage);
            return 2;
        }
        else
        {
            files.push_back(arg);
        }
    }
    if (files.empty())
    {
        std::fputs(Usage, stderr);
        return 2;
    }

    const CTthHashService service(threads);
    int status = 0;
    for (const std::string& file : files)
    {
        const CTthHashResult result = service.Hash(file);
        if (result.Succeeded())
        {
            std::printf("%s  %s\n", result.tth.c_str(), file.c_str());
        }
        else
        {
            std::fflush(stdout);
            const char* reason = result.error == EINVAL ? "not a regular file" : std::strerror(result.error);
            std::fprintf(stderr, "quarrane-tth: %s: %s\n", file.c_str(), reason);
            status = 1;
        }
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? status : 1;
}
