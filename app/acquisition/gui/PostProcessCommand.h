#pragma once

#include <cstdint>
#include <filesystem>

class CCorvelDoc;
class UserInteraction;

// The "Post Processing" dialog's values.
struct PostProcessOptions
{
    std::int32_t filterChoice = 0; // 0 none, 1 low pass
    std::int32_t rollingPoints = 2;
    double sampleInterval = 0.001; // seconds, of the first selected file
    std::int32_t averageSpectra = 1;
    std::int32_t filterPasses = 1;
    std::int32_t finalOnly = 1;
};

// What the Post Process command needs from the window layer.
class PostProcessHost
{
public:
    virtual ~PostProcessHost() = default;
    // Offers to save modified documents; false when the user cancels.
    virtual bool saveModifiedDocuments() = 0;
    // Opens a scan file as a document with its scan window and makes it the
    // active one (an already open file gives its existing document). Null
    // when it cannot be opened; the failure has been reported to the user.
    virtual CCorvelDoc* openDocument(const std::filesystem::path& path) = 0;
    // Lays out the document's graph panes as for a new scan.
    virtual void layoutPanes(CCorvelDoc& document) = 0;
    // Closes the document and its scan window.
    virtual void closeDocument(CCorvelDoc& document) = 0;
    // The "Post Processing" dialog; false when cancelled.
    virtual bool askOptions(PostProcessOptions& options) = 0;
};

// The Post Process command: choose files, open the first and ask for the
// options, then open, filter, average and close file by file. A file that
// fails to open is skipped; the documents processed so far stay as they
// are, and the next file is averaged with the last one that opened.
// Returns the number of files processed.
int RunPostProcess(PostProcessHost& host, UserInteraction& ui, const std::filesystem::path& initialFolder);
