#include "app/acquisition/gui/PostProcessCommand.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/PostProcessing.h"
#include "app/base/UserInteraction.h"

#include <cstdio>
#include <vector>

namespace hooks = FenmarlCommonDLL::platform;

int RunPostProcess(PostProcessHost& host, UserInteraction& ui, const std::filesystem::path& initialFolder)
{
    if (!host.saveModifiedDocuments()) return 0;

    UserInteraction::FileRequest request;
    request.defaultExtension = CCorvelDoc::kDefaultExtension;
    request.filter = CCorvelDoc::kFileFilter;
    request.multipleSelection = true;
    request.fileMustExist = true;
    request.hideReadOnly = true;
    request.initialFolder = initialFolder;
    const std::vector<std::filesystem::path> files = ui.chooseFiles(request);
    if (files.empty()) return 0;

    ui.showProgress("Post Process", "Processing...", "", false);
    const int count = static_cast<int>(files.size());

    CCorvelDoc* first = host.openDocument(files.front());
    if (!first) {
        ui.closeProgress();
        return 0;
    }
    host.layoutPanes(*first);
    PostProcessOptions options;
    options.sampleInterval = first->scan.configuration.SampleInterval;
    options.rollingPoints = 2;
    if (!host.askOptions(options)) {
        ui.closeProgress();
        return 0;
    }
    if (PostProcessWarnsAboutFileCount(count, options.finalOnly != 0))
        ui.messageBox(kTooManyFilesMessage, "Post Process", hooks::MB_OK_ | hooks::MB_ICONINFORMATION_);

    CCorvelDoc* previous = nullptr;
    int processed = 0;
    for (int k = 0; k < count; ++k) {
        char line[32];
        std::snprintf(line, sizeof line, "File %d", k + 1);
        ui.setProgressText("Processing...", line);
        CCorvelDoc* document = host.openDocument(files[static_cast<std::size_t>(k)]);
        // Reported by the open; the last good document stays the one to
        // average with, so nothing is processed twice.
        if (!document || document == previous) continue;
        host.layoutPanes(*document);
        if (options.filterChoice == 1) document->FilterDocument(options.rollingPoints, options.filterPasses);
        // Weighted by the files actually averaged so far, which equals the
        // selection index unless a file could not be opened.
        if (options.averageSpectra != 0 && previous)
            document->AverageSpectraWithPrevious(previous->scan, processed);
        document->UpdateAllViews();
        if (previous && PostProcessClosesPrevious(k, count, options.finalOnly != 0))
            host.closeDocument(*previous);
        previous = document;
        ++processed;
    }
    ui.closeProgress();
    return processed;
}
