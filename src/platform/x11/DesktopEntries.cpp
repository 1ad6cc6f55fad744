// Reading desktop entries: the [Desktop Entry] group's keys, the escapes of their values and the quoting
// and field codes of Exec.
#include "platform/x11/DesktopEntries.h"

#include "platform/TextCase.h"
#include "platform/UTF8.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace korvane::x11 {

namespace fs = std::filesystem;

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The escapes every string value may hold.
std::string unescapeValue(const std::string& v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out.push_back(v[i]);
            continue;
        }
        switch (v[++i]) {
        case 's':
            out.push_back(' ');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case '\\':
            out.push_back('\\');
            break;
        default:
            out.push_back('\\');
            out.push_back(v[i]);
        }
    }
    return out;
}

bool isTrue(const std::string& v) {
    return v == "true" || v == "1";
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// Whether the program can be run: a path that names an executable file, or a name found so on $PATH. A
// folder is searchable, which access() reports as executable, but it runs nothing.
bool runnable(const std::string& program) {
    const auto executableFile = [](const fs::path& candidate) {
        std::error_code ec;
        return fs::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0;
    };
    if (program.empty()) return false;
    if (program.find('/') != std::string::npos) return executableFile(program);
    std::stringstream path(env("PATH"));
    for (std::string folder; std::getline(path, folder, ':');)
        if (executableFile(fs::path(folder.empty() ? "." : folder) / program)) return true;
    return false;
}

// The terminal emulator a terminal entry runs in, in the order desktop launchers on this kind of system
// look for one; xterm is the one any X desktop is expected to have.
std::string terminalEmulator() {
    if (runnable("x-terminal-emulator")) return "x-terminal-emulator";
    if (const std::string chosen = env("TERMINAL"); runnable(chosen)) return chosen;
    return "xterm";
}

} // namespace

std::vector<std::string> DesktopEntries::dataFolders() {
    std::vector<std::string> out;
    std::string home = env("XDG_DATA_HOME");
    if (home.empty() && !env("HOME").empty()) home = env("HOME") + "/.local/share";
    if (!home.empty()) out.push_back(home);
    std::string dirs = env("XDG_DATA_DIRS");
    if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
    std::stringstream ss(dirs);
    for (std::string item; std::getline(ss, item, ':');)
        if (!item.empty()) out.push_back(item);
    return out;
}

DesktopEntries DesktopEntries::scan(const std::vector<std::string>& folders) {
    DesktopEntries result;
    std::set<std::string> seen;
    for (const auto& folder : folders) {
        const fs::path base = fs::path(folder) / "applications";
        std::error_code ec;
        if (!fs::is_directory(base, ec)) continue;
        std::vector<fs::path> files;
        for (fs::recursive_directory_iterator it(base, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".desktop" && it->is_regular_file(ec)) files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::string rel = fs::relative(file, base, ec).string();
            if (ec) continue;
            rel.resize(rel.size() - std::string(".desktop").size());
            std::replace(rel.begin(), rel.end(), '/', '-');
            // The first folder that has an id decides it, also when its entry hides the application.
            if (!seen.insert(rel).second) continue;
            std::ifstream in(file);
            std::stringstream text;
            text << in.rdbuf();
            if (auto entry = parse(text.str(), rel, file.string()))
                result.entries_.push_back(std::move(*entry));
        }
    }
    return result;
}

std::optional<DesktopEntry> DesktopEntries::parse(const std::string& text, const std::string& id,
                                                  const std::string& path) {
    // The id serves as a bundle identifier and the names are shown and stored: they must be UTF-8 even
    // when a file name or a value is not. The command and paths stay the bytes they are.
    DesktopEntry e;
    e.id = validUTF8(id);
    e.path = path;
    std::string type;
    bool hidden = false, inGroup = false;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup) continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = trim(line.substr(0, eq));
        const std::string value = unescapeValue(trim(line.substr(eq + 1)));
        if (key == "Type")
            type = value;
        else if (key == "Name")
            e.name = validUTF8(value);
        else if (key == "Exec")
            e.exec = value;
        else if (key == "Icon")
            e.icon = value;
        else if (key == "StartupWMClass")
            e.startupWMClass = validUTF8(value);
        else if (key == "Hidden")
            hidden = isTrue(value);
        else if (key == "Terminal")
            e.terminal = isTrue(value);
    }
    if (type != "Application" || hidden || e.exec.empty()) return std::nullopt;
    return e;
}

