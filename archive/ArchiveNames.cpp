#include "ArchiveNames.h"

#include <array>

#include "ResultCodes.h"

namespace {

// Separators as '\' and A-Z as a-z, byte by byte; bytes from 0x80 stay as they are.
std::string Normalised(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c == '/') c = '\\';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The multiply-add run over bytes, each taken as unsigned.
uint32_t Crc(std::string_view bytes) {
    uint32_t crc = 0;
    for (char c : bytes) crc = crc * 0x1003F + static_cast<uint8_t>(c);
    return crc;
}

// The four single bytes and the run over the middle of a name; the extension step of file
// names adjusts them before they are packed.
struct HashParts {
    uint8_t last = 0, last2 = 0, length = 0, first = 0;
    uint32_t crc = 0;

    explicit HashParts(std::string_view s) {
        const size_t n = s.size();
        if (n == 0) return;
        last = static_cast<uint8_t>(s[n - 1]);
        last2 = n >= 3 ? static_cast<uint8_t>(s[n - 2]) : 0;
        length = static_cast<uint8_t>(n & 0xFF);
        first = static_cast<uint8_t>(s[0]);
        if (n > 3) crc = Crc(s.substr(1, n - 3));
    }
    uint64_t Packed() const {
        return uint64_t{last} | uint64_t{last2} << 8 | uint64_t{length} << 16 |
               uint64_t{first} << 24 | uint64_t{crc} << 32;
    }
};

// The code points Windows-1252 gives bytes 0x80 to 0x9F (unassigned bytes keep their value).
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-8 as code points; a byte that starts no valid sequence stands for U+FFFD.
std::u32string CodePoints(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<uint8_t>(s[i]);
        const int extra = b < 0x80         ? 0
                          : (b >> 5) == 6  ? 1
                          : (b >> 4) == 14 ? 2
                          : (b >> 3) == 30 ? 3
                                           : -1;
        char32_t c = extra == 0   ? b
                     : extra == 1 ? (b & 0x1F)
                     : extra == 2 ? (b & 0x0F)
                                  : (b & 0x07);
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < s.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!ok) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += c;
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

// One character as the pattern compares it: '/' as '\', upper-case letters as lower-case.
char32_t Folded(char32_t c) {
    if (c == U'/') return U'\\';
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    switch (c) {
        case 0x0160:
        case 0x0152:
        case 0x017D:
            return c + 1;
        case 0x0178:
            return 0xFF;
        default:
            return c;
    }
}

bool IsDeviceName(std::string_view component) {
    std::string stem(component.substr(0, component.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// A component with the characters Windows refuses, and the trailing dots and spaces it
// strips, replaced by '_'.
std::string SanitisedComponent(std::string_view component) {
    std::string out;
    for (size_t i = 0; i < component.size(); ++i) {
        const auto b = static_cast<uint8_t>(component[i]);
        const bool c1 = b == 0xC2 && i + 1 < component.size() &&
                        static_cast<uint8_t>(component[i + 1]) >= 0x80 &&
                        static_cast<uint8_t>(component[i + 1]) <= 0x9F;
        if (c1) {
            out += '_';
            ++i;
        } else if (b < 0x20 || b == 0x7F ||
                   std::string_view("<>:\"|?*").find(static_cast<char>(b)) !=
                       std::string_view::npos) {
            out += '_';
        } else {
            out += static_cast<char>(b);
        }
    }
    for (size_t i = out.size(); i > 0 && (out[i - 1] == '.' || out[i - 1] == ' '); --i) {
        out[i - 1] = '_';
    }
    if (IsDeviceName(out)) out.insert(out.begin(), '_');
    return out;
}

}  // namespace

uint64_t ArchiveFolderHash(std::string_view name) {
    std::string s = Normalised(name);
    const size_t begin = s.find_first_not_of('\\');
    const size_t end = s.find_last_not_of('\\');
    s = begin == std::string::npos ? "." : s.substr(begin, end - begin + 1);
    return HashParts(s).Packed();
}

uint64_t ArchiveFileHash(std::string_view name) {
    const std::string s = Normalised(name);
    const size_t dot = s.rfind('.');
    const std::string_view stem = std::string_view(s).substr(0, dot);
    const std::string_view ext =
        dot == std::string::npos ? std::string_view() : std::string_view(s).substr(dot);
    HashParts parts(stem);
    parts.crc += Crc(ext);
    // Four extensions add a code to three of the bytes, each sum wrapping at 256.
    unsigned code = ext == ".nif"   ? 1
                    : ext == ".kf"  ? 2
                    : ext == ".dds" ? 3
                    : ext == ".wav" ? 4
                                    : 0;
    parts.first = static_cast<uint8_t>(parts.first + ((code & 0xFC) << 5));
    parts.last = static_cast<uint8_t>(parts.last + ((code & 0xFE) << 6));
    parts.last2 = static_cast<uint8_t>(parts.last2 + (code << 7));
    return parts.Packed();
}

std::string Utf8FromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char32_t{b});
    }
    return out;
}

bool ArchivePathMatches(std::string_view pattern, std::string_view path) {
    std::u32string p = CodePoints(pattern), s = CodePoints(path);
    for (char32_t& c : p) c = Folded(c);
    for (char32_t& c : s) c = Folded(c);
    // Greedy matching that returns to the last '*' on a mismatch: linear in practice, and
    // never exponential.
    size_t i = 0, j = 0, star = std::u32string::npos, resume = 0;
    while (j < s.size()) {
        if (i < p.size() && (p[i] == U'?' || p[i] == s[j])) {
            ++i;
            ++j;
        } else if (i < p.size() && p[i] == U'*') {
            star = i++;
            resume = j;
        } else if (star != std::u32string::npos) {
            i = star + 1;
            j = ++resume;
        } else {
            return false;
        }
    }
    while (i < p.size() && p[i] == U'*') ++i;
    return i == p.size();
}

int SafeRelativePath(std::string_view entryPath, std::filesystem::path& path, std::string& error) {
    path.clear();
    const std::string quoted = "'" + std::string(entryPath) + "'";
    if (!entryPath.empty() && (entryPath[0] == '\\' || entryPath[0] == '/')) {
        error = "the entry path " + quoted + " is absolute";
        return rc::kUnsafeEntryPath;
    }
    if (entryPath.size() >= 2 && entryPath[1] == ':' &&
        ((entryPath[0] >= 'a' && entryPath[0] <= 'z') ||
         (entryPath[0] >= 'A' && entryPath[0] <= 'Z'))) {
        error = "the entry path " + quoted + " names a drive";
        return rc::kUnsafeEntryPath;
    }
    std::filesystem::path out;
    size_t start = 0;
    while (start <= entryPath.size()) {
        size_t end = entryPath.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = entryPath.size();
        const std::string_view component = entryPath.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            error = "the entry path " + quoted + " climbs out of its folder with '..'";
            return rc::kUnsafeEntryPath;
        }
        const std::string clean = SanitisedComponent(component);
        out /= std::filesystem::path(std::u8string(clean.begin(), clean.end()));
    }
    if (out.empty()) {
        error = "the entry path " + quoted + " has no file name";
        return rc::kUnsafeEntryPath;
    }
    path = out;
    return rc::kOk;
}
