#include "app/acquisition/gui/PostProcessCommand.h"
#include "app/acquisition/CCorvelDoc.h"
#include "app/acquisition/tests/TestSignals.h"
#include "app/base/ScriptedUserInteraction.h"
#include "common/platform/MessageBoxCodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace hooks = FenmarlCommonDLL::platform;

// The window layer as the command sees it: documents opened from their
// files, kept until closed.
class TestHost : public PostProcessHost
{
public:
    explicit TestHost(UserInteraction& ui) : ui_(ui) {}

    bool saveModifiedDocuments() override
    {
        ++saveOffers;
        return allowSave;
    }
    CCorvelDoc* openDocument(const fs::path& path) override
    {
        ++opens;
        for (auto& d : documents)
            if (d->pathName() == path) return d.get();
        auto d = std::make_unique<CCorvelDoc>();
        if (!d->OnOpenDocument(path, &ui_)) return nullptr;
        documents.push_back(std::move(d));
        return documents.back().get();
    }
    void layoutPanes(CCorvelDoc&) override { ++layouts; }
    void closeDocument(CCorvelDoc& document) override
    {
        std::erase_if(documents, [&](const auto& d) { return d.get() == &document; });
    }
    bool askOptions(PostProcessOptions& o) override
    {
        offered = o;
        if (!answer) return false;
        o = *answer;
        return true;
    }

    std::vector<std::string> openNames() const
    {
        std::vector<std::string> names;
        for (const auto& d : documents)
            names.push_back(d->pathName().filename().string());
        return names;
    }

    bool allowSave = true;
    int saveOffers = 0;
    int opens = 0;
    int layouts = 0;
    std::optional<PostProcessOptions> answer;
    PostProcessOptions offered;
    std::vector<std::unique_ptr<CCorvelDoc>> documents;

private:
    UserInteraction& ui_;
};

class PostProcessCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { folder = fs::path(std::getenv("TMPDIR")); }

    // A saved scan whose spectrum holds `level` at point 40 of every axis.
    fs::path makeFile(int index, double level, double interval = 0.001)
    {
        CScanConfiguration c;
        c.SampleInterval = interval;
        CCorvelDoc doc(c, DefaultSettings());
        FillScanData(doc.scan.input1, 64, 1.0 / interval, [&](int axis, int i) { return axis + i * level; });
        ScanData& d = doc.scan.input1;
        d.spectrumPointCount = 64;
        for (int a = 0; a < 3; ++a)
            for (std::uint32_t i = 0; i < 64; ++i)
                d.spectrum[static_cast<std::size_t>(a)][i] = i == 40 ? level : 0.0;
        const fs::path path = folder / ("scan_" + std::to_string(index) + ".ts6");
        EXPECT_TRUE(doc.OnSaveDocument(path)) << doc.lastError();
        return path;
    }

    std::vector<fs::path> makeFiles(int count)
    {
        std::vector<fs::path> files;
        for (int k = 1; k <= count; ++k)
            files.push_back(makeFile(k, k));
        return files;
    }

    static PostProcessOptions options(bool finalOnly, bool average = false)
    {
        PostProcessOptions o;
        o.finalOnly = finalOnly ? 1 : 0;
        o.averageSpectra = average ? 1 : 0;
        return o;
    }

    fs::path folder;
    ScriptedUserInteraction ui;
};

TEST_F(PostProcessCommandTest, TwentyFiveFilesLeaveTheLastTwentyOrOnlyTheFinalOne)
{
    const auto files = makeFiles(25);
    TestHost host(ui);
    host.answer = options(false);
    ui.queueFiles(files);
    EXPECT_EQ(RunPostProcess(host, ui, folder), 25);

    ASSERT_EQ(ui.fileRequests().size(), 1u);
    const auto request = ui.fileRequests()[0];
    EXPECT_FALSE(request.save);
    EXPECT_TRUE(request.multipleSelection);
    EXPECT_TRUE(request.fileMustExist);
    EXPECT_EQ(request.defaultExtension, "ts6");
    EXPECT_EQ(request.filter, "Tesselon-6 Files (*.ts6)|*.ts6||");
    EXPECT_EQ(request.initialFolder, folder);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
              "More than 20 files have been selected.\nOnly the last 20 will be displayed.");
    EXPECT_EQ(ui.messages()[0].caption, "Post Process");
    EXPECT_EQ(ui.messages()[0].icon(), hooks::MB_ICONINFORMATION_);
    std::vector<std::string> expected;
    for (int k = 6; k <= 25; ++k)
        expected.push_back("scan_" + std::to_string(k) + ".ts6");
    EXPECT_EQ(host.openNames(), expected);
    // The options were offered with the first file's interval and 2 rolling points.
    EXPECT_DOUBLE_EQ(host.offered.sampleInterval, 0.001);
    EXPECT_EQ(host.offered.rollingPoints, 2);

    const auto progress = ui.progressEvents();
    ASSERT_GE(progress.size(), 27u);
    EXPECT_EQ(progress.front().kind, ScriptedUserInteraction::ProgressEvent::Kind::Show);
    EXPECT_EQ(progress.front().title, "Post Process");
    EXPECT_EQ(progress.front().line1, "Processing...");
    EXPECT_EQ(progress.front().line2, "");
    EXPECT_EQ(progress[1].line2, "File 1");
    EXPECT_EQ(progress[25].line2, "File 25");
    EXPECT_EQ(progress.back().kind, ScriptedUserInteraction::ProgressEvent::Kind::Close);

    // "Only Display Final Data Set": no warning, only file 25 stays.
    ScriptedUserInteraction ui2;
    TestHost finalHost(ui2);
    finalHost.answer = options(true);
    ui2.queueFiles(files);
    EXPECT_EQ(RunPostProcess(finalHost, ui2, folder), 25);
    EXPECT_TRUE(ui2.messages().empty());
    EXPECT_EQ(finalHost.openNames(), std::vector<std::string>{"scan_25.ts6"});
}

