// quarrane-tth: prints the Tiger tree hash of each file, like sha1sum prints SHA-1.

#include "hash/TthHashQueue.h"
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
const char Usage[] = "Usage: quarrane-tth [-j N] [--read=MODE] FILE...\n"
                     "Print the Tiger tree hash (TTH, Base32) of each FILE.\n"
                     "  -j N          hash with N threads (default: the number of cores)\n"
                     "  --read=MODE   auto (default: direct reads for large files where the volume\n"
                     "                allows them), buffered (page cache only), or direct (direct\n"
                     "                reads for files of every size)\n";

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
    ETthReadMode readMode = ETthReadMode::Auto;
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
        else if (options && arg.rfind("--read=", 0) == 0)
        {
            const std::string value = arg.substr(7);
            if (value == "auto")
                readMode = ETthReadMode::Auto;
            else if (value == "buffered")
                readMode = ETthReadMode::BufferedOnly;
            else if (value == "direct")
                readMode = ETthReadMode::Direct;
            else
            {
                std::fprintf(stderr, "quarrane-tth: --read takes auto, buffered or direct\n%s", Usage);
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

    const CTthHashService service(threads, readMode);
    // Files are hashed ahead on every thread, but printed in the order they were named.
    CTthHashQueue queue(service, threads);
    const std::size_t window = 64 * static_cast<std::size_t>(threads);
    std::size_t added = 0;
    int status = 0;
    for (const std::string& file : files)
    {
        while (added < files.size() && queue.Pending() < window)
            queue.Add(files[added++]);
        const CTthHashResult result = queue.Take();
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
