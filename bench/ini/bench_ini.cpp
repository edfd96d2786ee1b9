// Load and look-up times of a 20,000-line settings file: 400 sections of 48 keys, a comment
// line in every section, some quoted values and trailing comments. Reports the median of the
// runs. Usage: bench_ini [lines, default 20000]

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quorvalib/files/Aini.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const size_t wanted = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    constexpr size_t kKeysPerSection = 48;
    const size_t sections = std::max<size_t>(1, wanted / (kKeysPerSection + 2));

    std::string pattern = (std::filesystem::temp_directory_path() / "bench_iniXXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const std::string folder = pattern;
    const std::string path = folder + "/settings.ini";
    std::vector<std::pair<std::string, std::string>> keys;
    size_t lines = 0;
    {
        std::ofstream out(path, std::ios::binary);
        for (size_t s = 0; s < sections; ++s) {
            const std::string section = "Section" + std::to_string(s);
            out << "[" << section << "]\r\n; settings of " << section << "\r\n";
            lines += 2;
            for (size_t k = 0; k < kKeysPerSection; ++k) {
                const std::string key = "Key." + std::to_string(k) + ".Name";
                out << key << "\t\t=\t";
                if (k % 7 == 0) out << "\" quoted; value " << k << "\"";
                else out << "value number " << s * 1000 + k;
                if (k % 5 == 0) out << "\t\t; comment " << k;
                out << "\r\n";
                ++lines;
                keys.emplace_back(section, key);
            }
        }
    }
    const auto fileSize = std::filesystem::file_size(path);

    std::vector<double> loads;
    std::vector<double> finds;
    std::vector<double> misses;
    std::vector<double> saves;
    size_t found = 0;
    for (int run = 0; run < 15; ++run) {
        Aini ini{Astring(path)};
        auto start = Clock::now();
        if (!ini.Load()) return 1;
        loads.push_back(Micros(start));

        start = Clock::now();
        found = 0;
        for (const auto& [section, key] : keys) found += ini.Find(section, key) != nullptr;
        finds.push_back(Micros(start) / static_cast<double>(keys.size()));

        start = Clock::now();
        size_t none = 0;
        for (const auto& [section, key] : keys) none += ini.Find(section, key + "x") != nullptr;
        misses.push_back(Micros(start) / static_cast<double>(keys.size()));
        if (none != 0) return 1;

        ini.SetValue("Section0", "Key.1.Name", "changed");
        start = Clock::now();
        if (!ini.Save()) return 1;
        saves.push_back(Micros(start));
    }
    std::printf("settings file: %zu lines, %zu sections, %zu keys, %llu bytes\n", lines, sections,
                keys.size(), static_cast<unsigned long long>(fileSize));
    std::printf("load:                 %10.1f us (median of %zu)\n", Median(loads), loads.size());
    std::printf("look-up, present key: %10.3f us per key (%zu of %zu found)\n", Median(finds),
                found, keys.size());
    std::printf("look-up, absent key:  %10.3f us per key\n", Median(misses));
    std::printf("save after a change:  %10.1f us\n", Median(saves));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return found == keys.size() ? 0 : 1;
}