TEST_F(PostProcessCommandTest, AveragingAndFilteringAndAFileThatFailsToOpen)
{
    const fs::path a = makeFile(1, 1.0);
    const fs::path b = makeFile(2, 2.0);
    const fs::path broken = folder / "broken.ts6";
    fs::copy_file(b, broken); // a good start cut short
    fs::resize_file(broken, fs::file_size(b) / 2);
    const fs::path c = makeFile(3, 6.0);

    TestHost host(ui);
    host.answer = options(true, true);
    ui.queueFiles({a, b, broken, c});
    EXPECT_EQ(RunPostProcess(host, ui, folder), 3);
    // The damaged file was reported and skipped; the last document averages
    // the three files that opened: (1 + 2 + 6) / 3.
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].text.find("broken.ts6"), std::string::npos) << ui.messages()[0].text;
    ASSERT_EQ(host.openNames(), std::vector<std::string>{"scan_3.ts6"});
    const ScanData& last = host.documents[0]->scan.input1;
    for (std::size_t axis = 0; axis < 3; ++axis)
        EXPECT_DOUBLE_EQ(last.spectrum[axis].get(40), 3.0);

    // Low pass, 2 points, one pass: each output is the mean of two samples,
    // and the spectra are computed again.
    ScriptedUserInteraction ui2;
    TestHost filterHost(ui2);
    PostProcessOptions o = options(true);
    o.filterChoice = 1;
    o.rollingPoints = 2;
    o.filterPasses = 1;
    filterHost.answer = o;
    ui2.queueFiles({a});
    EXPECT_EQ(RunPostProcess(filterHost, ui2, folder), 1);
    ASSERT_EQ(filterHost.documents.size(), 1u);
    const ScanData& filtered = filterHost.documents[0]->scan.input1;
    EXPECT_DOUBLE_EQ(filtered.timeData[2].get(0), 2.0);
    EXPECT_DOUBLE_EQ(filtered.timeData[2].get(5), 2.0 + 4.5);
    EXPECT_EQ(filtered.spectrumPointCount, 1024);
}

TEST_F(PostProcessCommandTest, CancellingStopsAtEachStep)
{
    const auto files = makeFiles(2);
    TestHost refused(ui);
    refused.allowSave = false;
    EXPECT_EQ(RunPostProcess(refused, ui, folder), 0);
    EXPECT_TRUE(ui.fileRequests().empty());

    TestHost noFiles(ui); // the open dialog cancelled
    EXPECT_EQ(RunPostProcess(noFiles, ui, folder), 0);
    EXPECT_EQ(noFiles.opens, 0);
    EXPECT_TRUE(ui.progressEvents().empty());

    TestHost cancelled(ui); // the options cancelled: the first file stays open
    ui.queueFiles(files);
    EXPECT_EQ(RunPostProcess(cancelled, ui, folder), 0);
    EXPECT_EQ(cancelled.openNames(), std::vector<std::string>{"scan_1.ts6"});
    EXPECT_EQ(ui.progressEvents().back().kind, ScriptedUserInteraction::ProgressEvent::Kind::Close);

    // A first file that cannot be opened ends the command.
    ScriptedUserInteraction ui2;
    TestHost badFirst(ui2);
    badFirst.answer = options(false);
    ui2.queueFiles({folder / "absent.ts6", files[1]});
    EXPECT_EQ(RunPostProcess(badFirst, ui2, folder), 0);
    EXPECT_TRUE(badFirst.documents.empty());
    EXPECT_EQ(ui2.messages().size(), 1u);
}

} // namespace
