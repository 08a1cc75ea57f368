#include "memory_cgroups.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t at = 0;
    for (std::size_t end = text.find(separator); end != std::string_view::npos;
         end = text.find(separator, at)) {
        pieces.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    pieces.push_back(text.substr(at));
    return pieces;
}

// A whole decimal number, as the cgroup files hold one ("max" and anything else is not).
std::optional<DWORDLONG> number(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.remove_suffix(1);
    }
    DWORDLONG value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// memory.stat lines read "name value".
std::optional<DWORDLONG> statValue(std::string_view stat, std::string_view name) {
    for (const std::string_view line : split(stat, '\n')) {
        if (line.size() > name.size() && line.substr(0, name.size()) == name &&
            line[name.size()] == ' ') {
            return number(line.substr(name.size() + 1));
        }
    }
    return std::nullopt;
}

// mountinfo writes a blank, tab, line feed or backslash in a path as a three-digit octal escape.
std::string unescapeMountPath(std::string_view text) {
    std::string path;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\\' && at + 3 < text.size() && text[at + 1] >= '0' &&
            text[at + 1] <= '3' && text[at + 2] >= '0' && text[at + 2] <= '7' &&
            text[at + 3] >= '0' && text[at + 3] <= '7') {
            path += static_cast<char>((text[at + 1] - '0') * 64 + (text[at + 2] - '0') * 8 +
                                      (text[at + 3] - '0'));
            at += 3;
        } else {
            path += text[at];
        }
    }
    return path;
}

// How one cgroup version names its limit, its usage and the page cache it can drop.
struct MemoryFiles {
    const char* limit;
    const char* usage;
    // Usage counts the whole subtree; v1's plain inactive_file is the group's own cache only.
    std::string_view reclaimable;
};

constexpr MemoryFiles kV2Files{"memory.max", "memory.current", "inactive_file"};
constexpr MemoryFiles kV1Files{"memory.limit_in_bytes", "memory.usage_in_bytes",
                               "total_inactive_file"};

// A hierarchy that carries the memory controller, and where this process sits in it.
struct Hierarchy {
    std::string_view cgroupPath;
    const MemoryFiles* files;
};

// /proc/self/cgroup lines read "id:controllers:path"; v2's single line is "0::path".
std::vector<Hierarchy> memoryHierarchies(std::string_view cgroup) {
    std::vector<Hierarchy> found;
    for (const std::string_view line : split(cgroup, '\n')) {
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        if (first == std::string_view::npos || second == std::string_view::npos) {
            continue;
        }
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string_view path = line.substr(second + 1);
        if (line.substr(0, first) == "0" && controllers.empty()) {
            found.push_back({path, &kV2Files});
        } else {
            const auto names = split(controllers, ',');
            if (std::find(names.begin(), names.end(), "memory") != names.end()) {
                found.push_back({path, &kV1Files});
            }
        }
    }
    return found;
}

// The folders of the process's group and of each ancestor up to the top the mount shows,
// innermost first. Empty when no mount of that hierarchy holds the group.
std::vector<std::string> groupFolders(std::string_view mountinfo, const Hierarchy& hierarchy) {
    const bool v2 = hierarchy.files == &kV2Files;
    const auto components = [](std::string_view path) {
        auto parts = split(path, '/');
        parts.erase(std::remove(parts.begin(), parts.end(), std::string_view{}), parts.end());
        return parts;
    };
    const auto groupParts = components(hierarchy.cgroupPath);
    for (const std::string_view line : split(mountinfo, '\n')) {
        // "id parent major:minor root mount-point options [optional...] - type source super"
        const auto fields = split(line, ' ');
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 4) {
            continue;
        }
        const std::string_view type = dash[1];
        const auto options = split(dash[3], ',');
        const bool carriesMemory =
            v2 ? type == "cgroup2"
               : type == "cgroup" &&
                     std::find(options.begin(), options.end(), "memory") != options.end();
        if (!carriesMemory) {
            continue;
        }
        // The mount may show a subtree only (a container's own group); the process's group
        // must lie inside it, and a path that climbs out with ".." cannot be followed.
        const std::string mountRoot = unescapeMountPath(fields[3]);
        const auto rootParts = components(mountRoot);
        if (rootParts.size() > groupParts.size() ||
            !std::equal(rootParts.begin(), rootParts.end(), groupParts.begin()) ||
            std::any_of(groupParts.begin() + rootParts.size(), groupParts.end(),
                        [](std::string_view part) { return part == "." || part == ".."; })) {
            continue;
        }
        std::vector<std::string> folders;
        std::string folder = unescapeMountPath(fields[4]);
        folders.push_back(folder);
        for (auto part = groupParts.begin() + rootParts.size(); part != groupParts.end(); ++part) {
            folder += '/';
            folder += *part;
            folders.push_back(folder);
        }
        std::reverse(folders.begin(), folders.end());
        return folders;
    }
    return {};
}

// Narrows the record to one group's limit. The group's usage includes page cache the kernel
// drops before it kills anything, so that cache counts as available, as MemAvailable counts it.
void narrowToGroup(const std::string& folder, const MemoryFiles& files, DWORDLONG machineTotal,
                   MEMORYSTATUSEX& status) {
    const auto limit = number(readText(folder + '/' + files.limit));
    // "max" (v2) and v1's "no limit", the largest page-aligned number below 2^63, fail here:
    // like any limit beyond the machine's memory, they cannot bind before the machine does.
    if (!limit || *limit == 0 || *limit >= machineTotal) {
        return;
    }
    const auto usage = number(readText(folder + '/' + files.usage));
    if (!usage) {
        return;
    }
    const DWORDLONG reclaimable =
        statValue(readText(folder + "/memory.stat"), files.reclaimable).value_or(0);
    // Usage can pass the limit for a moment while the kernel reclaims.
    const DWORDLONG used = std::min(*usage, *limit);
    const DWORDLONG available = *limit - used + std::min(reclaimable, used);
    const auto load = static_cast<DWORD>((*limit - available) * 100 / *limit);

    status.ullTotalPhys = std::min(status.ullTotalPhys, *limit);
    status.ullAvailPhys = std::min(status.ullAvailPhys, available);
    status.dwMemoryLoad = std::max(status.dwMemoryLoad, load);
}

} // namespace

void narrowToMemoryCgroups(const std::string& root, MEMORYSTATUSEX& status) {
    const DWORDLONG machineTotal = status.ullTotalPhys;
    const std::string cgroup = readText(root + "/proc/self/cgroup");
    const std::string mountinfo = readText(root + "/proc/self/mountinfo");
    for (const Hierarchy& hierarchy : memoryHierarchies(cgroup)) {
        for (const std::string& folder : groupFolders(mountinfo, hierarchy)) {
            narrowToGroup(root + folder, *hierarchy.files, machineTotal, status);
        }
    }
}
