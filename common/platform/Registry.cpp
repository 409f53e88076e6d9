#include "common/platform/Registry.h"

#include "common/Logger.h"
#include "common/Utils.h"
#include "common/platform/KnownFolders.h"
#include "common/platform/Text.h"
#include "common/platform/Win32Error.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FenmarlCommonDLL::platform {

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";
const char* const kFileName = "registry.reg";

struct Value
{
    std::string name; // "" is the key's default value ("@")
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data; // REG_SZ: UTF-8 without terminator
    bool erased = false;            // deleted; left in place until the key is compacted
};

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Registry names compare without regard to case; maps are keyed by this form.
std::string folded(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

// Windows' bounds: a key name of at most 255 characters, a tree at most 512
// levels deep. They keep a hostile file from growing without limit.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxKeyDepth = 512;

// Splits "ROOT\a\b" into its names; false for an empty name or a path beyond
// the bounds above (the root's name does not count as a level).
bool splitPath(std::string_view path, std::vector<std::string_view>* names)
{
    names->clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string_view name = path.substr(start, end - start);
        if (name.empty() || name.size() > kMaxKeyNameLength || names->size() > kMaxKeyDepth) return false;
        names->push_back(name);
        if (end == path.size()) return true;
        start = end + 1;
    }
}

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// One key. Keys are found through their parents' name maps, so finding and
// adding cost the path's length, not the store's size.
struct Key
{
    std::string name; // as first spelled
    std::uint32_t parent = kNone;
    std::unordered_map<std::string, std::uint32_t> children; // folded name → key
    std::vector<Value> values;
    std::unordered_map<std::string, std::size_t> valueIndex; // folded name → values[]
    std::size_t erasedValues = 0;
    bool listed = false; // written as its own "[...]" section
    bool alive = true;

    Value* findValue(const std::string& valueName)
    {
        const auto it = valueIndex.find(folded(valueName));
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }
    void putValue(Value value)
    {
        if (Value* existing = findValue(value.name)) {
            existing->type = value.type;
            existing->data = std::move(value.data);
            return;
        }
        valueIndex.emplace(folded(value.name), values.size());
        values.push_back(std::move(value));
    }
    // Marks the value deleted, so that many deletions in one key stay linear;
    // the key is compacted once most of its entries are deleted ones.
    bool eraseValue(const std::string& valueName)
    {
        const auto it = valueIndex.find(folded(valueName));
        if (it == valueIndex.end()) return false;
        Value& value = values[it->second];
        value.erased = true;
        value.data.clear();
        valueIndex.erase(it);
        if (++erasedValues > 16 && 2 * erasedValues > values.size()) {
            std::erase_if(values, [](const Value& v) { return v.erased; });
            valueIndex.clear();
            for (std::size_t i = 0; i < values.size(); ++i)
                valueIndex.emplace(folded(values[i].name), i);
            erasedValues = 0;
        }
        return true;
    }
};

struct Store
{
    std::vector<Key> keys;
    std::unordered_map<std::string, std::uint32_t> roots; // folded root name → key
    std::vector<std::uint32_t> order;                    // listed keys, as first listed
    std::size_t skippedLines = 0;                        // malformed lines left out when read

    void clear() { *this = Store{}; }

    std::uint32_t child(std::uint32_t parent, std::string_view name) const
    {
        const auto& map = parent == kNone ? roots : keys[parent].children;
        const auto it = map.find(folded(name));
        return it == map.end() ? kNone : it->second;
    }

    Key* find(const std::string& path)
    {
        std::vector<std::string_view> names;
        if (!splitPath(path, &names)) return nullptr;
        std::uint32_t at = kNone;
        for (std::string_view name : names) {
            at = child(at, name);
            if (at == kNone) return nullptr;
        }
        return &keys[at];
    }

