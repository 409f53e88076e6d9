#include "app/base/CommandLine.h"

#include <cctype>
#include <cstdlib>

std::vector<std::string> TokeniseCommandLine(const std::string& raw)
{
    std::vector<std::string> tokens;
    std::size_t open = raw.find('"');
    while (open != std::string::npos) {
        const std::size_t close = raw.find('"', open + 1);
        if (close == std::string::npos)
            break;
        std::string token = raw.substr(open + 1, close - open - 1);
        if (token.empty())
            break;
        tokens.push_back(std::move(token));
        // The next quote (the opening quote of the next argument) is skipped
        // together with the blanks before it.
        const std::size_t next = raw.find('"', close + 1);
        if (next == std::string::npos)
            break;
        open = next;
    }
    return tokens;
}

std::string RawCommandLineFromArguments(const std::vector<std::string>& arguments)
{
    std::string raw;
    for (const std::string& argument : arguments) {
        if (!raw.empty())
            raw += ' ';
        raw += '"';
        raw += argument;
        raw += '"';
    }
    return raw;
}

namespace {

// atoi semantics: leading blanks, optional sign, digits; anything else ends the number.
int decimalValue(const std::string& text)
{
    return std::atoi(text.c_str());
}

} // namespace

bool ParseCommandLine(const std::string& raw, CommandLineSwitches& switches,
                      const std::function<void(const std::string& message)>& onError)
{
    bool ok = true;
    auto fail = [&](const char* message) {
        ok = false;
        if (onError)
            onError(message);
    };

    for (const std::string& token : TokeniseCommandLine(raw)) {
        if (token.size() < 2 || token[0] != '-')
            continue;
        const char option = static_cast<char>(std::tolower(static_cast<unsigned char>(token[1])));
        if (token.size() == 2) {
            if (option == 's')
                switches.silentMode = true;
            else if (option == 'r')
                switches.writeResultFile = true;
            else
                fail(kUnknownParameterMessage);
            continue;
        }
        const std::string rest = token.substr(2);
        switch (option) {
        case 'i':
            switches.templateFile = rest;
            break;
        case 'o':
            switches.outputFolder = rest;
            break;
        case 'n':
            switches.inputCount = decimalValue(rest);
            if (switches.inputCount != 1 && switches.inputCount != 2) {
                switches.inputCount = 2;
                fail(kBadInputCountMessage);
            }
            break;
        default:
            fail(kUnknownParameterMessage);
            break;
        }
    }
    return ok;
}
