#include "meminfo.h"

#include "memory_cgroups.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

// A line reads "Name:   12345 kB".
std::optional<DWORDLONG> fieldBytes(std::string_view text, std::string_view name) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() <= name.size() || line.substr(0, name.size()) != name ||
            line[name.size()] != ':') {
            continue;
        }
        std::size_t digits = line.find_first_of("0123456789", name.size() + 1);
        if (digits == std::string_view::npos) {
            return std::nullopt;
        }
        DWORDLONG kib = 0;
        const auto parsed = std::from_chars(line.data() + digits, line.data() + line.size(), kib);
        if (parsed.ec != std::errc()) {
            return std::nullopt;
        }
        return kib * 1024;
    }
    return std::nullopt;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

bool memoryStatusFromMeminfo(std::string_view meminfo, MEMORYSTATUSEX& status) {
    const auto total = fieldBytes(meminfo, "MemTotal");
    const auto available = fieldBytes(meminfo, "MemAvailable");
    if (!total || !available || *total == 0) {
        return false;
    }
    const DWORDLONG availPhys = std::min(*available, *total);
    const DWORDLONG commitLimit = fieldBytes(meminfo, "CommitLimit").value_or(*total);
    const DWORDLONG committed = fieldBytes(meminfo, "Committed_AS").value_or(0);

    status.dwMemoryLoad = static_cast<DWORD>((*total - availPhys) * 100 / *total);
    status.ullTotalPhys = *total;
    status.ullAvailPhys = availPhys;
    status.ullTotalPageFile = commitLimit;
    status.ullAvailPageFile = committed < commitLimit ? commitLimit - committed : 0;
    // A 64-bit process's address space is far larger than anything it will map here.
    status.ullTotalVirtual = DWORDLONG{1} << 47;
    status.ullAvailVirtual = status.ullTotalVirtual;
    status.ullAvailExtendedVirtual = 0;
    return true;
}

bool readMemoryStatus(const std::string& root, MEMORYSTATUSEX& status) {
    if (!memoryStatusFromMeminfo(readText(root + "/proc/meminfo"), status)) {
        return false;
    }
    narrowToMemoryCgroups(root, status);
    return true;
}