    // Adds the key and its missing parents. `listParents` lists the parents
    // below the root as regedit does; a key read from a file lists only itself
    // (its parents exist without a section of their own). Null when the path
    // is beyond the bounds.
    Key* ensure(const std::string& path, bool listParents, bool* added)
    {
        std::vector<std::string_view> names;
        if (!splitPath(path, &names)) return nullptr;
        std::uint32_t at = kNone;
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::uint32_t next = child(at, names[i]);
            if (next == kNone) {
                next = static_cast<std::uint32_t>(keys.size());
                Key key;
                key.name = std::string(names[i]);
                key.parent = at;
                keys.push_back(std::move(key));
                (at == kNone ? roots : keys[at].children).emplace(folded(names[i]), next);
                *added = true;
            }
            at = next;
            // The root itself is never listed unless it is the key asked for.
            const bool list = i + 1 == names.size() || (listParents && i > 0);
            if (list && !keys[at].listed) {
                keys[at].listed = true;
                order.push_back(at);
                *added = true;
            }
        }
        return &keys[at];
    }

    void erase(const std::string& path)
    {
        Key* key = find(path);
        if (!key) return;
        const auto index = static_cast<std::uint32_t>(key - keys.data());
        auto& map = key->parent == kNone ? roots : keys[key->parent].children;
        map.erase(folded(key->name));
        std::vector<std::uint32_t> pending{index};
        while (!pending.empty()) {
            Key& k = keys[pending.back()];
            pending.pop_back();
            k.alive = false;
            for (const auto& entry : k.children)
                pending.push_back(entry.second);
            k.children.clear();
            k.values.clear();
            k.valueIndex.clear();
        }
    }

    std::string pathOf(std::uint32_t index) const
    {
        std::vector<std::uint32_t> chain;
        for (std::uint32_t at = index; at != kNone; at = keys[at].parent)
            chain.push_back(at);
        std::string path;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (!path.empty()) path.push_back('\\');
            path += keys[*it].name;
        }
        return path;
    }
};

// ---- reading the .reg text ----

std::string decodeFile(const std::string& bytes)
{
    auto u8 = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((u8(0) == 0xFF && u8(1) == 0xFE) || (u8(0) == 0xFE && u8(1) == 0xFF))) {
        const bool little = u8(0) == 0xFF;
        std::u16string units;
        units.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            units.push_back(
                static_cast<char16_t>(little ? (u8(i) | (u8(i + 1) << 8)) : ((u8(i) << 8) | u8(i + 1))));
        return utf16ToUtf8(units);
    }
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
    return bytes;
}

std::string trim(const std::string& s)
{
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

// A quoted text starting at text[pos] == '"'; regedit escapes only \\ and \".
bool parseQuoted(const std::string& text, std::size_t& pos, std::string* out)
{
    out->clear();
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) ++pos;
        out->push_back(text[pos]);
    }
    return false;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = lowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool parseHexList(const std::string& text, std::vector<std::uint8_t>* out)
{
    out->clear();
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        if (pos == text.size()) return true;
        int hi = hexDigit(text[pos]);
        int lo = pos + 1 < text.size() ? hexDigit(text[pos + 1]) : -1;
        if (hi < 0) return false;
        if (lo < 0) { // a single digit
            lo = hi;
            hi = 0;
            pos += 1;
        } else {
            pos += 2;
        }
        out->push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
        if (pos == text.size()) return true;
        if (text[pos] != ',') return false;
        ++pos;
    }
}

std::string utf16BytesToUtf8(const std::vector<std::uint8_t>& bytes)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    while (!units.empty() && units.back() == 0)
        units.pop_back();
    return utf16ToUtf8(units);
}

bool parseData(const std::string& text, Value* value, bool* remove)
{
    *remove = false;
    if (text == "-") {
        *remove = true;
        return true;
    }
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        std::string s;
        if (!parseQuoted(text, pos, &s) || !trim(text.substr(pos)).empty()) return false;
        value->type = REG_SZ_;
        value->data.assign(s.begin(), s.end());
        return true;
    }
    const std::string lower = [&] {
        std::string l = text;
        for (char& c : l)
            c = lowerAscii(c);
        return l;
    }();
    if (lower.rfind("dword:", 0) == 0) {
        const std::string digits = trim(text.substr(6));
        if (digits.empty() || digits.size() > 8) return false;
        std::uint32_t v = 0;
        for (char c : digits) {
            const int d = hexDigit(c);
            if (d < 0) return false;
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        value->type = REG_DWORD_;
        value->data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        return true;
    }
    std::uint32_t type = REG_BINARY_;
    std::size_t listStart = 0;
    if (lower.rfind("hex:", 0) == 0) {
        listStart = 4;
    } else if (lower.rfind("hex(", 0) == 0) {
        const std::size_t close = lower.find("):");
        if (close == std::string::npos || close == 4 || close > 12) return false;
        type = 0;
        for (std::size_t i = 4; i < close; ++i) {
            const int d = hexDigit(lower[i]);
            if (d < 0) return false;
            type = type * 16 + static_cast<std::uint32_t>(d);
        }
        listStart = close + 2;
    } else {
        return false;
    }
    if (!parseHexList(text.substr(listStart), &value->data)) return false;
    value->type = type;
    if (type == REG_SZ_) { // regedit writes texts it cannot quote as UTF-16 hex
        const std::string s = utf16BytesToUtf8(value->data);
        value->data.assign(s.begin(), s.end());
    }
    return true;
}