std::optional<std::vector<std::string>> DesktopEntries::commandLine(const DesktopEntry& entry) {
    // Split on unquoted spaces; inside double quotes a backslash escapes " ` $ and itself. Each character
    // remembers whether it was quoted: a field code is expanded only outside quotes, since what a code
    // inside them stands for is left undefined, and text quoted for a shell (`sh -c "echo %c"`) must not
    // take the entry's name or path into the command.
    struct Word {
        std::string text;
        std::vector<bool> quoted; // one per character of `text`
        bool anyQuoted = false;
    };
    std::vector<Word> words;
    Word current;
    bool inQuotes = false, hasWord = false;
    const auto take = [&](char ch, bool quoted) {
        current.text.push_back(ch);
        current.quoted.push_back(quoted);
    };
    const std::string& s = entry.exec;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
        if (inQuotes) {
            if (ch == '"')
                inQuotes = false;
            else if (ch == '\\' && i + 1 < s.size() &&
                     std::string("\"`$\\").find(s[i + 1]) != std::string::npos)
                take(s[++i], true);
            else
                take(ch, true);
        } else if (ch == '"') {
            inQuotes = current.anyQuoted = hasWord = true;
        } else if (ch == ' ' || ch == '\t') {
            if (hasWord) words.push_back(std::move(current));
            current = Word{};
            hasWord = false;
        } else {
            take(ch, false);
            hasWord = true;
        }
    }
    if (inQuotes) return std::nullopt;
    if (hasWord) words.push_back(std::move(current));

    std::vector<std::string> out;
    for (const auto& word : words) {
        if (!word.anyQuoted && word.text == "%i") {
            if (!entry.icon.empty()) {
                out.push_back("--icon");
                out.push_back(entry.icon);
            }
            continue;
        }
        // Launching without files or URLs: their codes, and the deprecated ones, vanish.
        static const std::set<std::string> dropped{"%f", "%F", "%u", "%U", "%d",
                                                   "%D", "%n", "%N", "%v", "%m"};
        if (!word.anyQuoted && dropped.count(word.text)) continue;
        std::string expanded;
        const std::string& text = word.text;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%' || i + 1 == text.size() || word.quoted[i] || word.quoted[i + 1]) {
                expanded.push_back(text[i]);
                continue;
            }
            const char code = text[++i];
            if (code == '%')
                expanded.push_back('%');
            else if (code == 'c')
                expanded += entry.name;
            else if (code == 'k')
                expanded += entry.path;
            // Any other code inside a word stands for nothing here.
        }
        out.push_back(expanded);
    }
    if (out.empty()) return std::nullopt;
    return out;
}

std::optional<std::vector<std::string>> DesktopEntries::launchCommand(const DesktopEntry& entry) {
    auto command = commandLine(entry);
    if (!command || !entry.terminal) return command;
    // Started without a terminal, such a program finds no input and writes where nobody reads.
    command->insert(command->begin(), {terminalEmulator(), "-e"});
    return command;
}

std::optional<DesktopEntry> DesktopEntries::byID(const std::string& id) const {
    for (const auto& e : entries_)
        if (e.id == id) return e;
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntries::forWindowClass(const std::string& instanceName,
                                                           const std::string& className) const {
    if (instanceName.empty() && className.empty()) return std::nullopt;
    for (const auto& e : entries_)
        if (!e.startupWMClass.empty() && e.startupWMClass == className) return e;
    const std::string cls = asciiLowercased(className), inst = asciiLowercased(instanceName);
    for (const auto& e : entries_)
        if (!e.startupWMClass.empty() && asciiLowercased(e.startupWMClass) == cls) return e;
    for (const auto& e : entries_) {
        const std::string id = asciiLowercased(e.id);
        const auto dot = id.rfind('.');
        const std::string last = dot == std::string::npos ? id : id.substr(dot + 1);
        if ((!cls.empty() && (id == cls || last == cls)) || (!inst.empty() && (id == inst || last == inst)))
            return e;
    }
    for (const auto& e : entries_) {
        auto command = commandLine(e);
        if (command && !inst.empty() &&
            asciiLowercased(fs::path(command->front()).filename().string()) == inst)
            return e;
    }
    return std::nullopt;
}

} // namespace korvane::x11
