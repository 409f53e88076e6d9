#include "app/graphs/GraphSettingsStore.h"

#include "app/acquisition/GraphLegacyBlock.h"
#include "common/platform/KnownFolders.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace {

std::uint32_t readLe32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void writeLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Replaces the file only once the new content is complete on disk.
bool writeAtomically(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(path.parent_path(), ec)) return false;
    const std::filesystem::path temp = path.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace

std::filesystem::path GraphSettingsStore::settingsPath(const std::string& graphName)
{
    return FenmarlCommonDLL::platform::applicationDataFolder() / "Tesselon" /
           ("Tesselon_GraphSettings_2024_" + graphName + ".bin");
}

std::array<std::uint8_t, GraphSettingsStore::fileSize> GraphSettingsStore::encode(const Values& values)
{
    std::array<std::uint8_t, fileSize> bytes{};
    writeLe32(bytes.data(), magic);
    for (std::size_t i = 0; i < values.size(); ++i)
        writeLe32(bytes.data() + 4 + 4 * i, static_cast<std::uint32_t>(values[i]));
    return bytes;
}

int GraphSettingsStore::decode(const std::uint8_t* data, std::size_t size, Values& values)
{
    if (!data || size < 4 || readLe32(data) != magic) return 0;
    int taken = 0;
    for (std::size_t i = 0; i < values.size() && 4 + 4 * (i + 1) <= size; ++i, ++taken)
        values[i] = static_cast<std::int32_t>(readLe32(data + 4 + 4 * i));
    return taken;
}

GraphSettingsStore::Values GraphSettingsStore::currentValues(const ChartControl& chart)
{
    Values values{};
    for (int slot = 0; slot < ChartControl::displaySettingCount; ++slot)
        values[static_cast<std::size_t>(slot)] = chart.displaySetting(slot);
    return values;
}

bool GraphSettingsStore::saveGraph(Graph& graph, const std::string& name)
{
    if (!graph.chart) return false;
    graph.rememberedPath = settingsPath(name);
    const auto bytes = encode(currentValues(*graph.chart));
    return writeAtomically(graph.rememberedPath, bytes.data(), bytes.size());
}

bool GraphSettingsStore::saveToRememberedPath(Graph& graph)
{
    if (!graph.chart || graph.rememberedPath.empty()) return false;
    const auto bytes = encode(currentValues(*graph.chart));
    return writeAtomically(graph.rememberedPath, bytes.data(), bytes.size());
}

bool GraphSettingsStore::loadGraph(Graph& graph, const std::string& name)
{
    if (!graph.chart) return false;
    graph.rememberedPath = settingsPath(name);
    Values values = currentValues(*graph.chart);
    int taken = 0;
    std::ifstream in(graph.rememberedPath, std::ios::binary);
    if (in) {
        std::array<std::uint8_t, fileSize> bytes{};
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        taken = decode(bytes.data(), static_cast<std::size_t>(in.gcount()), values);
    }
    for (int slot = 0; slot < ChartControl::displaySettingCount; ++slot)
        graph.chart->setDisplaySetting(slot, values[static_cast<std::size_t>(slot)]);
    graph.chart->redraw();
    return taken > 0;
}

void GraphSettingsStore::resetGraph(Graph& graph)
{
    if (!graph.chart) return;
    graph.chart->resetDisplaySettings();
    graph.chart->redraw();
    saveToRememberedPath(graph);
}

void GraphSettingsStore::storeGraph(Graph& graph, const std::string& name, std::ostream& archive)
{
    const auto& block = GraphLegacyBlock();
    archive.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    saveGraph(graph, name);
}

bool GraphSettingsStore::saveAll(std::array<Graph*, 4> graphs, const std::filesystem::path& markerPath,
                                 const AfterSave& afterSave)
{
    std::ofstream marker(markerPath, std::ios::binary | std::ios::trunc);
    std::ofstream discard; // stands in when the marker cannot be created
    std::ostream& archive = marker ? static_cast<std::ostream&>(marker) : discard;
    for (std::size_t i = 0; i < graphs.size(); ++i) {
        Graph* graph = graphs[i];
        if (!graph || !graph->chart) continue;
        storeGraph(*graph, graphNames[i], archive);
        if (afterSave) afterSave(static_cast<int>(i), *graph);
    }
    if (!marker) return false;
    marker.flush();
    return static_cast<bool>(marker);
}

bool GraphSettingsStore::loadAll(std::array<Graph*, 4> graphs, const std::filesystem::path& markerPath,
                                 const AfterSave& afterSave)
{
    std::ifstream marker(markerPath, std::ios::binary);
    if (!marker) {
        saveAll(graphs, markerPath, afterSave);
        return false;
    }
    for (std::size_t i = 0; i < graphs.size(); ++i)
        if (graphs[i] && graphs[i]->chart) loadGraph(*graphs[i], graphNames[i]);
    return true;
}
