#pragma once

#include <functional>
#include <string>
#include <vector>

// The program's own switches: -s (silent), -r (result file), -i<settings
// file>, -o<output folder>, -n<1|2>. Each argument is enclosed in double
// quotes on the raw command line.
struct CommandLineSwitches
{
    std::string outputFolder;
    std::string templateFile;
    bool silentMode = false;
    int inputCount = -1;
    bool writeResultFile = false;

    bool isOutputFolderSet() const { return !outputFolder.empty(); }
    bool isTemplateFileSet() const { return !templateFile.empty(); }
};

inline constexpr const char* kUnknownParameterMessage =
    "An unknown (unexpected) parameter has been passed to this application.";
inline constexpr const char* kBadInputCountMessage =
    "-n was passed with a number that is not 1 or 2, this is invalid.";

// Splits a raw command line into its double-quoted tokens. Text before the
// first quote is ignored; after each token everything up to and including the
// next quote is skipped; an empty token or a missing quote ends the list.
std::vector<std::string> TokeniseCommandLine(const std::string& raw);

// Rebuilds the raw command line from argv (without the program name), each
// argument wrapped in double quotes, as Windows hands it to the program.
std::string RawCommandLineFromArguments(const std::vector<std::string>& arguments);

// Applies every token; each error is reported through onError (in order) and
// parsing goes on. True when no error occurred.
bool ParseCommandLine(const std::string& raw, CommandLineSwitches& switches,
                      const std::function<void(const std::string& message)>& onError);