// Reads the file into `store`. Only a file that is not registry text at all
// fails; a malformed line is left out (with the values that follow a broken
// key line, which belong to no key we know) and described in `problems`.
bool parseStore(const std::string& fileBytes, Store* store, std::string* error,
                std::vector<std::string>* problems)
{
    store->clear();
    problems->clear();
    const std::string text = decodeFile(fileBytes);
    std::vector<std::string_view> lines;
    const std::string_view all(text);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t eol = all.find('\n', start);
        if (eol == std::string_view::npos) eol = all.size();
        lines.push_back(all.substr(start, eol - start));
        start = eol + 1;
    }

    bool headerSeen = false;
    Key* current = nullptr;
    bool deleting = false; // inside a "[-key]" block: its values are ignored, as regedit does
    auto skip = [&](std::size_t lineNumber, const char* why) {
        ++store->skippedLines;
        if (problems->size() < 10) problems->push_back("line " + std::to_string(lineNumber) + ": " + why);
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t lineNumber = i + 1;
        const std::string line = trim(std::string(lines[i]));
        if (line.empty() || line[0] == ';') continue;
        if (!headerSeen) {
            if (line != kHeader && line != "REGEDIT4") {
                *error = "line " + std::to_string(lineNumber) + ": not a registry file";
                store->clear();
                return false;
            }
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            current = nullptr;
            deleting = false;
            if (line.back() != ']' || line.size() < 3) {
                skip(lineNumber, "broken key line");
                continue;
            }
            std::string path = trim(line.substr(1, line.size() - 2));
            if (!path.empty() && path[0] == '-') {
                store->erase(trim(path.substr(1)));
                deleting = true;
                continue;
            }
            bool added = false;
            current = store->ensure(path, false, &added);
            if (!current) {
                skip(lineNumber, "broken key name (empty, longer than 255 characters or deeper than 512 levels)");
                continue;
            }
            continue;
        }
        // Hex lists continue on the next line after a trailing backslash.
        auto joinContinuations = [&](std::string data) {
            while (!data.empty() && data.back() == '\\' && data[0] != '"' && i + 1 < lines.size()) {
                data.pop_back();
                data += trim(std::string(lines[++i]));
            }
            return data;
        };
        if (!current) {
            if (!deleting) skip(lineNumber, "value outside a known key");
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos) joinContinuations(trim(line.substr(eq + 1)));
            continue;
        }
        Value value;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!parseQuoted(line, pos, &value.name)) {
                skip(lineNumber, "broken value name");
                continue;
            }
        } else {
            skip(lineNumber, "unexpected text");
            continue;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=') {
            skip(lineNumber, "missing '='");
            continue;
        }
        const std::string data = joinContinuations(trim(line.substr(pos + 1)));
        bool remove = false;
        if (!parseData(data, &value, &remove)) {
            skip(lineNumber, "unreadable value data");
            continue;
        }
        if (remove)
            current->eraseValue(value.name);
        else
            current->putValue(std::move(value));
    }
    if (!headerSeen && !trim(text).empty()) {
        *error = "not a registry file";
        store->clear();
        return false;
    }
    return true;
}

// ---- writing the .reg text ----

