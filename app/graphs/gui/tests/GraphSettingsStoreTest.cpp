#include "app/graphs/GraphSettingsStore.h"
#include "app/graphs/gui/QcpChartControl.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/KnownFolders.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Values = GraphSettingsStore::Values;

std::vector<std::uint8_t> readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file as its layout table describes it: magic, then nine little-endian int32.
std::vector<std::uint8_t> layout(std::uint32_t magic, const std::vector<std::int32_t>& values)
{
    std::vector<std::uint8_t> bytes;
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(magic);
    for (std::int32_t v : values)
        put(static_cast<std::uint32_t>(v));
    return bytes;
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class GraphSettingsTest : public QtTest
{
protected:
    void SetUp() override
    {
        folder = FenmarlCommonDLL::platform::applicationDataFolder() / "Tesselon";
        fs::remove_all(folder);
        fs::create_directories(folder);
        marker = fs::path(std::getenv("TESSELON_TEST_SCRATCH")) / "work" / GraphSettingsStore::markerFileName;
        fs::remove_all(marker.parent_path());
        fs::create_directories(marker.parent_path());
        for (int i = 0; i < 4; ++i) {
            charts[i] = std::make_unique<QcpChartControl>();
            graphs[i].chart = charts[i].get();
        }
    }

    std::array<GraphSettingsStore::Graph*, 4> all()
    {
        return {&graphs[0], &graphs[1], &graphs[2], &graphs[3]};
    }
    fs::path fileOf(int i)
    {
        return folder /
               ("Tesselon_GraphSettings_2024_" + std::string(GraphSettingsStore::graphNames[i]) + ".bin");
    }

    fs::path folder, marker;
    std::array<std::unique_ptr<QcpChartControl>, 4> charts;
    std::array<GraphSettingsStore::Graph, 4> graphs;
};

TEST_F(GraphSettingsTest, FirstStartWritesTheMarkerAndFourFilesFromCurrentValues)
{
    charts[2]->setDisplaySetting(ChartControl::LineWidth, 4);
    std::vector<int> order;
    EXPECT_FALSE(GraphSettingsStore::loadAll(all(), marker,
                                             [&](int i, GraphSettingsStore::Graph&) { order.push_back(i); }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(fs::file_size(marker), 4u * 468u);
    for (int i = 0; i < 4; ++i) {
        const std::vector<std::int32_t> expected{0, 0, 2, 1, 0, i == 2 ? 4 : 1, 0, 0, 0};
        EXPECT_EQ(readAll(fileOf(i)), layout(62091, expected)) << i;
        EXPECT_EQ(graphs[i].rememberedPath, fileOf(i));
    }
    EXPECT_EQ(charts[2]->displaySetting(ChartControl::LineWidth), 4); // nothing was loaded over it
}

TEST_F(GraphSettingsTest, NextStartLoadsEachGraphAndIgnoresAWrongMagic)
{
    writeFile(marker, {});
    writeFile(fileOf(0), layout(62091, {3, 1, 4, 0, 2, 5, 2, 1, 1}));
    writeFile(fileOf(1), layout(62092, {3, 1, 4, 0, 2, 5, 2, 1, 1}));
    writeFile(fileOf(2), layout(62091, {1, 1, 1, 1, 1, 1, 1, 1, 1}));
    charts[1]->setDisplaySetting(ChartControl::Background, 1);

    EXPECT_TRUE(GraphSettingsStore::loadAll(all(), marker));
    EXPECT_EQ(GraphSettingsStore::currentValues(*charts[0]), (Values{3, 1, 4, 0, 2, 5, 2, 1, 1}));
    Values untouched = ChartControl::defaultSettings;
    untouched[ChartControl::Background] = 1;
    EXPECT_EQ(GraphSettingsStore::currentValues(*charts[1]), untouched);
    EXPECT_EQ(GraphSettingsStore::currentValues(*charts[2]), (Values{1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(GraphSettingsStore::currentValues(*charts[3]), ChartControl::defaultSettings); // no file at all
    EXPECT_EQ(graphs[3].rememberedPath, fileOf(3));
    EXPECT_FALSE(fs::exists(fileOf(3))); // loading never writes
}

TEST_F(GraphSettingsTest, ShortFilesAndWildValuesCannotUnsettleTheChart)
{
    // Magic and three values: those three are taken, the rest stay.
    writeFile(fileOf(0), layout(62091, {2, 1, 3}));
    EXPECT_TRUE(GraphSettingsStore::loadGraph(graphs[0], GraphSettingsStore::graphNames[0]));
    EXPECT_EQ(GraphSettingsStore::currentValues(*charts[0]), (Values{2, 1, 3, 1, 0, 1, 0, 0, 0}));

    // Two bytes: not even a magic.
    writeFile(fileOf(1), {0x8B, 0xF2});
    EXPECT_FALSE(GraphSettingsStore::loadGraph(graphs[1], GraphSettingsStore::graphNames[1]));
    EXPECT_EQ(GraphSettingsStore::currentValues(*charts[1]), ChartControl::defaultSettings);

    writeFile(fileOf(2), layout(62091, {-7, 99, 1 << 30, -1, 12, 0, 3, 2, -2}));
    GraphSettingsStore::loadGraph(graphs[2], GraphSettingsStore::graphNames[2]);
    EXPECT_EQ(GraphSettingsStore::currentValues(*charts[2]), (Values{0, 1, 4, 0, 4, 1, 2, 1, 0}));
}

TEST_F(GraphSettingsTest, SavesGoToTheRememberedPathOnlyAndNeedTheFolder)
{
    EXPECT_FALSE(GraphSettingsStore::saveToRememberedPath(graphs[0])); // nothing loaded yet
    GraphSettingsStore::loadGraph(graphs[0], "TopTime");
    charts[0]->setDisplaySetting(ChartControl::LogYAxis, 1);
    charts[0]->setDisplaySetting(ChartControl::Antialiasing, 0);
    EXPECT_TRUE(GraphSettingsStore::saveToRememberedPath(graphs[0]));
    EXPECT_EQ(readAll(fileOf(0)), layout(62091, {0, 0, 2, 0, 0, 1, 0, 1, 0}));

    // Reset restores the defaults, except the antialiasing choice, and saves them.
    GraphSettingsStore::resetGraph(graphs[0]);
    EXPECT_EQ(readAll(fileOf(0)), layout(62091, {0, 0, 2, 0, 0, 1, 0, 0, 0}));

    fs::remove_all(folder);
    EXPECT_FALSE(GraphSettingsStore::saveGraph(graphs[1], "TopFrequency"));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(GraphSettingsTest, StoredDocumentEndsWithOneFixedBlockPerGraph)
{
    std::ostringstream archive;
    archive << "document body";
    for (int i = 0; i < 4; ++i)
        GraphSettingsStore::storeGraph(graphs[i], GraphSettingsStore::graphNames[i], archive);
    const std::string bytes = archive.str();
    ASSERT_EQ(bytes.size(), std::string("document body").size() + 4 * 468);
    const std::string first = bytes.substr(13, 468);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(bytes.substr(13 + 468 * i, 468), first);
    EXPECT_NE(first.find("Arial"), std::string::npos);
    EXPECT_NE(first.find("Graph Title"), std::string::npos);
    EXPECT_NE(first.find("Y Title / Arbitrary Units"), std::string::npos);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(fs::exists(fileOf(i)));
}

TEST_F(GraphSettingsTest, SaveAllSkipsPanesWithoutAGraph)
{
    charts[1].reset();
    graphs[1].chart = nullptr;
    std::vector<int> order;
    EXPECT_TRUE(GraphSettingsStore::saveAll(all(), marker,
                                            [&](int i, GraphSettingsStore::Graph&) { order.push_back(i); }));
    EXPECT_EQ(order, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(fs::file_size(marker), 3u * 468u);
    EXPECT_FALSE(fs::exists(fileOf(1)));

    // An unwritable marker does not cost the graphs their files.
    fs::remove(fileOf(0));
    EXPECT_FALSE(GraphSettingsStore::saveAll(all(), marker.parent_path() / "missing" / "GraphSettings.bin"));
    EXPECT_TRUE(fs::exists(fileOf(0)));
}

} // namespace
