#include "common/platform/PrivateProfile.h"

#include "common/platform/Text.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace FenmarlCommonDLL::platform {

namespace {

// One read-modify-write at a time within the process.
std::mutex& writeMutex()
{
    static std::mutex m;
    return m;
}

std::string trim(const std::string& text)
{
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool equalsIgnoreCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

struct Content
{
    bool exists = false;
    std::string bom;                // kept when rewriting
    std::string lineEnd = "\n";     // the file's own, so files written on Windows stay CR LF
    std::vector<std::string> lines; // without line ends
};

Content load(const std::filesystem::path& file)
{
    Content c;
    std::ifstream in(file, std::ios::binary);
    if (!in) return c;
    c.exists = true;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    std::string bytes = buffer.str();
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        // UTF-16LE, as the wide Windows calls may have written it.
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        bytes = utf16ToUtf8(units);
    } else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        c.bom = "\xEF\xBB\xBF";
        bytes.erase(0, 3);
    }
    const std::size_t firstLf = bytes.find('\n');
    if (firstLf != std::string::npos && firstLf > 0 && bytes[firstLf - 1] == '\r') c.lineEnd = "\r\n";
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t eol = bytes.find('\n', start);
        if (eol == std::string::npos) eol = bytes.size();
        std::string line = bytes.substr(start, eol - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        c.lines.push_back(std::move(line));
        start = eol + 1;
    }
    return c;
}

// "[name]" → name; false for any other line.
bool sectionName(const std::string& line, std::string* name)
{
    const std::string t = trim(line);
    if (t.empty() || t[0] != '[') return false;
    const std::size_t close = t.find(']');
    *name = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// "key=value" → key and value (trimmed); a line without '=' is a key with an empty value.
void keyAndValue(const std::string& line, std::string* key, std::string* value)
{
    const std::size_t eq = line.find('=');
    *key = trim(line.substr(0, eq));
    *value = eq == std::string::npos ? std::string() : trim(line.substr(eq + 1));
}

bool isEntry(const std::string& line)
{
    const std::string t = trim(line);
    return !t.empty() && t[0] != ';' && t[0] != '#' && t[0] != '[';
}

// Index range [first, end) of the section's body lines; false when absent.
bool findSection(const Content& c, const std::string& section, std::size_t* first, std::size_t* end)
{
    const std::string wanted = trim(section);
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        std::string name;
        if (!sectionName(c.lines[i], &name) || !equalsIgnoreCase(name, wanted)) continue;
        std::size_t j = i + 1;
        std::string other;
        while (j < c.lines.size() && !sectionName(c.lines[j], &other))
            ++j;
        *first = i + 1;
        *end = j;
        return true;
    }
    return false;
}

bool findKey(const Content& c, std::size_t first, std::size_t end, const std::string& key, std::size_t* index,
             std::string* value)
{
    const std::string wanted = trim(key);
    for (std::size_t i = first; i < end; ++i) {
        if (!isEntry(c.lines[i])) continue;
        std::string k;
        std::string v;
        keyAndValue(c.lines[i], &k, &v);
        if (equalsIgnoreCase(k, wanted)) {
            *index = i;
            *value = v;
            return true;
        }
    }
    return false;
}

bool writeAtomically(const std::filesystem::path& file, const std::string& bytes)
{
    static std::atomic<unsigned> counter{0};
    const std::string target = file.string();
    const std::string temp = target + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    std::size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = (::fsync(fd) == 0) && ok;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::filesystem::path& file)
{
    // The default loses its trailing blanks, as with the Windows call.
    std::string fallback = defaultValue;
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t'))
        fallback.pop_back();

    const Content c = load(file);
    std::size_t first = 0;
    std::size_t end = 0;
    std::size_t index = 0;
    std::string value;
    if (!findSection(c, section, &first, &end) || !findKey(c, first, end, key, &index, &value))
        return fallback;
    // One pair of matching surrounding quotes is removed.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

int getPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::filesystem::path& file)
{
    const std::string text = getPrivateProfileString(section, key, "", file);
    if (text.empty()) return defaultValue;
    std::size_t i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // saturate instead of overflowing
    }
    value = negative ? -value : value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

bool writePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::filesystem::path& file)
{
    const std::string sectionText = trim(section);
    const std::string keyText = trim(key);
    if (sectionText.empty() || keyText.empty() || keyText.find('=') != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos)
        return false;

    std::lock_guard<std::mutex> guard(writeMutex());
    Content c = load(file);
    std::size_t first = 0;
    std::size_t end = 0;
    std::size_t index = 0;
    std::string old;
    if (findSection(c, sectionText, &first, &end)) {
        if (findKey(c, first, end, keyText, &index, &old)) {
            // The key keeps its spelling in the file.
            std::string k;
            std::string v;
            keyAndValue(c.lines[index], &k, &v);
            c.lines[index] = k + "=" + value;
        } else {
            // After the section's last entry, before any blank lines that separate it from the next.
            std::size_t at = end;
            while (at > first && trim(c.lines[at - 1]).empty())
                --at;
            c.lines.insert(c.lines.begin() + static_cast<std::ptrdiff_t>(at), keyText + "=" + value);
        }
    } else {
        while (!c.lines.empty() && c.lines.back().empty())
            c.lines.pop_back();
        c.lines.push_back("[" + sectionText + "]");
        c.lines.push_back(keyText + "=" + value);
    }
    std::string bytes = c.bom;
    for (const std::string& line : c.lines)
        bytes += line + c.lineEnd;
    return writeAtomically(file, bytes);
}


bool writePrivateProfileSection(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& entries,
                                const std::filesystem::path& file)
{
    const std::string sectionText = trim(section);
    if (sectionText.empty()) return false;
    std::vector<std::string> body;
    for (const auto& [key, value] : entries) {
        const std::string keyText = trim(key);
        if (keyText.empty() || keyText.find('=') != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos)
            return false;
        body.push_back(keyText + "=" + value);
    }

    std::lock_guard<std::mutex> guard(writeMutex());
    Content c = load(file);
    std::size_t first = 0;
    std::size_t end = 0;
    if (findSection(c, sectionText, &first, &end)) {
        // Comments and the blank lines before the next section stay.
        std::vector<std::string> kept;
        for (std::size_t i = first; i < end; ++i)
            if (!isEntry(c.lines[i]) && !trim(c.lines[i]).empty()) kept.push_back(c.lines[i]);
        std::size_t trailing = end;
        while (trailing > first && trim(c.lines[trailing - 1]).empty())
            --trailing;
        std::vector<std::string> replacement = kept;
        replacement.insert(replacement.end(), body.begin(), body.end());
        replacement.insert(replacement.end(), c.lines.begin() + static_cast<std::ptrdiff_t>(trailing),
                           c.lines.begin() + static_cast<std::ptrdiff_t>(end));
        c.lines.erase(c.lines.begin() + static_cast<std::ptrdiff_t>(first),
                      c.lines.begin() + static_cast<std::ptrdiff_t>(end));
        c.lines.insert(c.lines.begin() + static_cast<std::ptrdiff_t>(first), replacement.begin(),
                       replacement.end());
    } else {
        while (!c.lines.empty() && c.lines.back().empty())
            c.lines.pop_back();
        c.lines.push_back("[" + sectionText + "]");
        c.lines.insert(c.lines.end(), body.begin(), body.end());
    }
    std::string bytes = c.bom;
    for (const std::string& line : c.lines)
        bytes += line + c.lineEnd;
    return writeAtomically(file, bytes);
}

} // namespace FenmarlCommonDLL::platform