std::string quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// A text that fits between quotes: valid UTF-8 without line breaks or NULs.
bool quotable(const std::vector<std::uint8_t>& data)
{
    const std::string s(data.begin(), data.end());
    if (s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
    return utf16ToUtf8(utf8ToUtf16(s)) == s;
}

// regedit's layout: comma-separated bytes, lines wrapped before 80 columns.
std::string hexList(std::size_t prefixLength, const std::vector<std::uint8_t>& data)
{
    std::string out;
    std::size_t column = prefixLength;
    for (std::size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        if (i > 0) {
            if (column + 4 > 78) {
                out += ",\\\n  ";
                column = 2;
            } else {
                out += ",";
                ++column;
            }
        }
        out += byte;
        column += 2;
    }
    return out;
}

std::string serialise(const Store& store)
{
    std::string out = std::string(kHeader) + "\n\n";
    for (const std::uint32_t index : store.order) {
        const Key& key = store.keys[index];
        if (!key.alive) continue;
        out += "[" + store.pathOf(index) + "]\n";
        for (const Value& v : key.values) {
            if (v.erased) continue;
            std::string line = v.name.empty() ? "@=" : quote(v.name) + "=";
            if (v.type == REG_SZ_ && quotable(v.data)) {
                line += quote(std::string(v.data.begin(), v.data.end()));
            } else if (v.type == REG_DWORD_ && v.data.size() == 4) {
                char text[16];
                const std::uint32_t d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                                        (static_cast<std::uint32_t>(v.data[3]) << 24);
                std::snprintf(text, sizeof text, "dword:%08x", d);
                line += text;
            } else {
                std::vector<std::uint8_t> bytes = v.data;
                if (v.type == REG_SZ_) { // UTF-16 with its terminator, as regedit writes it
                    bytes.clear();
                    for (char16_t u : utf8ToUtf16(std::string(v.data.begin(), v.data.end()))) {
                        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
                        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
                    }
                    bytes.push_back(0);
                    bytes.push_back(0);
                }
                char prefix[24];
                if (v.type == REG_BINARY_)
                    std::snprintf(prefix, sizeof prefix, "hex:");
                else
                    std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
                line += prefix;
                line += hexList(line.size(), bytes);
            }
            out += line + "\n";
        }
        out += "\n";
    }
    return out;
}

// ---- the files ----

const char* rootName(RegistryRoot root)
{
    return root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::filesystem::path storeFile(RegistryRoot root)
{
    return (root == RegistryRoot::CurrentUser ? userConfigFolder() : machineConfigFolder()) / kFileName;
}

struct Signature
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const Signature& o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

Signature signatureOf(const std::filesystem::path& file)
{
    Signature s;
    struct stat st;
    if (::stat(file.c_str(), &st) == 0) {
        s.exists = true;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.modified = st.st_mtim;
    }
    return s;
}

// Reads the whole file; false with errno kept when it exists but cannot be read.
bool readBytes(const std::filesystem::path& file, std::string* bytes, bool* exists)
{
    bytes->clear();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *exists = errno != ENOENT && errno != ENOTDIR;
        return !*exists;
    }
    *exists = true;
    char buffer[16384];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        if (n == 0) break;
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

void logStoreProblem(const std::string& message)
{
    static std::mutex m;
    static std::unique_ptr<Logger> log;
    std::lock_guard<std::mutex> guard(m);
    if (!log) {
        log = std::make_unique<Logger>(Utils::getUsersDataDirectory() + L"/Tesselon/Logs/FenmarlCommon.log",
                                       40960, true, false);
    }
    log->logWarning("RegistryStore", message);
}

// What the file a store was read from held, which decides what a write keeps
// of it: a clean file becomes the backup, a file with lines left out is kept
// beside under its own name so nothing of it is lost.
enum class Previous { None, Clean, Damaged };

std::filesystem::path backupFile(const std::filesystem::path& file)
{
    return file.string() + ".bak";
}

// Reads `file` into `store`. False (errno kept) when it exists but cannot be
// read. A file that is not registry text at all sets `*unreadable` and reads as
// its backup (or empty when there is none). Lines left out are logged once
// for each version of the file.
bool readStoreFile(const std::filesystem::path& file, const Signature& signature, Store& store,
                   bool* unreadable, bool* fromBackup)
{
    *unreadable = false;
    *fromBackup = false;
    std::string bytes;
    bool exists = false;
    if (!readBytes(file, &bytes, &exists)) return false;
    static std::string lastLogged;
    std::string version = file.string() + "|" + std::to_string(signature.inode) + "|" +
                          std::to_string(signature.size) + "|" + std::to_string(signature.modified.tv_sec) + "." +
                          std::to_string(signature.modified.tv_nsec);
    const bool log = version != lastLogged;
    lastLogged = std::move(version);
    std::string error;
    std::vector<std::string> problems;
    if (parseStore(bytes, &store, &error, &problems)) {
        if (store.skippedLines > 0 && log) {
            std::string text = "Registry file " + file.string() + ": " + std::to_string(store.skippedLines) +
                               " malformed line(s) left out, the rest read";
            for (const std::string& p : problems)
                text += "; " + p;
            logStoreProblem(text);
        }
        return true;
    }
    *unreadable = true;
    std::string backupBytes;
    bool backupExists = false;
    std::string backupError;
    std::vector<std::string> backupProblems;
    if (readBytes(backupFile(file), &backupBytes, &backupExists) && backupExists &&
        parseStore(backupBytes, &store, &backupError, &backupProblems))
        *fromBackup = true;
    else
        store.clear();
    if (log)
        logStoreProblem("Unreadable registry file " + file.string() + " (" + error + ") read as " +
                        (*fromBackup ? "its backup " + backupFile(file).string() : std::string("empty")));
    return true;
}

struct CachedStore
{
    std::filesystem::path file;
    Signature signature;
    bool valid = false;
    bool unreadable = false; // the file is not registry text; `store` is its backup or empty
    Store store;
};

std::mutex& storeMutex()
{
    static std::mutex m;
    return m;
}

CachedStore& cacheFor(RegistryRoot root)
{
    static CachedStore user;
    static CachedStore machine;
    return root == RegistryRoot::CurrentUser ? user : machine;
}

// Brings the cache up to date with the file; called under storeMutex(). A file
// that cannot be parsed reads as its backup here and is set aside by the next write.
std::uint32_t refresh(RegistryRoot root)
{
    CachedStore& cache = cacheFor(root);
    const std::filesystem::path file = storeFile(root);
    const Signature sig = signatureOf(file);
    if (cache.valid && cache.file == file && cache.signature == sig) return kErrorSuccess;
    cache.valid = false;
    bool unreadable = false;
    bool fromBackup = false;
    if (!readStoreFile(file, sig, cache.store, &unreadable, &fromBackup)) return win32ErrorFromErrno(errno);
    cache.file = file;
    cache.signature = sig;
    cache.unreadable = unreadable;
    cache.valid = true;
    return kErrorSuccess;
}

class FileLock
{
public:
    explicit FileLock(const std::filesystem::path& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        locked_ = rc == 0;
    }
    ~FileLock()
    {
        if (fd_ >= 0) ::close(fd_); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

std::string timeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

bool writeFileAtomically(const std::filesystem::path& file, const std::string& bytes, std::uint32_t* error)
{
    static std::atomic<unsigned> counter{0};
    const std::string temp =
        file.string() + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = win32ErrorFromErrno(errno);
        return false;
    }
    std::size_t done = 0;
    int failure = 0;
    while (done < bytes.size() && failure == 0) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            failure = n < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), file.c_str()) != 0) failure = errno;
    if (failure != 0) {
        ::unlink(temp.c_str());
        *error = win32ErrorFromErrno(failure);
        return false;
    }
    return true;
}

