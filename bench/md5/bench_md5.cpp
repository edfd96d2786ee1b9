// MD5 throughput of the library next to md5sum on the same 1 GiB file (both from the page
// cache), best of three runs each, and their ratio. The file lives in a fresh temporary folder
// that is removed at the end. Usage: bench_md5 [size in MiB, default 1024]

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "quorvalib/files/Afile.h"
#include "quorvalib/files/Md5.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool MakeFile(const std::string& path, size_t mebibytes) {
    Afile file{Astring(path)};
    if (!file.Create()) return false;
    constexpr size_t kChunk = 1 << 20;
    auto buffer = std::make_unique<uint64_t[]>(kChunk / 8);
    std::mt19937_64 random(12345);
    for (size_t i = 0; i < mebibytes; ++i) {
        for (size_t j = 0; j < kChunk / 8; ++j) buffer[j] = random();
        if (!file.Write(buffer.get(), kChunk)) return false;
    }
    return true;
}

std::string RunMd5sum(const std::string& path) {
    const std::string command = "md5sum '" + path + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return got ? std::string(line, 32) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
    std::string pattern = (std::filesystem::temp_directory_path() / "bench_md5XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    const std::string path = folder + "/data.bin";
    int status = 0;
    if (!MakeFile(path, mebibytes)) {
        std::fprintf(stderr, "could not write %s\n", path.c_str());
        status = 1;
    } else {
        const double bytes = static_cast<double>(mebibytes) * (1 << 20);
        Md5 warm;
        Md5::OfFile(Astring(path), warm);  // bring the whole file into the page cache
        double ours = 1e9;
        double theirs = 1e9;
        std::string ourDigest;
        std::string theirDigest;
        for (int run = 0; run < 3; ++run) {
            auto start = Clock::now();
            Md5 md5;
            if (!Md5::OfFile(Astring(path), md5)) status = 1;
            ours = std::min(ours, Seconds(start));
            ourDigest = md5.HexDigest().str();
            start = Clock::now();
            theirDigest = RunMd5sum(path);
            theirs = std::min(theirs, Seconds(start));
        }
        const double ourRate = bytes / ours / 1e6;
        const double theirRate = bytes / theirs / 1e6;
        std::printf("file: %zu MiB\n", mebibytes);
        std::printf("Md5 (library): %8.3f s  %8.1f MB/s  %s\n", ours, ourRate, ourDigest.c_str());
        std::printf("md5sum:        %8.3f s  %8.1f MB/s  %s\n", theirs, theirRate,
                    theirDigest.c_str());
        std::printf("ratio (library / md5sum throughput): %.3f (goal >= 0.9)\n",
                    ourRate / theirRate);
        if (ourDigest != theirDigest) {
            std::printf("DIGESTS DIFFER\n");
            status = 1;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