// The open batch of writes (under storeMutex()): the lock it holds and the
// store as the writes left it.
struct Batch
{
    int depth = 0;
    std::unique_ptr<FileLock> lock;
    std::filesystem::path file;
    Store store;
    Previous previous = Previous::None;
    bool loaded = false;
    bool dirty = false;
};

Batch& openBatch()
{
    static Batch batch;
    return batch;
}

// The store reads see (under storeMutex()): an open batch's changes, else the
// file as cached. Null with `*rc` set when the file cannot be read.
Store* storeForRead(RegistryRoot root, std::uint32_t* rc)
{
    *rc = kErrorSuccess;
    if (root == RegistryRoot::CurrentUser) {
        Batch& batch = openBatch();
        if (batch.depth > 0 && batch.loaded && batch.file == storeFile(root)) return &batch.store;
    }
    *rc = refresh(root);
    return *rc == kErrorSuccess ? &cacheFor(root).store : nullptr;
}

// Reads the store file for a change (under its lock), from the cache when it
// still matches the file. A file that cannot be parsed is set aside, never
// overwritten, and the change starts from its backup.
std::uint32_t loadForChange(const std::filesystem::path& file, Store& store, Previous* previous)
{
    CachedStore& cache = cacheFor(RegistryRoot::CurrentUser);
    const Signature sig = signatureOf(file);
    if (cache.valid && !cache.unreadable && cache.file == file && cache.signature == sig) {
        store = std::move(cache.store);
        cache.valid = false;
    } else {
        bool unreadable = false;
        bool fromBackup = false;
        if (!readStoreFile(file, sig, store, &unreadable, &fromBackup)) return win32ErrorFromErrno(errno);
        if (unreadable) {
            std::filesystem::path aside = file.string() + ".unreadable-" + timeStamp();
            for (int n = 1; std::filesystem::exists(aside); ++n)
                aside = file.string() + ".unreadable-" + timeStamp() + "-" + std::to_string(n);
            if (::rename(file.c_str(), aside.c_str()) != 0) {
                logStoreProblem("Unreadable registry file " + file.string() +
                                " could not be moved aside; nothing written");
                return kErrorInvalidData;
            }
            logStoreProblem("Unreadable registry file kept as " + aside.string() + "; starting from " +
                            (fromBackup ? "the backup " + backupFile(file).string() : std::string("an empty store")));
            *previous = Previous::None;
            return kErrorSuccess;
        }
    }
    *previous = !sig.exists ? Previous::None : store.skippedLines > 0 ? Previous::Damaged : Previous::Clean;
    return kErrorSuccess;
}

// The per-user cache now holds store, which matches the file as it is on disk
// (written, or left alone).
void cacheUserStore(const std::filesystem::path& file, Store store)
{
    CachedStore& cache = cacheFor(RegistryRoot::CurrentUser);
    cache.file = file;
    cache.signature = signatureOf(file);
    cache.store = std::move(store);
    cache.unreadable = false;
    cache.valid = true;
}

// Keeps the file about to be replaced: a clean one as the backup, one with
// lines left out under a name of its own. Best effort: a failure is logged and
// does not stop the write.
void keepPrevious(const std::filesystem::path& file, Previous previous)
{
    if (previous == Previous::None) return;
    std::filesystem::path target = backupFile(file);
    if (previous == Previous::Damaged) {
        target = file.string() + ".damaged-" + timeStamp();
        for (int n = 1; std::filesystem::exists(target); ++n)
            target = file.string() + ".damaged-" + timeStamp() + "-" + std::to_string(n);
    }
    const std::string temp = target.string() + ".tmp" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    std::error_code ec;
    if (::link(file.c_str(), temp.c_str()) != 0)
        std::filesystem::copy_file(file, temp, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        logStoreProblem("Could not keep " + file.string() + " as " + target.string());
        return;
    }
    if (previous == Previous::Damaged)
        logStoreProblem("Registry file with malformed lines kept as " + target.string());
}

std::uint32_t writeStore(const std::filesystem::path& file, Store store, Previous previous)
{
    std::uint32_t error = kErrorSuccess;
    const std::string text = serialise(store);
    keepPrevious(file, previous);
    if (!writeFileAtomically(file, text, &error)) return error;
    store.skippedLines = 0;
    cacheUserStore(file, std::move(store));
    return kErrorSuccess;
}

// Read-modify-write of the per-user store under the advisory lock, so two
// processes writing at once never lose each other's values.
template <typename Change> std::uint32_t modifyUserStore(Change change)
{
    std::lock_guard<std::mutex> guard(storeMutex());
    const std::filesystem::path folder = userConfigFolder();
    const std::filesystem::path file = folder / kFileName;
    Batch& batch = openBatch();
    // A batch keeps the lock and the store until it ends; a write to another
    // folder (the environment changed meanwhile) goes straight to its file.
    const bool batching = batch.depth > 0 && (!batch.loaded || batch.file == file);
    if (batching && batch.loaded) {
        bool changed = false;
        const std::uint32_t result = change(batch.store, changed);
        if (result == kErrorSuccess && changed) batch.dirty = true;
        return result;
    }

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return win32ErrorFromErrno(ec.value());
    auto lock = std::make_unique<FileLock>(folder / (std::string(kFileName) + ".lock"));
    if (!lock->locked()) return win32ErrorFromErrno(errno);
    Store store;
    Previous previous = Previous::None;
    if (const std::uint32_t loaded = loadForChange(file, store, &previous); loaded != kErrorSuccess)
        return loaded;
    bool changed = false;
    const std::uint32_t result = change(store, changed);
    if (batching) {
        batch.lock = std::move(lock);
        batch.file = file;
        batch.store = std::move(store);
        batch.previous = previous;
        batch.loaded = true;
        batch.dirty = result == kErrorSuccess && changed;
        return result;
    }
    if (result != kErrorSuccess || !changed) {
        // Nothing written: what was read still matches the file.
        cacheUserStore(file, std::move(store));
        return result;
    }
    return writeStore(file, std::move(store), previous);
}

std::string normalisedSubKey(const std::string& subKey)
{
    std::string s = subKey;
    while (!s.empty() && s.front() == '\\')
        s.erase(0, 1);
    while (!s.empty() && s.back() == '\\')
        s.pop_back();
    return s;
}

std::string fullPath(RegistryRoot root, const std::string& subKey)
{
    const std::string sub = normalisedSubKey(subKey);
    return sub.empty() ? std::string(rootName(root)) : std::string(rootName(root)) + "\\" + sub;
}

} // namespace

RegistryKey::~RegistryKey()
{
    close();
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : open_(other.open_), writable_(other.writable_), root_(other.root_), path_(std::move(other.path_))
{
    other.open_ = false;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept
{
    if (this != &other) {
        open_ = other.open_;
        writable_ = other.writable_;
        root_ = other.root_;
        path_ = std::move(other.path_);
        other.open_ = false;
    }
    return *this;
}

std::uint32_t RegistryKey::open(RegistryRoot root, const std::string& subKey, bool writable)
{
    close();
    if (writable && root == RegistryRoot::LocalMachine) return kErrorAccessDenied;
    const std::string path = fullPath(root, subKey);
    if (path != rootName(root)) {
        std::lock_guard<std::mutex> guard(storeMutex());
        std::uint32_t rc = kErrorSuccess;
        Store* store = storeForRead(root, &rc);
        if (!store) return rc;
        if (!store->find(path)) return kErrorFileNotFound;
    }
    open_ = true;
    writable_ = writable;
    root_ = root;
    path_ = path;
    return kErrorSuccess;
}

std::uint32_t RegistryKey::create(RegistryRoot root, const std::string& subKey)
{
    close();
    if (root == RegistryRoot::LocalMachine) return kErrorAccessDenied;
    const std::string path = fullPath(root, subKey);
    if (path != rootName(root)) {
        const std::uint32_t rc = modifyUserStore([&](Store& store, bool& changed) {
            return store.ensure(path, true, &changed) ? kErrorSuccess : kErrorInvalidParameter;
        });
        if (rc != kErrorSuccess) return rc;
    }
    open_ = true;
    writable_ = true;
    root_ = root;
    path_ = path;
    return kErrorSuccess;
}

void RegistryKey::close()
{
    open_ = false;
    writable_ = false;
    path_.clear();
}

std::uint32_t RegistryKey::queryValue(const std::string& name, std::uint32_t* type,
                                      std::vector<std::uint8_t>* data) const
{
    if (!open_) return kErrorInvalidHandle;
    std::lock_guard<std::mutex> guard(storeMutex());
    std::uint32_t rc = kErrorSuccess;
    Store* store = storeForRead(root_, &rc);
    if (!store) return rc;
    Key* key = store->find(path_);
    if (!key) return kErrorFileNotFound;
    const Value* value = key->findValue(name);
    if (!value) return kErrorFileNotFound;
    if (type) *type = value->type;
    if (data) *data = value->data;
    return kErrorSuccess;
}

std::uint32_t RegistryKey::setValue(const std::string& name, std::uint32_t type, const void* data,
                                    std::size_t size)
{
    if (!open_) return kErrorInvalidHandle;
    if (!writable_) return kErrorAccessDenied;
    if ((!data && size > 0) || (type == REG_DWORD_ && size != 4)) return kErrorInvalidParameter;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::vector<std::uint8_t> copy(bytes, bytes + size);
    if (type == REG_SZ_) { // the terminator Windows callers count is not part of the text
        while (!copy.empty() && copy.back() == 0)
            copy.pop_back();
    }
    const std::string path = path_;
    return modifyUserStore([&](Store& store, bool& changed) {
        Key* key = store.ensure(path, true, &changed); // recreated if another program deleted it
        if (!key) return kErrorInvalidParameter;
        if (Value* existing = key->findValue(name)) {
            if (existing->type != type || existing->data != copy) {
                existing->type = type;
                existing->data = copy;
                changed = true;
            }
        } else {
            key->putValue(Value{name, type, copy});
            changed = true;
        }
        return kErrorSuccess;
    });
}

std::uint32_t RegistryKey::deleteValue(const std::string& name)
{
    if (!open_) return kErrorInvalidHandle;
    if (!writable_) return kErrorAccessDenied;
    const std::string path = path_;
    return modifyUserStore([&](Store& store, bool& changed) {
        Key* key = store.find(path);
        if (!key || !key->eraseValue(name)) return kErrorFileNotFound;
        changed = true;
        return kErrorSuccess;
    });
}

namespace {

// The bytes of a value that must be of the given type; another type is invalid data.
std::uint32_t queryOfType(const RegistryKey& key, const std::string& name, std::uint32_t type,
                          std::vector<std::uint8_t>* data)
{
    std::uint32_t stored = 0;
    const std::uint32_t rc = key.queryValue(name, &stored, data);
    if (rc != kErrorSuccess) return rc;
    return stored == type ? kErrorSuccess : kErrorInvalidData;
}

} // namespace

std::uint32_t RegistryKey::queryString(const std::string& name, std::string* value) const
{
    std::vector<std::uint8_t> data;
    if (const std::uint32_t rc = queryOfType(*this, name, REG_SZ_, &data); rc != kErrorSuccess) return rc;
    while (!data.empty() && data.back() == 0)
        data.pop_back();
    if (value) value->assign(data.begin(), data.end());
    return kErrorSuccess;
}

std::uint32_t RegistryKey::queryDword(const std::string& name, std::uint32_t* value) const
{
    std::vector<std::uint8_t> data;
    if (const std::uint32_t rc = queryOfType(*this, name, REG_DWORD_, &data); rc != kErrorSuccess) return rc;
    if (data.size() != 4) return kErrorInvalidData;
    if (value)
        *value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    return kErrorSuccess;
}

std::uint32_t RegistryKey::queryBinary(const std::string& name, void* value, std::size_t size) const
{
    std::vector<std::uint8_t> data;
    if (const std::uint32_t rc = queryOfType(*this, name, REG_BINARY_, &data); rc != kErrorSuccess) return rc;
    if (data.size() != size) return kErrorInvalidData;
    if (value && size > 0) std::memcpy(value, data.data(), size);
    return kErrorSuccess;
}

std::uint32_t RegistryKey::setString(const std::string& name, const std::string& value)
{
    return setValue(name, REG_SZ_, value.data(), value.size());
}

std::uint32_t RegistryKey::setDword(const std::string& name, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 24)};
    return setValue(name, REG_DWORD_, bytes, 4);
}

std::uint32_t RegistryKey::setBinary(const std::string& name, const void* value, std::size_t size)
{
    return setValue(name, REG_BINARY_, value, size);
}

RegistryBatch::RegistryBatch()
{
    std::lock_guard<std::mutex> guard(storeMutex());
    ++openBatch().depth;
}

RegistryBatch::~RegistryBatch()
{
    commit();
}

std::uint32_t RegistryBatch::commit()
{
    if (!open_) return kErrorSuccess;
    open_ = false;
    std::lock_guard<std::mutex> guard(storeMutex());
    Batch& batch = openBatch();
    if (--batch.depth > 0) return kErrorSuccess;
    std::uint32_t result = kErrorSuccess;
    if (batch.loaded && batch.dirty)
        result = writeStore(batch.file, std::move(batch.store), batch.previous);
    else if (batch.loaded)
        cacheUserStore(batch.file, std::move(batch.store)); // unchanged: still what the file holds
    // A failed write: read the file again next time.
    if (result != kErrorSuccess) cacheFor(RegistryRoot::CurrentUser).valid = false;
    batch = Batch{};
    return result;
}

} // namespace FenmarlCommonDLL::platform
